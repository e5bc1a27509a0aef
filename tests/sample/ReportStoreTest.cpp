// The stored reports of the sample system and the components around them, driven as the component
// drives them: created by ProgID, called by name and by dispatch number.
#include <gtest/gtest.h>

#include <vector>

#include "automation/ClassRegistry.h"
#include "automation/Conversions.h"
#include "automation/Events.h"
#include "automation/Text.h"
#include "automation/VariantArray.h"
#include "component/ReportContext.h"
#include "component/SharedHelpers.h"
#include "environment/Localisation.h"
#include "sample/Database.h"
#include "sample/SampleSystem.h"
#include "sample/Workbook.h"
#include "support/Errors.h"
#include "support/TempConfig.h"

namespace {

using namespace automation;
using testing_support::errorNumber;
using testing_support::errorOf;

constexpr char16_t kLocal[] = u"DSN=本地账套;COMPANY=1;DB=LEDGER";
constexpr char16_t kSouth[] = u"DSN=华南账套;COMPANY=2;DB=LEDGER";

class ReportStoreTest : public ::testing::Test {
 protected:
  ReportStoreTest() {
    component::resetComponentState();
    environment::resetLocalisationState();
    system = sample::registerSampleComponents(classRegistry(), sample::defaultOptions());
  }
  ~ReportStoreTest() override {
    component::resetComponentState();
    environment::resetLocalisationState();
    classRegistry().clear();
  }

  // A member by dispatch number, as the component calls the spreadsheet controls.
  static Variant member(const ObjectRef& o, DispId id, InvokeKind kind, std::vector<Variant> args = {}) {
    return o->invoke(id, kind, args);
  }
  static constexpr InvokeKind kGet = InvokeKind::PropertyGet | InvokeKind::Method;

  // GetRptViaName as the component calls it; nullopt when the service answers False.
  static std::optional<Variant> retrieve(std::u16string props, std::u16string name) {
    Variant args[] = {Variant(props), Variant(name), Variant(u"untouched"), Variant::missing(),
                      Variant(std::int16_t{1})};
    const bool found = toBoolean(callByRef(CreateObject(u"Haldor.SrvRptRetrieve"), u"GetRptViaName", args));
    if (!found) {
      EXPECT_EQ(args[2], Variant(u"untouched"));
      return std::nullopt;
    }
    return args[2];
  }
  // What a reader of the report data reads: the stored workbook text.
  static std::optional<std::u16string> retrievedText(std::u16string props, std::u16string name) {
    const auto report = retrieve(std::move(props), std::move(name));
    return report ? std::optional(toText(*report)) : std::nullopt;
  }
  static Variant getReport(std::u16string props, std::int32_t id) {
    Variant args[] = {Variant(props), Variant(id)};
    return callByRef(CreateObject(u"NURZps.ZpsInfo"), u"GetReport", args);
  }
  static Variant blob(std::u16string props, std::int32_t id) {
    return member(objectOf(getReport(std::move(props), id)), kDispIdValue, kGet, {Variant(u"FReportBlob")});
  }
  static ObjectRef loaded(std::u16string_view progId, DispId load, const Variant& data) {
    ObjectRef control = CreateObject(progId);
    member(control, load, InvokeKind::PropertyPut, {data});
    return control;
  }
  static Variant ref(const ObjectRef& spread, std::u16string formula) {
    Variant args[] = {Variant(std::move(formula)), Variant{}};
    spread->invoke(39, InvokeKind::Method, args);
    return args[1];
  }
  static ObjectRef sheet(const ObjectRef& zps, Variant key) {
    return objectOf(member(objectOf(member(zps, 2, kGet)), kDispIdValue, kGet, {std::move(key)}));
  }
  static Variant place(const ObjectRef& sheet, std::u16string address) {
    return member(objectOf(member(sheet, 51, kGet, {Variant(std::move(address))})), 87, kGet);
  }
  // The ledger's own figure for a balance function, computed by the catalogue for a company.
  static double ledger(std::u16string function, std::vector<Variant> args, std::u16string company) {
    const ObjectRef catalogue = CreateObject(u"Fenwick2.FuncInfo");
    putIndexed(catalogue, u"Properties", {Variant(u"ZpsPagePropsString")}, Variant(std::move(company)));
    VariantArray rows({Bounds{0, 0}, Bounds{0, 2}});
    rows(0, 0) = Variant(VariantArray::of(std::move(args)));
    Variant batch(std::move(rows)), none;
    Variant call[] = {Variant(std::move(function)), batch, none};
    callByRef(catalogue, u"CallFunc", call);
    return toDouble(call[1].array()(0, 1));
  }

