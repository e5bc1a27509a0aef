// The value-list popup (frmInformation) over random value tables, on the headless backend: shown
// modally under a host dialog's row, with the user sorting, changing the font size, moving and
// picking or leaving, in an order the input gives.
//
// Checked: showing never fails and always ends with the popup gone; a table it shows gives one
// list row per table row between the captions and the markers and one column per table column;
// a table it cannot show ends in the warning and leaves the row as it was; a pick puts one of the
// table's first-column texts at the row's selection; leaving puts nothing.
#include <cstdint>
#include <set>
#include <string>

#include "FuzzInput.h"
#include "forms/headless/HeadlessBackend.h"
#include "valuelist/frmInformation.h"

namespace {

using automation::Variant;
using automation::VariantArray;
using fuzzing::fail;
using fuzzing::FuzzInput;
using valuelist::frmInformation;
namespace hl = forms::headless;

constexpr const char* kTarget = "value_table";

class HostEditor final : public forms::Form {
 public:
  forms::ControlArray<forms::TextBox> txtParam{*this, u"txtParam"};
  HostEditor() : Form(u"HostEditor") {
    setFrame(forms::BorderStyle::FixedSingle, false);
    setClientSize(9000, 5000);
    txtParam(0).Move(2205, 480, 2130, 300);
    txtParam.Load(1).Move(2205, 840, 2130, 300);
  }
};

// The texts the popup may put into a row: the first column of the rows between captions and
// markers, trimmed, as the popup shows them.
std::set<std::u16string> pickable(const Variant& table) {
  std::set<std::u16string> texts = {u""};  // with no row chosen, a pick only drops the selection
  try {
    const VariantArray& a = table.array();
    for (std::int64_t r = std::int64_t{a.lbound(1)} + 1; r < a.ubound(1); ++r)
      texts.insert(automation::trim(automation::toText(a(static_cast<std::int32_t>(r), a.lbound(2)))));
  } catch (const automation::AutomationError&) {
  }
  return texts;
}

// A table as the report system hands one over (captions, values, markers) or anything at all.
Variant tableOf(FuzzInput& in) {
  if (in.byte() % 4 == 0) return in.variant(2);
  const automation::Bounds rows = in.bounds(40);
  const automation::Bounds columns = in.bounds(5);
  VariantArray table({rows, columns});
  static constexpr std::u16string_view kMarkers[] = {u"", u"Up", u"Down", u"up"};
  for (std::int64_t r = rows.lower; r <= rows.upper; ++r) {
    for (std::int64_t c = columns.lower; c <= columns.upper; ++c) {
      const bool marker = r == rows.upper && in.flag();
      table(static_cast<std::int32_t>(r), static_cast<std::int32_t>(c)) =
          marker ? Variant(in.pick(kMarkers)) : in.variant(0);
    }
  }
  return Variant(std::move(table));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  hl::HeadlessBackend& ui = hl::installed();
  ui.messageBoxes.clear();
  ui.clearScript();
  ui.menuChoices.clear();
  ui.shownMenus.clear();

  HostEditor host;
  host.Show();
  const auto row = static_cast<std::int16_t>(in.byte() % 2);
  forms::TextBox& box = host.txtParam(row);
  box.setText(in.text(12));
  box.setSelStart(static_cast<std::int32_t>(in.inRange(0, 14)));
  box.setSelLength(static_cast<std::int32_t>(in.inRange(0, 14)));
  const std::u16string text = box.Text();
  const auto start = static_cast<std::size_t>(std::max(0, box.SelStart()));
  const auto length = static_cast<std::size_t>(std::max(0, box.SelLength()));

  frmInformation popup(host, host.txtParam);
  popup.m_iID = row;
  popup.tempVar = tableOf(in);
  const std::set<std::u16string> values = pickable(popup.tempVar);

  // What the user does while the popup is shown; the last action always closes it.
  std::int64_t listRows = -1, listColumns = -1;
  bool picked = false;
  ui.then([&](forms::Form&) {
    listRows = popup.lvwInformation.itemCount();
    listColumns = popup.lvwInformation.columnCount();
    static constexpr const char16_t* kEntries[] = {u"mnu_Sort_Up",       u"mnu_Sort_Down",
                                                   u"mnu_Format_Big",    u"mnu_Format_Normal",
                                                   u"mnu_Format_Little", u"none"};
    const auto steps = in.inRange(0, 6);
    for (std::int64_t i = 0; i < steps && popup.isLoaded(); ++i) {
      switch (in.byte() % 4) {
        case 0:
          ui.menuChoices = {in.pick(kEntries)};
          hl::mouseDown(popup.lvwInformation, forms::mouse::Right,
                        static_cast<forms::Twips>(in.inRange(-100, 3000)),
                        static_cast<forms::Twips>(in.inRange(-100, 3000)));
          break;
        case 1:
          popup.lvwInformation.select(
              static_cast<std::int32_t>(in.inRange(-1, popup.lvwInformation.itemCount() - 1)));
          break;
        case 2:
          hl::press(popup, forms::keys::Down);
          break;
        default:
          hl::mouseDown(popup.lvwInformation, forms::mouse::Left, 10,
                        static_cast<forms::Twips>(in.inRange(0, 3000)));
      }
    }
    if (!popup.isLoaded()) return;
    switch (in.byte() % 4) {
      case 0:
        hl::press(popup, forms::keys::Escape);
        break;
      case 1:
        popup.deactivatedByUser();
        break;
      case 2:
        picked = true;
        hl::dblClick(popup.lvwInformation);
        break;
      default:
        picked = true;
        hl::press(popup, forms::keys::Return);
    }
  });

  try {
    popup.Show(true);
  } catch (const std::exception& e) {
    fail(kTarget, std::string("showing the popup failed: ") + e.what());
  }
  if (popup.isLoaded()) fail(kTarget, "the popup is still there");
  const bool warned = !ui.messageBoxes.empty();
  if (warned || !picked) {
    if (box.Text() != text) fail(kTarget, "the row changed without a pick");
  }
  if (!warned) {
    const VariantArray& table = popup.tempVar.array();
    if (listRows != std::max<std::int64_t>(0, std::int64_t{table.ubound(1)} - table.lbound(1) - 1) ||
        listColumns != std::int64_t{table.ubound(2)} - table.lbound(2) + 1)
      fail(kTarget, "the list does not have the table's rows and columns");
  }
  if (!warned && picked && box.Text() != text) {
    const std::u16string_view whole(text);
    const std::size_t from = std::min(start, whole.size());
    const std::u16string_view before = whole.substr(0, from);
    const std::u16string_view after = whole.substr(std::min(start + length, whole.size()));
    const std::u16string_view now(box.Text());
    if (!now.starts_with(before) || !now.ends_with(after) || now.size() < before.size() + after.size() ||
        !values.contains(
            std::u16string(now.substr(before.size(), now.size() - before.size() - after.size()))))
      fail(kTarget, "the pick put something else than a value of the table at the selection");
  }
  ui.clearScript();
  host.Unload();
  return 0;
}
