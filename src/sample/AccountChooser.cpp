// The entry window of account parameters: a filter box over the company's chart of accounts.
#include "automation/Text.h"
#include "forms/Controls.h"
#include "forms/Form.h"
#include "forms/ListView.h"
#include "sample/FuncInfo.h"

namespace sample {

namespace {

class FrmAccount final : public forms::Form {
 public:
  forms::Label lblFilter{*this, u"lblFilter"};
  forms::TextBox txtFilter{*this, u"txtFilter"};
  forms::ListView lvwAccounts{*this, u"lvwAccounts"};
  forms::CommandButton cmdOK{*this, u"cmdOK"};
  forms::CommandButton cmdCancel{*this, u"cmdCancel"};
  std::u16string result;

  FrmAccount(std::vector<AccountRow> accounts, std::u16string_view text)
      : Form(u"frmAccount"), accounts_(std::move(accounts)) {
    setCaption(u"选择科目");
    setCentered(true);
    setClientSize(5400, 4500);
    lblFilter.Move(120, 150, 900, 180);
    lblFilter.setCaption(u"查找：");
    txtFilter.Move(1020, 105, 4260, 300);
    txtFilter.setTabIndex(0);
    lvwAccounts.Move(120, 525, 5160, 3345);
    lvwAccounts.setTabIndex(1);
    lvwAccounts.setFullRowSelect(true);
    lvwAccounts.addColumn(u"科目代码");
    lvwAccounts.addColumn(u"科目名称");
    lvwAccounts.setColumnWidth(0, 1300);
    lvwAccounts.setColumnWidth(1, 3500);
    cmdOK.Move(2880, 4005, 1125, 345);
    cmdOK.setCaption(u"确定");
    cmdOK.setDefault(true);
    cmdOK.setTabIndex(2);
    cmdCancel.Move(4155, 4005, 1125, 345);
    cmdCancel.setCaption(u"取消");
    cmdCancel.setCancel(true);
    cmdCancel.setTabIndex(3);
    // A row that already holds code@name starts the filter on its code.
    const std::u16string typed(text.substr(0, text.find(u'@')));
    txtFilter.setText(automation::trim(typed));
    fill();
    txtFilter.Change = [this] { fill(); };
    lvwAccounts.DblClick = [this] { confirm(); };
    cmdOK.Click = [this] { confirm(); };
    cmdCancel.Click = [this] { Hide(); };
  }

 private:
  void fill() {
    const std::u16string filter = automation::trim(txtFilter.Text());
    std::vector<forms::ListView::Item> items;
    for (const AccountRow& a : accounts_) {
      const std::u16string code = automation::fromUtf8(a.code);
      const std::u16string name = automation::fromUtf8(a.name);
      if (!filter.empty() && !code.starts_with(filter) && name.find(filter) == std::u16string::npos) continue;
      items.push_back({code, {name}, 0});
    }
    lvwAccounts.setItems(std::move(items));
    if (lvwAccounts.itemCount() > 0) lvwAccounts.select(0);
  }
  void confirm() {
    const std::int32_t row = lvwAccounts.selectedIndex();
    if (row < 0) return;
    const auto& item = lvwAccounts.item(row);
    result = item.text + u"@" + item.subItems.at(0);
    setTag(u"OK");
    Hide();
  }
  std::vector<AccountRow> accounts_;
};

}  // namespace

std::u16string chooseAccount(Ledger& ledger, std::int32_t company, std::u16string_view text) {
  FrmAccount dialog(company > 0 ? ledger.accounts(company) : std::vector<AccountRow>{}, text);
  dialog.Show(true);
  const std::u16string chosen = dialog.Tag() == u"OK" ? dialog.result : std::u16string(text);
  dialog.Unload();
  return chosen;
}

}  // namespace sample