  testing_support::TempConfig config;
  std::shared_ptr<sample::SampleSystem> system;
};

TEST_F(ReportStoreTest, ReportsAreRetrievedByNameWithinTheirDataSource) {
  // A property string that names no data source means the default one.
  const auto local = retrievedText(u"User=admin;Language=CHS", u"资产负债表");
  ASSERT_TRUE(local);
  EXPECT_EQ(retrievedText(kLocal, u"  资产负债表 "), local);
  const auto south = retrievedText(kSouth, u"资产负债表");
  ASSERT_TRUE(south);
  EXPECT_NE(south, local);
  EXPECT_EQ(retrievedText(u"COMPANY=2", u"资产负债表"), south);
  EXPECT_EQ(retrievedText(u"华南账套", u"资产负债表"), south);
  EXPECT_EQ(retrievedText(kLocal, u"资产负债表"), local);  // back to the first data source
  EXPECT_FALSE(retrieve(kLocal, u"现金流量表"));
  EXPECT_FALSE(retrieve(kLocal, u""));

  // Letter case counts for nothing; a stored report joins the seeded ones for this ledger only, and
  // is found though it was asked for before it was stored.
  EXPECT_FALSE(retrieve(kSouth, u"cash flow"));
  const std::string first = R"({"sheets": [{"name": "S", "cells": {"A1": 7}}]})";
  const std::int32_t id = system->ledger().storeReport("华南账套", "Cash Flow", first);
  EXPECT_EQ(retrievedText(kSouth, u"  cash FLOW"), fromUtf8(first));
  EXPECT_EQ(toText(blob(kSouth, id)), fromUtf8(first));
  EXPECT_FALSE(retrieve(kLocal, u"Cash Flow"));

  // Asking again runs no SQL; storing a report again is seen by name and by number.
  sample::Database& db = system->ledger().database();
  const std::uint64_t statements = db.statementsRun();
  EXPECT_EQ(retrievedText(kSouth, u"  cash FLOW"), fromUtf8(first));
  EXPECT_EQ(db.statementsRun(), statements);
  const std::string second = R"({"sheets": [{"name": "S", "cells": {"A1": 8}}]})";
  EXPECT_EQ(system->ledger().storeReport("华南账套", "CASH FLOW", second), id);
  EXPECT_EQ(retrievedText(kSouth, u"  cash FLOW"), fromUtf8(second));
  EXPECT_EQ(toText(blob(kSouth, id)), fromUtf8(second));

  const auto unknown = errorOf([] { retrieve(u"DSN=西北账套", u"资产负债表"); });
  ASSERT_TRUE(unknown);
  EXPECT_NE(unknown->description().find(u"'西北账套'"), std::u16string::npos);

  // Every question counts, found or not; the count can be started again.
  const ObjectRef service = CreateObject(u"Haldor.SrvRptRetrieve");
  EXPECT_EQ(toLong(get(service, u"RetrievalCount")), 13);
  put(service, u"RetrievalCount", Variant(0));
  retrieve(kLocal, u"利润表");
  EXPECT_EQ(system->reportRetrievals(), 1);
}

TEST_F(ReportStoreTest, TheStoreGivesReportsByNumberAndNothingForUnknownNumbers) {
  const ObjectRef balance = objectOf(getReport(u"", 1));
  EXPECT_EQ(toText(get(balance, u"ReportName")), u"资产负债表");
  EXPECT_EQ(toText(blob(kLocal, 1)), retrievedText(kLocal, u"资产负债表"));
  EXPECT_EQ(toText(blob(kSouth, 2)), retrievedText(kSouth, u"利润表"));
  EXPECT_EQ(toText(member(objectOf(getReport(kSouth, 2)), kDispIdValue, kGet, {Variant(u"FDsn")})),
            u"华南账套");

  const Variant none = getReport(kLocal, 99);
  EXPECT_TRUE(none.isObject());
  EXPECT_EQ(none.asObject(), nullptr);
  EXPECT_EQ(errorNumber([&] { member(balance, kDispIdValue, kGet, {Variant(u"FNoSuchField")}); }),
            errors::InvalidProcedureCall);

  // Storing under a name that exists replaces that report and keeps its number.
  sample::Ledger& ledger = system->ledger();
  const std::string book = R"({"sheets": [{"name": "S", "cells": {"A1": 1}}]})";
  EXPECT_EQ(ledger.storeReport("本地账套", " 利润表", book), 2);
  EXPECT_EQ(toText(blob(kLocal, 2)), fromUtf8(book));
  EXPECT_EQ(ledger.storeReport("本地账套", "新报表", book), 3);
  EXPECT_THROW(ledger.storeReport("西北账套", "新报表", book), sample::DatabaseError);
  EXPECT_THROW(ledger.storeReport("本地账套", "  ", book), sample::DatabaseError);
}

TEST_F(ReportStoreTest, RefReadsCellsOnTheSheetItNamesOrTheOneSetBefore) {
  const ObjectRef spread = loaded(u"ZPSPREADLib.ZpSpread120", 32, *retrieve(kLocal, u"资产负债表"));
  // The stored figures are the ledger's.
  EXPECT_NEAR(toDouble(ref(spread, u"=REF(\"C4\",1)")),
              ledger(u"QMYE", {Variant(u"1001"), Variant(2024), Variant(12)}, kLocal), 0.005);
  EXPECT_NEAR(toDouble(ref(spread, u"=ref( \"c5\" , 1 )")),
              ledger(u"QMYE", {Variant(u"1002"), Variant(2024), Variant(12)}, kLocal), 0.005);
  EXPECT_EQ(ref(spread, u"=REF(\"A4\",2)"), Variant(u"短期借款"));
  EXPECT_EQ(ref(spread, u"=REF(\"B3\",3)"), Variant(u"华东实业有限公司"));  // a formula's last value

  // A sheet of 0 (a name no sheet bears) or none at all: the sheet of member 80 at (2, 1).
  member(spread, 80, InvokeKind::PropertyPut, {Variant(2), Variant(1), Variant(1)});
  EXPECT_EQ(toLong(member(spread, 80, kGet, {Variant(2), Variant(1)})), 1);
  EXPECT_EQ(ref(spread, u"=REF(\"A4\",0)"), Variant(u"短期借款"));
  EXPECT_EQ(ref(spread, u"=REF(\"A4\")"), Variant(u"短期借款"));
  EXPECT_EQ(ref(spread, u"=REF(\"A4\",1)"), Variant(u"库存现金"));
  EXPECT_EQ(ref(spread, u"\t=Ref(\"A4\" ,+2 ) "), Variant(u"短期借款"));
  EXPECT_EQ(ref(spread, u"=REF(\"A4\",2.0)"), Variant(u"短期借款"));
  EXPECT_EQ(ref(spread, u"=REF(\"A4\",1e0)"), Variant(u"库存现金"));
  EXPECT_EQ(ref(spread, u"=REF(\"A4\",-1)"), Variant(u"短期借款"));
  EXPECT_EQ(ref(spread, u"=REF(\"A4\",)"), Variant(u"短期借款"));
  EXPECT_EQ(ref(spread, u"=REF(\"A4\",\"负债和所有者权益\")"), Variant(u"短期借款"));

  // Another workbook replaces the first and starts on its first sheet again.
  member(spread, 32, InvokeKind::PropertyPut, {*retrieve(kSouth, u"资产负债表")});
  EXPECT_EQ(ref(spread, u"=REF(\"A2\",0)"), Variant(u"编制单位：华南贸易有限公司"));
}

TEST_F(ReportStoreTest, RefErrorsSayWhatIsMissing) {
  const auto description = [](const ObjectRef& spread, std::u16string formula) {
    const auto e = errorOf([&] { ref(spread, std::move(formula)); });
    return e ? e->description() : u"(no error)";
  };
  const ObjectRef empty = CreateObject(u"ZPSPREADLib.ZpSpread120");
  EXPECT_NE(description(empty, u"=REF(\"A1\",1)").find(u"holds no workbook"), std::u16string::npos);

  const ObjectRef spread = loaded(u"ZPSPREADLib.ZpSpread120", 32, *retrieve(kLocal, u"资产负债表"));
  EXPECT_EQ(description(spread, u"=REF(\"A1\",4)"), u"The workbook has no sheet 4: it has 3 sheets");
  member(spread, 80, InvokeKind::PropertyPut, {Variant(2), Variant(1), Variant(-1)});
  EXPECT_EQ(description(spread, u"=REF(\"A1\",0)"), u"The workbook has no sheet 0: it has 3 sheets");
  // The sheet set before is a position from 0: the last Long has no position after it.
  member(spread, 80, InvokeKind::PropertyPut, {Variant(2), Variant(1), Variant(2147483647)});
  EXPECT_EQ(errorNumber([&] { ref(spread, u"=REF(\"A1\",0)"); }), errors::Overflow);
  EXPECT_EQ(errorNumber([&] { ref(spread, u"=REF(\"A1\")"); }), errors::Overflow);
  member(spread, 80, InvokeKind::PropertyPut, {Variant(2), Variant(1), Variant(-1)});
  EXPECT_EQ(description(spread, u"=REF(\"Z99\",1)"), u"Sheet '资产' of the workbook has no cell Z99");
  EXPECT_NE(description(spread, u"=SUM(A1)").find(u"cannot read the formula =SUM(A1)"), std::u16string::npos);
  EXPECT_NE(description(spread, u"=REF(\"A1\",1").find(u"cannot read"), std::u16string::npos);
  for (const char16_t* formula :
       {u"=REFS(\"A1\",1)", u"=REF(\"A1\",1)+1", u"=REF(\"A1\",1 2)", u"REF(\"A1\",1)"})
    EXPECT_NE(description(spread, formula).find(u"cannot read"), std::u16string::npos) << toUtf8(formula);

  // A doubled quote stays inside the text; a single one would end it.
  EXPECT_EQ(description(spread, u"=REF(\"B\"\"3\",1)"),
            u"'B\"3' is not a cell address (a column and a row, as B3)");
  EXPECT_NE(description(spread, u"=REF(\"B\"3\",1)").find(u"cannot read"), std::u16string::npos);
  member(spread, 32, InvokeKind::PropertyPut,
         {Variant(uR"({"sheets": [{"name": "S"}, {"name": "他说\"好\"", "cells": {"A1": 5}}]})")});
  EXPECT_EQ(ref(spread, u"=REF(\"A1\",\"他说\"\"好\"\"\")"), Variant(5.0));

