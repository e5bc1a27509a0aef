// A fake automation object put together in a test: methods from lambdas, properties that keep
// what is assigned to them.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "automation/Dispatch.h"

namespace fakes {

class FakeObject final : public automation::Dispatch {
 public:
  using Handler = std::function<automation::Variant(automation::Args&)>;

  explicit FakeObject(std::u16string className = u"FakeObject") : className_(std::move(className)) {}

  // A method with `params` by-value Variant parameters (or by reference).
  FakeObject& method(std::u16string name, std::size_t params, Handler handler, bool byRef = false);
  // An indexed property put, Name(index…) = value: the handler receives the indexes, then the value.
  FakeObject& indexedPut(std::u16string name, std::size_t indexes, Handler handler);
  // A property that answers its value and keeps what is assigned to it.
  FakeObject& property(std::u16string name, automation::Variant initial = {});
  automation::Variant& value(const std::u16string& name) { return values_.at(name); }

  const automation::DispatchTable& dispatchTable() const override;

 private:
  std::u16string className_;
  std::vector<automation::Member> members_;
  std::map<std::u16string, automation::Variant> values_;
  mutable std::optional<automation::DispatchTable> table_;
};

inline std::shared_ptr<FakeObject> fakeObject(std::u16string className = u"FakeObject") {
  return std::make_shared<FakeObject>(std::move(className));
}

}  // namespace fakes
