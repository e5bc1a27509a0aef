// frmInformation: the value-list popup. It shows the values a parameter may take as a table right
// under the parameter's row of the formula editor, at the row's caret; double-click, Enter or Space
// writes the chosen row's first column into the row in place of its selection, Esc or a click
// outside closes it without a change. A right-click menu sorts by the clicked column and switches
// among three font sizes.
//
// The caller sets m_iID and tempVar and shows it modally; the popup unloads itself when it is done
// (isLoaded() tells whether it still is), and a table it cannot show ends in a warning at load.
// After the load, the menu actions and the mouse press do not trap their failures: they reach the
// toolkit, which reports them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "automation/Variant.h"
#include "forms/ControlArray.h"
#include "forms/Controls.h"
#include "forms/Form.h"
#include "forms/ListView.h"

namespace valuelist {

class frmInformation final : public forms::Form {
 public:
  // `editor` is the dialog that owns `rows`; the popup is placed under rows(m_iID) on its screen.
  frmInformation(forms::Form& editor, forms::ControlArray<forms::TextBox>& rows);

  forms::ListView lvwInformation{*this, u"lvwInformation"};
  forms::Menu mnu_Format{*this, u"mnu_Format"};
  forms::Menu mnu_Sort{*this, u"mnu_Sort"};
  forms::Menu mnu_Sort_Up{*this, u"mnu_Sort_Up", &mnu_Sort};
  forms::Menu mnu_Sort_Down{*this, u"mnu_Sort_Down", &mnu_Sort};
  forms::Menu mnu_sep1{*this, u"mnu_sep1", &mnu_Sort};
  forms::Menu mnu_Format_Big{*this, u"mnu_Format_Big", &mnu_Sort};
  forms::Menu mnu_Format_Normal{*this, u"mnu_Format_Normal", &mnu_Sort};
  forms::Menu mnu_Format_Little{*this, u"mnu_Format_Little", &mnu_Sort};

  // Set by the caller before the popup is shown.
  std::int16_t m_iID = 0;  // the row of the editor that receives the chosen value
  // The value table: its first row the column captions, its last row the sort markers ("" none,
  // "Up" ascending, any other text descending), the rows between them the values.
  automation::Variant tempVar;

 protected:
  void Form_Load() override;
  void Form_Deactivate() override;

 private:
  void ApplyCaptions();
  void FillFromTable();
  // Column widths, then the list's and the popup's size, then the popup's place under the row.
  void FitToContent(forms::ListView& list);
  void RefreshList();
  void ApplyFontSize(std::uint8_t state);
  void SortByHitColumn(forms::SortOrder order);
  void PickValue();

  void lvwInformation_MouseDown(int button, int shift, forms::Twips x, forms::Twips y);
  void lvwInformation_KeyPress(int& keyAscii);

  forms::Form& m_oEditor;
  forms::ControlArray<forms::TextBox>& m_oRows;
  std::uint8_t m_iFontSize = 0;             // 0 small, 1 normal, 2 large
  std::vector<float> m_ColWidth;            // each column's width in twips, margin included
  std::optional<std::uint64_t> m_oHitItem;  // the row under the mouse at the last press
  std::int16_t m_iHitCol = -1;              // its 0-based column, -1 when none
};

}  // namespace valuelist
