// FrmCalcEqual: the formula editor. One row per parameter of the chosen report function (name
// label, value text box, note label); the expression composed from the rows is shown above them
// and kept in m_sFormula. OK sets Tag to "OK" and hides the dialog.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "automation/Variant.h"
#include "editor/Composition.h"
#include "editor/Layout.h"
#include "forms/Backend.h"
#include "forms/ControlArray.h"
#include "forms/Controls.h"
#include "forms/Form.h"

namespace valuelist {
class frmInformation;
}

namespace editor {

class FrmCalcEqual final : public forms::Form {
 public:
  FrmCalcEqual();
  ~FrmCalcEqual() override;

  // Controls, at their design geometry (twips).
  forms::Label lblFuncName{*this, u"lblFuncName"};
  forms::ControlArray<forms::Label> lblParam{*this, u"lblParam"};
  forms::ControlArray<forms::TextBox> txtParam{*this, u"txtParam"};
  forms::ControlArray<forms::Label> lblExp{*this, u"lblExp"};
  forms::VScrollBar vsParam{*this, u"vsParam"};
  forms::PictureBox picFunction{*this, u"picFunction"};
  forms::Label lblExplain{*this, u"lblExplain", &picFunction};
  forms::Label lblParamName{*this, u"lblParamName", &picFunction};
  forms::Label lblParamDes{*this, u"lblParamDes", &picFunction};
  forms::ControlArray<forms::CommandButton> btnOK{*this, u"btnOK", &picFunction};
  forms::ControlArray<forms::CommandButton> btnCancel{*this, u"btnCancel", &picFunction};
  forms::Line Line1{*this, u"Line1", &picFunction};
  forms::Line Line2{*this, u"Line2", &picFunction};
  forms::Timer TimerDrag{*this, u"TimerDrag"};
  // The live result: what the formula would compute now, shown after typing pauses.
  forms::Label lblResult{*this, u"lblResult", &picFunction};
  forms::Timer tmrPreview{*this, u"tmrPreview"};
  // Tells of a scheme out of range once the focus has left its row for another row.
  forms::Timer tmrSchemeWarning{*this, u"tmrSchemeWarning"};

  // Public members.
  std::vector<forms::TextBox*>& g_cParamCol();  // the rows' text boxes in row order
  std::int16_t g_GetParam = 0;                  // 1-based row that has the focus, 0 for none
  std::u16string g_CurDsn;                      // the text last typed into a data-source row
  std::u16string sZpsCurDsn;                    // the host's current property string
  std::int32_t m_CurSheetIndex = 0;             // the host's current sheet
  std::u16string m_sFormula;                    // the expression of the last refresh

  // Computes a one-row batch of a function as the host's recalculation would (argument list in
  // column 0, value and error text back in columns 1 and 2). Without it there is no live result.
  std::function<void(const std::u16string& funcName, automation::Variant& batch)> Preview;
  static constexpr std::int32_t kPreviewPause = 300;  // milliseconds without a change before computing
  // Computes the live result now (the timer does it once typing pauses).
  void ShowPreview();

  // Prepares the dialog for a function: False when the catalogue does not know it.
  bool RefreshFunc(std::u16string_view sFunc);
  // Puts the arguments of a call of the loaded function into its rows as a user would have typed
  // them (a variable list grows to hold them); False, with a warning, when the call has more
  // arguments than the function takes.
  bool FillRows(const std::vector<std::u16string>& args);
  // Rebuilds the rows from the parameter table and composes the expression.
  void LoadParam(std::u16string_view sFunc);
  // Stores a per-terminal setting under the editor's registry key.
  void SetRegInfo(std::u16string_view strKey, const automation::Variant& varValue);
  // The setting as stored, nothing when there is none.
  std::optional<std::u16string> GetRegInfo(std::u16string_view strKey);
  // Keys that reach a row after the dialog's own key handler: F7 looks the row's value up.
  void ParamKeyPress(int KeyAscii, std::int16_t iParamIndex);
  // The value list of row i in the popup under the row; with bShowOnline True an open popup is
  // shown anew.
  void ShowInfo(std::int16_t& i, const automation::Variant& bShowOnline = automation::Variant::missing());
  // Fills row i through the catalogue's own entry window: "value@tooltip".
  void ShowCustomWnd(std::int16_t i);

