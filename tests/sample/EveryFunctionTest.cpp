// Every function the sample catalogue lists gives an answer that means something: opened in the
// editor on its defaults, its live result and the host's RecallRpt on the same call give a value or
// a worded error, never the catalogue's "#函数未定义".
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "automation/ClassRegistry.h"
#include "automation/Conversions.h"
#include "automation/Text.h"
#include "automation/VariantArray.h"
#include "cfunc/CFunc.h"
#include "component/ReportContext.h"
#include "editor/Composition.h"
#include "editor/FrmCalcEqual.h"
#include "environment/Localisation.h"
#include "forms/headless/HeadlessBackend.h"
#include "outside/FuncInfo.h"
#include "platform/Process.h"
#include "sample/SampleSystem.h"
#include "support/TempConfig.h"

namespace {

using namespace automation;
namespace hl = forms::headless;

// What RecallRpt answers for a function on its defaults: a value, an error text, or nothing at all
// (ITEM, which RecallRpt leaves to the host).
struct Answer {
  enum class Kind { Value, Error, LeftAlone };
  Kind kind;
  std::u16string error = {};
};
const Answer kValue{Answer::Kind::Value};
Answer error(std::u16string text) {
  return {Answer::Kind::Error, std::move(text)};
}

// An argument of a composed call as the host passes it: a text without its quotes, a number,
// TRUE / FALSE, or nothing for a blank.
Variant argumentOf(const std::u16string& text) {
  const std::u16string t = trim(text);
  if (t.empty()) return Variant{};
  if (t.size() >= 2 && t.front() == u'"' && t.back() == u'"') return Variant(t.substr(1, t.size() - 2));
  if (equalsIgnoreCase(t, u"TRUE")) return Variant(true);
  if (equalsIgnoreCase(t, u"FALSE")) return Variant(false);
  return Variant(toDouble(Variant(t)));
}

class EveryFunctionTest : public ::testing::Test {
 protected:
  EveryFunctionTest() { speak(u"CHS"); }
  ~EveryFunctionTest() override {
    cfunc.reset();
    component::resetComponentState();
    environment::resetLocalisationState();
    sample::clearPublishedProperties();
    classRegistry().clear();
  }
  void speak(const std::u16string& language) {
    cfunc.reset();
    component::resetComponentState();
    environment::resetLocalisationState();
    sample::clearPublishedProperties();
    ui.clearScript();
    classRegistry().clear();
    sample::registerSampleComponents(classRegistry(), sample::defaultOptions());
    cfunc::registerComponentClasses(classRegistry());
    sample::publishProperty(platform::currentProcessId(), u"PropsString", Variant(u"Language=" + language));
    cfunc = CreateObject(u"Formulist2.CFunc");
  }

  std::vector<std::u16string> catalogueFunctions() {
    const outside::FuncInfoCalls calls(CreateObject(u"Fenwick2.FuncInfo"));
    const Variant names = calls.getGroupFuncList(u"");
    std::vector<std::u16string> out;
    for (const Variant& n : names.array().elements()) out.push_back(toText(n));
    return out;
  }

  // The function opened in the editor as a user opens it: its composed formula and its live result.
  std::pair<std::u16string, std::u16string> openInEditor(const std::u16string& name) {
    std::u16string formula, result;
    ui.then([&](forms::Form& shown) {
      auto& editor = dynamic_cast<editor::FrmCalcEqual&>(shown);
      formula = editor.m_sFormula;
      editor.ShowPreview();
      result = editor.lblResult.Caption();
      hl::press(editor, forms::keys::Escape);
    });
    call(cfunc, u"GetFuncExpr", {Variant(name)});
    EXPECT_EQ(ui.pendingActions(), 0u) << toUtf8(name) << ": the editor did not open";
    return {formula, result};
  }

  // RecallRpt on a one-call batch of the composed formula's arguments: value and error text.
  std::pair<Variant, std::u16string> recall(const std::u16string& formula) {
    const auto split = editor::SplitFormula(formula);
    EXPECT_TRUE(split.has_value()) << toUtf8(formula);
    if (!split) return {};
    std::vector<Variant> args;
    for (const std::u16string& a : split->args) args.push_back(argumentOf(a));
    VariantArray batch({Bounds{0, 0}, Bounds{0, 2}});
    batch(0, 0) = Variant(VariantArray::of(std::move(args)));
    Variant callArgs[] = {Variant(split->funcName), Variant(std::move(batch)), Variant{}};
    cfunc->invoke(u"RecallRpt", InvokeKind::Method, callArgs);
    const VariantArray& out = callArgs[1].array();
    return {out(0, 1), out(0, 2).isEmpty() ? std::u16string{} : toText(out(0, 2))};
  }

