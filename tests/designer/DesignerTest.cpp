// The report designer as a host: formulas read, batches handed to the component, recalculation,
// inserting a function through the wizard, the context, saving and opening reports. The designer's
// window runs offscreen; the wizard's dialogs run on the headless backend with a scripted user.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDockWidget>
#include <QElapsedTimer>
#include <QFormLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QScreen>
#include <QSpinBox>
#include <QStatusBar>
#include <QStyleOptionViewItem>
#include <QTableView>
#include <QTimer>

#include "automation/ClassRegistry.h"
#include "automation/Conversions.h"
#include "automation/Dispatch.h"
#include "automation/Error.h"
#include "automation/VariantArray.h"
#include "cfunc/CFunc.h"
#include "component/ReportContext.h"
#include "designer/DesignerWindow.h"
#include "designer/Formula.h"
#include "designer/Recalc.h"
#include "designer/ReportStore.h"
#include "designer/SheetModel.h"
#include "editor/FrmCalcEqual.h"
#include "environment/Localisation.h"
#include "forms/headless/HeadlessBackend.h"
#include "forms/qt/QtBackend.h"
#include "picker/frmOtherFunc.h"
#include "platform/Process.h"
#include "sample/Ledger.h"
#include "sample/SampleSystem.h"
#include "support/TempConfig.h"

namespace {

using namespace automation;
using designer::Expr;
using designer::readFormula;
using sample::Amount;
namespace hl = forms::headless;

sample::CellAddress at(std::u16string_view address) {
  return *sample::parseCellAddress(address);
}

// --- Reading formulas ---------------------------------------------------------------------------

TEST(DesignerFormula, CallsCellsAndArithmeticAreTold) {
  auto f = readFormula(u"QMYE(\"10\"\"02\",2024,,TRUE)-qcye(A1, 2024 , 1)*1.1", 2);
  ASSERT_EQ(f.error, u"");
  ASSERT_EQ(f.calls.size(), 2u);
  EXPECT_EQ(f.calls[0].name, u"QMYE");
  ASSERT_EQ(f.calls[0].args.size(), 4u);
  EXPECT_EQ(f.calls[0].args[0].constant, Variant(u"10\"02"));  // a doubled quote is one quote
  EXPECT_EQ(f.calls[0].args[1].constant, Variant(2024.0));
  EXPECT_EQ(f.calls[0].args[2].kind, Expr::Kind::Empty);
  EXPECT_EQ(f.calls[0].args[3].constant, Variant(true));
  EXPECT_EQ(f.calls[1].name, u"QCYE");  // names in any case
  EXPECT_EQ(f.calls[1].args[0].kind, Expr::Kind::Cell);
  EXPECT_EQ(f.calls[1].args[0].cell, (designer::CellRef{2, at(u"A1")}));
  EXPECT_EQ(f.root.kind, Expr::Kind::Arithmetic);
  EXPECT_EQ(f.root.text, "_0-_1*1.1");
  // Where each call stands, so that the wizard's answer can replace it.
  const std::u16string text = u"QMYE(\"1001\",2024,12)*2+max(B3,REF(\"C4\",1))";
  f = readFormula(text, 0);
  ASSERT_EQ(f.error, u"");
  EXPECT_EQ(text.substr(f.calls[0].begin, f.calls[0].end - f.calls[0].begin), u"QMYE(\"1001\",2024,12)");
  EXPECT_EQ(f.root.text, "_0*2+max(_1,_2)");  // muParser's own functions keep their meaning
  EXPECT_EQ(f.root.operands[2].cell, (designer::CellRef{0, at(u"C4")}));  // REF("C4",1): sheet 1
  // A call inside a call comes first; a single call or cell is passed as it is.
  f = readFormula(u"REF_F(SYSINFO(\"报表名\"),\"C9\")", 0);
  ASSERT_EQ(f.calls.size(), 2u);
  EXPECT_EQ(f.calls[0].name, u"SYSINFO");
  EXPECT_EQ(f.root.kind, Expr::Kind::Call);
  EXPECT_EQ(f.root.call, 1u);
  EXPECT_EQ(readFormula(u" B7 ", 1).root.kind, Expr::Kind::Cell);
}

TEST(DesignerFormula, WhatCannotBeReadIsSaidNotGuessed) {
  environment::resetLocalisationState();
  sample::clearPublishedProperties();  // no language published: the texts are the Simplified Chinese keys
  EXPECT_EQ(readFormula(u"QMYE(\"1001", 0).error, u"引号中的文字没有结束");
  EXPECT_EQ(readFormula(u"QMYE(\"1001\",2024", 0).error, u"括号没有闭合");
  EXPECT_EQ(readFormula(u"\"a\"&B2+\"b\"", 0).error, u"引号中的文字只能作为报表函数的参数");
  EXPECT_EQ(readFormula(u"B2；3", 0).error, u"公式中不能有“；”");
  EXPECT_EQ(readFormula(u"ZZZZ9+1", 0).error, u"“ZZZZ9”不是单元（列字母加行号，如 B3）");
  EXPECT_EQ(readFormula(u"REF(\"B1\",0)", 0).error, u"REF 的表号是从 1 起的整数");
  EXPECT_EQ(readFormula(u"1,2", 0).error, u"逗号只能分隔函数的参数");
  EXPECT_EQ(readFormula(u"  ", 0).error, u"公式是空的");
}

TEST(DesignerFormula, TheCallAtTheCaretIsTheInnermostOneHoldingIt) {
  //                    0         1         2         3
  //                    0123456789012345678901234567890123456789
  const std::u16string text = u"QMYE(A1,2024)-REF_F(SYSINFO(\"x\"),\"C9\")";
  const designer::Formula f = readFormula(text, 0);
  ASSERT_EQ(f.error, u"");
  const auto name = [&](std::optional<std::size_t> caret) {
    const designer::ReportCall* call = designer::callAt(f, caret);
    return call != nullptr ? call->name : std::u16string(u"none");
  };
  EXPECT_EQ(name(std::nullopt), u"QMYE");  // the first call when there is no caret
  EXPECT_EQ(name(0), u"QMYE");
  EXPECT_EQ(name(13), u"QMYE");  // just after its bracket still counts
  EXPECT_EQ(name(17), u"REF_F");
  EXPECT_EQ(name(22), u"SYSINFO");  // inside both: the inner one
  EXPECT_EQ(name(text.size()), u"REF_F");
  EXPECT_EQ(designer::callAt(readFormula(u"C4-B4", 0), 2), nullptr);
}

TEST(DesignerFormula, ACallConfirmedUnchangedIsTheSameCallWhateverTheEditorAddsToIt) {
  using designer::sameCall;
  EXPECT_TRUE(sameCall(u"QCYE(\"1001\",2024,1)", u"QCYE(\"1001\",2024,1,\"\",\"\")"));
  EXPECT_TRUE(sameCall(u"qcye( \"1001\" , 2024,1)", u"QCYE(\"1001\",2024,1)"));
  EXPECT_TRUE(sameCall(u"QMYE(\"1001\",,12)", u"QMYE(\"1001\",\"\",12)"));
  EXPECT_TRUE(sameCall(u"QMYE(REF(\"B3\",1),2024)", u"QMYE(REF(\"B3\",1),2024,,)"));
  EXPECT_FALSE(sameCall(u"QCYE(\"1001\",2024,1)", u"QCYE(\"1001\",2024,2)"));
  EXPECT_FALSE(sameCall(u"QCYE(\"1001\",2024,1)", u"QMYE(\"1001\",2024,1)"));
  EXPECT_FALSE(sameCall(u"QCYE(\"1001\",2024,1)", u"QCYE(\"1001\",2024,1,\"USD\")"));
  EXPECT_FALSE(sameCall(u"QCYE(\"1001\",2024)", u"QCYE(\"1001\",2024)*2"));  // no longer one call
  EXPECT_FALSE(sameCall(u"QCYE(\"1001\"", u"QCYE(\"1001\""));                // not a call at all
}

TEST(DesignerFormula, NumbersKeepFifteenSignificantDigitsAndAmountsShowAsMoney) {
  // The ledger's sums carry binary noise that the platform's 15 digits leave out.
  EXPECT_EQ(designer::significant15(116389.67000000001), 116389.67);
  EXPECT_EQ(designer::significant15(0.1 + 0.2), 0.3);
  EXPECT_EQ(designer::significant15(-1234567.125), -1234567.125);
  EXPECT_EQ(designer::numberText(116389.67000000001), u"116389.67");
  EXPECT_EQ(designer::numberText(12.0), u"12");
  EXPECT_EQ(designer::numberText(0.126), u"0.126");  // what was typed, not what is shown
  EXPECT_EQ(designer::numberText(-0.0), u"0");
  using designer::SheetModel;
  const QLocale en(QLocale::English, QLocale::UnitedStates);
  EXPECT_EQ(SheetModel::moneyText(1234567.891, en), QStringLiteral("1,234,567.89"));
  EXPECT_EQ(SheetModel::moneyText(62979, en), QStringLiteral("62,979.00"));
  EXPECT_EQ(SheetModel::moneyText(-92034.3, en), QStringLiteral("-92,034.30"));
  EXPECT_EQ(SheetModel::moneyText(-0.001, en), QStringLiteral("0.00"));
  EXPECT_EQ(SheetModel::moneyText(1234567.891, QLocale(QLocale::German, QLocale::Germany)),
            QStringLiteral("1.234.567,89"));
  EXPECT_EQ(SheetModel::moneyText(1234.5, QLocale::c()),
            QStringLiteral("1,234.50"));  // grouped in the C locale too
  EXPECT_EQ(designer::constantOf(u" 12.5 "), Variant(12.5));
  EXPECT_EQ(designer::constantOf(u"1002"), Variant(1002.0));
  EXPECT_EQ(designer::constantOf(u"12a"), Variant(u"12a"));
}

// --- The designer on the sample report system ------------------------------------------------------

// Forwards RecallRpt to the real component and keeps what each batch looked like.
class RecallSpy final : public Dispatch {
 public:
  struct Batch {
    std::u16string name;
    std::vector<std::vector<Variant>> rows;  // each row's argument list
    bool hostLayout = true;                  // 2-D, three columns, arrays in column 0, nothing else set
    std::int32_t year = 0;                   // the component's context when the batch came
    std::int32_t period = 0;
  };
  explicit RecallSpy(ObjectRef real) : real_(std::move(real)) {}

