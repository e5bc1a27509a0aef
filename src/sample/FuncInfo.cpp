#include "sample/FuncInfo.h"

#include <algorithm>
#include <new>

#include "automation/Collection.h"
#include "automation/Conversions.h"
#include "automation/Error.h"
#include "automation/Text.h"
#include "automation/VariantArray.h"

namespace sample {

using automation::Args;
using automation::DispatchTable;
using automation::Variant;
using automation::VariantArray;
using automation::VarType;

namespace {

constexpr std::int32_t kLatestYear = 2024;

class ParamItemObject final : public automation::Dispatch {
 public:
  explicit ParamItemObject(const ParamEntry& data) : entry_(data) {}
  const DispatchTable& dispatchTable() const override {
    static const DispatchTable table =
        DispatchTable::Builder<ParamItemObject>(u"ParamItem")
            .get(u"ParamName", 1, {}, VarType::String,
                 [](ParamItemObject& p, Args&) { return Variant(p.entry_.name); })
            .get(u"ParamDes", 2, {}, VarType::String,
                 [](ParamItemObject& p, Args&) { return Variant(p.entry_.description); })
            .get(u"IsList", 3, {}, VarType::Boolean,
                 [](ParamItemObject& p, Args&) { return Variant(!p.entry_.list.empty()); })
            .get(u"IsDsn", 4, {}, VarType::Boolean,
                 [](ParamItemObject& p, Args&) { return Variant(p.entry_.dsn); })
            .get(u"DataType", 5, {}, VarType::Long,
                 [](ParamItemObject& p, Args&) { return Variant(p.entry_.type); })
            .get(u"DefValue", 6, {}, VarType::Variant, [](ParamItemObject& p, Args&) { return p.entry_.def; })
            .get(u"IsCustomWnd", 7, {}, VarType::Boolean,
                 [](ParamItemObject& p, Args&) { return Variant(p.entry_.customWindow); })
            .build();
    return table;
  }

 private:
  ParamEntry entry_;
};

class FuncDescriptorObject final : public automation::Dispatch {
 public:
  explicit FuncDescriptorObject(const FunctionEntry& data)
      : entry_(data), params_(std::make_shared<automation::Collection>()) {
    for (const ParamEntry& p : entry_.params)
      params_->Add(Variant(automation::ObjectRef(std::make_shared<ParamItemObject>(p))));
  }
  const DispatchTable& dispatchTable() const override {
    static const DispatchTable table =
        DispatchTable::Builder<FuncDescriptorObject>(u"FuncDescriptor")
            .get(u"FuncName", 1, {}, VarType::String,
                 [](FuncDescriptorObject& f, Args&) { return Variant(f.entry_.name); })
            .get(u"FuncDes", 2, {}, VarType::String,
                 [](FuncDescriptorObject& f, Args&) { return Variant(f.entry_.description); })
            .get(u"FixParamNum", 3, {}, VarType::Boolean,
                 [](FuncDescriptorObject& f, Args&) { return Variant(f.entry_.fixed); })
            .get(u"MaxParamNum", 4, {}, VarType::Long,
                 [](FuncDescriptorObject& f, Args&) { return Variant(f.entry_.maxParams); })
            .get(u"ParamsInfo", 5, {}, VarType::Object,
                 [](FuncDescriptorObject& f, Args&) { return Variant(automation::ObjectRef(f.params_)); })
            .build();
    return table;
  }

