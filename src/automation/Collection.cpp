#include "automation/Collection.h"

#include "automation/Conversions.h"
#include "automation/Error.h"
#include "automation/Text.h"

namespace automation {

void Collection::Add(Variant item, std::optional<std::u16string> key) {
  if (key) {
    for (const auto& k : keys_) {
      if (k && equalsIgnoreCase(*k, *key))
        raise(457, u"This key is already associated with an element of this collection");
    }
  }
  items_.push_back(std::move(item));
  keys_.push_back(std::move(key));
}

std::size_t Collection::positionOf(const Variant& indexOrKey) const {
  if (indexOrKey.isString()) {
    for (std::size_t k = 0; k < keys_.size(); ++k) {
      if (keys_[k] && equalsIgnoreCase(*keys_[k], indexOrKey.asString())) return k;
    }
    raise(errors::InvalidProcedureCall);
  }
  const std::int32_t index = toLong(indexOrKey);
  if (index < 1 || index > Count()) raise(errors::SubscriptOutOfRange);
  return static_cast<std::size_t>(index - 1);
}

const Variant& Collection::Item(const Variant& indexOrKey) const {
  return items_[positionOf(indexOrKey)];
}

void Collection::Remove(const Variant& indexOrKey) {
  const std::size_t at = positionOf(indexOrKey);
  items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(at));
  keys_.erase(keys_.begin() + static_cast<std::ptrdiff_t>(at));
}

const DispatchTable& Collection::dispatchTable() const {
  static const DispatchTable table =
      DispatchTable::Builder<Collection>(u"Collection")
          .method(u"Item", kDispIdValue, {byVal(u"Index")}, VarType::Variant,
                  [](Collection& c, Args& a) { return c.Item(a[0]); })
          .get(u"Count", 1, {}, VarType::Long, [](Collection& c, Args&) { return Variant(c.Count()); })
          .method(u"Add", 2, {byVal(u"Item"), optionalByVal(u"Key", VarType::Variant, std::nullopt)},
                  VarType::Empty,
                  [](Collection& c, Args& a) {
                    c.Add(a[0], a[1].isMissing() ? std::nullopt : std::optional(toText(a[1])));
                    return Variant{};
                  })
          .method(u"Remove", 3, {byVal(u"Index")}, VarType::Empty,
                  [](Collection& c, Args& a) {
                    c.Remove(a[0]);
                    return Variant{};
                  })
          .build();
  return table;
}

}  // namespace automation