  const DispatchTable& dispatchTable() const override {
    static const DispatchTable table =
        DispatchTable::Builder<RecallSpy>(u"RecallSpy")
            .method(u"RecallRpt", 1, {byRef(u"Name"), byRef(u"Batch"), byRef(u"Sheet")}, VarType::Long,
                    [](RecallSpy& s, Args& a) {
                      s.keep(toText(a[0]), a[1]);
                      Variant args[] = {a[0], a[1], a[2]};
                      const Variant r = s.real_->invoke(u"RecallRpt", InvokeKind::Method, args);
                      a[1] = args[1];
                      return r;
                    })
            .build();
    return table;
  }
  // Every other member goes to the real component.
  std::vector<Batch> batches;
  ObjectRef real_;

 private:
  void keep(const std::u16string& name, const Variant& batch) {
    const cfunc::CFunc::Fields& context = dynamic_cast<cfunc::CFunc&>(*real_).fields();
    Batch b{name, {}, true, context.RptYear, context.RptPeriod};
    const VariantArray& array = batch.array();
    b.hostLayout = array.dimensions() == 2 && array.lbound(2) == 0 && array.ubound(2) == 2;
    for (std::int32_t i = array.lbound(1); i <= array.ubound(1); ++i) {
      b.hostLayout = b.hostLayout && array(i, 0).isArray() && array(i, 1).isEmpty() && array(i, 2).isEmpty();
      std::vector<Variant> row;
      if (array(i, 0).isArray()) {
        const VariantArray& args = array(i, 0).array();
        for (std::int32_t k = args.lbound(); k <= args.ubound(); ++k) row.push_back(args(k));
      }
      b.rows.push_back(std::move(row));
    }
    batches.push_back(std::move(b));
  }
};

class DesignerTest : public ::testing::Test {
 protected:
  DesignerTest() {
    component::resetComponentState();
    environment::resetLocalisationState();
    picker::resetPickerState();
    sample::clearPublishedProperties();
    ui.clearScript();
    ui.messageBoxes.clear();
    classRegistry().clear();
    system = sample::registerSampleComponents(classRegistry(), sample::defaultOptions());
    cfunc::registerComponentClasses(classRegistry());
    component = CreateObject(u"Formulist2.CFunc");
    spy = std::make_shared<RecallSpy>(component);
    std::filesystem::remove_all(folder);
    storage = std::make_unique<designer::ReportStore>(system->ledger(), folder);
  }
  designer::ReportStore& store() { return *storage; }
  ~DesignerTest() override {
    window.reset();
    spy.reset();
    component.reset();
    component::resetComponentState();
    environment::resetLocalisationState();
    sample::clearPublishedProperties();
    classRegistry().clear();
    std::filesystem::remove_all(folder);
  }

  designer::DesignerWindow& open(designer::Report report) {
    window = std::make_unique<designer::DesignerWindow>(system, component, store(), u"CHS");
    window->openReport(std::move(report));
    return *window;
  }
  double ledger(const char* account, int year, int period, Amount kind) {
    return system->ledger().amount(1, account, "RMB", year, period, period, kind);
  }
  const designer::Cell& cell(const designer::Report& r, int sheet, std::u16string_view address) {
    const designer::Cell* c = r.cell(sheet, at(address));
    EXPECT_NE(c, nullptr) << toUtf8(std::u16string(address));
    static const designer::Cell none;
    return c != nullptr ? *c : none;
  }
  static double number(const designer::Cell& c) {
    EXPECT_EQ(c.shown.error, u"") << toUtf8(c.input);
    return c.shown.value.isEmpty() ? NAN : toDouble(c.shown.value);
  }