  testing_support::TempConfig config;
  hl::HeadlessBackend& ui = hl::installed();
  ObjectRef cfunc;
};

TEST_F(EveryFunctionTest, EveryCatalogueFunctionOnItsDefaultsGivesAValueOrAWordedError) {
  const std::map<std::u16string, Answer> answers = {
      // The ledger functions want an account (or a currency, or dates) the defaults leave blank.
      {u"QCYE", error(u"#参数错误")},
      {u"QMYE", error(u"#参数错误")},
      {u"JFFS", error(u"#参数错误")},
      {u"DFFS", error(u"#参数错误")},
      {u"JEFS", error(u"#参数错误")},
      {u"LJFS", error(u"#参数错误")},
      {u"HL", error(u"#参数错误")},
      {u"HJQM", kValue},  // the sum of no accounts
      {u"ZBFX", error(u"#参数错误")},
      {u"ACCT", error(u"#参数错误")},
      {u"ACCTEXT", error(u"#参数错误")},
      {u"REF", error(u"#REF 由报表宿主计算，函数库不计算它")},
      {u"REF_F", error(u"#报表名为空")},
      {u"VEX_REF_F", error(u"#报表名为空")},
      {u"CS_REF_F", error(u"#报表名为空")},
      {u"PAGENAME", error(u"#PAGENAME 由报表宿主计算，函数库不计算它")},
      {u"PAGENO", error(u"#PAGENO 由报表宿主计算，函数库不计算它")},
      {u"REF_EXCEL", error(u"#未指定电子表格文件")},
      {u"CASHFLOW", error(u"#未指定现金流量项目")},
      {u"ITEM", {Answer::Kind::LeftAlone}},
      {u"DATEDIFF", error(u"#参数错误")},
      {u"RPTDATE", kValue},
      {u"SYSINFO", kValue},
  };
  const std::vector<std::u16string> functions = catalogueFunctions();
  ASSERT_EQ(functions.size(), answers.size()) << "a function of the catalogue has no answer here";
  for (const std::u16string& name : functions) {
    SCOPED_TRACE(toUtf8(name));
    const auto expected = answers.find(name);
    ASSERT_NE(expected, answers.end());
    const auto [formula, preview] = openInEditor(name);
    ASSERT_TRUE(formula.starts_with(name + u"(")) << toUtf8(formula);
    const auto [value, error] = recall(formula);
    EXPECT_NE(error, u"#函数未定义");
    EXPECT_EQ(preview.find(u"#函数未定义"), std::u16string::npos) << toUtf8(preview);
    switch (expected->second.kind) {
      case Answer::Kind::Value:
        EXPECT_EQ(error, u"");
        EXPECT_FALSE(value.isEmpty());
        EXPECT_EQ(preview, u"结果：" + toText(value));
        break;
      case Answer::Kind::Error:
        EXPECT_EQ(error, expected->second.error);
        EXPECT_TRUE(value.isEmpty());
        EXPECT_EQ(preview, u"结果：" + expected->second.error);  // the live result is the host's answer
        break;
      case Answer::Kind::LeftAlone:
        EXPECT_EQ(error, u"");
        EXPECT_TRUE(value.isEmpty());
        EXPECT_EQ(preview, u"结果：ITEM 是宿主自己的取数函数，这里不预览");  // why, not a blank
        break;
    }
  }
}

TEST_F(EveryFunctionTest, TheNewAnswersAreInTheUsersLanguage) {
  speak(u"EN");
  EXPECT_EQ(recall(u"CASHFLOW(1,\"\",)").second, u"#No cash-flow item given");
  EXPECT_EQ(recall(u"CASHFLOW(7,\"1101\",)").second, u"#There is no cash-flow report scheme 7");
  EXPECT_EQ(recall(u"REF_EXCEL(\"\",\"\")").second, u"#No spreadsheet file given");
  EXPECT_EQ(recall(u"REF_EXCEL(\"预算\",\"Z99\")").second,
            u"#The cell Z99 lies outside the spreadsheet file \"预算\"");
  EXPECT_EQ(recall(u"PAGENO()").second,
            u"#PAGENO is computed by the report's host, not by the function library");
  EXPECT_EQ(recall(u"CASHFLOW(\"x\",\"1101\",)").second, u"#Parameter error");
  speak(u"CHT");
  EXPECT_EQ(recall(u"REF_EXCEL(\"没有\",\"A1\")").second, u"#電子表格檔案「没有」不存在");
  EXPECT_EQ(recall(u"REF(\"B3\",2)").second, u"#REF 由報表宿主計算，函數庫不計算它");
}

}  // namespace
