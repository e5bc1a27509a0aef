#include "valuelist/frmInformation.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>

#include "automation/Conversions.h"
#include "automation/Error.h"
#include "automation/Text.h"
#include "automation/VariantArray.h"
#include "component/SharedHelpers.h"
#include "environment/Localisation.h"
#include "forms/Backend.h"

namespace valuelist {

using automation::ignoreErrors;
using environment::L;
using forms::Twips;

namespace {

constexpr Twips kFirstColumnMargin = 90;
constexpr Twips kColumnMargin = 210;
constexpr std::int32_t kRowsShown = 7;
constexpr float kFontSizes[] = {9, 12, 16};  // by font-size state

// The entry of a column width; error 9 beyond the columns the first row has.
float& widthAt(std::vector<float>& widths, std::size_t index) {
  if (index >= widths.size()) automation::raise(automation::errors::SubscriptOutOfRange);
  return widths[index];
}

}  // namespace

frmInformation::frmInformation(forms::Form& editor, forms::ControlArray<forms::TextBox>& rows)
    : Form(u"frmInformation"), m_oEditor(editor), m_oRows(rows) {
  setFrame(forms::BorderStyle::None, false);
  setPopupWindow(true);
  setClientSize(4650, 3210);
  lvwInformation.Move(0, 0, 4650, 3210);

  mnu_Format.setCaption(u"格式");
  mnu_Format.setVisible(false);
  mnu_Sort.setCaption(u"排序");
  mnu_Sort.setVisible(false);
  mnu_Sort_Up.setCaption(u"升序");
  mnu_Sort_Down.setCaption(u"降序");
  mnu_sep1.setCaption(u"-");
  mnu_Format_Big.setCaption(u"大字体");
  mnu_Format_Normal.setCaption(u"正常字体");
  mnu_Format_Little.setCaption(u"小字体");

  lvwInformation.MouseDown = [this](int button, int shift, Twips x, Twips y) {
    lvwInformation_MouseDown(button, shift, x, y);
  };
  lvwInformation.DblClick = [this] { PickValue(); };
  lvwInformation.KeyPress = [this](int& keyAscii) { lvwInformation_KeyPress(keyAscii); };
  lvwInformation.BeforeLabelEdit = [](bool& cancel) { cancel = true; };
  mnu_Sort_Up.Click = [this] { SortByHitColumn(forms::SortOrder::Ascending); };
  mnu_Sort_Down.Click = [this] { SortByHitColumn(forms::SortOrder::Descending); };
  mnu_Format_Big.Click = [this] { ApplyFontSize(2); };
  mnu_Format_Normal.Click = [this] { ApplyFontSize(1); };
  mnu_Format_Little.Click = [this] { ApplyFontSize(0); };
}

void frmInformation::ApplyCaptions() {
  const automation::ClearErrOnExit clearErr;
  ignoreErrors([&] { environment::SetFormFont(*this); });  // the font loader is an outside component
  const std::pair<forms::Menu*, const char16_t*> captions[] = {{&mnu_Format, u"格式"},
                                                               {&mnu_Sort, u"排序"},
                                                               {&mnu_Sort_Up, u"升序"},
                                                               {&mnu_Sort_Down, u"降序"},
                                                               {&mnu_sep1, u"-"},
                                                               {&mnu_Format_Big, u"大字体"},
                                                               {&mnu_Format_Normal, u"正常字体"},
                                                               {&mnu_Format_Little, u"小字体"}};
  // The bindings are captured by name: clang 14 cannot capture structured bindings implicitly.
  for (const auto& [menu, caption] : captions)
    ignoreErrors([&, menu = menu, caption = caption] { menu->setCaption(L(caption)); });
}

void frmInformation::Form_Load() {
  ApplyCaptions();
  const bool shown = automation::trapAndLeave(false, [&] {
    FillFromTable();
    ApplyFontSize(m_iFontSize);
    return true;
  });
  if (shown) return;
  component::ShowWarning(L(u"当前参数没有可选值！"));
  Unload();
}

void frmInformation::FillFromTable() {
  // A popup loaded again starts as a new one.
  m_iFontSize = 0;
  m_ColWidth.clear();
  m_oHitItem.reset();
  m_iHitCol = -1;
  forms::ListView& list = lvwInformation;
  list.clearItems();
  list.clearColumns();
  list.setSorted(false);

  // Anything but a two-dimensional array fails on its bounds or on its first cell.
  const automation::VariantArray& table = tempVar.array();
  const std::int64_t r0 = table.lbound(1), r1 = table.ubound(1);
  const std::int64_t c0 = table.lbound(2), c1 = table.ubound(2);
  const auto cell = [&](std::int64_t r, std::int64_t c) -> const automation::Variant& {
    return table(static_cast<std::int32_t>(r), static_cast<std::int32_t>(c));
  };
  list.setHideColumnHeaders(true);
  list.setFullRowSelect(true);  // a row is picked whole, whichever column is clicked

  for (std::int64_t c = c0; c <= c1; ++c) list.addColumn(automation::toText(cell(r0, c)));
  std::vector<forms::ListView::Item> items;
  items.reserve(static_cast<std::size_t>(std::max<std::int64_t>(0, r1 - r0 - 1)));
  for (std::int64_t r = r0 + 1; r < r1; ++r) {
    forms::ListView::Item item{automation::trim(automation::toText(cell(r, c0))), {}, 0};
    item.subItems.reserve(static_cast<std::size_t>(c1 - c0));
    for (std::int64_t c = c0 + 1; c <= c1; ++c)
      item.subItems.push_back(automation::trim(automation::toText(cell(r, c))));
    items.push_back(std::move(item));
  }
  list.setItems(std::move(items));

  // The last marked column decides. Sorting is switched on once the key and order are known, so
  // that a long list is sorted once.
  bool sorted = false;
  forms::SortOrder order = forms::SortOrder::Ascending;
  std::int32_t key = 0;
  for (std::int64_t c = c0; c <= c1; ++c) {
    const automation::Variant& marker = cell(r1, c);
    const std::u16string text = marker.isNull() ? std::u16string() : automation::toText(marker);
    if (text.empty()) continue;
    sorted = true;
    order = text == u"Up" ? forms::SortOrder::Ascending : forms::SortOrder::Descending;
    key = static_cast<std::int32_t>(c - c0);
  }
  if (sorted) {
    list.setSortOrder(order);
    list.setSortKey(key);
    list.setSorted(true);
  }
  // The top row starts selected, so that Enter at once picks it.
  if (list.itemCount() > 0) list.select(0);
}

void frmInformation::ApplyFontSize(std::uint8_t state) {
  if (state > 2) return;
  lvwInformation.setFontSize(kFontSizes[state]);
  m_iFontSize = state;
  FitToContent(lvwInformation);
  RefreshList();
}

void frmInformation::FitToContent(forms::ListView& list) {
  setFont(list.font());  // the popup measures in its own font
  // The first row decides how many columns are measured; a list without rows fails here.
  const std::size_t n = list.item(0).subItems.size();
  m_ColWidth.assign(n + 1, 0.0f);

  // Long lists repeat their texts (a kind, a currency): each distinct text is measured once.
  std::unordered_map<std::u16string_view, float> measured;
  const auto widthOf = [&](const std::u16string& text) {
    const auto [at, fresh] = measured.try_emplace(text, 0.0f);
    if (fresh) at->second = static_cast<float>(TextWidth(text));
    return at->second;
  };
  for (const forms::ListView::Item& item : list.items()) {
    m_ColWidth[0] = std::max(m_ColWidth[0], widthOf(item.text));
    for (std::size_t k = 1; k <= item.subItems.size(); ++k) {
      float& widest = widthAt(m_ColWidth, k);
      widest = std::max(widest, widthOf(item.subItems[k - 1]));
    }
  }

  // The columns and the list are as wide as their texts and margins, and as wide again as what
  // the platform's list draws around its cells and itself.
  const forms::ListChrome chrome = forms::backend().listChrome();
  auto total = static_cast<float>(chrome.frameWidth);
  for (std::int32_t k = 0; k < list.columnCount(); ++k) {
    float& width = widthAt(m_ColWidth, static_cast<std::size_t>(k));
    width += k == 0 ? kFirstColumnMargin : kColumnMargin;
    const auto drawn = static_cast<float>(width + chrome.cellPadding);
    list.setColumnWidth(k, drawn);
    total += drawn;
  }
  if (list.itemCount() >= kRowsShown + 1) total += static_cast<float>(chrome.scrollBar);
  const Twips height = static_cast<Twips>(std::min(list.itemCount(), kRowsShown)) * list.rowHeight() +
                       static_cast<Twips>(chrome.frameHeight);
  list.Move(0, 0, total, height);

  // Right under the row's text box, where its caret stands. The box's place is taken in the
  // editor's client area, whose origin lies inside the editor's frame.
  const forms::TextBox& box = m_oRows(m_iID);
  Twips left = m_oEditor.Left() + m_oEditor.frameLeft() + box.clientLeft();
  const Twips boxTop = m_oEditor.Top() + m_oEditor.frameTop() + box.clientTop();
  Twips top = boxTop + box.Height();
  setFont(box.font());
  const auto caret = static_cast<std::size_t>(std::max(0, box.SelStart()));
  left += static_cast<Twips>(TextWidth(std::u16string_view(box.Text()).substr(0, caret)));
  // A popup that would leave the screen at the bottom opens above the row, and one that would
  // leave it at the right is moved left: every value stays where the user can see it.
  const forms::Backend& screen = forms::backend();
  if (top + height > screen.screenHeight() && boxTop - height >= 0) top = boxTop - height;
  left = std::max<Twips>(0, std::min<Twips>(left, static_cast<Twips>(screen.screenWidth()) - total));
  Move(left, top, total, height);
}

void frmInformation::RefreshList() {
  lvwInformation.Refresh();
  const std::int32_t selected = lvwInformation.selectedIndex();
  if (selected >= 0) lvwInformation.EnsureVisible(selected);
}

void frmInformation::lvwInformation_MouseDown(int button, int, Twips x, Twips y) {
  m_oHitItem.reset();
  m_iHitCol = -1;
  const std::int32_t row = lvwInformation.HitTest(x, y);
  if (row >= 0) m_oHitItem = lvwInformation.item(row).id;
  // The columns as drawn: inside the list's frame, each with what the list draws around its text.
  const forms::ListChrome chrome = forms::backend().listChrome();
  x -= static_cast<Twips>(chrome.frameWidth / 2);
  for (std::size_t i = 0; i < m_ColWidth.size(); ++i) {
    const auto drawn = static_cast<Twips>(m_ColWidth[i] + chrome.cellPadding);
    if (x <= drawn) {
      m_iHitCol = static_cast<std::int16_t>(i);
      break;
    }
    x -= drawn;
  }
  if (button == forms::mouse::Right) PopupMenu(mnu_Sort);
}

void frmInformation::SortByHitColumn(forms::SortOrder order) {
  if (!m_oHitItem || m_iHitCol < 0) return;
  // Sorting is switched on last: the rows are sorted once, by the new key and order.
  lvwInformation.setSorted(false);
  lvwInformation.setSortOrder(order);
  lvwInformation.setSortKey(m_iHitCol);
  lvwInformation.setSorted(true);
  RefreshList();
}

void frmInformation::PickValue() {
  const automation::ClearErrOnExit clearErr;
  std::u16string value;
  ignoreErrors([&] {
    const std::int32_t selected = lvwInformation.selectedIndex();
    if (selected >= 0) value = lvwInformation.item(selected).text;
  });
  forms::TextBox* box = nullptr;
  ignoreErrors([&] { box = &m_oRows(m_iID); });
  if (box != nullptr) {
    const std::u16string text = box->Text();
    const auto start = static_cast<std::size_t>(std::max(0, box->SelStart()));
    const auto length = static_cast<std::size_t>(std::max(0, box->SelLength()));
    const std::u16string_view whole(text);
    // The value replaces the selected text; the caret goes right after it.
    ignoreErrors([&] {
      box->setText(std::u16string(whole.substr(0, std::min(start, whole.size()))) + value +
                   std::u16string(whole.substr(std::min(start + length, whole.size()))));
    });
    ignoreErrors([&] { box->setSelStart(static_cast<std::int32_t>(start + value.size())); });
  }
  Unload();
}

void frmInformation::lvwInformation_KeyPress(int& keyAscii) {
  switch (keyAscii) {
    case forms::keys::Return:
    case forms::keys::Space:
      PickValue();
      break;
    case forms::keys::Escape:
      Unload();
      break;
    default:
      break;  // the list moves through its rows itself
  }
}

void frmInformation::Form_Deactivate() {
  // A click outside closes the popup; while it is being unloaded it is already hidden.
  if (isLoaded() && Visible()) Unload();
}

}  // namespace valuelist