  testing_support::TempConfig config;
  hl::HeadlessBackend& ui = hl::installed();
  std::shared_ptr<sample::SampleSystem> system;
  ObjectRef component;
  std::shared_ptr<RecallSpy> spy;
  // A folder of each test's own: ctest runs the tests of this suite at the same time.
  std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                 ("f2-designer-" + std::to_string(::getpid()) + "-" +
                                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
  std::unique_ptr<designer::ReportStore> storage;
  std::unique_ptr<designer::DesignerWindow> window;
};

designer::Report reportWith(std::initializer_list<std::pair<std::u16string_view, std::u16string>> cells) {
  designer::Report r;
  r.name = u"测试报表";
  r.sheets.push_back({u"表2", {}});
  for (const auto& [address, input] : cells) {
    const std::size_t bang = address.find(u'!');
    const int sheet = bang == std::u16string_view::npos ? 0 : 1;
    r.setInput(sheet, at(bang == std::u16string_view::npos ? address : address.substr(bang + 1)), input);
  }
  return r;
}

TEST_F(DesignerTest, TheWindowOpensBeforeTheOtherSavedReportsAreReadAndARecalculationWaitsForThem) {
  // Saved by another window: 引用表 reads 被引表 through REF_F, by its name (A1) and by a name in a
  // cell (间接表's A1, whose recalculation waits for nothing, is done again once the reports are
  // read); 坏表 cannot be read.
  {
    designer::ReportStore writer(system->ledger(), folder);
    designer::Report referred = reportWith({{u"A1", u"42"}});
    referred.name = u"被引表";
    writer.save(referred);
    designer::Report referring = reportWith({{u"A1", u"=REF_F(\"被引表\",\"A1\",1)*2"}});
    referring.name = u"引用表";
    writer.save(referring);
    designer::Report indirect = reportWith({{u"A1", u"=REF_F(B1,\"A1\",1)*2"}, {u"B1", u"被引表"}});
    indirect.name = u"间接表";
    writer.save(indirect);
  }
  std::ofstream(folder / "本地账套" / "坏表.json") << "{";
  for (const char16_t* opened : {u"引用表", u"间接表"}) {
    SCOPED_TRACE(toUtf8(opened));
    window.reset();
    classRegistry().clear();  // a new process: the store knows nothing saved yet
    system = sample::registerSampleComponents(classRegistry(), sample::defaultOptions());
    cfunc::registerComponentClasses(classRegistry());
    component = CreateObject(u"Formulist2.CFunc");
    storage = std::make_unique<designer::ReportStore>(system->ledger(), folder);

    EXPECT_EQ(store().loadFirst({}, {u"本地账套", opened}), std::vector<std::string>{});
    const auto names = store().names(u"本地账套");
    EXPECT_NE(std::find(names.begin(), names.end(), opened), names.end());
    EXPECT_EQ(std::find(names.begin(), names.end(), u"被引表"), names.end());  // not read yet
    window = std::make_unique<designer::DesignerWindow>(system, component, store(), u"CHS");
    window->openSaved(u"本地账套", opened);
    EXPECT_TRUE(cell(window->report(), 0, u"A1").shown.value.isEmpty());  // put off, or not found yet
    window->show();
    window->readSavedLater();
    QElapsedTimer waited;
    waited.start();
    while ((window->readingSavedReports() || cell(window->report(), 0, u"A1").shown.value.isEmpty()) &&
           waited.elapsed() < 10000)
      QApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(number(cell(window->report(), 0, u"A1")), 84);
    ASSERT_EQ(window->savedReportsLeftOut().size(), 1);
    EXPECT_NE(window->savedReportsLeftOut().front().indexOf(QStringLiteral("坏表.json")), -1);
  }
}

TEST_F(DesignerTest, ASaveThatTakesAMomentShowsItsProgress) {
  designer::Report large;
  large.name = u"大报表";
  for (int n = 0; n < 400000; ++n) large.sheets[0].cells[{n / 50 + 1, n % 50 + 1}].input = u"12345.67";
  open(std::move(large));
  window->show();
  QString seen;
  QTimer::singleShot(700, window.get(), [&] {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (auto* dialog = qobject_cast<QProgressDialog*>(w); dialog && dialog->isVisible())
        seen = dialog->labelText();
    }
  });
  QElapsedTimer took;
  took.start();
  ASSERT_TRUE(window->saveReport());
  if (took.elapsed() > 900) {
    EXPECT_EQ(seen, QStringLiteral("正在保存报表…"));
  }  // else the build is too fast for a save to be told at all
  EXPECT_TRUE(std::filesystem::exists(folder / "本地账套" / "大报表.json"));
}

TEST_F(DesignerTest, AContextValueTheReportCannotHoldIsRefusedWithItsName) {
  for (const char* names : {R"("__RptYear__": 1e300)", R"("__SelfDsn__": "DSN=本地账套;COMPANY=1e300")"}) {
    const std::string workbook = std::string(R"({"names": {)") + names + R"(}, "sheets": [{"name": "S"}]})";
    try {
      designer::Report::fromWorkbook(u"t5", workbook);
      ADD_FAILURE() << names;
    } catch (const AutomationError& e) {
      EXPECT_NE(e.description().find(fromUtf8(names).substr(1, 11)), std::u16string::npos)
          << toUtf8(e.description());
    }
  }
}

TEST_F(DesignerTest, ASheetRecalculatesInOneBatchPerFunctionWithTheValuesOfTheLedger) {
  designer::Report r = reportWith({
      {u"A1", u"1002"},
      {u"B1", u"=QMYE(A1,2024,12)"},
      {u"B2", u"=QMYE(\"1001\",2024,12)-QCYE(\"1001\",2024,1)"},
      {u"B3", u"=B2*1.1"},
      {u"B4", u"=QMYE(\"1001\",2024,13)"},          // no period 13: the row's error
      {u"B5", u"=REF_F(\"资产负债表\",\"C4\",1)"},  // another stored report
      {u"B6", u"=1/0"},
      {u"B7", u"=B8+1"},
      {u"B8", u"=B7"},                                        // a cycle
      {u"B9", u"=A1&2"},                                      // cannot be read
      {u"表2!C1", u"=QMYE(\"1122\",2024,12)+REF(\"B1\",1)"},  // a second sheet, referring to the first
  });
  const designer::RecalcStats stats = designer::recalculate(r, ObjectRef(spy));
  EXPECT_EQ(number(cell(r, 0, u"B1")), ledger("1002", 2024, 12, Amount::Closing));
  EXPECT_NEAR(number(cell(r, 0, u"B2")),
              ledger("1001", 2024, 12, Amount::Closing) - ledger("1001", 2024, 1, Amount::Opening), 1e-6);
  EXPECT_NEAR(number(cell(r, 0, u"B3")), number(cell(r, 0, u"B2")) * 1.1, 1e-6);
  EXPECT_EQ(cell(r, 0, u"B4").shown.error, u"#期间不存在");
  EXPECT_EQ(number(cell(r, 0, u"B5")), 116389.67);
  EXPECT_EQ(cell(r, 0, u"B6").shown.error.substr(0, 7), u"#DIV/0!");
  EXPECT_EQ(cell(r, 0, u"B7").shown.error.substr(0, 10), u"#CIRCULAR!");
  EXPECT_EQ(cell(r, 0, u"B9").shown.error.substr(0, 7), u"#ERROR!");
  EXPECT_NEAR(number(cell(r, 1, u"C1")),
              ledger("1122", 2024, 12, Amount::Closing) + ledger("1002", 2024, 12, Amount::Closing), 1e-6);

  // One RecallRpt per function, every call of it in the batch, in the host's layout.
  ASSERT_EQ(spy->batches.size(), 3u);
  std::map<std::u16string, const RecallSpy::Batch*> byName;
  for (const auto& b : spy->batches) byName[b.name] = &b;
  ASSERT_TRUE(byName.count(u"QMYE") && byName.count(u"QCYE") && byName.count(u"REF_F"));
  EXPECT_EQ(byName[u"QMYE"]->rows.size(), 4u);
  EXPECT_EQ(byName[u"QCYE"]->rows.size(), 1u);
  for (const auto& b : spy->batches) EXPECT_TRUE(b.hostLayout) << toUtf8(b.name);
  EXPECT_EQ(byName[u"QMYE"]->rows[0],
            (std::vector<Variant>{Variant(1002.0), Variant(2024.0), Variant(12.0)}));
  EXPECT_EQ(stats.batches, 3);
  EXPECT_EQ(stats.calls, 6);
  EXPECT_EQ(stats.rounds, 1);
}

TEST_F(DesignerTest, ACallThatNeedsAnotherCallsValueWaitsForTheNextRound) {
  designer::Report r = reportWith({{u"A1", u"=SYSINFO(\"公司名称\")"},
                                   {u"A2", u"=REF_F(\"资产负债表\",\"C4\",1)*2"},
                                   {u"A3", u"=QMYE(\"1001\",2024,A4)"},
                                   {u"A4", u"=3*4"}});
  const designer::RecalcStats stats = designer::recalculate(r, ObjectRef(spy));
  EXPECT_EQ(cell(r, 0, u"A1").shown.value, Variant(u"华东实业有限公司"));  // a text goes through as it is
  EXPECT_EQ(number(cell(r, 0, u"A2")), 116389.67 * 2);
  EXPECT_EQ(number(cell(r, 0, u"A3")), ledger("1001", 2024, 12, Amount::Closing));
  EXPECT_EQ(stats.rounds, 1);  // A4 is arithmetic: computed in the same round as the calls it feeds
}

TEST_F(DesignerTest, TheContextReachesTheComponentAndTheBatches) {
  designer::Report r = reportWith({{u"A1", u"=QMYE(\"1002\")"}});
  window = std::make_unique<designer::DesignerWindow>(system, component, store(), u"CHS");
  window->openReport(r);
  designer::Context c = window->report().context;
  c.period = 6;
  window->setContext(c);
  const cfunc::CFunc::Fields& fields = dynamic_cast<cfunc::CFunc&>(*component).fields();
  EXPECT_EQ(fields.RptPeriod, 6);
  EXPECT_EQ(fields.RptEndPeriod, 6);
  EXPECT_EQ(fields.sCurPropStr, u"DSN=本地账套;COMPANY=1");
  EXPECT_EQ(fields.RptCurCurrency, u"RMB");
  // REF_F calls that name no data source read the process's.
  EXPECT_NE(toText(sample::publishedProperty(platform::currentProcessId(), u"PropsString"))
                .find(u"DSN=本地账套;COMPANY=1"),
            std::u16string::npos);
  // A call that leaves the period out takes the report's.
  EXPECT_EQ(number(cell(window->report(), 0, u"A1")), ledger("1002", 2024, 6, Amount::Closing));
  designer::recalculate(const_cast<designer::Report&>(window->report()), ObjectRef(spy));
  ASSERT_EQ(spy->batches.size(), 1u);
  EXPECT_EQ(spy->batches[0].period, 6);
  EXPECT_EQ(spy->batches[0].year, 2024);
}

// The editor, scripted: QMYE's rows typed and confirmed.
void typeQmye(hl::HeadlessBackend& ui) {
  ui.then([](forms::Form& editor) {
    hl::type(editor, u"1002");
    hl::press(editor, forms::keys::Tab);
    hl::type(editor, u"2024");
    hl::press(editor, forms::keys::Tab);
    hl::type(editor, u"12");
    hl::press(editor, forms::keys::Return);
  });
}

TEST_F(DesignerTest, InsertFunctionPutsTheWizardsFormulaIntoTheCellAndReopensOnAFormula) {
  designer::DesignerWindow& w = open(reportWith({{u"B2", u"=QMYE(\"1001\",2024,12)*2"}}));
  w.grid()->setCurrentIndex(w.model()->index(3, 2));  // C4, empty
  // Shift+F3 is the insert-function action's key.
  EXPECT_EQ(w.insertFunctionAction()->shortcut(), QKeySequence(Qt::SHIFT | Qt::Key_F3));
  ui.then([](forms::Form& picker) { hl::press(picker, forms::keys::Return); });  // QMYE, the first
  typeQmye(ui);
  w.insertFunctionAction()->trigger();
  EXPECT_EQ(ui.pendingActions(), 0u);
  EXPECT_EQ(cell(w.report(), 0, u"C4").input, u"=QMYE(\"1002\",2024,12,\"\",\"\")");
  EXPECT_EQ(number(cell(w.report(), 0, u"C4")), ledger("1002", 2024, 12, Amount::Closing));
  EXPECT_EQ(w.model()->data(w.model()->index(3, 2), Qt::DisplayRole).toString(),
            designer::SheetModel::moneyText(ledger("1002", 2024, 12, Amount::Closing)));

  // On a cell with a report formula the editor opens on that call, its arguments in the rows and
  // no picker first, and the answer replaces that call only.
  w.grid()->setCurrentIndex(w.model()->index(1, 1));
  ui.then([](forms::Form& shown) {
    auto* editor = dynamic_cast<editor::FrmCalcEqual*>(&shown);
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->txtParam(0).Text(), u"1001");
    EXPECT_EQ(editor->txtParam(2).Text(), u"12");
    editor->txtParam(0).setText(u"1122");
    hl::press(shown, forms::keys::Return);
  });
  w.insertFunctionAction()->trigger();
  EXPECT_EQ(cell(w.report(), 0, u"B2").input, u"=QMYE(\"1122\",2024,12,\"\",\"\")*2");
  EXPECT_EQ(number(cell(w.report(), 0, u"B2")), 2 * ledger("1122", 2024, 12, Amount::Closing));

