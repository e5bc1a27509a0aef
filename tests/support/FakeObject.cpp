#include "support/FakeObject.h"

namespace fakes {

using automation::Args;
using automation::Dispatch;
using automation::Variant;

FakeObject& FakeObject::method(std::u16string name, std::size_t params, Handler handler, bool byRef) {
  std::vector<automation::Param> list;
  for (std::size_t i = 0; i < params; ++i) {
    list.push_back(byRef ? automation::byRef(u"p") : automation::byVal(u"p"));
  }
  const auto id = static_cast<automation::DispId>(members_.size() + 1);
  members_.push_back({std::move(name), id, automation::InvokeKind::Method, std::move(list),
                      automation::VarType::Variant,
                      [handler = std::move(handler)](Dispatch&, Args& a) { return handler(a); }});
  table_.reset();
  return *this;
}

FakeObject& FakeObject::indexedPut(std::u16string name, std::size_t indexes, Handler handler) {
  std::vector<automation::Param> list;
  for (std::size_t i = 0; i < indexes; ++i) list.push_back(automation::byVal(u"index"));
  list.push_back(automation::byVal(u"value"));
  const auto id = static_cast<automation::DispId>(members_.size() + 1);
  members_.push_back({std::move(name), id, automation::InvokeKind::PropertyPut, std::move(list),
                      automation::VarType::Variant,
                      [handler = std::move(handler)](Dispatch&, Args& a) { return handler(a); }});
  table_.reset();
  return *this;
}

FakeObject& FakeObject::property(std::u16string name, Variant initial) {
  values_[name] = std::move(initial);
  const auto id = static_cast<automation::DispId>(members_.size() + 1);
  members_.push_back(
      {name,
       id,
       automation::InvokeKind::PropertyGet,
       {},
       automation::VarType::Variant,
       [name](Dispatch& self, Args&) { return static_cast<FakeObject&>(self).values_.at(name); }});
  members_.push_back({name,
                      id,
                      automation::InvokeKind::PropertyPut,
                      {automation::byVal(u"value")},
                      automation::VarType::Empty,
                      [name](Dispatch& self, Args& a) {
                        static_cast<FakeObject&>(self).values_[name] = a[0];
                        return Variant{};
                      }});
  table_.reset();
  return *this;
}

const automation::DispatchTable& FakeObject::dispatchTable() const {
  if (!table_) table_.emplace(className_, members_);
  return *table_;
}

}  // namespace fakes