  EXPECT_EQ(errorNumber([&] { member(spread, 32, InvokeKind::PropertyPut, {Variant(42)}); }),
            errors::TypeMismatch);
}

TEST_F(ReportStoreTest, NamedPropertiesOfEachKindLiveWithTheLoadedWorkbook) {
  const ObjectRef spread = CreateObject(u"ZPSPREADLib.ZpSpread120");
  const Variant minusOne(-1), text(8), flags(1);
  EXPECT_EQ(errorNumber([&] { member(spread, 82, kGet, {Variant(u"报表名")}); }),
            errors::InvalidProcedureCall);
  member(spread, 45, InvokeKind::Method, {Variant(u"报表名"), text, flags});
  member(spread, 48, InvokeKind::Method, {Variant(u"数据源"), text, flags});
  EXPECT_EQ(member(spread, 82, kGet, {Variant(u"报表名")}), Variant(u""));
  EXPECT_EQ(member(spread, 83, kGet, {Variant(u"数据源"), minusOne}), Variant(u""));
  // The two kinds are kept apart.
  EXPECT_EQ(errorNumber([&] {
              member(spread, 83, kGet, {Variant(u"报表名"), minusOne});
            }),
            errors::InvalidProcedureCall);

  member(spread, 32, InvokeKind::PropertyPut, {*retrieve(kLocal, u"利润表")});
  EXPECT_EQ(errorNumber([&] { member(spread, 82, kGet, {Variant(u"报表名")}); }),
            errors::InvalidProcedureCall);
  member(spread, 82, InvokeKind::PropertyPut, {Variant(u"报表名"), Variant(u"利润表")});
  member(spread, 83, InvokeKind::PropertyPut, {Variant(u"数据源"), minusOne, Variant(kLocal)});
  member(spread, 45, InvokeKind::Method,
         {Variant(u"报表名"), text, flags});  // creating again keeps the value
  EXPECT_EQ(member(spread, 82, kGet, {Variant(u"报表名")}), Variant(u"利润表"));
  EXPECT_EQ(member(spread, 83, kGet, {Variant(u"数据源"), minusOne}), Variant(kLocal));
  EXPECT_EQ(errorNumber([&] {
              member(spread, 83, kGet, {Variant(u"数据源"), Variant(0)});
            }),
            errors::InvalidProcedureCall);

  // The next workbook starts without them, and a name used before may come back with another type.
  member(spread, 45, InvokeKind::Method, {Variant(u"期数"), Variant(3), flags});
  member(spread, 82, InvokeKind::PropertyPut, {Variant(u"期数"), Variant(u"12")});
  EXPECT_EQ(member(spread, 82, kGet, {Variant(u"期数")}), Variant(12));
  member(spread, 32, InvokeKind::PropertyPut, {*retrieve(kLocal, u"利润表")});
  EXPECT_EQ(errorNumber([&] { member(spread, 82, kGet, {Variant(u"报表名")}); }),
            errors::InvalidProcedureCall);
  member(spread, 82, InvokeKind::PropertyPut, {Variant(u"期数"), Variant(u"第十二期")});
  EXPECT_EQ(member(spread, 82, kGet, {Variant(u"期数")}), Variant(u"第十二期"));
  EXPECT_EQ(errorNumber([&] { member(spread, 82, kGet, {Variant(u"报表名")}); }),
            errors::InvalidProcedureCall);
  // A put that fails leaves nothing of the last workbook's value behind.
  member(spread, 32, InvokeKind::PropertyPut, {*retrieve(kLocal, u"利润表")});
  EXPECT_EQ(errorNumber([&] {
              member(spread, 82, InvokeKind::PropertyPut, {Variant(u"期数"), Variant::null()});
            }),
            errors::InvalidUseOfNull);
  EXPECT_NE(member(spread, 82, kGet, {Variant(u"期数")}), Variant(u"第十二期"));

  // TabProps, as the component looks a sheet up by name.
  EXPECT_EQ(call(spread, u"TabProps", {Variant(1), Variant(std::int16_t{0})}), Variant(3));
  Variant tab[] = {Variant(3), Variant(2)};
  EXPECT_EQ(callByRef(spread, u"TabProps", tab), Variant(u"本年累计"));
  tab[1] = Variant(4);
  EXPECT_EQ(errorNumber([&] { callByRef(spread, u"TabProps", tab); }), errors::SubscriptOutOfRange);
  EXPECT_EQ(errorNumber([&] {
              call(spread, u"TabProps", {Variant(2), Variant(0)});
            }),
            errors::InvalidProcedureCall);
}