  // Cancelling leaves the cell as it was.
  ui.then([](forms::Form& editor) { hl::press(editor, forms::keys::Escape); });
  w.insertFunctionAction()->trigger();
  EXPECT_EQ(cell(w.report(), 0, u"B2").input, u"=QMYE(\"1122\",2024,12,\"\",\"\")*2");
}

TEST_F(DesignerTest, AFormulaLongerThanALineEditsDefaultKeepsEveryCharacter) {
  // A text argument of 40 000 characters: longer than a line edit takes unless told otherwise.
  const std::u16string formula = u"=LEN(\"" + std::u16string(40000, u'x') + u"\")";
  designer::DesignerWindow& w = open(reportWith({{u"B2", formula}}));
  const QModelIndex b2 = w.model()->index(1, 1);
  w.grid()->setCurrentIndex(b2);
  EXPECT_EQ(w.formulaBar()->text().size(), static_cast<qsizetype>(formula.size()));
  emit w.formulaBar()->returnPressed();  // entered again from the bar, unchanged
  EXPECT_TRUE(cell(w.report(), 0, u"B2").input == formula) << cell(w.report(), 0, u"B2").input.size();
  // The grid's own editor takes it whole as well.
  QStyleOptionViewItem option;
  QWidget* editor = w.grid()->itemDelegate()->createEditor(w.grid()->viewport(), option, b2);
  w.grid()->itemDelegate()->setEditorData(editor, b2);
  auto* line = qobject_cast<QLineEdit*>(editor);
  ASSERT_NE(line, nullptr);
  EXPECT_EQ(line->text().size(), static_cast<qsizetype>(formula.size()));
  delete editor;
}

TEST_F(DesignerTest, ASavedReportReopensWithItsFormulasAndOtherReportsReadIt) {
  designer::DesignerWindow& w = open(reportWith(
      {{u"A1", u"现金"}, {u"B1", u"=QMYE(\"1001\",2024,12)"}, {u"B2", u"=B1/2"}, {u"表2!A1", u"7.5"}}));
  designer::Report saved = w.report();
  saved.name = u"现金报表";
  w.openReport(saved);
  ASSERT_TRUE(w.saveReport());
  ASSERT_TRUE(std::filesystem::exists(folder / "本地账套" / "现金报表.json"));

  const designer::Report again = store().open(u"本地账套", u"现金报表");
  ASSERT_EQ(again.sheets.size(), 2u);
  EXPECT_EQ(again.sheets[1].name, u"表2");
  for (const auto& [sheet, address, input] : {std::tuple{0, u"A1", u"现金"},
                                              {0, u"B1", u"=QMYE(\"1001\",2024,12)"},
                                              {0, u"B2", u"=B1/2"},
                                              {1, u"A1", u"7.5"}}) {
    EXPECT_EQ(cell(again, sheet, address).input, input);
  }
  EXPECT_EQ(again.context, w.report().context);

  // A REF_F from another report reads the values saved with it.
  designer::Report other = reportWith({{u"A1", u"=REF_F(\"现金报表\",\"B2\",1)"}});
  designer::recalculate(other, component);
  EXPECT_EQ(number(cell(other, 0, u"A1")),
            designer::significant15(ledger("1001", 2024, 12, Amount::Closing) / 2));

  // A fresh store reads the saved file back into the report system.
  sample::SampleSystem fresh(sample::defaultOptions());
  designer::ReportStore reopened(fresh.ledger(), folder);
  EXPECT_TRUE(reopened.loadSaved({}).empty());
  EXPECT_EQ(cell(reopened.open(u"本地账套", u"现金报表"), 0, u"B2").input, u"=B1/2");
  // A broken file is named and left out; the rest still loads.
  std::ofstream(folder / "本地账套" / "坏报表.json") << "{\"sheets\": [";
  const auto problems = reopened.loadSaved({});
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_NE(problems[0].find("坏报表.json"), std::string::npos);
}

TEST_F(DesignerTest, TheShippedSampleOpensAndComputes) {
  const auto problems =
      store().loadSaved(sample::defaultOptions().data / "designer" / "sample-balance-sheet.json");
  ASSERT_TRUE(problems.empty()) << problems.front();
  designer::DesignerWindow& w = open(store().open(u"本地账套", u"示例资产负债表"));
  const designer::Report& r = w.report();
  EXPECT_EQ(cell(r, 0, u"B2").shown.value, Variant(u"华东实业有限公司"));
  EXPECT_EQ(number(cell(r, 0, u"C4")), ledger("1001", 2024, 12, Amount::Closing));
  EXPECT_NEAR(number(cell(r, 0, u"C8")),
              number(cell(r, 0, u"C4")) + number(cell(r, 0, u"C5")) + number(cell(r, 0, u"C6")), 1e-6);
  EXPECT_EQ(number(cell(r, 0, u"C10")), 459914.95);  // REF_F to the stored balance sheet
  EXPECT_EQ(number(cell(r, 1, u"C9")), number(cell(r, 0, u"C8")));
  for (const auto& sheet : r.sheets)
    for (const auto& [address, c] : sheet.cells) EXPECT_EQ(c.shown.error, u"") << toUtf8(c.input);
}

// --- The designer's window, offscreen ----------------------------------------------------------------

// Answers the unsaved-changes question (or the question of that object name), when it comes,
// with the button of that name (save, discard, cancel; replace, saveAs); counts the questions.
class Answer {
 public:
  explicit Answer(const char* button, const char* question = "unsavedQuestion") : button_(button) {
    timer_.setInterval(10);
    QObject::connect(&timer_, &QTimer::timeout, [this, question] {
      QWidget* modal = QApplication::activeModalWidget();
      if (modal == nullptr || modal->objectName() != QString::fromLatin1(question)) return;
      ++asked;
      text = qobject_cast<QMessageBox*>(modal)->text();
      for (auto* b : modal->findChildren<QAbstractButton*>()) buttons << b->text();
      modal->findChild<QAbstractButton*>(QString::fromLatin1(button_))->click();
    });
    timer_.start();
  }
  int asked = 0;
  QString text;
  QStringList buttons;

 private:
  const char* button_;
  QTimer timer_;
};

// Shows the window and waits until it is the active one, so that focus set in it is real focus.
void activate(QWidget& w) {
  w.show();
  w.activateWindow();
  for (int i = 0; i < 100 && !w.isActiveWindow(); ++i) QApplication::processEvents(QEventLoop::AllEvents, 10);
  ASSERT_TRUE(w.isActiveWindow());
}

// Sends a key press and release to a widget, as the keyboard would.
void key(QWidget* to, int k, Qt::KeyboardModifiers modifiers = Qt::NoModifier, const QString& text = {}) {
  QKeyEvent press(QEvent::KeyPress, k, modifiers, text);
  QApplication::sendEvent(to, &press);
  QKeyEvent release(QEvent::KeyRelease, k, modifiers, text);
  QApplication::sendEvent(to, &release);
}

