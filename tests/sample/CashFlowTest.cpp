// CASHFLOW on the sample ledger: the statements of the two schemes hold together and with the cash
// accounts, the report's context chooses company, year and period, and each bad row says what is
// wrong with it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "automation/Conversions.h"
#include "automation/VariantArray.h"
#include "sample/FuncInfo.h"
#include "sample/Ledger.h"
#include "sample/SampleSystem.h"
#include "support/TempConfig.h"

namespace {

using namespace automation;
using sample::Amount;

class CashFlowTest : public ::testing::Test {
 protected:
  CashFlowTest()
      : system(std::make_shared<sample::SampleSystem>(sample::defaultOptions())),
        catalogue(std::make_shared<sample::FuncInfoObject>(system)) {
    sample::clearPublishedProperties();  // the texts are the Simplified Chinese ones
    catalogue->context().set(u"RptYear", Variant(2024));
    catalogue->context().set(u"RptPeriod", Variant(3));
  }

  // CASHFLOW on the rows: each row's value, or its error text.
  std::vector<Variant> cashflow(const std::vector<std::vector<Variant>>& rows,
                                std::int32_t* failed = nullptr) {
    VariantArray batch({Bounds{0, static_cast<std::int32_t>(rows.size()) - 1}, Bounds{0, 2}});
    for (std::size_t r = 0; r < rows.size(); ++r)
      batch(static_cast<std::int32_t>(r), 0) = Variant(VariantArray::of(rows[r]));
    Variant b(std::move(batch)), sheet;
    const std::int32_t status = catalogue->CallFunc(u"CASHFLOW", b, sheet);
    if (failed != nullptr) *failed = status;
    std::vector<Variant> out;
    for (std::int32_t r = 0; r < static_cast<std::int32_t>(rows.size()); ++r) {
      const Variant& error = b.array()(r, 2);
      out.push_back(toText(error).empty() ? b.array()(r, 1) : error);
    }
    return out;
  }
  double flow(std::int32_t scheme, const char16_t* item, std::int32_t period) {
    const Variant v = cashflow({{Variant(scheme), Variant(item), Variant(period)}}).front();
    EXPECT_EQ(v.type(), VarType::Double) << toUtf8(toText(v));
    return v.type() == VarType::Double ? v.asDouble() : 0;
  }
  // The period's movement of the cash accounts in the base currency, as JEFS reads it.
  double cashMovement(int company, int year, int period) {
    double sum = 0;
    for (const char* account : {"1001", "1002", "1012"})
      sum += system->ledger().amount(company, account, "RMB", year, period, period, Amount::Net);
    return sum;
  }

