// Routines the dialogs share: the parameter table of the function being edited, parameter default
// texts, named values of report workbooks, the warning box, loaded-dialog and modifier-key tests.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "automation/Variant.h"
#include "automation/VariantArray.h"

namespace forms {
class Form;
}

namespace component {

// The parameters of the function being edited: seven parallel columns indexed from 0. For a
// function without parameters every column is an array without elements (its bounds raise 9).
struct ParamTable {
  automation::VariantArray ParamName;
  automation::VariantArray ParamDes;
  automation::VariantArray DataType;
  automation::VariantArray IsList;
  automation::VariantArray IsDsn;
  automation::VariantArray DefValue;
  automation::VariantArray IsCustomWnd;
};

ParamTable& paramTable();  // g_ParamTable

// Fetches the function's descriptor into g_oCurFunc, records the function as used, and fills
// g_oParams and g_ParamTable. False when the catalogue does not know the function (or fails to
// record it); the previous table then stays.
bool LoadFuncParams(std::u16string_view funcName);

// The text that stands for a parameter left empty: its default value formatted by its type code
// (quoted for texts and dates); "" for an unknown type code or on any failure. All parameters of a
// function with a variable count share the first parameter's descriptor.
std::u16string GetParamDefaultText(std::int16_t index);

// The value of a workbook name (of one sheet when `sheet` is given), with a formula's "=" and
// quotes removed and an ENCODE_ value decoded; Empty on any failure.
automation::Variant GetNameValue(std::u16string_view name, const automation::ObjectRef& workbook,
                                 const automation::Variant& sheet = automation::Variant::missing());
automation::Variant DecodeNameValue(automation::Variant value);

// A beep and a modal warning box titled L("Torvane提示").
void ShowWarning(std::u16string_view text);

bool IsFormLoaded(const forms::Form& form);

// Whether Shift, Ctrl and Alt are held down now.
void GetShiftState(bool& shiftDown, bool& ctrlDown, bool& altDown);

}  // namespace component