TEST_F(DesignerTest, WorkIsNeverLostWithoutTheUserSayingSo) {
  designer::DesignerWindow& w = open(reportWith({{u"A1", u"1"}}));
  w.show();
  int closed = 0;
  w.onClose = [&] { ++closed; };
  EXPECT_FALSE(w.isModified());
  EXPECT_FALSE(w.isWindowModified());
  {
    Answer none("cancel");
    EXPECT_TRUE(w.close());  // nothing changed: no question
    EXPECT_EQ(none.asked, 0);
  }
  w.show();
  closed = 0;
  w.enter(at(u"B2"), u"=A1*2");
  EXPECT_TRUE(w.isWindowModified());  // the title's [*] shows it
  EXPECT_TRUE(w.windowTitle().contains(QStringLiteral("[*]")));
  {
    Answer cancel("cancel");
    EXPECT_FALSE(w.close());
    EXPECT_EQ(cancel.asked, 1);
    EXPECT_EQ(cancel.buttons,
              (QStringList{QStringLiteral("保存"), QStringLiteral("不保存"), QStringLiteral("取消")}));
    EXPECT_TRUE(cancel.text.contains(QStringLiteral("测试报表")));
  }
  EXPECT_TRUE(w.isVisible());
  EXPECT_EQ(closed, 0);  // --screenshot and --on-exit wait for an accepted close
  EXPECT_EQ(cell(w.report(), 0, u"B2").input, u"=A1*2");
  {
    Answer save("save");
    EXPECT_TRUE(w.close());
    EXPECT_EQ(save.asked, 1);
  }
  EXPECT_EQ(closed, 1);
  EXPECT_FALSE(w.isModified());
  EXPECT_EQ(cell(store().open(u"本地账套", u"测试报表"), 0, u"B2").input, u"=A1*2");

  // A changed year is a change of the report; New asks as well, and Cancel keeps the report.
  w.show();
  designer::Context c = w.report().context;
  c.year = 2023;
  w.setContext(c);
  EXPECT_TRUE(w.isModified());
  QAction* newReport = w.findChild<QAction*>(QStringLiteral("new"));
  ASSERT_NE(newReport, nullptr);
  {
    Answer cancel("cancel");
    newReport->trigger();
    EXPECT_EQ(cancel.asked, 1);
  }
  EXPECT_EQ(w.report().name, u"测试报表");
  EXPECT_EQ(w.report().context.year, 2023);
  {
    Answer discard("discard");
    newReport->trigger();
    EXPECT_EQ(discard.asked, 1);
  }
  EXPECT_EQ(w.report().name, u"新报表");
  EXPECT_FALSE(w.isModified());
  EXPECT_EQ(store().open(u"本地账套", u"测试报表").context.year, 2024);  // dropped, as the user said
}

TEST_F(DesignerTest, AFailedSaveSaysWhyAndKeepsTheWindowOpen) {
  // The reports' folder is a file: nothing can be written under it.
  std::ofstream(folder.string()) << "in the way";
  designer::DesignerWindow& w = open(reportWith({}));
  w.show();
  int closed = 0;
  w.onClose = [&] { ++closed; };
  w.enter(at(u"A1"), u"7");
  Answer save("save");
  EXPECT_FALSE(w.close());
  EXPECT_EQ(save.asked, 1);
  EXPECT_TRUE(w.isVisible());
  EXPECT_EQ(closed, 0);
  EXPECT_TRUE(w.isModified());
  EXPECT_TRUE(w.statusBar()->currentMessage().startsWith(QStringLiteral("报表没有保存：")))
      << w.statusBar()->currentMessage().toStdString();
  std::filesystem::remove(folder);
}

TEST_F(DesignerTest, InsertingIntoAFormulaKeepsWhatTheCellHolds) {
  designer::DesignerWindow& w = open(reportWith({{u"D4", u"=C4-B4"},
                                                 {u"D5", u"=QMYE(\"1001\",2024,12)-QCYE(\"1001\",2024,1)"},
                                                 {u"D6", u"=QCYE(\"1001\",2024,1)"},
                                                 {u"D7", u"=C4-"}}));
  activate(w);
  const auto select = [&](int row, int column) { w.grid()->setCurrentIndex(w.model()->index(row, column)); };
  const QString qmye = QStringLiteral("QMYE(\"1002\",2024,12,\"\",\"\")");

  // Not editing the bar: the call joins the formula's end with "+".
  select(3, 3);
  w.grid()->setFocus();
  ui.then([](forms::Form& picker) { hl::press(picker, forms::keys::Return); });  // QMYE, the first
  typeQmye(ui);
  w.insertFunctionAction()->trigger();
  EXPECT_EQ(ui.pendingActions(), 0u);
  EXPECT_EQ(cell(w.report(), 0, u"D4").input, u"=C4-B4+" + forms::qt::fromQString(qmye));

  // Editing the bar: the call goes in at the caret, and the bar keeps the focus after it.
  select(6, 3);
  w.formulaBar()->setFocus();
  ASSERT_TRUE(w.formulaBar()->hasFocus());
  w.formulaBar()->setText(QStringLiteral("=C4-*2"));  // typed, not committed yet
  w.formulaBar()->setCursorPosition(4);
  ui.then([](forms::Form& picker) { hl::press(picker, forms::keys::Return); });
  typeQmye(ui);
  w.insertFunctionAction()->trigger();
  EXPECT_EQ(cell(w.report(), 0, u"D7").input, u"=C4-" + forms::qt::fromQString(qmye) + u"*2");
  EXPECT_TRUE(w.formulaBar()->hasFocus());
  EXPECT_EQ(w.formulaBar()->cursorPosition(), 4 + qmye.size());

  // Several calls: the first is re-edited when the bar is not being edited, and only it changes.
  select(4, 3);
  w.grid()->setFocus();
  ui.then([](forms::Form& shown) {
    auto& editor = dynamic_cast<editor::FrmCalcEqual&>(shown);
    EXPECT_EQ(editor.txtParam(2).Text(), u"12");
    editor.txtParam(0).setText(u"1002");
    hl::press(shown, forms::keys::Return);
  });
  w.insertFunctionAction()->trigger();
  EXPECT_EQ(cell(w.report(), 0, u"D5").input, u"=QMYE(\"1002\",2024,12,\"\",\"\")-QCYE(\"1001\",2024,1)");
  // With the caret in the second call, that one is re-edited.
  w.formulaBar()->setFocus();
  w.formulaBar()->setCursorPosition(w.formulaBar()->text().size() - 3);
  ui.then([](forms::Form& shown) {
    auto& editor = dynamic_cast<editor::FrmCalcEqual&>(shown);
    EXPECT_EQ(editor.txtParam(2).Text(), u"1");
    editor.txtParam(2).setText(u"2");
    hl::press(shown, forms::keys::Return);
  });
  w.insertFunctionAction()->trigger();
  EXPECT_EQ(cell(w.report(), 0, u"D5").input,
            u"=QMYE(\"1002\",2024,12,\"\",\"\")-QCYE(\"1001\",2024,2,\"\",\"\")");

  // OK without a change keeps the cell's text, and is no change of the report.
  w.saveReport();
  select(5, 3);
  w.grid()->setFocus();
  ui.then([](forms::Form& shown) { hl::press(shown, forms::keys::Return); });
  w.insertFunctionAction()->trigger();
  EXPECT_EQ(ui.pendingActions(), 0u);
  EXPECT_EQ(cell(w.report(), 0, u"D6").input, u"=QCYE(\"1001\",2024,1)");
  EXPECT_FALSE(w.isModified());
}

