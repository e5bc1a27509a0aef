// The function catalogue in the process language: its group names, descriptions and parameter names
// come from the same texts as the dialogs', and the names the editor and the picker hand back are
// the ones they were shown.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <set>

#include "automation/ClassRegistry.h"
#include "automation/Conversions.h"
#include "automation/Text.h"
#include "automation/VariantArray.h"
#include "cfunc/CFunc.h"
#include "component/ReportContext.h"
#include "editor/FrmCalcEqual.h"
#include "environment/Localisation.h"
#include "environment/Reg.h"
#include "forms/headless/HeadlessBackend.h"
#include "outside/FuncInfo.h"
#include "platform/Process.h"
#include "platform/Registry.h"
#include "sample/SampleSystem.h"
#include "support/TempConfig.h"

namespace {

using namespace automation;
using Texts = std::vector<std::u16string>;

class CatalogueLanguageTest : public ::testing::Test {
 protected:
  CatalogueLanguageTest() { start(sample::defaultOptions()); }
  ~CatalogueLanguageTest() override {
    forget();
    classRegistry().clear();
  }

  // Registers the sample system on `options`, as a host does before it publishes anything.
  void start(sample::SampleOptions options) {
    forget();
    classRegistry().clear();
    sample::registerSampleComponents(classRegistry(), std::move(options));
    cfunc::registerComponentClasses(classRegistry());
  }
  static void forget() {
    component::resetComponentState();
    environment::resetLocalisationState();
    sample::clearPublishedProperties();
  }
  // Publishes a property string with this Language; the dialogs' texts are looked up afresh.
  static void speak(const std::u16string& language) {
    sample::publishProperty(platform::currentProcessId(), u"PropsString",
                            Variant(u"User=admin;Language=" + language));
    environment::resetLocalisationState();
  }
  static outside::FuncInfoCalls catalogue() {
    return outside::FuncInfoCalls(CreateObject(u"Fenwick2.FuncInfo"));
  }

  static Texts names(const Variant& list) {
    Texts out;
    const VariantArray& a = list.array();
    for (std::int32_t i = a.lbound(); i <= a.ubound(); ++i) out.push_back(toText(a(i)));
    return out;
  }
  // A function as the catalogue describes it now: its description, then each parameter's name and
  // description.
  static Texts described(const outside::FuncInfoCalls& calls, std::u16string_view function) {
    const outside::FuncDescriptorCalls f(calls.getFuncInfo(function));
    Texts out{f.funcDes()};
    const ObjectRef params = f.paramsInfo();
    for (std::int32_t i = 1; i <= outside::collectionCount(params); ++i) {
      const outside::ParamItemCalls p(objectOf(outside::collectionItem(params, i)));
      out.push_back(p.paramName());
      out.push_back(p.paramDes());
    }
    return out;
  }
  // The caption of the first column of a value table: says which list it is.
  static std::u16string listCaption(const Variant& table) {
    return table.isArray() ? toText(table.array()(0, 0)) : u"(no list)";
  }

