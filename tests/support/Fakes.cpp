#include "support/Fakes.h"

#include "automation/Conversions.h"
#include "automation/Error.h"
#include "component/ReportContext.h"
#include "environment/Localisation.h"
#include "platform/Process.h"

namespace fakes {

using automation::Args;
using automation::DispatchTable;
using automation::VarType;

const DispatchTable& FakeFuncInfo::dispatchTable() const {
  static const DispatchTable table =
      DispatchTable::Builder<FakeFuncInfo>(u"FakeFuncInfo")
          .put(u"Properties", 1, {automation::byVal(u"name", VarType::String)}, automation::byVal(u"value"),
               [](FakeFuncInfo& self, Args& a, Variant& value) {
                 if (a[0].asString() == self.failingProperty) automation::raise(5);
                 self.assignments.push_back({a[0].asString(), value});
               })
          .method(u"CallFunc", 2,
                  {automation::byVal(u"FuncName", VarType::String), automation::byRef(u"Batch"),
                   automation::byRef(u"Spreadsheet")},
                  VarType::Long,
                  [](FakeFuncInfo& self, Args& a) {
                    self.calledFunctions.push_back(a[0].asString());
                    return Variant(self.callFunc ? self.callFunc(a[0].asString(), a[1]) : 0);
                  })
          .build();
  return table;
}

const DispatchTable& FakeShareProps::dispatchTable() const {
  static const DispatchTable table =
      DispatchTable::Builder<FakeShareProps>(u"FakeShareProps")
          .method(
              u"getproperty", 1,
              {automation::byRef(u"ProcessID", VarType::Long), automation::byRef(u"Name", VarType::String)},
              VarType::Variant,
              [](FakeShareProps& self, Args& a) {
                ++self.shared_->calls;
                if (self.shared_->fail) automation::raise(5, u"the shared-properties store is unavailable");
                const auto it = self.shared_->values.find({a[0].asLong(), a[1].asString()});
                return it == self.shared_->values.end() ? Variant{} : it->second;
              })
          .build();
  return table;
}

const DispatchTable& FakeLangInfo::dispatchTable() const {
  static const DispatchTable table =
      DispatchTable::Builder<FakeLangInfo>(u"FakeLangInfo")
          .get(u"CurrentLanguage", 1, {}, VarType::String,
               [](FakeLangInfo& self, Args&) { return Variant(*self.language_); })
          .build();
  return table;
}

FakeEnvironment::FakeEnvironment()
    : funcInfo_(u"Fenwick2.FuncInfo",
                [this] {
                  catalogues.push_back(std::make_shared<FakeFuncInfo>());
                  return catalogues.back();
                }),
      shareProps_(u"Pellam.ShareProps", [this] { return std::make_shared<FakeShareProps>(shared); }),
      langInfo_(u"Q7LangInfo.LangInfo", [this] { return std::make_shared<FakeLangInfo>(language); }) {
  component::resetComponentState();
  environment::resetLocalisationState();
  automation::Err().Clear();
}

FakeEnvironment::~FakeEnvironment() {
  component::resetComponentState();
  environment::resetLocalisationState();
}

void FakeEnvironment::publish(const std::u16string& propsString) {
  shared->values[{platform::currentProcessId(), u"PropsString"}] = Variant(propsString);
}

}  // namespace fakes
