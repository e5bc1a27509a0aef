// The platform's Collection: items counted from 1, optionally with a text key.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "automation/Dispatch.h"

namespace automation {

class Collection final : public Dispatch {
 public:
  // Adds an item at the end; a key already present raises 457.
  void Add(Variant item, std::optional<std::u16string> key = std::nullopt);
  // The item at a 1-based position (9 when out of range) or under a key (5 when absent).
  const Variant& Item(const Variant& indexOrKey) const;
  std::int32_t Count() const { return static_cast<std::int32_t>(items_.size()); }
  void Remove(const Variant& indexOrKey);

  const DispatchTable& dispatchTable() const override;

 private:
  std::size_t positionOf(const Variant& indexOrKey) const;

  std::vector<Variant> items_;
  std::vector<std::optional<std::u16string>> keys_;
};

}  // namespace automation