TEST_F(DesignerTest, TheFormulaBarShowsTheSelectedCell) {
  designer::DesignerWindow& w = open(reportWith({{u"A1", u"=QMYE(\"1001\",2024,12)"}, {u"B1", u"标题"}}));
  activate(w);
  EXPECT_EQ(w.formulaBar()->text(), QStringLiteral("=QMYE(\"1001\",2024,12)"));
  // A new report and another report each show their own A1, though A1 was current before.
  w.findChild<QAction*>(QStringLiteral("new"))->trigger();
  EXPECT_EQ(w.formulaBar()->text(), QString());
  w.openReport(reportWith({{u"A1", u"另一张"}}));
  EXPECT_EQ(w.formulaBar()->text(), QStringLiteral("另一张"));

  // Esc in the bar gives up the half-typed text: Enter afterwards commits nothing new.
  w.formulaBar()->setFocus();
  w.formulaBar()->setText(QStringLiteral("=半截"));
  key(w.formulaBar(), Qt::Key_Escape);
  EXPECT_EQ(w.formulaBar()->text(), QStringLiteral("另一张"));
  EXPECT_TRUE(w.grid()->hasFocus());
  emit w.formulaBar()->returnPressed();
  EXPECT_EQ(cell(w.report(), 0, u"A1").input, u"另一张");

  // Enter in a cell commits and moves down; over a cell not being edited it moves down too.
  const QModelIndex a2 = w.model()->index(1, 0);
  w.grid()->setCurrentIndex(a2);
  w.grid()->setFocus();
  w.grid()->edit(a2);
  auto* editor = w.grid()->viewport()->findChild<QLineEdit*>();
  ASSERT_NE(editor, nullptr);
  editor->setText(QStringLiteral("42"));
  key(editor, Qt::Key_Return);
  QApplication::processEvents();  // the delegate commits on a queued call
  EXPECT_EQ(cell(w.report(), 0, u"A2").input, u"42");
  EXPECT_EQ(w.grid()->currentIndex(), w.model()->index(2, 0));
  key(w.grid(), Qt::Key_Return);
  EXPECT_EQ(w.grid()->currentIndex(), w.model()->index(3, 0));
}

TEST_F(DesignerTest, AMisspelledReportShowsItsErrorInsteadOfABlank) {
  designer::DesignerWindow& w =
      open(reportWith({{u"A1", u"=REF_F(\"资产负债表2\",\"C4\",1)"}, {u"A2", u"=VEX_REF_F(404,\"C4\")*2"}}));
  EXPECT_EQ(cell(w.report(), 0, u"A1").shown.error, u"#报表不存在：资产负债表2");
  EXPECT_NE(cell(w.report(), 0, u"A2").shown.error.find(u"#报表不存在：404"), std::u16string::npos);
  const QModelIndex a1 = w.model()->index(0, 0);
  EXPECT_TRUE(w.model()->data(a1, Qt::DisplayRole).toString().contains(QStringLiteral("报表不存在")));
  EXPECT_EQ(w.model()->data(a1, Qt::ToolTipRole).toString(), QStringLiteral("#报表不存在：资产负债表2"));
}

TEST_F(DesignerTest, ACellThatIsOneReportCallHoldsExactlyWhatRecallRptAnswered) {
  designer::DesignerWindow& w = open(reportWith({{u"A1", u"=QMYE(\"1001\",2024,12)"},
                                                 {u"A2", u"=QMYE(\"1001\",2024,12)-QCYE(\"1001\",2024,1)"},
                                                 {u"A3", u"=A1*3"},
                                                 {u"A4", u"1234.5"}}));
  VariantArray batch({Bounds{0, 0}, Bounds{0, 2}});
  batch(0, 0) = Variant(VariantArray::of({Variant(u"1001"), Variant(2024.0), Variant(12.0)}));
  Variant args[] = {Variant(u"QMYE"), Variant(std::move(batch)), Variant{}};
  component->invoke(u"RecallRpt", InvokeKind::Method, args);
  const Variant answered = args[1].array()(0, 1);
  const Variant& held = cell(w.report(), 0, u"A1").shown.value;
  EXPECT_EQ(held.type(), answered.type());
  const double heldValue = held.asDouble(), answeredValue = answered.asDouble();
  EXPECT_EQ(std::memcmp(&heldValue, &answeredValue, sizeof(double)), 0);
  // Arithmetic keeps 15 significant digits: no binary noise in a cell or in the saved file.
  EXPECT_EQ(number(cell(w.report(), 0, u"A2")),
            designer::significant15(ledger("1001", 2024, 12, Amount::Closing) -
                                    ledger("1001", 2024, 1, Amount::Opening)));
  EXPECT_EQ(number(cell(w.report(), 0, u"A3")), designer::significant15(answered.asDouble() * 3));
  const std::string saved = w.report().toWorkbook();
  EXPECT_NE(saved.find("\"value\": " + toUtf8(designer::numberText(answered.asDouble())) + "\n"),
            std::string::npos)
      << saved;
  EXPECT_EQ(saved.find("0000000"), std::string::npos) << saved;
  // Shown as money in the user's locale; a number the user typed shows as typed.
  const QLocale before;
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  const QString a1 = w.model()->data(w.model()->index(0, 0), Qt::DisplayRole).toString();
  const QString a4 = w.model()->data(w.model()->index(3, 0), Qt::DisplayRole).toString();
  QLocale::setDefault(before);
  EXPECT_EQ(a1, QStringLiteral("116.389,67"));
  EXPECT_EQ(a4, QStringLiteral("1234.5"));
}

TEST_F(DesignerTest, TheWindowOpensWithinTheScreen) {
  designer::DesignerWindow& w = open(reportWith({}));
  w.show();
  const QRect room = w.screen()->availableGeometry();
  EXPECT_TRUE(room.contains(w.frameGeometry()))
      << room.width() << "x" << room.height() << " holds no " << w.frameGeometry().width() << "x"
      << w.frameGeometry().height();
  // The side panel is on the screen, with its widgets.
  auto* panel = w.findChild<QDockWidget*>(QStringLiteral("context"));
  ASSERT_NE(panel, nullptr);
  EXPECT_TRUE(room.contains(QRect(panel->mapToGlobal(QPoint(0, 0)), panel->size())));
}

TEST_F(DesignerTest, PageNameAndNumberAreTheSheetsOwnAndItemSaysWhyItHasNoValue) {
  designer::Report r = reportWith({
      {u"A1", u"=PAGENAME()"},
      {u"A2", u"=pageno( )"},
      {u"A3", u"=PAGENO()*10+1"},
      {u"A4", u"=REF_F(\"资产负债表\",\"C4\",PAGENO())"},  // an argument of a report call
      {u"A5", u"=PAGENAME(2)"},
      {u"A6", u"=ITEM(\"01\",\"期末余额\")"},
      {u"A7", u"=PAGENAME()*2"},
      {u"表2!B1", u"=PAGENAME()"},
      {u"表2!B2", u"=PAGENO()+REF(\"A2\",1)"},
  });
  designer::recalculate(r, ObjectRef(spy));
  EXPECT_EQ(cell(r, 0, u"A1").shown.value, Variant(u"表1"));
  EXPECT_EQ(number(cell(r, 0, u"A2")), 1);
  EXPECT_EQ(number(cell(r, 0, u"A3")), 11);
  EXPECT_EQ(number(cell(r, 0, u"A4")), 116389.67);
  EXPECT_EQ(cell(r, 0, u"A5").shown.error, u"#ERROR! PAGENAME 没有参数");
  EXPECT_EQ(cell(r, 0, u"A6").shown.error, u"#ITEM! ITEM 是宿主自己的取数函数，这里不重新计算");
  EXPECT_EQ(cell(r, 0, u"A7").shown.error, u"#VALUE! 文本“表1”不能参与运算");
  EXPECT_EQ(cell(r, 1, u"B1").shown.value, Variant(u"表2"));
  EXPECT_EQ(number(cell(r, 1, u"B2")), 3);
  // The designer answers for its sheets itself: no batch of PAGENAME or PAGENO goes to RecallRpt,
  // while ITEM's does, and comes back as RecallRpt leaves it.
  std::vector<std::u16string> names;
  for (const auto& b : spy->batches) names.push_back(b.name);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::u16string>{u"ITEM", u"REF_F"}));
  // A renamed sheet is its new name at the next recalculation.
  r.sheets[1].name = u"附表";
  designer::recalculate(r, ObjectRef(spy));
  EXPECT_EQ(cell(r, 1, u"B1").shown.value, Variant(u"附表"));
  // The reason shows as the cell's tooltip.
  designer::DesignerWindow& w = open(r);
  EXPECT_EQ(w.model()->data(w.model()->index(5, 0), Qt::ToolTipRole).toString(),
            QString::fromStdU16String(u"#ITEM! ITEM 是宿主自己的取数函数，这里不重新计算"));
}

