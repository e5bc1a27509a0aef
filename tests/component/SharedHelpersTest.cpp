#include "component/SharedHelpers.h"

#include <gtest/gtest.h>

#include "automation/Collection.h"
#include "automation/Conversions.h"
#include "component/ReportContext.h"
#include "environment/Localisation.h"
#include "forms/Form.h"
#include "forms/headless/HeadlessBackend.h"
#include "outside/FuncInfo.h"
#include "support/Errors.h"
#include "support/FakeObject.h"
#include "support/Fakes.h"

namespace {

using namespace automation;
using component::componentState;
using component::GetParamDefaultText;
using component::LoadFuncParams;
using component::paramTable;
using fakes::fakeObject;
using testing_support::errorNumber;

struct ParamEntry {
  std::u16string name;
  std::int32_t type;
  Variant def;
  bool isList = false, isDsn = false, isCustomWnd = false;
};

ObjectRef descriptor(std::u16string name, bool fixed, const std::vector<ParamEntry>& params) {
  auto collection = std::make_shared<Collection>();
  for (const ParamEntry& p : params) {
    auto item = fakeObject(u"Param");
    item->property(u"ParamName", Variant(p.name))
        .property(u"ParamDes", Variant(p.name + u"的说明"))
        .property(u"DataType", Variant(p.type))
        .property(u"DefValue", p.def)
        .property(u"IsList", Variant(p.isList))
        .property(u"IsDsn", Variant(p.isDsn))
        .property(u"IsCustomWnd", Variant(p.isCustomWnd));
    collection->Add(Variant(ObjectRef(item)));
  }
  auto d = fakeObject(u"FuncDescriptor");
  d->property(u"FuncName", Variant(name))
      .property(u"FuncDes", Variant(u"说明"))
      .property(u"FixParamNum", Variant(fixed))
      .property(u"MaxParamNum", Variant(fixed ? 0 : 40))
      .property(u"ParamsInfo", Variant(ObjectRef(collection)));
  return d;
}

class SharedHelpersTest : public ::testing::Test {
 protected:
  SharedHelpersTest() {
    auto catalogue = fakeObject(u"FuncInfo");
    catalogue->method(u"GetFuncInfo", 1, [this](Args& a) {
      const auto it = functions.find(toText(a[0]));
      if (it == functions.end()) automation::raise(5, u"unknown function");
      return Variant(it->second);
    });
    catalogue->method(u"MaintainURL", 1, [this](Args& a) {
      if (failMaintain) automation::raise(5);
      used.push_back(toText(a[0]));
      return Variant{};
    });
    componentState().g_oFuncInfo = catalogue;
    functions[u"ACCT"] = descriptor(u"ACCT", true,
                                    {{u"科目", 8, Variant(u"1001"), true, false, true},
                                     {u"年度", 3, Variant(2024)},
                                     {u"数据源", 8, Variant(u""), false, true}});
    functions[u"NOW"] = descriptor(u"NOW", true, {});
    functions[u"SUMOF"] = descriptor(u"SUMOF", false, {{u"值", 5, Variant(0.0)}});
  }

  fakes::FakeEnvironment env;
  std::map<std::u16string, ObjectRef> functions;
  std::vector<std::u16string> used;
  bool failMaintain = false;
};

TEST_F(SharedHelpersTest, LoadFuncParamsFillsTheTableFromTheDescriptor) {
  ASSERT_TRUE(LoadFuncParams(u"ACCT"));
  EXPECT_EQ(componentState().g_oCurFunc, functions[u"ACCT"]);
  EXPECT_EQ(used, (std::vector<std::u16string>{u"ACCT"}));
  const auto& t = paramTable();
  EXPECT_EQ(t.ParamName.lbound(), 0);
  EXPECT_EQ(t.ParamName.ubound(), 2);
  EXPECT_EQ(t.ParamName(1), Variant(u"年度"));
  EXPECT_EQ(t.ParamDes(0), Variant(u"科目的说明"));
  EXPECT_EQ(t.DataType(1), Variant(3));
  EXPECT_EQ(t.IsList(0), Variant(true));
  EXPECT_EQ(t.IsCustomWnd(0), Variant(true));
  EXPECT_EQ(t.IsDsn(2), Variant(true));
  EXPECT_EQ(t.DefValue(1), Variant(2024));
  EXPECT_EQ(outside::collectionCount(componentState().g_oParams), 3);
}

TEST_F(SharedHelpersTest, AFunctionWithoutParametersLeavesColumnsWithoutBounds) {
  ASSERT_TRUE(LoadFuncParams(u"NOW"));
  EXPECT_EQ(errorNumber([] { paramTable().ParamName.ubound(); }), errors::SubscriptOutOfRange);
  EXPECT_EQ(errorNumber([] { paramTable().IsCustomWnd.lbound(); }), errors::SubscriptOutOfRange);
}

TEST_F(SharedHelpersTest, AnUnknownFunctionLeavesEverythingAsItWas) {
  ASSERT_TRUE(LoadFuncParams(u"ACCT"));
  EXPECT_FALSE(LoadFuncParams(u"NOSUCH"));
  EXPECT_EQ(componentState().g_oCurFunc, functions[u"ACCT"]);
  EXPECT_EQ(paramTable().ParamName.ubound(), 2);
  // A catalogue that cannot record the use: the descriptor is taken, the table is not.
  failMaintain = true;
  EXPECT_FALSE(LoadFuncParams(u"NOW"));
  EXPECT_EQ(componentState().g_oCurFunc, functions[u"NOW"]);
  EXPECT_EQ(paramTable().ParamName.ubound(), 2);
  EXPECT_EQ(Err().Number, 0);
}

TEST_F(SharedHelpersTest, DefaultTextsFollowTheTypeCode) {
  functions[u"TYPES"] = descriptor(u"TYPES", true,
                                   {{u"t8", 8, Variant(u"2023")},
                                    {u"t5", 5, Variant(u"2023")},
                                    {u"t2", 2, Variant(u"2023")},
                                    {u"t12n", 12, Variant(u" 12 ")},
                                    {u"t12s", 12, Variant(u"abc")},
                                    {u"t7", 7, Variant(makeDate(2024, 1, 31))},
                                    {u"t11", 11, Variant(true)},
                                    {u"t6", 6, Variant(Currency{125000})},
                                    {u"t3", 3, Variant{}}});
  ASSERT_TRUE(LoadFuncParams(u"TYPES"));
  const std::vector<std::u16string> expected = {u"\"2023\"",       u"2023", u"",     u" 12 ", u"\"abc\"",
                                                u"\"2024-01-31\"", u"True", u"12.5", u""};
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(GetParamDefaultText(static_cast<std::int16_t>(i)), expected[i]) << i;
  }
  EXPECT_EQ(GetParamDefaultText(99), u"");  // failures answer ""
  // A variable-count function: every row takes the first descriptor.
  ASSERT_TRUE(LoadFuncParams(u"SUMOF"));
  EXPECT_EQ(GetParamDefaultText(5), u"0");
}

