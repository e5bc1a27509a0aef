#include "editor/FrmCalcEqual.h"

#include "editor/Composition.h"
#include "editor/TypeHints.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <utility>

#include "automation/Conversions.h"
#include "automation/Error.h"
#include "automation/Text.h"
#include "automation/VariantArray.h"
#include "component/ReportContext.h"
#include "component/SharedHelpers.h"
#include "environment/Localisation.h"
#include "outside/FuncInfo.h"

namespace editor {

using automation::ignoreErrors;
using automation::Variant;
using component::componentState;
using component::paramTable;
using environment::L;
using forms::Twips;

namespace {

// The number at the start of a scheme text rounded to 32 bits (ties to even); nothing when it does
// not fit, an overflowing text such as 1e400 included.
std::optional<std::int32_t> SchemeNumber(const std::u16string& text) {
  const auto number =
      automation::trapAndLeave(std::optional<double>{}, [&] { return std::optional(automation::val(text)); });
  if (!number) return std::nullopt;
  const double rounded = std::nearbyint(*number);
  if (!(rounded >= std::numeric_limits<std::int32_t>::min() &&
        rounded <= std::numeric_limits<std::int32_t>::max()))
    return std::nullopt;
  return static_cast<std::int32_t>(rounded);
}

outside::FuncDescriptorCalls currentFunction() {
  return outside::FuncDescriptorCalls(componentState().g_oCurFunc);
}

// Loads element `index` of a control array; element 0 and the others already there are reused.
template <class T>
T& loadOrReuse(forms::ControlArray<T>& array, std::int16_t index) {
  if (!array.exists(index)) array.Load(index);
  return array(index);
}

}  // namespace

FrmCalcEqual::FrmCalcEqual() : Form(u"FrmCalcEqual") {
  setFrame(forms::BorderStyle::FixedSingle, false);
  setClientSize(8985, 5295);
  setCentered(true);
  setKeyPreview(true);

  lblFuncName.Move(495, 90, 1200, 180);
  lblFuncName.setAutoSize(true);
  lblFuncName.setCaption(u"函数表达式：");
  lblParam(0).Move(2175 - 1200, 510, 1200, 180);
  lblParam(0).setAlignment(forms::Alignment::Right);
  lblParam(0).setAutoSize(true);
  lblParam(0).setVisible(false);
  txtParam(0).Move(2205, 480, 2130, 300);
  txtParam(0).setVisible(false);
  txtParam(0).setTabIndex(9);
  // The type hint stands right of the text box, up to the scroll bar: there it is never drawn over
  // what the user types, nor hidden behind a later row's box.
  lblExp(0).Move(4455, 495, 3855, 225);
  lblExp(0).setVisible(false);
  vsParam.Move(8370, 750, 285, 1545);
  vsParam.setVisible(false);
  vsParam.setTabIndex(0);
  picFunction.Move(0, 2640, 8985, 2655);
  picFunction.setAlign(forms::Align::Bottom);
  picFunction.setTabIndex(1);
  lblExplain.Move(180, 75, 8670, 1635);
  lblExplain.setWordWrap(true);
  lblParamName.Move(405, 1755, 1455, 435);
  lblParamName.setAlignment(forms::Alignment::Right);
  lblParamName.setColors(forms::colors::WindowText, forms::colors::WindowBackground);
  lblParamDes.Move(1980, 1755, 6915, 525);
  lblParamDes.setWordWrap(true);
  btnOK(0).Move(6285, 2310, 1185, 300);
  btnOK(0).setCaption(u"确认");
  btnOK(0).setTabIndex(2);
  btnCancel(0).Move(7605, 2310, 1185, 300);
  btnCancel(0).setCaption(u"取消");
  btnCancel(0).setTabIndex(3);
  lblResult.Move(180, 2340, 5985, 225);
  lblResult.setCaption(u"");
  tmrPreview.setInterval(kPreviewPause);
  tmrPreview.OnTimer = [this] { ShowPreview(); };
  tmrSchemeWarning.setInterval(1);
  tmrSchemeWarning.OnTimer = [this] {
    tmrSchemeWarning.setEnabled(false);
    // Leaving the row for OK tells it when OK is pressed (a box now would swallow the click that
    // is under way), leaving it for Cancel throws the value away: neither is told here.
    const forms::Control* now = ActiveControl();
    if (Visible() && now != &btnOK(0) && now != &btnCancel(0)) WarnSchemeOutOfRange();
  };
  Line1.setPoints(135, 0, 9000, 0);
  Line1.setBorderColor(forms::colors::Black);
  Line2.setPoints(135, 0, 9000, 0);
  Line2.setBorderColor(forms::colors::White);

  txtParam.wire([this](forms::TextBox& box, std::int16_t i) {
    box.Change = [this, i] { txtParam_Change(i); };
    box.GotFocus = [this, i] { txtParam_GotFocus(i); };
    box.LostFocus = [this, i] { txtParam_LostFocus(i); };
    box.KeyDown = [this, i](int& keyCode, int shift) { txtParam_KeyDown(i, keyCode, shift); };
  });
  lblParam.wire([this](forms::Label& label, std::int16_t i) {
    label.Click = [this, i] { lblParam_Click(i); };
    label.DblClick = [this, i] { lblParam_DblClick(i); };
  });
  WireDragSurfaces();
  btnOK(0).Click = [this] { btnOK_Click(); };
  btnCancel(0).Click = [this] { btnCancel_Click(); };
  vsParam.Change = [this] { vsParam_Change(); };
}

FrmCalcEqual::~FrmCalcEqual() = default;

std::vector<forms::TextBox*>& FrmCalcEqual::g_cParamCol() {
  return m_cParamCol;
}

// --- The window ------------------------------------------------------------------------------------

void FrmCalcEqual::ApplyCaptions() {
  const automation::ClearErrOnExit clearErr;
  ignoreErrors([&] { environment::SetFormFont(*this); });  // the font loader is an outside component
  btnCancel(0).setCaption(L(u"取消"));
  btnOK(0).setCaption(L(u"确认"));
  lblFuncName.setCaption(L(u"函数表达式："));
}

void FrmCalcEqual::Form_Load() {
  ApplyCaptions();
  picFunction.setVisible(true);
}

void FrmCalcEqual::Form_Activate() {
  btnOK(0).ZOrder(0);
  btnCancel(0).ZOrder(0);
  if (m_bFocusFirstRow) {
    // The user can type into the first row shown at once, after what it holds (a re-edited long
    // call shows its last rows). Not the last row: its focus would add a row and scroll.
    m_bFocusFirstRow = false;
    if (!g_cParamCol().empty()) {
      ignoreErrors([&] {
        const std::size_t first =
            vsParam.Visible() ? static_cast<std::size_t>(std::max(0, vsParam.Value())) : 0;
        forms::TextBox& row = *g_cParamCol().at(std::min(first, g_cParamCol().size() - 1));
        row.SetFocus();
        row.setSelStart(static_cast<std::int32_t>(row.Text().size()));
      });
    }
  }
}

void FrmCalcEqual::Form_KeyDown(int& keyCode, int) {
  const int key = keyCode;
  if (key != forms::keys::Return && key != forms::keys::Escape && key != forms::keys::Tab) return;
  keyCode = 0;  // consumed even when the action fails
  const automation::ClearErrOnExit clearErr;
  ignoreErrors([&] {
    if (key == forms::keys::Return) {
      btnOK(0).press();
    } else if (key == forms::keys::Escape) {
      btnCancel(0).press();
    } else {
      MoveParamFocus();
    }
  });
}

void FrmCalcEqual::Form_Unload(bool&) {
  m_cParamCol.clear();
  m_sSchemeWarned.clear();
  m_sSchemeBefore.reset();
  tmrSchemeWarning.setEnabled(false);
  m_iShownFrom = -1;
}

void FrmCalcEqual::btnOK_Click() {
  // The formula still goes back with a scheme out of range; only the setting was not stored.
  WarnSchemeOutOfRange();
  setTag(u"OK");
  Hide();
}

void FrmCalcEqual::btnCancel_Click() {
  Hide();
}

bool FrmCalcEqual::RefreshFunc(std::u16string_view sFunc) {
  if (!component::LoadFuncParams(sFunc)) return false;
  lblExplain.setCaption(currentFunction().funcDes());
  component::SetContextValue(u"CurPropsString", Variant(u""));
  LoadParam(sFunc);
  return true;
}

// --- Rows --------------------------------------------------------------------------------------------

bool FrmCalcEqual::FillRows(const std::vector<std::u16string>& given) {
  const outside::FuncDescriptorCalls function = currentFunction();
  const bool fixed = function.fixParamNum();
  // F() where the first row has a default text is that row composed to nothing (blanks), not a
  // call without arguments: an empty row would compose to its default.
  std::vector<std::u16string> args = given;
  if (args.empty() && !g_cParamCol().empty() && !component::GetParamDefaultText(0).empty())
    args.emplace_back();
  const std::size_t most = MostRows();
  if (args.size() > most) {
    component::ShowWarning(L(u"公式的参数多于函数的参数：") + function.funcName() + u" " +
                           automation::decimalText(static_cast<std::int64_t>(most)));
    return false;
  }
  // A variable list keeps an empty row after the last filled one, as typing leaves it.
  while (!fixed && !g_cParamCol().empty() && g_cParamCol().size() < std::min(args.size() + 1, most))
    AddParamRow();
  const auto& types = paramTable().DataType;
  for (std::size_t i = 0; i < args.size() && i < g_cParamCol().size(); ++i) {
    const auto row = static_cast<std::int16_t>(i);
    const std::int32_t type = automation::toLong(types(fixed ? row : types.lbound()));
    txtParam(row).setText(
        RowText(args[i], type, function.funcName(), m_CurSheetIndex, component::GetParamDefaultText(row)));
  }
  RefreshExpression();
  return true;
}

void FrmCalcEqual::LoadParam(std::u16string_view) {
  try {
    automation::asAutomation([&] {
      ClearParamRows();
      const auto& names = paramTable().ParamName;
      if (names.size() == 0) {
        // A function without parameters: no rows, but its expression is NAME().
        RefreshExpression();
        return;
      }
      if (names.size() > static_cast<std::size_t>(layout::kMostRows)) {
        automation::raise(
            automation::errors::InvalidProcedureCall,
            L(u"函数的参数多于编辑器能显示的行数：") + automation::decimalText(layout::kMostRows));
      }
      for (std::int32_t i = names.lbound(); i <= names.ubound(); ++i)
        CreateParamRow(automation::toText(names(i)));
      const auto n = static_cast<std::int32_t>(g_cParamCol().size());
      if (n > layout::kVisibleRows) PrepareScrolling();
      const forms::Label& last =
          lblParam(static_cast<std::int16_t>(std::min<std::int32_t>(n, layout::kVisibleRows) - 1));
      setHeight(last.Top() + 2 * last.Height() + picFunction.Height());
      RefreshExpression();
      m_bFocusFirstRow = true;
    });
  } catch (const automation::AutomationError& e) {
    if (!e.description().empty()) component::ShowWarning(e.description());
  }
}

void FrmCalcEqual::ClearParamRows() {
  m_iShownFrom = -1;  // the rows are laid out anew
  for (std::int16_t i = txtParam.UBound(); i >= 1; --i) txtParam.Unload(i);
  for (std::int16_t i = lblParam.UBound(); i >= 1; --i) lblParam.Unload(i);
  for (std::int16_t i = lblExp.UBound(); i >= 1; --i) lblExp.Unload(i);
  picFunction.setVisible(true);
  lblParam(0).setVisible(false);
  txtParam(0).setVisible(false);
  lblExp(0).setVisible(false);
  m_cParamCol.clear();
  vsParam.setVisible(false);
}

bool FrmCalcEqual::CreateParamRow(const std::u16string& name) {
  const auto r = static_cast<std::int16_t>(g_cParamCol().size());
  return automation::trapAndLeave(false, [&] {
    PlaceRow(r, name);
    return true;
  });
}

forms::TextBox& FrmCalcEqual::PlaceRow(std::int16_t r, const std::u16string& caption) {
  forms::Label& label = loadOrReuse(lblParam, r);
  forms::Label& note = loadOrReuse(lblExp, r);
  if (r > 0) {
    const forms::Label& previous = lblParam(static_cast<std::int16_t>(r - 1));
    label.setTop(previous.Top() + previous.Height() + layout::kRowGap);
  }
  label.setCaption(caption);
  label.setVisible(true);
  note.setTop(label.Top());
  note.setCaption(u"");
  note.setVisible(true);
  forms::TextBox& box = loadOrReuse(txtParam, r);
  box.setTop(label.Top() - layout::kTextBoxLift);
  box.setTag(automation::decimalText(r));
  box.setText(u"");
  box.setVisible(true);
  g_cParamCol().push_back(&box);
  RefreshHint(r);
  return box;
}

void FrmCalcEqual::RefreshExpression() {
  const automation::ClearErrOnExit clearErr;
  std::u16string s;
  ignoreErrors([&] { s = BuildFormula(); });
  lblFuncName.setCaption(s);
  m_sFormula = s;
  if (Preview) {
    // The last result stays, marked, until typing pauses and the new one is computed.
    if (!m_sPreview.empty()) lblResult.setCaption(L(u"结果（待更新）：") + m_sPreview);
    tmrPreview.setEnabled(false);
    tmrPreview.setEnabled(true);
  }
}

namespace {

// An argument as a value the catalogue can compute with; nullopt for a cell of the report or a
// nested call, whose values only the host's recalculation knows.
std::optional<Variant> previewValue(const std::u16string& arg) {
  const std::u16string t = automation::trim(arg);
  if (t.empty()) return Variant{};
  if (t.size() >= 2 && t.front() == u'"' && t.back() == u'"') {
    const std::u16string inner = t.substr(1, t.size() - 2);
    if (inner.find(u'"') != std::u16string::npos) return std::nullopt;
    return Variant(inner);
  }
  if (automation::equalsIgnoreCase(t, u"TRUE")) return Variant(true);
  if (automation::equalsIgnoreCase(t, u"FALSE")) return Variant(false);
  if (automation::isNumeric(Variant(t))) return Variant(automation::toDouble(Variant(t)));
  return std::nullopt;
}

}  // namespace

void FrmCalcEqual::ShowPreview() {
  tmrPreview.setEnabled(false);
  if (!Preview) return;
  const automation::ClearErrOnExit clearErr;
  std::u16string shown;
  const auto call = SplitFormula(m_sFormula);
  std::vector<Variant> args;
  bool computable = call.has_value();
  if (call) {
    for (const std::u16string& arg : call->args) {
      auto v = previewValue(arg);
      if (!v) {
        computable = false;
        break;
      }
      args.push_back(std::move(*v));
    }
  }
  // A number row holding what is neither a number nor something that stands for one makes the
  // formula invalid, whatever else it holds.
  std::optional<std::int16_t> invalid;
  for (std::size_t i = 0; i < g_cParamCol().size() && !invalid; ++i) {
    const ComposedRow row = RowForComposition(static_cast<std::int16_t>(i));
    if (valueKindOf(row.type) == ValueKind::Number && DoesNotFit(row.text, row.type))
      invalid = static_cast<std::int16_t>(i);
  }
  if (invalid) {
    shown = environment::NameBeforeText(lblParam(*invalid).Caption(), u"不是有效的数值");
  } else if (!computable) {
    shown = L(u"取决于报表中的单元或其他公式");
  } else {
    automation::VariantArray rows({automation::Bounds{0, 0}, automation::Bounds{0, 2}});
    rows(0, 0) = Variant(automation::VariantArray::of(std::move(args)));
    Variant batch(std::move(rows));
    const bool ran = ignoreErrors([&] { Preview(call->funcName, batch); });
    const Variant value = batch.isArray() ? batch.array()(0, 1) : Variant{};
    const std::u16string error = batch.isArray() ? automation::toText(batch.array()(0, 2)) : std::u16string{};
    if (!ran) {
      shown = automation::Err().Description;
    } else if (!error.empty()) {
      shown = error;
    } else if (value.isEmpty() && automation::upper(call->funcName) == u"ITEM") {
      // The recall leaves ITEM to the host: there is nothing to show but why.
      shown = L(u"ITEM 是宿主自己的取数函数，这里不预览");
    } else {
      shown = automation::toText(value);
    }
  }
  m_sPreview = shown;
  lblResult.setCaption(L(u"结果：") + shown);
}

void FrmCalcEqual::txtParam_Change(std::int16_t index) {
  const component::ParamTable& table = paramTable();
  const std::u16string& text = txtParam(index).Text();
  if (currentFunction().fixParamNum() && automation::toBoolean(table.IsDsn(index))) {
    g_CurDsn = text;
    component::SetContextValue(u"CurPropsString", Variant(g_CurDsn));
  }
  if (IsSchemeRow(index)) {
    // The scheme is stored as it is typed. An emptied row stores nothing, and notes what the
    // setting was before the row's number began; a number that does not fit 32 bits puts that
    // back: its hint marks the row while it is typed, and the warning waits until the user
    // leaves the row.
    if (text.empty()) {
      m_sSchemeBefore = GetRegInfo(u"ClsID_CASHFLOW");
    } else if (const auto scheme = SchemeNumber(text)) {
      SetRegInfo(u"ClsID_CASHFLOW", Variant(*scheme));
    } else if (m_sSchemeBefore) {
      SetRegInfo(u"ClsID_CASHFLOW", Variant(*m_sSchemeBefore));
    }
  }
  RefreshHint(index);
  RefreshExpression();  // the expression always shows the rows as they stand
}

void FrmCalcEqual::RefreshHint(std::int16_t index) {
  if (!lblExp.exists(index)) return;
  const ComposedRow row = RowForComposition(index);
  std::u16string hint = TypeHint(row.text, row.type);
  if (SchemeOutOfRange(index)) hint += u"  ⚠ " + L(u"超出范围");
  lblExp(index).setCaption(hint);
}

bool FrmCalcEqual::IsSchemeRow(std::int16_t index) {
  return lblParam.exists(index) && lblParam(index).Caption() == L(u"报表方案") &&
         automation::upper(currentFunction().funcName()) == u"CASHFLOW";
}

bool FrmCalcEqual::SchemeOutOfRange(std::int16_t index) {
  if (!IsSchemeRow(index) || !txtParam.exists(index)) return false;
  const std::u16string& text = txtParam(index).Text();
  return !text.empty() && !SchemeNumber(text);
}

void FrmCalcEqual::WarnSchemeOutOfRange() {
  for (std::size_t i = 0; i < g_cParamCol().size(); ++i) {
    const auto index = static_cast<std::int16_t>(i);
    if (!SchemeOutOfRange(index) || txtParam(index).Text() == m_sSchemeWarned) continue;
    m_sSchemeWarned = txtParam(index).Text();  // told once for each value
    component::ShowWarning(L(u"报表方案编号超出范围！"));
  }
}

void FrmCalcEqual::txtParam_GotFocus(std::int16_t index) {
  g_GetParam = static_cast<std::int16_t>(index + 1);
  if (IsSchemeRow(index)) m_sSchemeBefore = GetRegInfo(u"ClsID_CASHFLOW");
  lblParamName.setCaption(lblParam(index).Caption() + u":");
  const auto& des = paramTable().ParamDes;
  lblParamDes.setCaption(
      automation::toText(currentFunction().fixParamNum() ? des(index) : des(des.lbound())));
  const auto count = static_cast<std::int32_t>(g_cParamCol().size());
  if (index == count - 1 && static_cast<std::size_t>(count) < MostRows()) AddParamRow();
}

std::size_t FrmCalcEqual::MostRows() {
  // Only a variable list grows. A fixed function's rows are its parameters, each composed by its
  // own descriptor: a row past them would have none, whatever MaxParamNum the catalogue gives.
  if (currentFunction().fixParamNum()) return g_cParamCol().size();
  const double most = automation::toDouble(currentFunction().maxParamNum());
  if (!(most > 0)) return 0;
  return most >= layout::kMostRows ? layout::kMostRows : static_cast<std::size_t>(most);
}

void FrmCalcEqual::txtParam_LostFocus(std::int16_t index) {
  g_GetParam = 0;
  if (SchemeOutOfRange(index)) tmrSchemeWarning.setEnabled(true);
}

void FrmCalcEqual::txtParam_KeyDown(std::int16_t index, int& keyCode, int) {
  ParamKeyPress(keyCode, index);
}

void FrmCalcEqual::lblParam_Click(std::int16_t index) {
  // A press that dragged the window by the label ends in a release, not in a click.
  if (std::exchange(m_bDragMoved, false)) return;
  txtParam(index).setText(u"[]");
}

void FrmCalcEqual::lblParam_DblClick(std::int16_t index) {
  txtParam(index).setText(u"REF(\"\",)");
}

}  // namespace editor
