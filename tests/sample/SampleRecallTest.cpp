// RecallRpt on the sample report system, as a host recalculates a report: references to the
// stored reports, a nested reference inside one, and ledger functions, checked against the SQL data.
#include <gtest/gtest.h>

#include <cmath>

#include "automation/ClassRegistry.h"
#include "automation/Conversions.h"
#include "automation/VariantArray.h"
#include "cfunc/CFunc.h"
#include "component/ReportContext.h"
#include "environment/Localisation.h"
#include "platform/Process.h"
#include "sample/Database.h"
#include "sample/SampleSystem.h"
#include "support/TempConfig.h"

namespace {

using namespace automation;

Variant batchOf(std::vector<std::vector<Variant>> calls) {
  VariantArray batch({Bounds{0, static_cast<std::int32_t>(calls.size()) - 1}, Bounds{0, 2}});
  for (std::size_t i = 0; i < calls.size(); ++i)
    batch(static_cast<std::int32_t>(i), 0) = Variant(VariantArray::of(std::move(calls[i])));
  return Variant(std::move(batch));
}

class SampleRecallTest : public ::testing::Test {
 protected:
  SampleRecallTest() {
    component::resetComponentState();
    environment::resetLocalisationState();
    system = sample::registerSampleComponents(classRegistry(), sample::defaultOptions());
    cfunc::registerComponentClasses(classRegistry());
    sample::publishProperty(platform::currentProcessId(), u"PropsString", Variant(u"Language=CHS"));
    host = CreateObject(u"Formulist2.CFunc");
  }
  ~SampleRecallTest() override {
    host.reset();
    component::resetComponentState();
    environment::resetLocalisationState();
    classRegistry().clear();
  }
  Variant recall(const std::u16string& name, std::vector<std::vector<Variant>> calls) {
    Variant args[] = {Variant(name), batchOf(std::move(calls)), Variant{}};
    host->invoke(u"RecallRpt", InvokeKind::Method, args);
    return args[1];
  }
  // The closing balance of an account and its sub-accounts in the base currency, from the SQL data.
  double closing(std::int64_t company, const std::string& account, std::int64_t year, std::int64_t period) {
    auto q = system->ledger().database().prepare(
        "SELECT SUM(closing) FROM balances WHERE company_id = ?1 AND account LIKE ?2 || '%' AND year = ?3 "
        "AND period = ?4 AND currency = 'RMB'");
    q.bind(1, company).bind(2, account).bind(3, year).bind(4, period);
    EXPECT_TRUE(q.step());
    return q.real(0);
  }
  static double number(const Variant& batch, std::int32_t row) { return toDouble(batch.array()(row, 1)); }

