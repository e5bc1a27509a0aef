// The value-list popup on the headless backend, under a small host dialog with two rows. At 9 pt a
// Latin character is 90 twips wide, a Chinese one 180, and a list row 240 high.
#include "valuelist/frmInformation.h"

#include <gtest/gtest.h>

#include <functional>

#include "automation/VariantArray.h"
#include "environment/Localisation.h"
#include "forms/headless/HeadlessBackend.h"

namespace {

using automation::Variant;
using automation::VariantArray;
using valuelist::frmInformation;
namespace hl = forms::headless;
using Texts = std::vector<std::u16string>;
using Cells = std::vector<std::vector<Variant>>;

// The editor as the popup sees it: a dialog in a 60-twip frame, its rows at x 2205.
class HostEditor final : public forms::Form {
 public:
  forms::ControlArray<forms::TextBox> txtParam{*this, u"txtParam"};
  Texts changes;
  HostEditor() : Form(u"HostEditor") {
    setFrame(forms::BorderStyle::FixedSingle, false);
    setClientSize(9000, 5000);
    Move(1500, 900, Width(), Height());
    txtParam(0).Move(2205, 480, 2130, 300);
    txtParam.Load(1).Move(2205, 840, 2130, 300);
    txtParam.wire([this](forms::TextBox& box, std::int16_t) {
      box.Change = [this, &box] { changes.push_back(box.Text()); };
    });
  }
};

// A value table from its rows (captions first, markers last), indexed from (r0, c0).
Variant table(const Cells& rows, std::int32_t r0 = 0, std::int32_t c0 = 0) {
  const auto height = static_cast<std::int32_t>(rows.size()),
             width = static_cast<std::int32_t>(rows[0].size());
  VariantArray cells({{r0, r0 + height - 1}, {c0, c0 + width - 1}});
  for (std::int32_t r = 0; r < height; ++r) {
    for (std::int32_t c = 0; c < width; ++c) cells(r0 + r, c0 + c) = rows[r][c];
  }
  return Variant(std::move(cells));
}

Texts firstColumn(const forms::ListView& list) {
  Texts texts;
  for (const auto& item : list.items()) texts.push_back(item.text);
  return texts;
}

class ValueListTest : public ::testing::Test {
 protected:
  ValueListTest() {
    environment::resetLocalisationState();
    ui.messageBoxes.clear();
    ui.clearScript();
    ui.shownMenus.clear();
    ui.beeps = 0;
    host.Show();
  }
  ~ValueListTest() override { host.Unload(); }

  // Opens a popup for row `row` and lets `user` act in it; true when Show returned with it gone.
  bool pickIn(const Variant& values, std::int16_t row, const std::function<void(frmInformation&)>& user) {
    frmInformation popup(host, host.txtParam);
    popup.m_iID = row;
    popup.tempVar = values;
    ui.then([&](forms::Form&) { user(popup); });
    popup.Show(true);
    return !popup.isLoaded();
  }
  forms::TextBox& row(std::int16_t index, std::u16string text, std::int32_t start, std::int32_t length) {
    forms::TextBox& box = host.txtParam(index);
    box.setText(std::move(text));
    box.setSelStart(start);
    box.setSelLength(length);
    host.changes.clear();
    return box;
  }
  void rightClick(frmInformation& popup, const char16_t* entry, forms::Twips x, forms::Twips y) {
    ui.menuChoices = {entry};
    hl::mouseDown(popup.lvwInformation, forms::mouse::Right, x, y);
  }

