// Growth of variable-length parameter lists, the eight-row window moved by the scroll bar, and
// Tab through the rows and the two buttons.
#include <algorithm>
#include <vector>

#include "automation/Conversions.h"
#include "automation/Text.h"
#include "component/SharedHelpers.h"
#include "editor/FrmCalcEqual.h"

namespace editor {

using layout::kTextBoxLift;
using layout::kVisibleRows;

void FrmCalcEqual::PrepareScrolling() {
  vsParam.setTop(lblParam(0).Top());
  const forms::Label& bottom = lblParam(kVisibleRows - 1);
  vsParam.setHeight(bottom.Top() + bottom.Height() - lblParam(0).Top());
  vsParam.setSmallChange(1);
  vsParam.setLargeChange(kVisibleRows);
  vsParam.setVisible(true);
  for (std::int16_t i = 0; i < kVisibleRows; ++i) m_RowTops[static_cast<std::size_t>(i)] = lblParam(i).Top();
  const auto rows = static_cast<std::int32_t>(g_cParamCol().size());
  if (rows > kVisibleRows) {
    vsParam.setMin(0);
    vsParam.setMax(rows - kVisibleRows);
    if (vsParam.Value() != 0) {
      vsParam.setValue(0);
    } else {
      vsParam_Change();
    }
  }
}

void FrmCalcEqual::AddParamRow() {
  const auto n = static_cast<std::int16_t>(g_cParamCol().size());
  if (n == kVisibleRows) PrepareScrolling();
  // The new row is named after the one above it, numbered from 1: 科目2, 科目3, …
  const std::u16string caption = lblParam(n - 1).Caption().substr(0, 2) + automation::decimalText(n + 1);
  PlaceRow(n, caption);
  const forms::Label& label = lblParam(n);
  if (n >= kVisibleRows) {
    vsParam.setMin(0);
    vsParam.setMax(n - (kVisibleRows - 1));
    vsParam.setValue(n - (kVisibleRows - 1));  // scrolls to the end: the new row is the bottom visible one
  }
  btnOK(0).setTag(automation::decimalText(n + 1));
  btnCancel(0).setTag(automation::decimalText(n + 2));
  const forms::Twips panel = picFunction.Height();
  const forms::Twips lastTop = n < kVisibleRows ? label.Top() : m_RowTops[kVisibleRows - 1];
  setHeight(lastTop + 2 * label.Height() + panel);
}

void FrmCalcEqual::vsParam_Change() {
  const std::int32_t v = vsParam.Value();
  // Taken first: a toolkit moves the focus on by itself when it hides the focused widget.
  const forms::Control* active = ActiveControl();
  const auto rows = static_cast<std::int32_t>(g_cParamCol().size());
  // Only rows that can be visible now or could have been are laid out: the last window, the rows
  // placed since (a new row shows), and the new window. A long list scrolls in constant time.
  std::vector<std::int32_t> touched;
  if (m_iShownFrom < 0) {
    for (std::int32_t i = 0; i < rows; ++i) touched.push_back(i);
  } else {
    for (std::int32_t i = m_iShownFrom; i < m_iShownFrom + kVisibleRows; ++i) touched.push_back(i);
    for (std::int32_t i = m_iLaidOutRows; i < rows; ++i) touched.push_back(i);
    for (std::int32_t i = v; i < v + kVisibleRows; ++i) touched.push_back(i);
    std::sort(touched.begin(), touched.end());
    touched.erase(std::unique(touched.begin(), touched.end()), touched.end());
  }
  m_iShownFrom = v;
  m_iLaidOutRows = rows;
  for (const std::int32_t i : touched) {
    if (i < 0 || i >= rows) continue;
    const auto row = static_cast<std::int16_t>(i);
    if (i < v || i >= v + kVisibleRows) {
      lblParam(row).setVisible(false);
      txtParam(row).setVisible(false);
      lblExp(row).setVisible(false);
    } else {
      const forms::Twips top = m_RowTops[static_cast<std::size_t>(i - v)];
      lblParam(row).setTop(top);
      lblExp(row).setTop(top);
      txtParam(row).setTop(top - kTextBoxLift);
      lblParam(row).setVisible(true);
      txtParam(row).setVisible(true);
      lblExp(row).setVisible(true);
    }
  }
  // A row that scrolling hides never keeps the focus, or typing would go nowhere the user sees:
  // the nearest visible row takes it. It is never the last row, whose focus would add a row.
  if (active != nullptr && active->kind() == forms::ControlKind::TextBox && active->Index() >= 0 &&
      active->Index() < rows && (active->Index() < v || active->Index() >= v + kVisibleRows)) {
    const std::int32_t nearest = std::clamp<std::int32_t>(active->Index(), v, v + kVisibleRows - 1);
    forms::TextBox& row = txtParam(static_cast<std::int16_t>(nearest));
    row.SetFocus();
    row.setSelStart(static_cast<std::int32_t>(row.Text().size()));  // typing goes on after its text
  }
}

void FrmCalcEqual::MoveParamFocus() {
  bool shiftDown = false, ctrlDown = false, altDown = false;
  component::GetShiftState(shiftDown, ctrlDown, altDown);
  auto& rows = g_cParamCol();
  const auto count = static_cast<std::int32_t>(rows.size());
  const bool scrolling = vsParam.Visible();
  const std::int32_t v = scrolling ? vsParam.Value() : 0;
  const auto focusRow = [&](std::int32_t k) { rows[static_cast<std::size_t>(k - 1)]->SetFocus(); };
  forms::Control* active = ActiveControl();

  if (active == &btnOK(0)) {
    if (!shiftDown) {
      btnCancel(0).SetFocus();
    } else if (count > 0) {
      focusRow(scrolling ? v + kVisibleRows : count);
    }
    return;
  }
  if (active == &btnCancel(0)) {
    if (shiftDown) {
      btnOK(0).SetFocus();
    } else if (count > 0) {
      focusRow(scrolling ? v + 1 : 1);
    } else {
      btnOK(0).SetFocus();
    }
    return;
  }
  if (active == nullptr || active->kind() != forms::ControlKind::TextBox || active->Index() < 0) {
    if (count > 0) focusRow(scrolling ? v + 1 : 1);
    return;
  }
  const std::int32_t k = active->Index() + 1;
  if (!shiftDown) {
    if (k >= count) {
      btnOK(0).SetFocus();
      return;
    }
    if (scrolling && k == v + kVisibleRows) vsParam.setValue(v + 1);
    focusRow(k + 1);
  } else {
    if (k == 1) {
      btnCancel(0).SetFocus();
      return;
    }
    if (scrolling && k == v + 1) vsParam.setValue(v - 1);
    focusRow(k - 1);
  }
}

}  // namespace editor
