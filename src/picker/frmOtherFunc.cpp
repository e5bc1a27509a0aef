#include "picker/frmOtherFunc.h"

#include "automation/Conversions.h"
#include "automation/Error.h"
#include "automation/Text.h"
#include "automation/VariantArray.h"
#include "component/ReportContext.h"
#include "component/SharedHelpers.h"
#include "environment/Localisation.h"
#include "outside/FuncInfo.h"

namespace picker {

using automation::ignoreErrors;
using environment::L;

PickerState& pickerState() {
  static PickerState state;
  return state;
}

void resetPickerState() {
  pickerState() = PickerState{};
}

namespace {
outside::FuncInfoCalls catalogue() {
  return outside::FuncInfoCalls(component::componentState().g_oFuncInfo);
}
}  // namespace

frmOtherFunc::frmOtherFunc() : Form(u"frmOtherFunc") {
  setCaption(u"报表函数");
  setFrame(forms::BorderStyle::FixedDialog, true);
  setClientSize(7875, 5010);
  setCentered(true);
  setKeyPreview(true);
  cmdOK.Move(5265, 4620, 1200, 345);
  cmdOK.setCaption(u"确定");
  cmdOK.setTabIndex(0);
  cmdOK.setDefault(true);
  cmdCancel.Move(6615, 4620, 1200, 345);
  cmdCancel.setCaption(u"取消");
  cmdCancel.setTabIndex(1);
  cmdCancel.setCancel(true);
  lstFunc.Move(4635, 330, 3195, 2220);
  lstFunc.setSorted(true);
  lstFunc.setTabIndex(2);
  lstGroup.Move(90, 330, 4485, 2220);
  lstGroup.setTabIndex(3);
  lblExplan.Move(135, 2880, 7650, 1620);
  lblExplan.setWordWrap(true);
  lblExplan.setTabIndex(4);
  lblFunc.Move(4635, 90, 2655, 225);
  lblFunc.setCaption(u"函数名：");
  lblFunc.setTabIndex(5);
  lblGroup.Move(120, 96, 900, 180);
  lblGroup.setAutoSize(true);
  lblGroup.setCaption(u"函数类别：");
  lblGroup.setTabIndex(6);
  lblSearch.Move(135, 4680, 700, 225);
  lblSearch.setCaption(u"搜索：");
  lblSearch.setTabIndex(7);
  txtSearch.Move(840, 4620, 4260, 345);
  txtSearch.setTabIndex(8);

  lstGroup.Click = [this] { lstGroup_Click(); };
  lstFunc.Click = [this] { lstFunc_Click(); };
  lstFunc.DblClick = [this] { Confirm(); };
  cmdOK.Click = [this] { Confirm(); };
  cmdCancel.Click = [this] { Hide(); };
  txtSearch.Change = [this] { txtSearch_Change(); };
}

bool frmOtherFunc::IsFuncListed(std::u16string_view name) {
  if (component::componentState().g_sListMode == u"bb") return true;
  const std::u16string upper = automation::upper(name);
  for (const char16_t* hidden : {u"REF", u"REF_F", u"CS_REF_F", u"PAGENAME", u"PAGENO"}) {
    if (upper == hidden) return false;
  }
  return true;
}

bool frmOtherFunc::IsFuncShown(std::u16string_view name) {
  return IsFuncListed(name) && automation::upper(name) != u"REF_EXCEL";
}

std::vector<FunctionEntry> frmOtherFunc::ShownEntries() {
  std::vector<FunctionEntry> entries;
  for (FunctionEntry& e : catalogueEntries()) {
    if (IsFuncShown(e.name)) entries.push_back(std::move(e));
  }
  return entries;
}

void frmOtherFunc::ApplyCaptions() {
  const automation::ClearErrOnExit clearErr;
  ignoreErrors([&] { environment::SetFormFont(*this); });  // the font loader is an outside component
  setCaption(L(u"报表函数"));
  cmdCancel.setCaption(L(u"取消"));
  cmdOK.setCaption(L(u"确定"));
  lblGroup.setCaption(L(u"函数类别："));
  lblFunc.setCaption(L(u"函数名："));
  lblSearch.setCaption(L(u"搜索："));
}

void frmOtherFunc::Form_Load() {
  environment::SetFormFont(*this);
  m_sCommonGroup = L(u"常用函数");
  m_sAllGroup = L(u"全部函数");
  ApplyCaptions();
  const automation::Variant groups = catalogue().funcGroup();
  lstGroup.Clear();
  lstGroup.AddItem(m_sCommonGroup);
  lstGroup.AddItem(m_sAllGroup);
  const automation::VariantArray& names = groups.array();
  for (std::int32_t i = names.lbound(); i <= names.ubound(); ++i)
    lstGroup.AddItem(automation::toText(names(i)));
  const std::int16_t last = pickerState().g_iLastGroup;
  lstGroup.setListIndex(last > 0 && last < lstGroup.ListCount() ? last : 0);
}

void frmOtherFunc::lstGroup_Click() {
  // Choosing a group ends a search: the list shows the group again.
  if (!txtSearch.Text().empty()) {
    m_iFilledGroup = 0;
    txtSearch.setText(u"");
  }
  const std::int32_t g = lstGroup.ListIndex();
  if (m_iFilledGroup == g + 1) return;  // the list already shows this group
  automation::trapAndLeave(0, [&] {
    lstFunc.Clear();
    const auto listed = [](const std::u16string& name) { return IsFuncShown(name); };
    if (g == 0) {
      // The common functions keep the catalogue's order and spelling.
      const automation::Variant common = catalogue().funcURL();
      const automation::VariantArray& names = common.array();
      for (std::int32_t i = names.lbound(); i <= names.ubound(); ++i) {
        const std::u16string name = automation::toText(names(i));
        if (listed(name)) lstFunc.AddItem(name, lstFunc.ListCount());
      }
    } else {
      const automation::Variant all =
          catalogue().getGroupFuncList(g == 1 ? std::u16string() : lstGroup.List(g));
      const automation::VariantArray& names = all.array();
      for (std::int32_t i = names.lbound(); i <= names.ubound(); ++i) {
        const std::u16string name = automation::toText(names(i));
        if (listed(name)) lstFunc.AddItem(automation::upper(name));
      }
    }
    if (lstFunc.ListCount() > 0) lstFunc.setListIndex(0);
    m_iFilledGroup = static_cast<std::int16_t>(g + 1);
    return 0;
  });
}

void frmOtherFunc::txtSearch_Change() {
  const std::u16string text = txtSearch.Text();
  if (automation::trim(text).empty()) {
    m_iFilledGroup = 0;  // back to the group, as before the search
    lstGroup_Click();
    return;
  }
  automation::trapAndLeave(0, [&] {
    if (!m_index) m_index = std::make_unique<FunctionIndex>(ShownEntries());
    lstFunc.Clear();
    m_iFilledGroup = 0;  // the list holds matches, not a group
    for (const FunctionIndex::Match& m : m_index->search(text))
      lstFunc.AddItem(m_index->entries()[m.entry].name, lstFunc.ListCount());
    if (lstFunc.ListCount() > 0) {
      lstFunc.setListIndex(0);
      lstFunc_Click();
    } else {
      lblExplan.setCaption(L(u"没有找到相符的函数。"));
    }
    return 0;
  });
}

void frmOtherFunc::lstFunc_Click() {
  const outside::FuncDescriptorCalls function(catalogue().getFuncInfo(lstFunc.Text()));
  lblExplan.setCaption(function.funcDes());
}

void frmOtherFunc::Confirm() {
  if (lstFunc.Text().empty()) return;
  setTag(u"OK");
  m_sFuncName = lstFunc.Text();
  Hide();
}

void frmOtherFunc::Form_KeyPress(int& keyAscii) {
  // The characters of Esc, Enter and Tab have the values of their key codes.
  switch (keyAscii) {
    case forms::keys::Escape:
      if (!txtSearch.Text().empty()) {
        txtSearch.setText(u"");  // Esc first clears a search
        keyAscii = 0;
      } else {
        Unload();
      }
      break;
    case forms::keys::Return:
      Confirm();
      break;
    case forms::keys::Tab:
      if (ActiveControl() == &lstGroup) {
        lstFunc.SetFocus();
      } else {
        lstGroup.SetFocus();
      }
      keyAscii = 0;  // the focus has moved: the window's own Tab must not move it again
      break;
    default:
      // A character typed on a button goes into the search box; the lists keep finding by their
      // first letter as they always did.
      if (keyAscii > 32 && ActiveControl() != &txtSearch && ActiveControl() != &lstFunc &&
          ActiveControl() != &lstGroup) {
        // Set as the program's own text, so that a backend with its own editor shows it too: the
        // box's widget would otherwise lose the character when the next key reaches it.
        const std::u16string text = txtSearch.Text() + static_cast<char16_t>(keyAscii);
        txtSearch.SetFocus();
        txtSearch.setText(text);
        txtSearch.setSelStart(static_cast<std::int32_t>(text.size()));
        keyAscii = 0;
      }
      break;
  }
}

void frmOtherFunc::Form_KeyDown(int& keyCode, int) {
  if (keyCode == forms::keys::Down && ActiveControl() == &txtSearch) {
    lstFunc.SetFocus();  // Down moves from the search box into the list
    keyCode = 0;
    return;
  }
  FocusByAccessKey(keyCode);
}

void frmOtherFunc::FocusByAccessKey(int keyCode) {
  bool shiftDown = false, ctrlDown = false, altDown = false;
  component::GetShiftState(shiftDown, ctrlDown, altDown);
  if (!altDown || shiftDown || ctrlDown) return;
  if (keyCode == 'T') lstGroup.SetFocus();
  if (keyCode == 'N') lstFunc.SetFocus();
}

void frmOtherFunc::Form_Unload(bool&) {
  pickerState().g_iLastGroup = static_cast<std::int16_t>(lstGroup.ListIndex());
}

}  // namespace picker