  testing_support::TempConfig config;
};

TEST_F(CatalogueLanguageTest, GroupsDescriptionsAndParametersComeInTheProcessLanguage) {
  speak(u"EN");
  const outside::FuncInfoCalls calls = catalogue();
  EXPECT_EQ(names(calls.funcGroup()),
            (Texts{u"Ledger Functions", u"Report Functions", u"Date Functions", u"System Functions"}));
  const Texts qmye = described(calls, u"QMYE");
  EXPECT_EQ(qmye.front(),
            u"Closing balance: the balance of the given account at the end of the accounting period "
            u"(debit positive).");
  EXPECT_EQ(qmye[1], u"Account code");
  EXPECT_EQ(qmye[4], u"Four-digit year; left empty, the report year");
  EXPECT_EQ((Texts{qmye[5], qmye[7], qmye[9]}), (Texts{u"Period", u"Currency", u"Data source"}));
  EXPECT_EQ(described(calls, u"DATEDIFF")[4], u"The first date, such as 2024-01-01");
  // The picker asks for a group by the name it shows.
  EXPECT_EQ(names(calls.getGroupFuncList(u"Date Functions")), (Texts{u"DATEDIFF", u"RPTDATE"}));
  EXPECT_EQ(names(calls.getGroupFuncList(u"System Functions")), (Texts{u"SYSINFO"}));

  speak(u"CHT");
  EXPECT_EQ(names(calls.funcGroup()), (Texts{u"帳務函數", u"報表函數", u"日期函數", u"系統函數"}));
  const Texts cht = described(calls, u"QMYE");
  EXPECT_EQ(cht.front(), u"期末餘額：取指定科目在會計期間結束時的餘額（借方為正）。");
  EXPECT_EQ((Texts{cht[1], cht[3], cht[7], cht[9]}), (Texts{u"科目代碼", u"會計年度", u"幣別", u"資料來源"}));
  EXPECT_EQ(names(calls.getGroupFuncList(u"帳務函數")).front(), u"QCYE");

  // CHS answers the catalogue's own texts, and its group names still find their functions.
  speak(u"CHS");
  EXPECT_EQ(names(calls.funcGroup()), (Texts{u"账务函数", u"报表函数", u"日期函数", u"系统函数"}));
  EXPECT_EQ(described(calls, u"QMYE")[7], u"币种");
  EXPECT_EQ(names(calls.getGroupFuncList(u"日期函数")), (Texts{u"DATEDIFF", u"RPTDATE"}));
}

TEST_F(CatalogueLanguageTest, TheLanguageIsDecidedAtEachAnswer) {
  // Components made before the host publishes anything follow what it publishes later.
  const outside::FuncInfoCalls calls = catalogue();
  const ObjectRef langInfo = CreateObject(u"Q7LangInfo.LangInfo");
  const auto first = [&] { return names(calls.funcGroup()).front(); };
  for (const auto& [language, group] : {std::pair<std::u16string, std::u16string>{u"EN", u"Ledger Functions"},
                                        {u"CHT", u"帳務函數"},
                                        {u"chs", u"账务函数"},
                                        {u"en", u"Ledger Functions"}}) {
    speak(language);
    EXPECT_EQ(first(), group) << toUtf8(language);
    EXPECT_EQ(toText(get(langInfo, u"CurrentLanguage")), automation::upper(language));
  }
  // Without a Language in the property string the locale variables decide, then CHS.
  const char* before = std::getenv("LANGUAGE");
  const std::optional<std::string> saved =
      before != nullptr ? std::optional<std::string>(before) : std::nullopt;
  sample::publishProperty(platform::currentProcessId(), u"PropsString", Variant(u"User=admin"));
  ::setenv("LANGUAGE", "zh_HK.UTF-8:en", 1);
  EXPECT_EQ(first(), u"帳務函數");
  ::setenv("LANGUAGE", "en_GB", 1);
  EXPECT_EQ(first(), u"Ledger Functions");
  EXPECT_EQ(described(calls, u"HL")[1], u"Currency");
  if (saved) {
    ::setenv("LANGUAGE", saved->c_str(), 1);
  } else {
    ::unsetenv("LANGUAGE");
  }
}

TEST_F(CatalogueLanguageTest, RowLabelsAsShownFindTheirValueListsAndEntryWindow) {
  const outside::FuncInfoCalls calls = catalogue();
  speak(u"EN");
  EXPECT_EQ(listCaption(calls.getInfoToShow(u"QMYE", u"Currency", u"", u"")), u"币种");
  EXPECT_EQ(listCaption(calls.getInfoToShow(u"QMYE", u"Period", u"", u"2024")), u"期间");
  EXPECT_EQ(listCaption(calls.getInfoToShow(u"REF_F", u"Data source", u"", u"")), u"数据源");
  EXPECT_EQ(listCaption(calls.getInfoToShow(u"QMYE", u"币种", u"", u"")),
            u"币种");  // the catalogue's own name
  EXPECT_EQ(calls.getInfoToShow(u"QMYE", u"Currencies", u"", u"").type(), VarType::Empty);
  EXPECT_EQ(calls.getInfoToShow(u"QMYE", u"Year", u"", u"").type(), VarType::Empty);  // a row without a list
  // The rows a variable function adds are labelled after its first parameter.
  EXPECT_EQ(listCaption(calls.getInfoToShow(u"HJQM", u"Account3", u"", u"")), u"科目代码");
  speak(u"CHT");
  EXPECT_EQ(listCaption(calls.getInfoToShow(u"LJFS", u"取數類型", u"", u"")), u"取数类型");
  EXPECT_EQ(listCaption(calls.getInfoToShow(u"LJFS", u"截止期間", u"", u"")), u"期间");

  // F7 on ACCT's account row opens the account chooser under the label it shows in English.
  speak(u"EN");
  auto& ui = forms::headless::installed();
  ui.clearScript();
  ui.then([](forms::Form& shown) {
    forms::headless::type(shown, u"1002");
    forms::headless::press(shown, forms::keys::Return);
  });
  EXPECT_EQ(calls.getParamText(u"ACCT", u"Account", u""), u"1002@银行存款");
  EXPECT_EQ(calls.getParamText(u"ACCT", u"Amount kind", u"as typed"), u"as typed");  // no entry window
}

TEST_F(CatalogueLanguageTest, TheCashFlowSchemeRowIsRecognisedInEveryLanguage) {
  const auto stored = [] {
    environment::Reg reg;
    Variant value(u"none");
    std::int32_t type = 1;
    reg.GetValue(
        static_cast<std::int32_t>(platform::HKEY_CURRENT_USER),
        u"SoftWare\\Torvane\\TAV\\PA\\PASetting\\" + editor::FrmCalcEqual::GetClientKeyName() + u"\\",
        u"ClsID_CASHFLOW", value, type);
    return toText(value);
  };
  struct Case {
    std::u16string language, caption, scheme;
  };
  for (const Case& c : {Case{u"CHS", u"报表方案", u"2"}, Case{u"CHT", u"報表方案", u"3"},
                        Case{u"EN", u"Report scheme", u"4"}}) {
    speak(c.language);
    const ObjectRef cfunc = CreateObject(u"Formulist2.CFunc");
    editor::FrmCalcEqual editor;
    editor.Load();
    ASSERT_TRUE(editor.RefreshFunc(u"CASHFLOW"));
    editor.Show();
    EXPECT_EQ(editor.lblParam(0).Caption(), c.caption);
    EXPECT_EQ(environment::L(u"报表方案"), c.caption);  // the editor's own text of the scheme row
    editor.txtParam(0).setText(c.scheme);
    EXPECT_EQ(stored(), c.scheme) << toUtf8(c.language);
    editor.Unload();
  }
}

TEST_F(CatalogueLanguageTest, TextsWithoutATranslationStayAsWritten) {
  std::filesystem::create_directories(config.dir());
  const auto file = config.dir() / "own.json";
  std::ofstream(file) << R"({"groups": [
    {"name": "账务函数", "functions": [
      {"name": "OWNBAL", "description": "自定义余额", "params": [
        {"name": "科目代码", "description": "本公司的科目", "list": "accounts"},
        {"name": "口径", "list": "currencies"},
        {"name": "Scope", "description": "free text"}]}]},
    {"name": "自定义函数", "functions": [{"name": "OWN"}]}]})";
  sample::SampleOptions options = sample::defaultOptions();
  options.catalogue = file;
  start(options);
  speak(u"EN");
  const outside::FuncInfoCalls calls = catalogue();
  EXPECT_EQ(names(calls.funcGroup()), (Texts{u"Ledger Functions", u"自定义函数"}));
  EXPECT_EQ(names(calls.getGroupFuncList(u"自定义函数")), (Texts{u"OWN"}));
  // A blank description stays blank (the catalogs' header is filed under the empty text).
  EXPECT_EQ(described(calls, u"OWNBAL"),
            (Texts{u"自定义余额", u"Account code", u"本公司的科目", u"口径", u"", u"Scope", u"free text"}));
  EXPECT_EQ(outside::FuncDescriptorCalls(calls.getFuncInfo(u"OWN")).funcDes(), u"");
  EXPECT_EQ(listCaption(calls.getInfoToShow(u"OWNBAL", u"口径", u"", u"")), u"币种");
}