TEST_F(ReportStoreTest, TheReportSpreadsheetGivesSheetsPlacesAndNames) {
  const ObjectRef zps = loaded(u"ZPS20Lib.ZPS20", 20, blob(kLocal, 2));
  EXPECT_EQ(toLong(member(sheet(zps, Variant(0)), 14, kGet)), 1);
  EXPECT_EQ(toLong(member(sheet(zps, Variant(2)), 14, kGet)), 3);
  EXPECT_EQ(toLong(member(sheet(zps, Variant(u"本年累计")), 14, kGet)), 2);
  EXPECT_EQ(place(sheet(zps, Variant(1)), u"A4"), Variant(u"营业收入"));
  EXPECT_NEAR(toDouble(place(sheet(zps, Variant(0)), u"b4")),
              ledger(u"DFFS", {Variant(u"6001"), Variant(2024), Variant(12)}, kLocal), 0.005);
  EXPECT_EQ(errorNumber([&] { sheet(zps, Variant(3)); }), errors::SubscriptOutOfRange);
  EXPECT_EQ(errorNumber([&] { sheet(zps, Variant(u"3")); }),
            errors::SubscriptOutOfRange);  // a text is a name
  EXPECT_EQ(errorNumber([&] { place(sheet(zps, Variant(0)), u"Z99"); }), errors::SubscriptOutOfRange);
  EXPECT_EQ(errorNumber([&] { place(sheet(zps, Variant(0)), u"B"); }), errors::InvalidProcedureCall);

  // Defined names, read as the component reads a sheet's report context: Sheets.Item takes the
  // sheet's number from 1, and a sheet sees the workbook's names after its own.
  EXPECT_EQ(component::GetNameValue(u"__RptPeriod__", zps, Variant(2)), Variant(1.0));
  EXPECT_EQ(component::GetNameValue(u"__RptEndDate__", zps, Variant(2)), Variant(u"2024-12-31"));
  EXPECT_EQ(component::GetNameValue(u"__SelfDsn__", zps, Variant(1)), Variant(kLocal));
  EXPECT_EQ(component::GetNameValue(u"__RptYear__", zps), Variant(2024.0));
  EXPECT_EQ(component::GetNameValue(u"__NoSuchName__", zps, Variant(1)), Variant{});
  const ObjectRef south = loaded(u"ZPS20Lib.ZPS20", 20, blob(kSouth, 1));
  EXPECT_EQ(component::GetNameValue(u"__RptCurrency__", south, Variant(1)), Variant(u"综合本位币"));
}