  // The row's explanation label: the kind of value it expects, marked when the text cannot be one.
  void RefreshHint(std::int16_t index);
  // CASHFLOW's report-scheme row, whose number is stored for this terminal as it is typed.
  bool IsSchemeRow(std::int16_t index);
  bool SchemeOutOfRange(std::int16_t index);
  // The range warning for a scheme out of range, once for each value (leaving the row, OK).
  void WarnSchemeOutOfRange();

  // Composition of the expression (the rules themselves are in Composition.h).
  std::u16string GetParamValue(std::int16_t index);
  std::u16string BuildFormula();

  // Growth and scrolling of variable-length lists, Tab through rows and buttons.
  void AddParamRow();
  void MoveParamFocus();

  // The registry key name of this terminal: the computer name, with "[session]" in a remote session.
  static std::u16string GetClientKeyName();

 protected:
  void Form_Load() override;
  void Form_Activate() override;
  void Form_KeyDown(int& keyCode, int shift) override;
  void Form_Unload(bool& cancel) override;
  void Form_MouseDown(int button, int shift, forms::Twips x, forms::Twips y) override;
  void Form_MouseUp(int button, int shift, forms::Twips x, forms::Twips y) override;

 public:
  // The most rows the current function's list holds: a fixed list its rows, a variable one its
  // function's most parameters, within the editor's own limit (layout::kMostRows).
  std::size_t MostRows();

 private:
  void ApplyCaptions();
  void ClearParamRows();
  bool CreateParamRow(const std::u16string& name);
  // Loads (or reuses, for row 0) the elements of row `r`, shows them below row r-1 with `caption`
  // and an empty text, and appends the text box to the rows.
  forms::TextBox& PlaceRow(std::int16_t r, const std::u16string& caption);
  ComposedRow RowForComposition(std::int16_t index);
  void RefreshExpression();
  // Lays out the first eight rows as the visible window and shows the scroll bar over them.
  void PrepareScrolling();
  void vsParam_Change();

  void txtParam_Change(std::int16_t index);
  void txtParam_GotFocus(std::int16_t index);
  void txtParam_LostFocus(std::int16_t index);
  void txtParam_KeyDown(std::int16_t index, int& keyCode, int shift);
  void lblParam_Click(std::int16_t index);
  void lblParam_DblClick(std::int16_t index);
  void btnOK_Click();
  void btnCancel_Click();

  // The value lookup hands the catalogue the report context of the row's data source first.
  void PushLookupContext();
  // The descriptor index of row i: its own for a fixed list, the first one for a variable list.
  std::int32_t DescriptorOf(std::int16_t row);

  // Dragging the frameless window by its background, panel and labels.
  void WireDragSurfaces();
  void BeginDrag();
  void EndDrag();
  void TimerDrag_Timer();

  std::vector<forms::TextBox*> m_cParamCol;  // its size is the number of rows
  std::array<forms::Twips, layout::kVisibleRows> m_RowTops{};
  // The window the scroll bar last showed: of the first m_iLaidOutRows rows, only those from
  // m_iShownFrom on are visible; -1 when it is not known and every row is laid out again.
  std::int32_t m_iShownFrom = -1;
  std::int32_t m_iLaidOutRows = 0;
  std::u16string m_sPreview;  // the text of the last live result
  std::u16string m_sSchemeWarned;  // the out-of-range scheme the user was last told of
  std::optional<std::u16string> m_sSchemeBefore;  // the stored scheme before the row's number began
  bool m_bFocusFirstRow = false;                        // the first activation after the rows were built
  valuelist::frmInformation* m_pInformation = nullptr;  // the value-list popup while it is shown

  bool m_bDragging = false;
  bool m_bDragMoved = false;    // the last press moved the window: its release is no click
  forms::Point m_DragCursor;    // screen pixels at the press
  std::int32_t m_DragLeft = 0;  // window edges in twips at the press
  std::int32_t m_DragTop = 0;
};

}  // namespace editor