// The texts of the shipped catalogue, each as CHS and as another language show it.
struct ShownText {
  std::u16string chs;
  std::u16string shown;
  bool paramName = false;
};

class ShippedCatalogueTest : public CatalogueLanguageTest {
 protected:
  // Group names, then for each function its description and its parameters' names and descriptions.
  static std::vector<ShownText> everyText(const std::u16string& language) {
    const outside::FuncInfoCalls calls = catalogue();
    const auto collect = [&](const std::u16string& in) {
      speak(in);
      std::vector<std::pair<std::u16string, bool>> texts;  // (text, is a parameter name)
      for (const std::u16string& group : names(calls.funcGroup())) texts.emplace_back(group, false);
      for (const std::u16string& function : names(calls.getGroupFuncList(u""))) {
        const Texts d = described(calls, function);
        for (std::size_t k = 0; k < d.size(); ++k) texts.emplace_back(d[k], k % 2 == 1);
      }
      return texts;
    };
    const auto chs = collect(u"CHS");
    const auto shown = collect(language);
    EXPECT_EQ(chs.size(), shown.size());
    std::vector<ShownText> out;
    for (std::size_t i = 0; i < std::min(chs.size(), shown.size()); ++i)
      out.push_back({chs[i].first, shown[i].first, chs[i].second});
    return out;
  }
  static bool ascii(std::u16string_view text) {
    return std::all_of(text.begin(), text.end(), [](char16_t c) { return c < 0x80; });
  }
};