// Records each FuncCall and answers it as `answer` says.
struct Listener {
  struct Raised {
    std::u16string sheet, function;
    VariantArray batch;
  };
  std::vector<Raised> raised;
  std::function<void(const std::u16string&, VariantArray&)> answer = [](const std::u16string&,
                                                                        VariantArray&) {};

  void connect(const ObjectRef& zps) {
    eventSourceOf(zps)->advise([this](std::u16string_view event, Args& args) {
      ASSERT_EQ(event, u"FuncCall");
      raised.push_back({toText(args[0]), toText(args[1]), args[2].array()});
      answer(toText(args[1]), args[2].mutableArray());
    });
  }
};

TEST_F(ReportStoreTest, LoadingRaisesFuncCallPerSheetAndFunctionAndKeepsTheAnswers) {
  const Variant data = blob(kLocal, 1);
  const ObjectRef zps = CreateObject(u"ZPS20Lib.ZPS20");
  Listener listener;
  listener.answer = [](const std::u16string& function, VariantArray& batch) {
    if (function != u"QMYE") return;  // the other rows are left alone
    for (std::int32_t r = batch.lbound(1); r <= batch.ubound(1); ++r) batch(r, 1) = Variant(1000.0 + r);
    batch(1, 2) = Variant(u"#科目不存在");
  };
  listener.connect(zps);
  member(zps, 20, InvokeKind::PropertyPut, {data});

  std::vector<std::pair<std::u16string, std::u16string>> order;
  for (const auto& r : listener.raised) order.emplace_back(r.sheet, r.function);
  EXPECT_EQ(order, (std::vector<std::pair<std::u16string, std::u16string>>{{u"资产", u"QCYE"},
                                                                           {u"资产", u"QMYE"},
                                                                           {u"负债和所有者权益", u"QMYE"},
                                                                           {u"附注", u"SYSINFO"},
                                                                           {u"附注", u"RPTDATE"}}));
  // Rows in cell order: the call's arguments, the stored value, no error yet.
  const VariantArray& qmye = listener.raised[1].batch;
  ASSERT_EQ(qmye.ubound(1), 2);
  EXPECT_EQ(qmye(0, 0), Variant(VariantArray::of({Variant(u"1001"), Variant(2024.0), Variant(12.0)})));
  EXPECT_EQ(qmye(2, 0).array()(0), Variant(u"1122"));
  EXPECT_NEAR(toDouble(qmye(0, 1)), 116389.67, 0.005);
  EXPECT_TRUE(qmye(0, 2).isEmpty());

  const ObjectRef assets = sheet(zps, Variant(0));
  EXPECT_EQ(place(assets, u"C4"), Variant(1000.0));
  EXPECT_EQ(place(assets, u"C5"), Variant(u"#科目不存在"));
  EXPECT_EQ(place(assets, u"C6"), Variant(1002.0));
  EXPECT_NEAR(toDouble(place(assets, u"B4")), 85435.15, 0.005);
  EXPECT_EQ(place(sheet(zps, Variant(1)), u"C5"), Variant(1000.0));

  // Without a listener the stored values stay, though another control changed its copy.
  const ObjectRef quiet = loaded(u"ZPS20Lib.ZPS20", 20, data);
  EXPECT_NEAR(toDouble(place(sheet(quiet, Variant(0)), u"C4")), 116389.67, 0.005);
}