  hl::HeadlessBackend& ui = hl::installed();
  HostEditor host;
};

TEST_F(ValueListTest, TheTableFillsTheListAndTheLastMarkedColumnSortsIt) {
  frmInformation popup(host, host.txtParam);
  // Bounds from (1, 3); captions as they stand, values trimmed, a number as its text.
  popup.tempVar = table({{u" 代码 ", u"名称"}, {u" 1002", u"银行存款 "}, {1001, u" 现金"}, {u"", u""}}, 1, 3);
  popup.Load();
  const forms::ListView& list = popup.lvwInformation;
  ASSERT_EQ(list.columnCount(), 2);
  EXPECT_EQ(list.column(0).text, u" 代码 ");
  EXPECT_EQ(firstColumn(list), (Texts{u"1002", u"1001"}));
  EXPECT_EQ(list.item(1).subItems, Texts{u"现金"});
  EXPECT_EQ(list.selectedIndex(), 0);
  EXPECT_FALSE(popup.lvwInformation.requestLabelEdit());
  popup.Unload();

  // Each column orders these rows differently.
  const Cells values = {{u"b", u"x", u"1"}, {u"a", u"z", u"2"}, {u"c", u"y", u"3"}};
  const std::pair<std::vector<Variant>, Texts> cases[] = {
      {{u"", u"", u""}, {u"b", u"a", u"c"}},        // the table's order
      {{u"", u"Up", u""}, {u"b", u"c", u"a"}},      // ascending by the second column
      {{u"Up", u"", u"Down"}, {u"c", u"a", u"b"}},  // the third column decides, descending
      {{u"", u"up", u""}, {u"a", u"c", u"b"}},      // any marker but "Up" is descending
  };
  for (const auto& [markers, order] : cases) {
    Cells rows = {{u"甲", u"乙", u"丙"}};
    rows.insert(rows.end(), values.begin(), values.end());
    rows.push_back(markers);
    popup.tempVar = table(rows);
    popup.Load();
    EXPECT_EQ(firstColumn(popup.lvwInformation), order) << automation::toUtf8(order[0]);
    EXPECT_EQ(popup.lvwInformation.selectedIndex(), 0);  // the top row as sorted
    popup.Unload();
  }
}

TEST_F(ValueListTest, ThePopupFitsItsTextsAndOpensUnderTheBoxAtTheCaret) {
  row(1, u"AB中D", 3, 0);
  frmInformation popup(host, host.txtParam);
  popup.m_iID = 1;
  popup.tempVar =
      table({{u"很长很长很长的标题", u"名"}, {u"1001", u"现金"}, {u"100201", u"银行存款"}, {u"", u""}});
  popup.Load();
  const forms::ListView& list = popup.lvwInformation;
  EXPECT_EQ(list.column(0).width, 6 * 90 + 90);  // the widest text, not the caption
  EXPECT_EQ(list.column(1).width, 4 * 180 + 210);
  EXPECT_EQ(list.Width(), 630 + 930);
  EXPECT_EQ(list.Height(), 2 * 240 + 30);
  EXPECT_EQ(popup.Width(), list.Width());
  EXPECT_EQ(popup.Height(), list.Height());
  // The box lies in the host's client area, inside its frame; the caret stands after "AB中".
  EXPECT_EQ(popup.Left(), 1500 + 60 + 2205 + (90 + 90 + 180));
  EXPECT_EQ(popup.Top(), 900 + 60 + 840 + 300);
  popup.Unload();

  // Seven rows show whole; from eight the list scrolls beside room for its bar.
  for (const std::size_t count : {7u, 8u}) {
    Cells rows = {{u"代码", u"名称"}};
    rows.insert(rows.end(), count, {u"1001", u"现金"});
    rows.push_back({u"", u""});
    popup.tempVar = table(rows);
    popup.Load();
    EXPECT_EQ(popup.Width(), (450 + 570) + (count == 8 ? 255 : 0)) << count;
    EXPECT_EQ(popup.Height(), 7 * 240 + 30) << count;
    EXPECT_EQ(popup.lvwInformation.visibleRows(), 7) << count;
    popup.Unload();
  }
}

TEST_F(ValueListTest, TheMenuSortsByTheClickedRowsColumnAndSwitchesFontSizes) {
  row(0, u"AB", 2, 0);
  frmInformation popup(host, host.txtParam);
  popup.tempVar =
      table({{u"代码", u"名称"}, {u"1001", u"cash"}, {u"1002", u"bank"}, {u"1003", u"debtors"}, {u"", u""}});
  popup.Load();
  const forms::ListView& list = popup.lvwInformation;
  rightClick(popup, u"mnu_Sort_Down", 450 + 10, 10);  // first row, second column
  EXPECT_EQ(firstColumn(list), (Texts{u"1003", u"1001", u"1002"}));
  rightClick(popup, u"mnu_Sort_Up", 10, 250);  // second row, first column
  EXPECT_EQ(firstColumn(list), (Texts{u"1001", u"1002", u"1003"}));
  // Below the last row or right of the last column the menu shows, but the order stays.
  rightClick(popup, u"mnu_Sort_Down", 450 + 10, 3 * 240 + 10);
  rightClick(popup, u"mnu_Sort_Down", 450 + 840 + 10, 10);
  EXPECT_EQ(firstColumn(list), (Texts{u"1001", u"1002", u"1003"}));
  EXPECT_EQ(ui.shownMenus, (std::vector<const forms::Menu*>(4, &popup.mnu_Sort)));

  // Every font size re-measures the list; the popup stays at the caret, measured in the box's font.
  const struct {
    const char16_t* entry;
    float points, em, row;
  } sizes[] = {{u"mnu_Format_Big", 16, 320, 435},
               {u"mnu_Format_Normal", 12, 240, 330},
               {u"mnu_Format_Little", 9, 180, 240}};
  for (const auto& size : sizes) {
    rightClick(popup, size.entry, 10, 5000);  // no row needed
    EXPECT_EQ(list.font().size, size.points);
    EXPECT_EQ(list.column(0).width, 4 * size.em / 2 + 90);
    EXPECT_EQ(list.column(1).width, 7 * size.em / 2 + 210);
    EXPECT_EQ(popup.Height(), 3 * size.row + 30);
    EXPECT_EQ(popup.Left(), 1500 + 60 + 2205 + 180);
    EXPECT_EQ(popup.Top(), 900 + 60 + 480 + 300);
  }
  // Loaded again, the popup starts small with only its new table.
  rightClick(popup, u"mnu_Format_Big", 10, 10);
  popup.Unload();
  popup.tempVar = table({{u"币种"}, {u"USD"}, {u""}});
  popup.Load();
  EXPECT_EQ(list.font().size, 9);
  EXPECT_EQ(list.columnCount(), 1);
  EXPECT_EQ(popup.Width(), 3 * 90 + 90);
  popup.Unload();
}

TEST_F(ValueListTest, APickedValueReplacesTheSelectionAtTheCaret) {
  const Variant values = table({{u"值"}, {u"W"}, {u"X"}, {u""}});
  const std::function<void(frmInformation&)> picks[] = {
      [](frmInformation& popup) { hl::press(popup, forms::keys::Return); },
      [](frmInformation& popup) { hl::press(popup, forms::keys::Space); },
      [](frmInformation& popup) { hl::dblClick(popup.lvwInformation); },
  };
  for (const auto& pick : picks) {
    forms::TextBox& box = row(1, u"ABCDEF", 2, 2);  // CD selected
    EXPECT_TRUE(pickIn(values, 1, [&](frmInformation& popup) {
      popup.lvwInformation.select(1);
      pick(popup);
    }));
    EXPECT_EQ(box.Text(), u"ABXEF");
    EXPECT_EQ(box.SelStart(), 3);
    EXPECT_EQ(host.changes, Texts{u"ABXEF"});  // one change, for the editor to compose from
  }
  // Without a selection the value goes in at the caret; Enter at once picks the top row.
  forms::TextBox& box = row(0, u"ABCDEF", 3, 0);
  EXPECT_TRUE(pickIn(values, 0, [](frmInformation& popup) { hl::press(popup, forms::keys::Return); }));
  EXPECT_EQ(box.Text(), u"ABCWDEF");
  EXPECT_EQ(box.SelStart(), 4);
  // With no row chosen the selection goes and the caret stays where it began.
  row(0, u"ABCDEF", 2, 2);
  EXPECT_TRUE(pickIn(values, 0, [](frmInformation& popup) {
    popup.lvwInformation.select(-1);
    hl::press(popup, forms::keys::Return);
  }));
  EXPECT_EQ(box.Text(), u"ABEF");
  EXPECT_EQ(box.SelStart(), 2);
  EXPECT_EQ(host.txtParam(1).Text(), u"ABXEF");
}

TEST_F(ValueListTest, EscAClickOutsideOrAnUnshowableTableLeaveTheRowAsItWas) {
  forms::TextBox& box = row(0, u"ABCDEF", 2, 2);
  const Variant values = table({{u"值"}, {u"X"}, {u""}});
  EXPECT_TRUE(pickIn(values, 0, [](frmInformation& popup) { hl::press(popup, forms::keys::Escape); }));
  EXPECT_TRUE(pickIn(values, 0, [](frmInformation& popup) { popup.deactivatedByUser(); }));
  EXPECT_EQ(forms::activeForm(), &host);
  EXPECT_TRUE(ui.messageBoxes.empty());

  const Variant unshowable[] = {
      Variant(VariantArray::of({u"1001", u"1002"})),    // one dimension
      table({{u"代码"}, {u""}}),                        // no value rows
      Variant(u"1001"),                                 // no array
      Variant(VariantArray({{0, 2}, {0, 0}, {0, 0}})),  // three dimensions
      table({{u"代码"}, {Variant::null()}, {u""}}),     // a value without text
  };
  for (const Variant& bad : unshowable) {
    frmInformation popup(host, host.txtParam);
    popup.tempVar = bad;
    popup.Show(true);  // with no user actions queued, a modal loop would fail the test
    EXPECT_FALSE(popup.isLoaded());
  }
  ASSERT_EQ(ui.messageBoxes.size(), std::size(unshowable));
  for (const auto& message : ui.messageBoxes) {
    EXPECT_EQ(message.text, u"当前参数没有可选值！");
    EXPECT_EQ(message.title, u"Torvane提示");
    EXPECT_EQ(message.icon, forms::MessageIcon::Warning);
  }
  EXPECT_EQ(ui.beeps, static_cast<int>(std::size(unshowable)));
  EXPECT_EQ(box.Text(), u"ABCDEF");
  EXPECT_EQ(box.SelStart(), 2);
  EXPECT_TRUE(host.changes.empty());
}

}  // namespace