TEST_F(SharedHelpersTest, NameValuesLoseTheFormulaSignAndQuotesAndAreDecoded) {
  std::vector<std::u16string> decoded;
  ScopedClass memoryFile(u"Brisa.BrisaCtrl.1", [&] {
    auto o = fakeObject(u"BrisaCtrl");
    o->method(
        u"Decode", 1,
        [&](Args& a) {
          decoded.push_back(toText(a[0]));
          a[0] = Variant(u"plain:" + toText(a[0]));
          return Variant{};
        },
        true);
    return o;
  });
  auto names = fakeObject(u"Names");
  std::map<std::u16string, ObjectRef> entries;
  for (const auto& [name, value] :
       std::vector<std::pair<std::u16string, Variant>>{{u"报表名", Variant(u"=\"ABC\"")},
                                                       {u"plain", Variant(u"=12")},
                                                       {u"enc", Variant(u"=\"ENCODE_x1\"")},
                                                       {u"number", Variant(42)}}) {
    auto entry = fakeObject(u"Name");
    entry->property(u"Value", value);
    entries[name] = entry;
  }
  names->method(u"Item", 1, [&](Args& a) {
    const auto it = entries.find(toText(a[0]));
    if (it == entries.end()) automation::raise(1004, u"no such name");
    return Variant(it->second);
  });
  auto sheets = fakeObject(u"Sheets");
  auto sheet = fakeObject(u"Sheet");
  sheet->property(u"Names", Variant(ObjectRef(names)));
  sheets->method(u"Item", 1, [&](Args&) { return Variant(ObjectRef(sheet)); });
  auto workbook = fakeObject(u"Workbook");
  workbook->property(u"Names", Variant(ObjectRef(names))).property(u"Sheets", Variant(ObjectRef(sheets)));

  EXPECT_EQ(component::GetNameValue(u"报表名", workbook), Variant(u"ABC"));
  EXPECT_EQ(component::GetNameValue(u"plain", workbook), Variant(u"12"));
  EXPECT_EQ(component::GetNameValue(u"enc", workbook, Variant(2)), Variant(u"plain:x1"));
  EXPECT_EQ(decoded, (std::vector<std::u16string>{u"x1"}));
  EXPECT_EQ(component::GetNameValue(u"number", workbook), Variant(42));
  EXPECT_TRUE(component::GetNameValue(u"missing", workbook).isEmpty());
  EXPECT_EQ(component::DecodeNameValue(Variant(u"= \" ABC\" ")), Variant(u"ABC"));
  EXPECT_EQ(component::DecodeNameValue(Variant(u"ENCODE_y")), Variant(u"plain:y"));
}

TEST_F(SharedHelpersTest, WarningsBeepAndShowALocalisedBox) {
  auto& ui = forms::headless::installed();
  ui.beeps = 0;
  ui.messageBoxes.clear();
  component::ShowWarning(u"函数不支持");
  EXPECT_EQ(ui.beeps, 1);
  ASSERT_EQ(ui.messageBoxes.size(), 1u);
  EXPECT_EQ(ui.messageBoxes[0].text, u"函数不支持");
  EXPECT_EQ(ui.messageBoxes[0].title, u"Torvane提示");  // CHS: the key itself
  EXPECT_EQ(ui.messageBoxes[0].icon, forms::MessageIcon::Warning);
  ui.messageBoxes.clear();
}

// The modifier keys are read through GetShiftState by Tab and Shift+Tab in the editor's tests.
TEST_F(SharedHelpersTest, AFormIsLoadedFromLoadToUnload) {
  forms::Form form(u"f");
  EXPECT_FALSE(component::IsFormLoaded(form));
  form.Load();
  EXPECT_TRUE(component::IsFormLoaded(form));
  form.Unload();
  EXPECT_FALSE(component::IsFormLoaded(form));
}

}  // namespace