TEST_F(ReportStoreTest, RecomputingTheStoredReportsReproducesTheirFigures) {
  for (const char16_t* props : {kLocal, kSouth}) {
    for (std::int32_t id : {1, 2}) {
      const ObjectRef zps = CreateObject(u"ZPS20Lib.ZPS20");
      Listener listener;
      listener.answer = [&](const std::u16string& function, VariantArray& batch) {
        if (function == u"SYSINFO" || function == u"RPTDATE" || function.ends_with(u"REF_F")) return;
        for (std::int32_t r = batch.lbound(1); r <= batch.ubound(1); ++r) {
          std::vector<Variant> args(batch(r, 0).array().elements().begin(),
                                    batch(r, 0).array().elements().end());
          batch(r, 1) = Variant(ledger(function, args, props));
        }
      };
      listener.connect(zps);
      const Variant data = blob(props, id);
      member(zps, 20, InvokeKind::PropertyPut, {data});
      ASSERT_FALSE(listener.raised.empty());
      const auto book = sample::parseWorkbook(toUtf8(toText(data)));
      for (std::size_t s = 0; s < book->sheets.size(); ++s) {
        for (const auto& [at, cell] : book->sheets[s].cells) {
          if (!cell.call) continue;
          const Variant now =
              place(sheet(zps, Variant(static_cast<std::int32_t>(s))), sample::addressText(at));
          if (cell.value.isString()) {
            EXPECT_EQ(now, cell.value) << toUtf8(cell.formula);
          } else {
            EXPECT_NEAR(toDouble(now), toDouble(cell.value), 0.005) << toUtf8(cell.formula);
          }
        }
      }
    }
  }
}

