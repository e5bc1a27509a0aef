#include "support/FakeCatalogue.h"

#include "automation/Collection.h"
#include "automation/Conversions.h"
#include "automation/Error.h"
#include "automation/Text.h"
#include "component/ReportContext.h"

namespace fakes {

using automation::Variant;

FakeCatalogue::FakeCatalogue() : catalogue_(fakeObject(u"FuncInfo")) {
  catalogue_->method(u"GetFuncInfo", 1, [this](automation::Args& a) {
    const auto it = functions_.find(automation::upper(automation::trim(automation::toText(a[0]))));
    if (it == functions_.end())
      automation::raise(5, u"the catalogue has no function " + automation::toText(a[0]));
    return Variant(it->second);
  });
  catalogue_->method(u"MaintainURL", 1, [this](automation::Args& a) {
    used.push_back(automation::toText(a[0]));
    return Variant{};
  });
  catalogue_->indexedPut(u"Properties", 1, [this](automation::Args& a) {
    properties[automation::toText(a[0])] = a[1];
    return Variant{};
  });
  catalogue_->method(u"GetInfoToShow", 4, [this](automation::Args& a) {
    infoCalls.push_back({automation::toText(a[0]), automation::toText(a[1]), automation::toText(a[2]),
                         automation::toText(a[3])});
    contextAtLookup.push_back(properties);
    return infoAnswer;
  });
  catalogue_->method(u"GetParamText", 3, [this](automation::Args& a) {
    paramTextCalls.push_back(
        {automation::toText(a[0]), automation::toText(a[1]), automation::toText(a[2]), std::u16string{}});
    contextAtLookup.push_back(properties);
    return Variant(paramTextAnswer);
  });
  component::componentState().g_oFuncInfo = catalogue_;
}

void FakeCatalogue::add(const FakeFunction& f) {
  auto collection = std::make_shared<automation::Collection>();
  for (const FakeParam& p : f.params) {
    auto item = fakeObject(u"Param");
    item->property(u"ParamName", Variant(p.name))
        .property(u"ParamDes", Variant(p.des.empty() ? p.name + u"的说明" : p.des))
        .property(u"DataType", Variant(p.type))
        .property(u"DefValue", p.def)
        .property(u"IsList", Variant(p.isList))
        .property(u"IsDsn", Variant(p.isDsn))
        .property(u"IsCustomWnd", Variant(p.isCustomWnd));
    collection->Add(Variant(automation::ObjectRef(item)));
  }
  auto d = fakeObject(u"FuncDescriptor");
  d->property(u"FuncName", Variant(f.name))
      .property(u"FuncDes", Variant(f.des))
      .property(u"FixParamNum", Variant(f.fixed))
      .property(u"MaxParamNum", Variant(f.maxParams))
      .property(u"ParamsInfo", Variant(automation::ObjectRef(collection)));
  functions_[automation::upper(automation::trim(f.name))] = d;
}

}  // namespace fakes