  testing_support::TempConfig config;
  std::shared_ptr<sample::SampleSystem> system;
  std::shared_ptr<sample::FuncInfoObject> catalogue;
};

TEST_F(CashFlowTest, TheStatementAddsUpToTheMovementOfTheCashAccounts) {
  for (int period : {1, 3, 12}) {
    SCOPED_TRACE(period);
    const double operating = flow(1, u"1101", period) + flow(1, u"1102", period) + flow(1, u"1103", period) -
                             flow(1, u"1104", period) - flow(1, u"1105", period) - flow(1, u"1106", period) -
                             flow(1, u"1107", period);
    EXPECT_NEAR(flow(1, u"1100", period), operating, 0.005);
    EXPECT_NEAR(flow(1, u"1200", period),
                flow(1, u"1201", period) + flow(1, u"1202", period) - flow(1, u"1203", period) -
                    flow(1, u"1204", period),
                0.005);
    const double net = flow(1, u"1100", period) + flow(1, u"1200", period) + flow(1, u"1300", period);
    EXPECT_NEAR(flow(1, u"1400", period), net, 0.005);
    EXPECT_NEAR(flow(1, u"1400", period), cashMovement(1, 2024, period), 0.005);
    // The short scheme shows the nets of the full one under its own codes.
    EXPECT_EQ(flow(2, u"01", period), flow(1, u"1100", period));
    EXPECT_EQ(flow(2, u"04", period), flow(1, u"1400", period));
  }
  EXPECT_GT(flow(1, u"1104", 3), 0);  // an outflow is shown as a positive amount
}

TEST_F(CashFlowTest, TheReportContextChoosesCompanyYearAndPeriod) {
  // A blank scheme is scheme 1, a blank period the report's.
  const auto blank =
      cashflow({{Variant{}, Variant(u"1400")}, {Variant(u" "), Variant(u"1400"), Variant(u"")}});
  EXPECT_NEAR(blank[0].asDouble(), cashMovement(1, 2024, 3), 0.005);
  EXPECT_EQ(blank[1], blank[0]);
  catalogue->context().set(u"RptYear", Variant(2023));
  EXPECT_NEAR(flow(1, u"1400", 3), cashMovement(1, 2023, 3), 0.005);
  catalogue->context().set(u"CurPropsString", Variant(u"DSN=华南账套;COMPANY=2"));
  EXPECT_NEAR(flow(1, u"1400", 3), cashMovement(2, 2023, 3), 0.005);
  EXPECT_NE(cashMovement(1, 2023, 3), cashMovement(2, 2023, 3));
  catalogue->context().set(u"CurPropsString", Variant(u"没有的账套"));
  EXPECT_EQ(cashflow({{Variant(1), Variant(u"1101"), Variant(3)}}).front(), Variant(u"#数据源不存在"));
  // A DSN alone names the company as it names the data source; a COMPANY that is no whole
  // number of the 32-bit range is no company.
  catalogue->context().set(u"CurPropsString", Variant(u"DSN=华南账套"));
  EXPECT_NEAR(flow(1, u"1400", 3), cashMovement(2, 2023, 3), 0.005);
  for (const char16_t* company : {u"COMPANY=1e20", u"COMPANY=-1e20", u"COMPANY=1.5"}) {
    catalogue->context().set(u"CurPropsString", Variant(std::u16string(u"DB=LEDGER;") + company));
    EXPECT_EQ(cashflow({{Variant(1), Variant(u"1101"), Variant(3)}}).front(), Variant(u"#数据源不存在"))
        << toUtf8(company);
  }
}

TEST_F(CashFlowTest, ABadRowSaysWhatIsWrongAndTheOthersAreComputed) {
  std::int32_t failed = 0;
  const auto out = cashflow({{Variant(1), Variant(u"1101"), Variant(3)},
                             {Variant(9), Variant(u"1101"), Variant(3)},
                             {Variant(1), Variant(u"01"), Variant(3)},
                             {Variant(1), Variant(u""), Variant(3)},
                             {Variant(1), Variant(u"1101"), Variant(13)},
                             {Variant(1), Variant(u"1101"), Variant(0)},
                             {Variant(u"一"), Variant(u"1101"), Variant(3)},
                             {Variant(2), Variant(u"1101' OR '1'='1"), Variant(3)},
                             {Variant(2), Variant(u" 04 "), Variant(3.0)},
                             {Variant(2), Variant(u"%1"), Variant(3)}},
                            &failed);
  EXPECT_EQ(failed, 8);
  EXPECT_EQ(out[9], Variant(u"#报表方案 2 没有现金流量项目“%1”"));  // the user's text as typed
  EXPECT_EQ(out[0].type(), VarType::Double);
  EXPECT_EQ(out[1], Variant(u"#现金流量报表方案 9 不存在"));
  EXPECT_EQ(out[2], Variant(u"#报表方案 1 没有现金流量项目“01”"));
  EXPECT_EQ(out[3], Variant(u"#未指定现金流量项目"));
  EXPECT_EQ(out[4], Variant(u"#没有 2024 年第 13 期的现金流量"));
  EXPECT_EQ(out[5], Variant(u"#没有 2024 年第 0 期的现金流量"));
  EXPECT_EQ(out[6], Variant(u"#参数错误"));
  EXPECT_EQ(out[7], Variant(u"#报表方案 2 没有现金流量项目“1101' OR '1'='1”"));
  EXPECT_EQ(out[8], Variant(flow(1, u"1400", 3)));  // blanks around the code aside
  // A year the ledger has no cash flows for.
  catalogue->context().set(u"RptYear", Variant(2022));
  EXPECT_EQ(cashflow({{Variant(1), Variant(u"1101"), Variant(3)}}).front(),
            Variant(u"#没有 2022 年第 3 期的现金流量"));
}

TEST_F(CashFlowTest, ABatchReadsEachSchemeOnceWhateverItsSize) {
  const auto queries = [&](int rows) {
    std::vector<std::vector<Variant>> batch;
    for (int i = 0; i < rows; ++i) {
      batch.push_back({Variant(1 + i % 2), Variant(i % 2 == 0 ? u"1101" : u"03"), Variant(1 + i % 12)});
    }
    const std::uint64_t before = system->ledger().database().statementsRun();
    std::int32_t failed = -1;
    cashflow(batch, &failed);
    EXPECT_EQ(failed, 0);
    return system->ledger().database().statementsRun() - before;
  };
  EXPECT_EQ(queries(10), queries(2000));
}

TEST_F(CashFlowTest, AChangedCashFlowScriptRebuildsTheLedger) {
  const std::filesystem::path data = config.dir().parent_path() / "own-data";
  std::filesystem::create_directories(data / "ledger");
  for (const auto& entry : std::filesystem::directory_iterator(sample::defaultOptions().data / "ledger"))
    std::filesystem::copy_file(entry.path(), data / "ledger" / entry.path().filename());
  const auto schemes = [&] {
    auto ledger = sample::Ledger::open(data);
    sample::Statement q = ledger->database().prepare("SELECT COUNT(*) FROM cashflow_schemes");
    q.step();
    return q.integer(0);
  };
  EXPECT_EQ(schemes(), 2);
  std::ofstream(data / "ledger" / "cashflow.sql", std::ios::app)
      << "INSERT INTO cashflow_schemes VALUES (3, '新方案');\n";
  EXPECT_EQ(schemes(), 3);
}

}  // namespace
