// frmOtherFunc: the function picker. Groups on the left (common functions, all functions, then
// the catalogue's groups), the functions of the chosen group on the right, the explanation of the
// chosen function underneath. Confirming sets Tag to "OK" and m_sFuncName to the function.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "forms/Controls.h"
#include "forms/Form.h"
#include "picker/Search.h"

namespace picker {

// The group the last picker of the process was closed on.
struct PickerState {
  std::int16_t g_iLastGroup = 0;
};
PickerState& pickerState();
void resetPickerState();

class frmOtherFunc final : public forms::Form {
 public:
  frmOtherFunc();

  forms::CommandButton cmdOK{*this, u"cmdOK"};
  forms::CommandButton cmdCancel{*this, u"cmdCancel"};
  forms::ListBox lstFunc{*this, u"lstFunc"};
  forms::ListBox lstGroup{*this, u"lstGroup"};
  forms::Label lblExplan{*this, u"lblExplan"};
  forms::Label lblFunc{*this, u"lblFunc"};
  forms::Label lblGroup{*this, u"lblGroup"};
  // The search box: typing narrows the list to the matching functions of every group.
  forms::Label lblSearch{*this, u"lblSearch"};
  forms::TextBox txtSearch{*this, u"txtSearch"};

  std::u16string m_sFuncName;  // the chosen function, "" until a choice is confirmed

  // Whether a function may appear in the list (the reference functions only in "bb" list mode).
  static bool IsFuncListed(std::u16string_view name);
  // Whether the picker shows a function at all: listed, and not REF_EXCEL.
  static bool IsFuncShown(std::u16string_view name);
  // Every function of the catalogue the picker shows, for its search.
  static std::vector<FunctionEntry> ShownEntries();

 protected:
  void Form_Load() override;
  void Form_KeyDown(int& keyCode, int shift) override;
  void Form_KeyPress(int& keyAscii) override;
  void Form_Unload(bool& cancel) override;

 private:
  void ApplyCaptions();
  void lstGroup_Click();
  void lstFunc_Click();
  void Confirm();
  void FocusByAccessKey(int keyCode);
  void txtSearch_Change();

  std::u16string m_sCommonGroup;
  std::u16string m_sAllGroup;
  std::int16_t m_iFilledGroup = 0;  // one more than the group lstFunc holds; 0 for none
  std::unique_ptr<FunctionIndex> m_index;  // made on the first search
};

}  // namespace picker