 private:
  FunctionEntry entry_;
  std::shared_ptr<automation::Collection> params_;
};

// The function as the user reads it: its group, description and the names and descriptions of its
// parameters in the language, each as written where the catalogs have no text for it.
FunctionEntry inLanguage(const SampleSystem& system, const FunctionEntry& function,
                         std::u16string_view language) {
  FunctionEntry shown = function;
  shown.group = system.translate(function.group, language);
  shown.description = system.translate(function.description, language);
  for (ParamEntry& p : shown.params) {
    p.name = system.translate(p.name, language);
    p.description = system.translate(p.description, language);
  }
  return shown;
}

Variant namesArray(const std::vector<std::u16string>& names) {
  std::vector<Variant> items;
  items.reserve(names.size());
  for (const auto& n : names) items.emplace_back(n);
  return Variant(VariantArray::of(std::move(items)));
}

}  // namespace

// --- The pushed context ------------------------------------------------------------------------------

void PushedContext::set(std::u16string_view name, Variant value) {
  values_[automation::upper(name)] = std::move(value);
}

Variant PushedContext::get(std::u16string_view name) const {
  const auto it = values_.find(automation::upper(name));
  return it == values_.end() ? Variant{} : it->second;
}

std::u16string PushedContext::text(std::u16string_view name) const {
  return automation::trapAndLeave(std::u16string{}, [&] { return automation::toText(get(name)); });
}

std::int32_t PushedContext::number(std::u16string_view name) const {
  return automation::trapAndLeave(0, [&] { return automation::toLong(get(name)); });
}

PushedContext::Named PushedContext::named() const {
  for (const char16_t* key : {u"CurPropsString", u"ZpsPagePropsString", u"DefPropsString"}) {
    const std::u16string props = automation::trim(text(key));
    if (props.empty()) continue;
    // The name of a data source alone, as typed into a data-source parameter.
    if (props.find(u'=') == std::u16string::npos) return {std::nullopt, props};
    const std::u16string company =
        automation::trim(automation::propertyValue(props, u"COMPANY").value_or(u""));
    if (!company.empty()) return {companyNumber(company), {}};
    const std::u16string dsn = automation::trim(automation::propertyValue(props, u"DSN").value_or(u""));
    if (!dsn.empty()) return {std::nullopt, dsn};
  }
  const std::int32_t id = number(u"CompanyID");
  return {id == 0 ? 1 : id, {}};
}

std::int32_t PushedContext::company(Ledger& ledger) const {
  const Named n = named();
  if (n.company) return *n.company;
  const auto ds = ledger.dataSource(automation::toUtf8(n.dataSource));
  return ds ? ds->company : -1;  // a data source the ledger does not have
}

std::optional<DataSourceRow> PushedContext::dataSource(Ledger& ledger) const {
  const Named n = named();
  if (n.company) return ledger.dataSourceOfCompany(*n.company);
  return ledger.dataSource(automation::toUtf8(n.dataSource));
}

std::int32_t PushedContext::year() const {
  const std::int32_t y = number(u"RptYear");
  return y == 0 ? kLatestYear : y;
}

std::int32_t PushedContext::period() const {
  const std::int32_t p = number(u"RptPeriod");
  return p == 0 ? 12 : p;
}

// --- The catalogue ---------------------------------------------------------------------------------

automation::ObjectRef FuncInfoObject::GetFuncInfo(std::u16string_view name) {
  const FunctionEntry* data = system_->catalogue().find(name);
  if (data == nullptr) {
    automation::raise(automation::errors::InvalidProcedureCall,
                      u"The function catalogue has no function '" + std::u16string(name) + u"'");
  }
  return std::make_shared<FuncDescriptorObject>(inLanguage(*system_, *data, currentLanguage()));
}

void FuncInfoObject::MaintainURL(std::u16string_view name) {
  if (system_->catalogue().find(name) != nullptr) system_->recordUse(std::u16string(name));
}

Variant FuncInfoObject::FuncGroup() {
  const std::u16string language = currentLanguage();
  std::vector<std::u16string> names;
  for (const std::u16string& group : system_->catalogue().groups)
    names.push_back(system_->translate(group, language));
  return namesArray(names);
}

Variant FuncInfoObject::GetGroupFuncList(std::u16string_view group) {
  // The picker asks by the name it shows, which is in the process language; the catalogue's own
  // spelling is understood as well.
  const CatalogueData& catalogue = system_->catalogue();
  const std::u16string language = currentLanguage();
  std::vector<std::u16string> asked;
  for (const std::u16string& g : catalogue.groups) {
    if (g == group || system_->translate(g, language) == group) asked.push_back(g);
  }
  std::vector<std::u16string> names;
  for (const FunctionEntry& f : catalogue.functions()) {
    if (group.empty() || std::find(asked.begin(), asked.end(), f.group) != asked.end())
      names.push_back(f.name);
  }
  return namesArray(names);
}

Variant FuncInfoObject::FuncURL() {
  const CatalogueData& catalogue = system_->catalogue();
  const auto counts = system_->usage();
  std::vector<std::pair<int, std::size_t>> ranked;  // (uses, catalogue position)
  for (std::size_t i = 0; i < catalogue.functions().size(); ++i) {
    const auto it = counts.find(automation::upper(catalogue.functions()[i].name));
    if (it != counts.end() && it->second > 0) ranked.emplace_back(it->second, i);
  }
  std::stable_sort(ranked.begin(), ranked.end(),
                   [](const auto& a, const auto& b) { return a.first > b.first; });
  std::vector<std::u16string> names;
  for (const auto& [uses, i] : ranked) names.push_back(catalogue.functions()[i].name);
  // Until something has been used, the balance functions are the common ones.
  for (const char16_t* common : {u"QMYE", u"QCYE", u"JFFS", u"DFFS", u"REF_F"}) {
    if (names.size() >= 5) break;
    if (catalogue.find(common) != nullptr && std::find(names.begin(), names.end(), common) == names.end()) {
      names.emplace_back(common);
    }
  }
  if (names.size() > 10) names.resize(10);
  return namesArray(names);
}

const ParamEntry* FuncInfoObject::paramOf(const FunctionEntry& function, std::u16string_view label) const {
  // The label is the row caption: the parameter's name in the process language. A name as the
  // catalogue writes it is understood too, but captions are compared first, so that a caption
  // always names the parameter that shows it.
  const std::u16string language = currentLanguage();
  for (const ParamEntry& p : function.params) {
    if (system_->translate(p.name, language) == label) return &p;
  }
  for (const ParamEntry& p : function.params) {
    if (p.name == label) return &p;
  }
  // The rows a variable function adds are labelled after the first parameter.
  if (!function.fixed && !function.params.empty()) return &function.params.front();
  return nullptr;
}

Variant FuncInfoObject::GetInfoToShow(std::u16string_view func, std::u16string_view label,
                                      std::u16string_view, std::u16string_view previous) {
  const FunctionEntry* function = system_->catalogue().find(func);
  const ParamEntry* param = function != nullptr ? paramOf(*function, label) : nullptr;
  if (param == nullptr || param->list.empty()) return Variant{};
  return valueList(system_->ledger(), context_, param->list, previous);
}

std::u16string FuncInfoObject::GetParamText(std::u16string_view func, std::u16string_view label,
                                            std::u16string_view text) {
  const FunctionEntry* function = system_->catalogue().find(func);
  const ParamEntry* param = function != nullptr ? paramOf(*function, label) : nullptr;
  if (param == nullptr || !param->customWindow) return std::u16string(text);
  return chooseAccount(system_->ledger(), context_.company(system_->ledger()), text);
}

std::int32_t FuncInfoObject::CallFunc(std::u16string_view func, Variant& batch, Variant&) {
  if (!batch.isArray())
    automation::raise(automation::errors::TypeMismatch, u"CallFunc needs the batch as an array");
  VariantArray& rows = batch.mutableArray();
  const std::u16string name = checkedName(rows, func);
  const std::u16string language = currentLanguage();
  const Wording wording = [&](std::u16string_view text) { return system_->translate(text, language); };
  if (isHostFunction(name)) return answerHostFunction(name, rows, wording);
  Ledger* ledger = nullptr;
  const auto compute = [&] {
    ledger = &system_->ledger();
    if (name == u"CASHFLOW") return computeCashFlows(*ledger, context_, rows, wording);
    if (name == u"REF_EXCEL")
      return computeExternalCells(*ledger, context_, system_->options().data / "sheets", rows, wording);
    return computeBatch(*ledger, context_, func, rows);
  };
  const auto attempt = [&]() -> std::int32_t {
    try {
      return compute();
    } catch (const automation::AutomationError&) {
      throw;
    } catch (const std::bad_alloc&) {
      throw;  // writing a text into every row would need memory too
    } catch (const std::exception& e) {
      // The ledger cannot be opened or read beyond a row: every row says why, none is left blank.
      const std::u16string text = u"#" + automation::fromUtf8(e.what());
      for (std::int32_t r = rows.lbound(1); r <= rows.ubound(1); ++r) writeError(rows, r, text);
      return rows.ubound(1) - rows.lbound(1) + 1;
    }
  };
  const std::int32_t failed = attempt();
  // The rows of a query that found the ledger damaged failed; built again, it answers them all.
  if (ledger != nullptr && ledger->damaged() && ledger->heal()) return attempt();
  return failed;
}

bool isHostFunction(std::u16string_view name) {
  return name == u"REF" || name == u"PAGENAME" || name == u"PAGENO" || name == u"ITEM";
}

std::int32_t answerHostFunction(std::u16string_view name, automation::VariantArray& batch,
                                const Wording& wording) {
  const std::u16string text =
      wordedError(RowError{u"#%1 由报表宿主计算，函数库不计算它", {std::u16string(name)}}, wording);
  for (std::int32_t r = batch.lbound(1); r <= batch.ubound(1); ++r) writeError(batch, r, text);
  return batch.ubound(1) - batch.lbound(1) + 1;
}

const DispatchTable& FuncInfoObject::dispatchTable() const {
  using automation::byRef;
  using automation::byVal;
  static const DispatchTable table =
      DispatchTable::Builder<FuncInfoObject>(u"FuncInfo")
          .get(u"Properties", 1, {byVal(u"Name", VarType::String)}, VarType::Variant,
               [](FuncInfoObject& f, Args& a) { return f.context_.get(a[0].asString()); })
          .put(u"Properties", 1, {byVal(u"Name", VarType::String)}, byVal(u"Value"),
               [](FuncInfoObject& f, Args& a, Variant& value) { f.context_.set(a[0].asString(), value); })
          .method(u"GetFuncInfo", 2, {byVal(u"FuncName", VarType::String)}, VarType::Object,
                  [](FuncInfoObject& f, Args& a) { return Variant(f.GetFuncInfo(a[0].asString())); })
          .method(u"MaintainURL", 3, {byVal(u"FuncName", VarType::String)}, VarType::Empty,
                  [](FuncInfoObject& f, Args& a) {
                    f.MaintainURL(a[0].asString());
                    return Variant{};
                  })
          .get(u"FuncGroup", 4, {}, VarType::Variant, [](FuncInfoObject& f, Args&) { return f.FuncGroup(); })
          .method(u"GetGroupFuncList", 5, {byVal(u"Group", VarType::String)}, VarType::Variant,
                  [](FuncInfoObject& f, Args& a) { return f.GetGroupFuncList(a[0].asString()); })
          .get(u"FuncURL", 6, {}, VarType::Variant, [](FuncInfoObject& f, Args&) { return f.FuncURL(); })
          .method(u"GetInfoToShow", 7,
                  {byVal(u"FuncName", VarType::String), byVal(u"Label", VarType::String),
                   byVal(u"Text", VarType::String), byVal(u"Previous", VarType::String)},
                  VarType::Variant,
                  [](FuncInfoObject& f, Args& a) {
                    return f.GetInfoToShow(a[0].asString(), a[1].asString(), a[2].asString(),
                                           a[3].asString());
                  })
          .method(u"GetParamText", 8,
                  {byVal(u"FuncName", VarType::String), byVal(u"Label", VarType::String),
                   byVal(u"Text", VarType::String)},
                  VarType::String,
                  [](FuncInfoObject& f, Args& a) {
                    return Variant(f.GetParamText(a[0].asString(), a[1].asString(), a[2].asString()));
                  })
          .method(u"CallFunc", 9,
                  {byVal(u"FuncName", VarType::String), byRef(u"Batch"), byRef(u"Spreadsheet")},
                  VarType::Long,
                  [](FuncInfoObject& f, Args& a) { return Variant(f.CallFunc(a[0].asString(), a[1], a[2])); })
          .build();
  return table;
}

}  // namespace sample
