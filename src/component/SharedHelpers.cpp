#include "component/SharedHelpers.h"

#include <algorithm>

#include "automation/ClassRegistry.h"
#include "automation/Conversions.h"
#include "automation/Error.h"
#include "automation/Text.h"
#include "component/ParamTypes.h"
#include "component/ReportContext.h"
#include "environment/Localisation.h"
#include "forms/Backend.h"
#include "forms/Form.h"
#include "outside/Environment.h"
#include "outside/FuncInfo.h"
#include "outside/ProgIds.h"

namespace component {

using automation::Bounds;
using automation::ignoreErrors;
using automation::Variant;
using automation::VariantArray;
using automation::VarType;

ParamTable& paramTable() {
  return componentState().g_ParamTable;
}

bool LoadFuncParams(std::u16string_view funcName) {
  ComponentState& state = componentState();
  const outside::FuncInfoCalls catalogue(state.g_oFuncInfo);
  const bool known = automation::trapAndLeave(false, [&] {
    state.g_oCurFunc = catalogue.getFuncInfo(funcName);
    catalogue.maintainURL(funcName);
    return true;
  });
  if (!known) return false;

  const automation::ClearErrOnExit clearErr;
  // A descriptor without a parameter collection leaves none, rather than the previous function's.
  if (!ignoreErrors([&] { state.g_oParams = outside::FuncDescriptorCalls(state.g_oCurFunc).paramsInfo(); })) {
    state.g_oParams.reset();
  }
  std::int32_t n = 0;
  ignoreErrors([&] { n = outside::collectionCount(state.g_oParams); });

  ParamTable table;
  if (n > 0) {
    const std::vector<Bounds> rows{Bounds{0, n - 1}};
    table = ParamTable{VariantArray(rows, VarType::String),  VariantArray(rows, VarType::String),
                       VariantArray(rows, VarType::Long),    VariantArray(rows, VarType::Boolean),
                       VariantArray(rows, VarType::Boolean), VariantArray(rows, VarType::Variant),
                       VariantArray(rows, VarType::Boolean)};
  }
  for (std::int32_t i = 0; i < n; ++i) {
    outside::ParamItemCalls item(nullptr);
    if (!ignoreErrors([&] {
          item =
              outside::ParamItemCalls(automation::objectOf(outside::collectionItem(state.g_oParams, i + 1)));
        })) {
      continue;
    }
    const std::int32_t at[] = {i};
    ignoreErrors([&] { table.ParamName.set(at, item.paramName()); });
    ignoreErrors([&] { table.ParamDes.set(at, item.paramDes()); });
    ignoreErrors([&] { table.IsList.set(at, item.isList()); });
    ignoreErrors([&] { table.IsDsn.set(at, item.isDsn()); });
    ignoreErrors([&] { table.DataType.set(at, item.dataType()); });
    ignoreErrors([&] { table.DefValue.set(at, item.defValue()); });
    ignoreErrors([&] { table.IsCustomWnd.set(at, item.isCustomWnd()); });
  }
  state.g_ParamTable = std::move(table);
  return true;
}

std::u16string GetParamDefaultText(std::int16_t index) {
  return automation::trapAndLeave(std::u16string{}, [&]() -> std::u16string {
    const ComponentState& state = componentState();
    const ParamTable& table = state.g_ParamTable;
    std::int32_t row = index;
    if (!outside::FuncDescriptorCalls(state.g_oCurFunc).fixParamNum()) row = table.DataType.lbound();
    const std::int32_t type = automation::toLong(table.DataType(row));
    const Variant& value = table.DefValue(row);
    const auto quoted = [&] { return u"\"" + automation::toText(value) + u"\""; };
    switch (paramTextKind(type)) {
      case ParamTextKind::Verbatim:
      case ParamTextKind::Boolean:  // a default is written as stored; only typed text is read as Boolean
        return automation::toText(value);
      case ParamTextKind::Quoted:
        return quoted();
      case ParamTextKind::NumberOrQuoted:
        return automation::isNumeric(value) ? automation::toText(value) : quoted();
      case ParamTextKind::Unlisted:
        break;
    }
    return {};
  });
}

Variant GetNameValue(std::u16string_view name, const automation::ObjectRef& workbook, const Variant& sheet) {
  return automation::trapAndLeave(Variant{}, [&] {
    Variant value = sheet.isMissing() ? outside::workbookNameValue(workbook, name)
                                      : outside::sheetNameValue(workbook, sheet, name);
    if (value.isString() && !value.asString().empty() && value.asString().front() == u'=') {
      const std::u16string& text = value.asString();
      const std::size_t quote = text.find(u'"');
      value = quote != std::u16string::npos ? Variant(text.substr(quote + 1, text.size() - quote - 2))
                                            : Variant(text.substr(1));
    }
    return DecodeNameValue(std::move(value));
  });
}

Variant DecodeNameValue(Variant value) {
  if (value.isString() && !value.asString().empty() && value.asString().front() == u'=') {
    std::u16string text = automation::trim(value.asString().substr(1));
    if (!text.empty() && text.front() == u'"') text = automation::trim(text.substr(1));
    if (!text.empty() && text.back() == u'"') text.pop_back();
    value = Variant(std::move(text));
  }
  const outside::MemoryFileCalls memoryFile(automation::CreateObject(outside::kMemoryFile));
  if (value.isString() && value.asString().starts_with(u"ENCODE_")) {
    value = Variant(value.asString().substr(7));
    memoryFile.decode(value);
  }
  return value;
}

void ShowWarning(std::u16string_view text) {
  forms::backend().beep();
  forms::backend().messageBox(std::u16string(text), environment::L(u"Torvane提示"),
                              forms::MessageIcon::Warning);
}

bool IsFormLoaded(const forms::Form& form) {
  const auto& loaded = forms::loadedForms();
  return std::find(loaded.begin(), loaded.end(), &form) != loaded.end();
}

void GetShiftState(bool& shiftDown, bool& ctrlDown, bool& altDown) {
  const forms::Backend& b = forms::backend();
  shiftDown = b.isKeyDown(forms::keys::Shift);
  ctrlDown = b.isKeyDown(forms::keys::Control);
  altDown = b.isKeyDown(forms::keys::Menu);
}

}  // namespace component