TEST_F(ShippedCatalogueTest, EveryTextHasAnEnglishOneAndParameterNamesFitTheLabelColumn) {
  const auto texts = everyText(u"EN");
  ASSERT_GT(texts.size(), 150u);
  std::size_t paramNames = 0;
  for (const ShownText& t : texts) {
    if (t.chs.empty()) continue;
    EXPECT_TRUE(t.shown != t.chs || ascii(t.chs)) << "no English text for " << toUtf8(t.chs);
    EXPECT_TRUE(std::none_of(t.shown.begin(), t.shown.end(), [](char16_t c) { return c >= 0x2E80; }))
        << "Chinese left in " << toUtf8(t.shown);
    // The editor's texts say Item where the catalogs say Project; the catalogue's are shown as they are.
    EXPECT_EQ(automation::upper(t.shown).find(u"PROJECT"), std::u16string::npos) << toUtf8(t.shown);
    if (!t.paramName) continue;
    ++paramNames;
    // A row caption grows leftwards from 2175 twips: about 16 Latin letters reach the window's edge.
    EXPECT_LE(t.shown.size(), 16u) << toUtf8(t.shown) << " is too long for a row caption";
  }
  EXPECT_GT(paramNames, 50u);
}

TEST_F(ShippedCatalogueTest, EveryTextHasATraditionalChineseEntry) {
  // Many texts are written alike in both scripts (科目, 日期), so a missing entry cannot be told
  // from the answer: the message file itself must hold every text.
  std::set<std::u16string> entries;
  std::ifstream po(sample::defaultOptions().data / "lang" / "zh_TW.po");
  ASSERT_TRUE(po);
  for (std::string line; std::getline(po, line);) {
    if (!line.starts_with("msgid \"") || !line.ends_with("\"")) continue;
    std::string id;
    for (std::size_t i = 7; i + 1 < line.size(); ++i) id += line[i] == '\\' ? line[++i] : line[i];
    entries.insert(fromUtf8(id));
  }
  const auto texts = everyText(u"CHT");
  ASSERT_GT(texts.size(), 150u);
  for (const ShownText& t : texts) {
    if (t.chs.empty()) continue;
    EXPECT_TRUE(entries.contains(t.chs)) << "zh_TW.po has no entry for " << toUtf8(t.chs);
    EXPECT_EQ(t.shown.find(u"專案"), std::u16string::npos) << toUtf8(t.shown);
  }
}

}  // namespace