TEST_F(ReportStoreTest, AReportThatLoadsItselfFailsInsteadOfNestingForever) {
  const int id = system->ledger().storeReport(
      "本地账套", "自引用",
      R"js({"sheets": [{"name": "S", "cells": {"A1": {"formula": "=VEX_REF_F(3,\"A1\")"}}}]})js");
  ASSERT_EQ(id, 3);
  int loads = 0;
  std::function<void(const ObjectRef&)> connect = [&](const ObjectRef& zps) {
    eventSourceOf(zps)->advise([&](std::u16string_view, Args&) {
      ++loads;
      const ObjectRef nested = CreateObject(u"ZPS20Lib.ZPS20");
      connect(nested);
      member(nested, 20, InvokeKind::PropertyPut, {blob(kLocal, id)});
    });
  };
  const ObjectRef zps = CreateObject(u"ZPS20Lib.ZPS20");
  connect(zps);
  const auto e = errorOf([&] { member(zps, 20, InvokeKind::PropertyPut, {blob(kLocal, id)}); });
  ASSERT_TRUE(e);
  EXPECT_NE(e->description().find(u"refers to itself"), std::u16string::npos);
  EXPECT_EQ(loads, 16);
}

TEST_F(ReportStoreTest, AStoredReportThatCannotBeReadIsHandedOutAndRefusedWhereItIsRead) {
  const std::string broken = R"({"sheets": [{"name": "S", "cells": {"A1": 1}})";
  system->ledger().storeReport("本地账套", "残表", broken);
  const auto data = retrieve(kLocal, u"残表");
  ASSERT_TRUE(data);
  EXPECT_EQ(toText(*data), fromUtf8(broken));
  for (const auto& control : {std::pair(u"ZPSPREADLib.ZpSpread120", 32), {u"ZPS20Lib.ZPS20", 20}}) {
    const auto e = errorOf([&] { loaded(control.first, control.second, *data); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->number(), errors::InvalidProcedureCall);
    EXPECT_NE(e->description().find(u"cannot be read"), std::u16string::npos);
  }
  VariantArray batch({Bounds{0, 0}, Bounds{0, 2}});
  batch(0, 0) = Variant(VariantArray::of({Variant(u"残表"), Variant(u"A1")}));
  Variant args[] = {Variant(std::move(batch))};
  callByRef(CreateObject(u"Ostrel.CsRpt"), u"Cs_REF_F", args);
  EXPECT_EQ(args[0].array()(0, 2), Variant(u"#报表格式错误"));
}

TEST_F(ReportStoreTest, ConsolidationSumsACellOverTheDataSources) {
  const std::vector<std::vector<Variant>> rows = {
      {Variant(u"资产负债表"), Variant(u"C5")},
      {Variant(u" 资产负债表"), Variant(u"c5"), Variant(u"资产")},
      {Variant(u"利润表"), Variant(u"B4"), Variant(2)},
      {Variant(u"利润表"), Variant(u"B4"), Variant(3)},  // 华南账套's has two sheets
      {Variant(u"利润表"), Variant(u"B4"), Variant(u"1e999")},
      {Variant(u"无此报表"), Variant(u"A1")},
      {Variant(u"资产负债表"), Variant(u"A1")},
      {Variant(u"资产负债表"), Variant(u"Z99")},
      {Variant(u""), Variant(u"A1")},
      {Variant(u"资产负债表"), Variant(u"")},
  };
  VariantArray batch({Bounds{1, static_cast<std::int32_t>(rows.size())}, Bounds{0, 2}});
  for (std::size_t r = 0; r < rows.size(); ++r)
    batch(static_cast<std::int32_t>(r) + 1, 0) = Variant(VariantArray::of(rows[r]));
  Variant args[] = {Variant(std::move(batch))};
  EXPECT_EQ(callByRef(CreateObject(u"Ostrel.CsRpt"), u"Cs_REF_F", args), Variant(0));

  const VariantArray& out = args[0].array();
  const double bank = ledger(u"QMYE", {Variant(u"1002"), Variant(2024), Variant(12)}, kLocal) +
                      ledger(u"QMYE", {Variant(u"1002"), Variant(2024), Variant(12)}, kSouth);
  EXPECT_NEAR(toDouble(out(1, 1)), bank, 0.01);
  EXPECT_NEAR(toDouble(out(2, 1)), bank, 0.01);
  EXPECT_EQ(out(1, 2), Variant(u""));
  EXPECT_NEAR(toDouble(out(3, 1)), 246924.18 + 245366.46, 0.01);
  const std::vector<std::u16string> errors = {u"#表页不存在", u"#表页不存在", u"#报表不存在",  u"#不是数值",
                                              u"#单元不存在", u"#报表名为空", u"#取数内容为空"};
  for (std::size_t k = 0; k < errors.size(); ++k) {
    EXPECT_EQ(out(static_cast<std::int32_t>(k) + 4, 2), Variant(errors[k])) << k;
    EXPECT_TRUE(out(static_cast<std::int32_t>(k) + 4, 1).isEmpty());
  }
}

TEST_F(ReportStoreTest, WorkbookTextIsReadOnceAndMalformedTextIsPlacedExactly) {
  const std::string text = toUtf8(*retrievedText(kLocal, u"资产负债表"));
  EXPECT_EQ(sample::parseWorkbook(text), sample::parseWorkbook(std::string(text)));

  const auto call = sample::parseFunctionCall(u" = f ( \"a\"\"b\" , -1.5e2,TRUE, ,x1)");
  EXPECT_FALSE(call);  // x1 is a reference, not a literal
  const auto literal = sample::parseFunctionCall(u"=f(\"a\"\"b\", -1.5e2,TRUE,)");
  ASSERT_TRUE(literal);
  EXPECT_EQ(literal->name, u"F");
  EXPECT_EQ(literal->args,
            (std::vector<Variant>{Variant(u"a\"b"), Variant(-150.0), Variant(true), Variant{}}));

  const auto reason = [](const std::string& book) {
    const auto e = errorOf([&] { sample::parseWorkbook(book); });
    return e ? toUtf8(e->description()) : "(read)";
  };
  EXPECT_NE(reason("{\"sheets\": [\n{\"name\": }]}").find("line 2, column 10"), std::string::npos);
  EXPECT_NE(reason(R"({"sheets": []})").find("at least one sheet"), std::string::npos);
  EXPECT_NE(reason(R"({"sheets": [{"name": "a"}, {"name": "A"}]})").find("two sheets are named A"),
            std::string::npos);
  EXPECT_NE(reason(R"({"sheets": [{"name": "S", "cells": {"A1": 1, "a1": 2}}]})").find("cell a1"),
            std::string::npos);
  EXPECT_NE(reason(R"({"sheets": [{"name": "S", "cells": {"A0": 1}}]})").find("\"A0\" is not a cell address"),
            std::string::npos);
  EXPECT_NE(
      reason(R"({"sheets": [{"name": "S", "cells": {"B2": {"value": 1}}}]})").find("sheet 1 (S), cell B2"),
      std::string::npos);
  EXPECT_NE(reason(R"({"sheets": [{"name": "S", "cells": {"B2": [1]}}]})").find("neither"),
            std::string::npos);
}

}  // namespace