// Every text of the window in the language given, and the designer's own cell errors with them.
TEST_F(DesignerTest, TheDesignerSpeaksTheUsersLanguage) {
  for (const auto& [language, insert, quit, panel, year, divided, bracket, item, pageArgs] :
       {std::tuple{u"EN", "Insert function", "Quit", "Report context", "Year", "#DIV/0! Division by zero",
                   "#ERROR! A bracket is not closed",
                   "#ITEM! ITEM is the host's own function and is not recalculated here",
                   "#ERROR! PAGENO takes no arguments"},
        std::tuple{u"CHT", "插入函數", "退出", "報表環境", "會計年度", "#DIV/0! 除數為零",
                   "#ERROR! 括號沒有閉合", "#ITEM! ITEM 是宿主自己的取數函數，這裡不重新計算",
                   "#ERROR! PAGENO 沒有參數"}}) {
    SCOPED_TRACE(toUtf8(language));
    environment::resetLocalisationState();
    window = std::make_unique<designer::DesignerWindow>(system, component, store(), language);
    window->openReport(reportWith(
        {{u"A1", u"=1/0"}, {u"A2", u"=QMYE(\"1001\""}, {u"A3", u"=ITEM(\"01\")"}, {u"A4", u"=PAGENO(1)"}}));
    designer::DesignerWindow& w = *window;
    EXPECT_EQ(w.insertFunctionAction()->text(), QString::fromUtf8(insert));
    EXPECT_EQ(w.findChild<QAction*>(QStringLiteral("quit"))->text(), QString::fromUtf8(quit));
    auto* dock = w.findChild<QDockWidget*>(QStringLiteral("context"));
    EXPECT_EQ(dock->windowTitle(), QString::fromUtf8(panel));
    QStringList labels;
    for (auto* label : dock->findChildren<QLabel*>()) labels << label->text();
    EXPECT_TRUE(labels.contains(QString::fromUtf8(year))) << labels.join(u'|').toStdString();
    EXPECT_EQ(toUtf8(cell(w.report(), 0, u"A1").shown.error), divided);
    EXPECT_EQ(toUtf8(cell(w.report(), 0, u"A2").shown.error), bracket);
    EXPECT_EQ(toUtf8(cell(w.report(), 0, u"A3").shown.error), item);
    EXPECT_EQ(toUtf8(cell(w.report(), 0, u"A4").shown.error), pageArgs);
    // No Chinese of the Simplified keys is left in the English window's texts.
    if (std::u16string_view(language) == u"EN") {
      QStringList texts = labels;
      for (auto* action : w.findChildren<QAction*>()) texts << action->text();
      texts << w.statusBar()->currentMessage() << w.windowTitle() << w.formulaBar()->placeholderText();
      for (const QString& text : texts) {
        const bool chinese =
            std::any_of(text.begin(), text.end(), [](QChar ch) { return ch.unicode() >= 0x2E80; });
        EXPECT_FALSE(chinese && !text.contains(QStringLiteral("测试报表"))) << text.toStdString();
      }
    }
  }
}

// --- Reports on disk ------------------------------------------------------------------------------