  testing_support::TempConfig config;
  std::shared_ptr<sample::SampleSystem> system;
  ObjectRef host;
};

TEST_F(SampleRecallTest, StoredReportsAndLedgerFunctionsGiveTheLedgersFigures) {
  const double cash = closing(1, "1001", 2024, 12);
  const double bank = closing(1, "1002", 2024, 12);
  const double southBank = closing(2, "1002", 2024, 12);

  const Variant refs =
      recall(u"REF_F", {{Variant(u"资产负债表"), Variant(u"C4")},
                        {Variant(u"资产负债表"), Variant(u"c5"), Variant(u"资产")},
                        {Variant(u"资产负债表"), Variant(u"C5"), Variant(1), Variant(u"华南账套")},
                        {Variant(u"利润表"), Variant(u"B3"), Variant(u"补充资料")},
                        {Variant(u"资产负债表"), Variant(u"A4"), Variant(2)},
                        {Variant(u"资产负债表"), Variant(u"Z99")},
                        {Variant(u"没有的表"), Variant(u"A1")}});
  EXPECT_NEAR(number(refs, 0), cash, 0.005);
  EXPECT_NEAR(number(refs, 1), bank, 0.005);
  EXPECT_NEAR(number(refs, 2), southBank, 0.005);
  EXPECT_NEAR(number(refs, 3), bank, 0.005);  // a REF_F stored inside the income statement
  EXPECT_EQ(refs.array()(4, 1), Variant(u"短期借款"));
  EXPECT_NE(toText(refs.array()(5, 2)).find(u"Z99"), std::u16string::npos);
  EXPECT_TRUE(refs.array()(6, 1).isEmpty());
  EXPECT_EQ(refs.array()(6, 2), Variant(u"#报表不存在：没有的表"));

  // A stored report loaded by number recomputes its report functions through the event, nested
  // references included.
  const Variant vex = recall(u"VEX_REF_F", {{Variant(1), Variant(u"C4")},
                                            {Variant(2), Variant(u"B3"), Variant(u"补充资料")},
                                            {Variant(1), Variant(u"C5"), Variant(1), Variant(u"华南账套")},
                                            {Variant(99), Variant(u"A1")}});
  EXPECT_NEAR(number(vex, 0), cash, 0.005);
  EXPECT_NEAR(number(vex, 1), bank, 0.005);
  EXPECT_NEAR(number(vex, 2), southBank, 0.005);
  EXPECT_TRUE(vex.array()(3, 1).isEmpty());
  EXPECT_EQ(vex.array()(3, 2), Variant(u"#报表不存在：99"));

  // Ledger functions, rescaled to thousands.
  put(host, u"Convert", Variant(u"DIV1000"));
  const Variant ledger = recall(u"QMYE", {{Variant(u"1001"), Variant(2024), Variant(12)},
                                          {Variant(u"1002"), Variant(2024), Variant(12)}});
  EXPECT_DOUBLE_EQ(number(ledger, 0), round(cash / 1000, 2));
  EXPECT_DOUBLE_EQ(number(ledger, 1), round(bank / 1000, 2));
}

TEST_F(SampleRecallTest, AReportStoredBetweenRecalculationsIsReadByTheNext) {
  const auto book = [](int value) {
    return R"({"sheets": [{"name": "S", "cells": {"A1": )" + std::to_string(value) + "}}]}";
  };
  const std::vector<std::vector<Variant>> calls = {{Variant(u"追加表"), Variant(u"A1")},
                                                   {Variant(u"资产负债表"), Variant(u"A4")},
                                                   {Variant(u"追加表"), Variant(u"A1")}};
  const Variant before = recall(u"REF_F", calls);
  EXPECT_TRUE(before.array()(0, 1).isEmpty());
  EXPECT_EQ(before.array()(0, 2), Variant(u"#报表不存在：追加表"));

  const int id = system->ledger().storeReport("本地账套", "追加表", book(1));
  const Variant stored = recall(u"REF_F", calls);
  EXPECT_EQ(stored.array()(0, 1), Variant(1.0));
  EXPECT_EQ(stored.array()(1, 1), Variant(u"库存现金"));
  EXPECT_EQ(stored.array()(2, 1), Variant(1.0));

  system->ledger().storeReport("本地账套", "追加表", book(2));
  EXPECT_EQ(recall(u"REF_F", calls).array()(2, 1), Variant(2.0));
  EXPECT_EQ(recall(u"VEX_REF_F", {{Variant(id), Variant(u"A1")}}).array()(0, 1), Variant(2.0));
}

TEST_F(SampleRecallTest, EachStoredWorkbookComputesInItsOwnDataSourceThoughTheSheetNamesMatch) {
  // Report 12 in both data sources, each with one sheet "S" whose context names its own ledger.
  const auto book = [](const std::string& dsn) {
    return R"({"names": {"__SelfDsn__": ")" + dsn + R"json(", "__RptYear__": 2024},
               "sheets": [{"name": "S", "names": {"__RptPeriod__": 12},
                 "cells": {"B1": {"formula": "=QMYE(\"1001\",2024,12)", "value": 0}}}]})json";
  };
  EXPECT_EQ(system->ledger().storeReport("本地账套", "十二", book("DSN=本地账套;COMPANY=1;DB=LEDGER"), 12),
            12);
  EXPECT_EQ(system->ledger().storeReport("华南账套", "十二", book("DSN=华南账套;COMPANY=2;DB=LEDGER"), 12),
            12);
  const double local = closing(1, "1001", 2024, 12);
  const double south = closing(2, "1001", 2024, 12);
  ASSERT_GT(std::abs(local - south), 1.0);

  const Variant alone =
      recall(u"VEX_REF_F", {{Variant(12), Variant(u"B1"), Variant(1), Variant(u"华南账套")}});
  EXPECT_NEAR(number(alone, 0), south, 0.005);
  const Variant both =
      recall(u"VEX_REF_F", {{Variant(12), Variant(u"B1"), Variant(1), Variant(u"本地账套")},
                            {Variant(12), Variant(u"B1"), Variant(1), Variant(u"华南账套")},
                            {Variant(12), Variant(u"B1"), Variant(1), Variant(u"本地账套")}});
  EXPECT_NEAR(number(both, 0), local, 0.005);
  EXPECT_NEAR(number(both, 1), south, 0.005);
  EXPECT_NEAR(number(both, 2), local, 0.005);
}

TEST_F(SampleRecallTest, AMisspelledReportInsideAStoredWorkbookShowsItsErrorInItsCell) {
  const int id = system->ledger().storeReport("本地账套", "引用表",
                                              R"json({"sheets": [{"name": "S", "cells": {
          "A1": {"formula": "=REF_F(\"没有的表\",\"C4\",1)", "value": 5},
          "A2": {"formula": "=VEX_REF_F(404,\"C4\")", "value": 6},
          "A3": {"formula": "=REF_F(\"资产负债表\",\"A4\")", "value": 7}}}]})json");
  const Variant cells =
      recall(u"VEX_REF_F",
             {{Variant(id), Variant(u"A1")}, {Variant(id), Variant(u"A2")}, {Variant(id), Variant(u"A3")}});
  EXPECT_EQ(cells.array()(0, 1), Variant(u"#报表不存在：没有的表"));
  EXPECT_EQ(cells.array()(1, 1), Variant(u"#报表不存在：404"));
  EXPECT_EQ(cells.array()(2, 1), Variant(u"库存现金"));
}

TEST_F(SampleRecallTest, AStoredWorkbookReadByNumberKnowsItsSheetsNamesAndNumbers) {
  const int id = system->ledger().storeReport("本地账套", "页表",
                                              R"json({"sheets": [{"name": "甲"}, {"name": "乙", "cells": {
          "A1": {"formula": "=PAGENAME()", "value": ""}, "A2": {"formula": "=PAGENO()", "value": 0}}}]})json");
  const Variant cells = recall(u"VEX_REF_F", {{Variant(id), Variant(u"A1"), Variant(2)},
                                              {Variant(id), Variant(u"A2"), Variant(u"乙")}});
  EXPECT_EQ(cells.array()(0, 1), Variant(u"乙"));
  EXPECT_EQ(toLong(cells.array()(1, 1)), 2);
}

}  // namespace