std::string contents(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The names in a folder, sorted.
std::vector<std::string> entries(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// The one problem that starts with `start`, "" when there is none or more.
std::string problemOf(const std::vector<std::string>& problems, const std::string& start) {
  const auto n =
      std::count_if(problems.begin(), problems.end(), [&](auto& p) { return p.starts_with(start); });
  return n == 1
             ? *std::find_if(problems.begin(), problems.end(), [&](auto& p) { return p.starts_with(start); })
             : std::string();
}

TEST(DesignerFileNames, AreOneToOneReadableAndValidOnWindows) {
  for (const auto& [name, file] : {std::pair<std::u16string, std::string>{u" 资产负债表 ", "资产负债表"},
                                   {u"a/b", "a%2Fb"},
                                   {u"a_b", "a_b"},
                                   {u"100%", "100%25"},
                                   {u"<>:\"\\|?*\t", "%3C%3E%3A%22%5C%7C%3F%2A%09"},
                                   {u"..", ".%2E"},
                                   {u"CON", "%43ON"},
                                   {u"nul.txt", "%6Eul.txt"},
                                   {u"Com1", "%43om1"},
                                   {u"COM10", "COM10"}}) {
    EXPECT_EQ(designer::fileNameOf(name), file);
    EXPECT_EQ(designer::nameOfFile(file), automation::trim(name)) << file;
  }
  // Names that today's files might hold read as they stand, unless they are an escaped name.
  EXPECT_EQ(designer::nameOfFile("50%off"), u"50%off");
  EXPECT_EQ(designer::nameOfFile("a%41"), u"a%41");  // "A" is never escaped
  EXPECT_EQ(designer::nameOfFile("100%25"), u"100%");
}

TEST_F(DesignerTest, TwoStoresSavingOneReportAskInsteadOfReplacingWhatTheOtherWrote) {
  const auto dir = folder / "本地账套";
  const designer::StoredName mine{u"本地账套", u"测试报表"};
  designer::Report report = reportWith({{u"A1", u"1"}});
  store().save(report);
  // Another designer on the same folder opens the report and saves it changed.
  sample::SampleSystem otherSystem(sample::defaultOptions());
  designer::ReportStore other(otherSystem.ledger(), folder);
  ASSERT_TRUE(other.loadSaved({}).empty());
  designer::Report theirs = other.open(u"本地账套", u"测试报表");
  theirs.setInput(0, at(u"A1"), u"2");
  other.save(theirs, mine);
  const std::string written = contents(dir / "测试报表.json");
  // This one, saving next, is asked; the other's file is left whole, and no temporary file.
  report.setInput(0, at(u"A1"), u"3");
  try {
    store().save(report, mine);
    ADD_FAILURE() << "saved over the other designer's file unasked";
  } catch (const designer::SaveConflict& conflict) {
    EXPECT_EQ(conflict.kind, designer::SaveConflict::Kind::ChangedOnDisk);
    EXPECT_EQ(conflict.file, dir / "测试报表.json");
  }
  EXPECT_EQ(contents(dir / "测试报表.json"), written);
  EXPECT_EQ(entries(dir), std::vector<std::string>{"测试报表.json"});
  // The other saves again while this one is asked: the answer was about the file as it was then.
  theirs.setInput(0, at(u"A1"), u"4");
  other.save(theirs, mine);
  const std::string again = contents(dir / "测试报表.json");
  EXPECT_THROW(store().save(report, mine, designer::ReportStore::Replace::Now), designer::SaveConflict);
  EXPECT_EQ(contents(dir / "测试报表.json"), again);
  // Told to, it overwrites; then the other is asked, and this one saves over its own file unasked.
  store().save(report, mine, designer::ReportStore::Replace::Now);
  EXPECT_EQ(designer::Report::fromWorkbook(u"", contents(dir / "测试报表.json")).cell(0, at(u"A1"))->input,
            u"3");
  EXPECT_THROW(other.save(theirs, mine), designer::SaveConflict);
  EXPECT_NO_THROW(store().save(report, mine));

  // The next start removes the temporary files of killed saves, not those of a running one.
  std::ofstream(dir / ".save.1.00000000000000aa.part") << "{";  // process 1 runs
  std::ofstream(dir / (".save." + std::to_string(::getpid()) + ".00000000000000bb.part")) << "{";
  std::ofstream(dir / "测试报表.json.part") << "{";  // what saves wrote before each had its own
  EXPECT_TRUE(other.loadSaved({}).empty());
  EXPECT_EQ(entries(dir), (std::vector<std::string>{".save.1.00000000000000aa.part", "测试报表.json"}));
}

TEST_F(DesignerTest, OneReportIsOneFileWhateverTheCaseOfItsName) {
  designer::Report good = reportWith({{u"A1", u"1"}});
  good.name = u"GOOD";
  store().save(good);
  // Saved as the name in other letters, it is asked like any name the store holds, and one file.
  good.name = u"good";
  EXPECT_THROW(store().save(good, designer::StoredName{u"本地账套", u"GOOD"}), designer::SaveConflict);
  store().save(good, designer::StoredName{u"本地账套", u"GOOD"}, designer::ReportStore::Replace::Now);
  const auto dir = folder / "本地账套";
  EXPECT_EQ(entries(dir), std::vector<std::string>{"good.json"});

  // Two files naming one report at the start are both named; the newer one is read.
  std::ofstream(dir / "Good.json") << reportWith({{u"A1", u"older"}}).toWorkbook();
  std::filesystem::last_write_time(
      dir / "Good.json", std::filesystem::last_write_time(dir / "good.json") - std::chrono::hours(1));
  // Names apart only where a file name cannot hold them are two reports.
  for (const auto& [name, value] : {std::pair{u"a/b", u"slash"}, {u"a_b", u"underscore"}}) {
    designer::Report r = reportWith({{u"A1", value}});
    r.name = name;
    store().save(r);
  }
  sample::SampleSystem fresh(sample::defaultOptions());
  designer::ReportStore again(fresh.ledger(), folder);
  const auto problems = again.loadSaved({});
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_EQ(problems[0], (dir / "good.json").string() + " and " + (dir / "Good.json").string() +
                             ": name one report; the newer, good.json, is the one read");
  EXPECT_EQ(cell(again.open(u"本地账套", u"GOOD"), 0, u"A1").input, u"1");
  EXPECT_EQ(cell(again.open(u"本地账套", u"a/b"), 0, u"A1").input, u"slash");
  EXPECT_EQ(cell(again.open(u"本地账套", u"a_b"), 0, u"A1").input, u"underscore");
}

TEST_F(DesignerTest, ANewReportAsksBeforeReplacingASavedReportOfItsName) {
  designer::Report saved = reportWith({{u"A1", u"saved"}});
  saved.name = u"新报表";
  store().save(saved);
  const std::string before = contents(folder / "本地账套" / "新报表.json");
  designer::DesignerWindow& w = open(reportWith({}));
  w.show();
  w.findChild<QAction*>(QStringLiteral("new"))->trigger();
  w.enter(at(u"A1"), u"new");
  const auto save = [&](const char* answer) {
    Answer a(answer, "replaceQuestion");
    w.saveReport();
    return a.asked;
  };
  EXPECT_EQ(save("cancel"), 1);
  EXPECT_EQ(contents(folder / "本地账套" / "新报表.json"), before);
  EXPECT_TRUE(w.isModified());
  EXPECT_EQ(save("replace"), 1);
  EXPECT_EQ(cell(store().open(u"本地账套", u"新报表"), 0, u"A1").input, u"new");
  // Saved once, or opened from the store, it is the window's own: saved again unasked.
  w.enter(at(u"A1"), u"newer");
  EXPECT_EQ(save("replace"), 0);
  w.openSaved(u"本地账套", u"新报表");
  w.enter(at(u"A2"), u"2");
  EXPECT_EQ(save("replace"), 0);
  // In English the question is English.
  environment::resetLocalisationState();
  window = std::make_unique<designer::DesignerWindow>(system, component, store(), u"EN");
  window->openReport(saved);
  Answer cancel("cancel", "replaceQuestion");
  EXPECT_FALSE(window->saveReport());
  EXPECT_EQ(
      cancel.text,
      QStringLiteral("The data source 本地账套 already has a report “新报表”. Replace it with this report?"));
  EXPECT_EQ(cancel.buttons,
            (QStringList{QStringLiteral("&Replace"), QStringLiteral("Save &As…"), QStringLiteral("Cancel")}));
}

TEST_F(DesignerTest, EveryBadReportFileIsNamedWithItsReasonAndTheGoodOnesStillLoad) {
  const auto dir = folder / "本地账套";
  std::filesystem::create_directories(dir);
  const std::string good = reportWith({{u"A1", u"good"}}).toWorkbook();
  const auto write = [&](const char* name, const std::string& text) { std::ofstream(dir / name) << text; };
  write("好.json", good);
  write("BOM.json", "\xEF\xBB\xBF" + good);  // read past, as JSON readers do
  write("truncated.json", good.substr(0, good.size() / 2));
  write("invalid.json", "{\"sheets\": [}");
  write("empty.json", "");
  write("deep.json", std::string(100000, '[') + std::string(100000, ']'));
  write("types.json", "{\"sheets\": {\"name\": 1}}");
  write("utf8.json", "{\"sheets\": [{\"name\": \"\xC3(\"}]}");
  ASSERT_EQ(::mkfifo((dir / "fifo.json").c_str(), 0600), 0);
  std::filesystem::create_symlink(dir / "fifo.json", dir / "to-fifo.json");
  std::filesystem::create_symlink("/dev/zero", dir / "zero.json");
  std::filesystem::create_symlink("loop.json", dir / "loop.json");
  std::filesystem::create_directory(dir / "d.json");
  write("large.json", "");
  std::filesystem::resize_file(dir / "large.json", designer::kMostReportBytes + 1);
  const auto problems = store().loadSaved({});
  for (const auto& [name, why] : {std::pair{"truncated.json", "syntax error"},
                                  {"invalid.json", "syntax error"},
                                  {"empty.json", "unexpected end of input"},
                                  {"deep.json", "sheets"},
                                  {"types.json", "sheets"},
                                  {"utf8.json", "UTF-8"},
                                  {"fifo.json", ": is not a regular file; left out"},
                                  {"to-fifo.json", ": is not a regular file"},
                                  {"zero.json", ": is not a regular file"},
                                  {"loop.json", ": cannot be read (Too many levels of symbolic links)"},
                                  {"d.json", ": is a folder"},
                                  {"large.json", ": larger than 128 MiB, the most a report file may be"}}) {
    const std::string said = problemOf(problems, (dir / name).string() + ":");
    EXPECT_NE(said.find(why), std::string::npos) << name << ": " << said;
    EXPECT_EQ(said.find(dir.string(), 1), std::string::npos) << said;  // the file named once
  }
  EXPECT_EQ(problems.size(), 12u) << ::testing::PrintToString(problems);
  EXPECT_EQ(cell(store().open(u"本地账套", u"好"), 0, u"A1").input, u"good");
  EXPECT_EQ(cell(store().open(u"本地账套", u"BOM"), 0, u"A1").input, u"good");
}

TEST_F(DesignerTest, AFolderThatCannotBeReadIsNamedNotSkipped) {
  std::filesystem::create_directories(folder / "本地账套");
  std::ofstream(folder / "本地账套" / "好.json") << reportWith({}).toWorkbook();
  // Data-source folders that are a loop of links, a file, a folder of mode 000 (which the
  // superuser reads all the same: the loop fails the same way there).
  std::filesystem::create_symlink("环", folder / "环");
  std::ofstream(folder / "文件") << "not a folder";
  std::filesystem::create_directory(folder / "锁住");
  std::filesystem::permissions(folder / "锁住", std::filesystem::perms::none);
  const bool locked = ::access((folder / "锁住").c_str(), R_OK) != 0;
  const auto problems = store().loadSaved({});
  std::filesystem::permissions(folder / "锁住", std::filesystem::perms::owner_all);
  EXPECT_NE(problemOf(problems, (folder / "环").string() + ": cannot be read (Too many levels"), "");
  EXPECT_NE(problemOf(problems, (folder / "文件").string() + ": is not a folder of a data source"), "");
  EXPECT_EQ(problemOf(problems, (folder / "锁住").string() + ": cannot be read (Permission denied)") != "",
            locked);
  EXPECT_EQ(problems.size(), locked ? 3u : 2u) << ::testing::PrintToString(problems);
  EXPECT_NO_THROW(store().open(u"本地账套", u"好"));
}

// Runs `body` in a child process; answers the child's status as waitpid gives it.
template <class F>
int inChild(F body) {
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(body());
  int status = 0;
  ::waitpid(pid, &status, 0);
  return status;
}

TEST_F(DesignerTest, ASaveWithoutRoomOrKilledLeavesTheSavedFileAsItWas) {
  const auto dir = folder / "本地账套";
  const designer::StoredName mine{u"本地账套", u"测试报表"};
  designer::Report report = reportWith({{u"A1", u"kept"}});
  store().save(report);
  const std::string before = contents(dir / "测试报表.json");
  report.setInput(0, at(u"A2"), std::u16string(20000, u'x'));
  // Out of room (of the size a file may reach): the save says so and leaves nothing behind.
  const int full = inChild([&] {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit room{4096, 4096};
    try {
      if (::setrlimit(RLIMIT_FSIZE, &room) == 0) store().save(report, mine);
    } catch (const std::runtime_error& e) {
      return std::string(e.what()).find("测试报表.json: cannot be written (File too large)") !=
                     std::string::npos
                 ? 0
                 : 1;
    }
    return 2;
  });
  EXPECT_EQ(full, 0);
  EXPECT_EQ(contents(dir / "测试报表.json"), before);
  EXPECT_EQ(entries(dir), std::vector<std::string>{"测试报表.json"});
  // Killed at its first write: the old file stands, and the next start removes what was left.
  const int killed = inChild([&] {
    const rlimit room{0, 0};
    if (::setrlimit(RLIMIT_FSIZE, &room) == 0) store().save(report, mine);
    return 2;
  });
  EXPECT_TRUE(WIFSIGNALED(killed) && WTERMSIG(killed) == SIGXFSZ) << killed;
  EXPECT_EQ(contents(dir / "测试报表.json"), before);
  EXPECT_EQ(entries(dir).size(), 2u);
  sample::SampleSystem fresh(sample::defaultOptions());
  designer::ReportStore next(fresh.ledger(), folder);
  EXPECT_TRUE(next.loadSaved({}).empty());
  EXPECT_EQ(entries(dir), std::vector<std::string>{"测试报表.json"});
}

}  // namespace

int main(int argc, char** argv) {
  // Listing the tests at build time happens without a display as well.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
