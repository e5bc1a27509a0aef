// The embedded sample report system: catalogue, ledger, value lists, calculation, languages.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include <fstream>
#include <set>

#include "automation/ClassRegistry.h"
#include "automation/Conversions.h"
#include "automation/Text.h"
#include "automation/VariantArray.h"
#include "cfunc/CFunc.h"
#include "component/ReportContext.h"
#include "component/SharedHelpers.h"
#include "environment/Localisation.h"
#include "forms/FormObject.h"
#include "forms/headless/HeadlessBackend.h"
#include "outside/FuncInfo.h"
#include "platform/Process.h"
#include "sample/Database.h"
#include "sample/FuncInfo.h"
#include "sample/Ledger.h"
#include "sample/SampleSystem.h"
#include "support/Errors.h"
#include "support/TempConfig.h"

namespace {

using namespace automation;
using sample::FuncInfoObject;
using testing_support::errorOf;

class SampleSystemTest : public ::testing::Test {
 protected:
  SampleSystemTest()
      : system(std::make_shared<sample::SampleSystem>(sample::defaultOptions())),
        catalogue(std::make_shared<FuncInfoObject>(system)) {}

  // A batch of one function's calls: each row's argument list in column 0.
  static Variant batchOf(const std::vector<std::vector<Variant>>& rows) {
    VariantArray batch({Bounds{0, static_cast<std::int32_t>(rows.size()) - 1}, Bounds{0, 2}});
    for (std::size_t r = 0; r < rows.size(); ++r)
      batch(static_cast<std::int32_t>(r), 0) = Variant(VariantArray::of(rows[r]));
    return Variant(std::move(batch));
  }
  // An independent reading of the ledger, straight from its tables.
  double sql(const std::string& query) {
    sample::Statement q = system->ledger().database().prepare(query);
    q.step();
    return q.real(0);
  }

  testing_support::TempConfig config;
  std::shared_ptr<sample::SampleSystem> system;
  std::shared_ptr<FuncInfoObject> catalogue;
};

TEST_F(SampleSystemTest, TheCatalogueHoldsTheSpecialFunctionsAndEveryTypeCode) {
  const auto& data = system->catalogue();
  EXPECT_EQ(data.groups, (std::vector<std::u16string>{u"账务函数", u"报表函数", u"日期函数", u"系统函数"}));
  for (const char16_t* name :
       {u"REF", u"REF_F", u"VEX_REF_F", u"CS_REF_F", u"PAGENAME", u"PAGENO", u"REF_EXCEL", u"CASHFLOW",
        u"DATEDIFF", u"ACCT", u"ACCTEXT", u"SYSINFO", u"RPTDATE", u"ITEM"}) {
    EXPECT_NE(data.find(name), nullptr) << toUtf8(name);
  }
  EXPECT_EQ(data.find(u"CASHFLOW")->params.front().name, u"报表方案");
  EXPECT_FALSE(data.find(u"hjqm")->fixed);
  EXPECT_EQ(data.find(u"HJQM")->maxParams, 20);
  std::set<std::int32_t> types;
  for (const auto& p : data.find(u"ZBFX")->params) types.insert(p.type);
  EXPECT_EQ(types, (std::set<std::int32_t>{3, 5, 6, 7, 8, 11, 12, 14}));

  // Through late binding, as the component reads it.
  const outside::FuncInfoCalls calls(catalogue);
  const outside::FuncDescriptorCalls qcye(calls.getFuncInfo(u"qcye"));
  EXPECT_EQ(qcye.funcName(), u"QCYE");
  EXPECT_TRUE(qcye.fixParamNum());
  EXPECT_EQ(outside::collectionCount(qcye.paramsInfo()), 5);
  const outside::ParamItemCalls dsn(objectOf(outside::collectionItem(qcye.paramsInfo(), 5)));
  EXPECT_TRUE(dsn.isDsn());
  EXPECT_TRUE(dsn.isList());
  const auto unknown = errorOf([&] { calls.getFuncInfo(u"NOSUCH"); });
  ASSERT_TRUE(unknown);
  EXPECT_NE(unknown->description().find(u"'NOSUCH'"), std::u16string::npos);
  EXPECT_EQ(calls.getGroupFuncList(u"日期函数").array().size(), 2u);
  EXPECT_EQ(calls.getGroupFuncList(u"").array().size(), data.functions().size());
}

TEST_F(SampleSystemTest, MalformedCatalogueFilesAreNamedWithThePosition) {
  const auto dir = config.dir() / "catalogue";
  std::filesystem::create_directories(dir);
  std::ofstream(dir / "broken.json")
      << "{\n  \"groups\": [\n    {\"name\": \"甲\", \"functions\": [}\n  ]\n}\n";
  try {
    sample::loadCatalogue(dir / "broken.json");
    FAIL() << "no error";
  } catch (const sample::CatalogueError& e) {
    EXPECT_NE(std::string(e.what()).find("broken.json"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("line 3, column 33"), std::string::npos) << e.what();
  }
  std::ofstream(dir / "badtype.json")
      << R"({"groups": [{"name": "g", "functions": [{"name": "F", "params": [{"name": "p", "type": 2.5}]}]}]})";
  EXPECT_THROW(sample::loadCatalogue(dir / "badtype.json"), sample::CatalogueError);
  std::ofstream(dir / "twice.json")
      << R"({"groups": [{"name": "g", "functions": [{"name": "F"}, {"name": "f"}]}]})";
  EXPECT_THROW(sample::loadCatalogue(dir / "twice.json"), sample::CatalogueError);
}

// Catalogue files written for one test: whatever is wrong in them must come back as a CatalogueError
// that says where.
class SampleSystemCatalogueFilesTest : public ::testing::Test {
 protected:
  SampleSystemCatalogueFilesTest() { std::filesystem::create_directories(dir()); }

  std::filesystem::path dir() const { return config.dir() / "catalogue"; }
  std::filesystem::path write(const std::string& name, const std::string& content) const {
    std::ofstream(dir() / name, std::ios::binary) << content;
    return dir() / name;
  }
  // The message of the CatalogueError loading raises; any other outcome fails the test.
  static std::string errorOf(const std::filesystem::path& path) {
    try {
      sample::loadCatalogue(path);
      ADD_FAILURE() << path << " loaded";
    } catch (const sample::CatalogueError& e) {
      return e.what();
    } catch (const std::exception& e) {
      ADD_FAILURE() << path << " raised something else: " << e.what();
    }
    return {};
  }
  // A file of one group 账务函数 with the function QMYE: `function` is added to the function's fields,
  // `param` to those of its one parameter 科目代码 unless the function brings its own "params".
  static std::string catalogueWith(const std::string& function, const std::string& param = "") {
    return R"({"groups": [{"name": "账务函数", "functions": [{"name": "QMYE")" +
           (function.empty() ? "" : ", " + function) +
           (function.find("\"params\"") != std::string::npos
                ? ""
                : R"(, "params": [{"name": "科目代码")" + (param.empty() ? "" : ", " + param) + "}]") +
           "}]}]}";
  }

  testing_support::TempConfig config;
};

TEST_F(SampleSystemCatalogueFilesTest, WrongFieldsAndOutOfRangeNumbersAreNamed) {
  struct Case {
    std::string file;
    std::string content;
    std::vector<std::string> named;  // besides the file
  };
  const std::string param = "function QMYE: parameter 科目代码: ";
  const std::string typeRule = R"("type" must be a whole number from 0 to 65535)";
  const std::string maxRule = R"("maxParams" must be a whole number from 0 to 2147483647)";
  const std::vector<Case> cases = {
      // Fields of a parameter.
      {"list.json", catalogueWith("", R"("list": 7)"), {param + R"("list" must be a text)"}},
      {"type-text.json", catalogueWith("", R"("type": "x")"), {param + typeRule}},
      {"dsn.json", catalogueWith("", R"("dsn": 1)"), {param + R"("dsn" must be true or false)"}},
      {"window.json",
       catalogueWith("", R"("customWindow": "no")"),
       {param + R"("customWindow" must be true)"}},
      {"default-array.json", catalogueWith("", R"("default": [1])"), {param + R"("default" must be a text)"}},
      {"default-object.json", catalogueWith("", R"("default": {})"), {param + R"("default" must be a text)"}},
      {"default-null.json", catalogueWith("", R"("default": null)"), {param + R"("default" must be a text)"}},
      {"param-text.json",
       catalogueWith("", R"("description": false)"),
       {param + R"("description" must be a text)"}},
      {"param-name.json",
       catalogueWith(R"("params": [{"name": "科目代码"}, {"name": 2}])"),
       {R"(function QMYE: parameter 2: "name" must be a text)"}},
      {"param-kind.json",
       catalogueWith(R"("params": [8])"),
       {"function QMYE: parameter 1 must be an object"}},
      // Fields of a function.
      {"params.json", catalogueWith(R"("params": {})"), {R"(function QMYE: "params" must be an array)"}},
      {"variable.json",
       catalogueWith(R"("variable": "yes")"),
       {R"(function QMYE: "variable" must be true or false)"}},
      {"max-text.json", catalogueWith(R"("maxParams": "many")"), {"function QMYE: " + maxRule}},
      {"description.json",
       catalogueWith(R"("description": ["a"])"),
       {R"(function QMYE: "description" must be a text)"}},
      {"function-name.json",
       R"({"groups": [{"name": "账务函数", "functions": [{"name": "QMYE"}, {"name": null}]}]})",
       {R"(group 账务函数: function 2: "name" must be a text)"}},
      {"function-kind.json",
       R"({"groups": [{"name": "账务函数", "functions": ["QMYE"]}]})",
       {"group 账务函数: function 1 must be an object"}},
      // Groups.
      {"functions.json",
       R"({"groups": [{"name": "账务函数", "functions": {}}]})",
       {R"(group 账务函数: "functions" must be an array)"}},
      {"group-name.json",
       R"({"groups": [{"name": 1, "functions": []}]})",
       {R"(group 1: "name" must be a text)"}},
      {"group-kind.json",
       R"({"groups": [{"name": "g", "functions": []}, []]})",
       {"group 2 must be an object"}},
      // Numbers that are not whole or out of range.
      {"type-huge.json", catalogueWith("", R"("type": 1e300)"), {param + typeRule}},
      {"type-half.json", catalogueWith("", R"("type": 2.5)"), {param + typeRule}},
      {"type-negative.json", catalogueWith("", R"("type": -1)"), {param + typeRule}},
      {"type-wide.json", catalogueWith("", R"("type": 65536)"), {param + typeRule}},
      {"max-huge.json",
       catalogueWith(R"("variable": true, "maxParams": 1e20)"),
       {"function QMYE: " + maxRule}},
      {"max-integer.json",
       catalogueWith(R"("variable": true, "maxParams": 100000000000000000000)"),
       {"function QMYE: " + maxRule}},
      {"max-negative.json", catalogueWith(R"("maxParams": -1)"), {"function QMYE: " + maxRule}},
      {"max-long.json", catalogueWith(R"("maxParams": 2147483648)"), {"function QMYE: " + maxRule}},
      {"overflow.json", catalogueWith("", R"("default": 1e400)"), {"out of range", "1e400"}},
  };
  for (const Case& c : cases) {
    const std::string message = errorOf(write(c.file, c.content));
    EXPECT_NE(message.find(c.file + ": "), std::string::npos) << message;
    for (const std::string& part : c.named) EXPECT_NE(message.find(part), std::string::npos) << message;
  }
}

TEST_F(SampleSystemCatalogueFilesTest, FilesAreReadUpToTheSizeLimitAndMustExist) {
  // Valid JSON to the last byte, so only the limit can refuse it.
  std::string padded = catalogueWith("");
  padded.resize(sample::kCatalogueFileLimit, ' ');
  EXPECT_NE(sample::loadCatalogue(write("full.json", padded)).find(u"QMYE"), nullptr);
  padded.push_back(' ');
  EXPECT_NE(errorOf(write("over.json", padded)).find("over.json: larger than 16 MiB, not a catalogue"),
            std::string::npos);
  // Endless: only the limit ends the reading.
  EXPECT_NE(errorOf("/dev/zero").find("/dev/zero: larger than 16 MiB"), std::string::npos);
  // A device that waits for input (a terminal no one types into) is refused, not waited on.
  const int terminal = ::posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(terminal, 0);
  ASSERT_EQ(::grantpt(terminal), 0);
  ASSERT_EQ(::unlockpt(terminal), 0);
  const std::string side = ::ptsname(terminal);
  EXPECT_NE(errorOf(side).find(side + ": is a device that waits for input"), std::string::npos) << errorOf(side);
  ::close(terminal);

  EXPECT_NE(errorOf(dir() / "missing.json").find("missing.json: does not exist"), std::string::npos);
  EXPECT_NE(errorOf(dir() / "missing" / "ledger.json").find("missing/ledger.json: does not exist"),
            std::string::npos);
  std::filesystem::create_directories(dir() / "empty" / "folder.json");  // a folder is no catalogue file
  EXPECT_NE(errorOf(dir() / "empty").find("empty: no catalogue files"), std::string::npos);

  // A function has no more parameters than the editor has rows.
  std::string params = R"({"name": "P"})";
  for (std::size_t i = 1; i < sample::kMostParams; ++i) params += R"(, {"name": "P"})";
  EXPECT_EQ(sample::loadCatalogue(write("most.json", catalogueWith(R"("params": [)" + params + "]")))
                .find(u"QMYE")
                ->params.size(),
            sample::kMostParams);
  params += R"(, {"name": "P"})";
  EXPECT_NE(errorOf(write("more.json", catalogueWith(R"("params": [)" + params + "]")))
                .find("function QMYE: more than 32768 parameters"),
            std::string::npos);
}

TEST_F(SampleSystemCatalogueFilesTest, ALargeCatalogueFindsEveryFunctionAndRefusesATwin) {
  // Spread over files as a large catalogue is, each under the file limit.
  for (int file = 0; file < 4; ++file) {
    std::string functions;
    for (int i = 0; i < 25000; ++i) {
      functions += (i > 0 ? R"(,{"name":"F)" : R"({"name":"F)") + std::to_string(file * 25000 + i) + R"("})";
    }
    write("functions-" + std::to_string(file) + ".json",
          R"({"groups":[{"name":"g","functions":[)" + functions + "]}]}");
  }
  const sample::CatalogueData data = sample::loadCatalogue(dir());
  ASSERT_EQ(data.functions().size(), 100000u);
  EXPECT_EQ(data.find(u" f99999 ")->name, u"F99999");
  EXPECT_EQ(data.find(u"F0"), &data.functions().front());
  EXPECT_EQ(data.find(u"F100000"), nullptr);
  write("functions-4.json", R"({"groups":[{"name":"h","functions":[{"name":" f7 "}]}]})");
  EXPECT_NE(errorOf(dir()).find("functions-4.json: function  f7 : defined twice"), std::string::npos);
}

TEST_F(SampleSystemCatalogueFilesTest, EveryTypeCodeLoadsAndLargeDefaultsStayExact) {
  const auto path = write("codes.json", R"({"groups": [{"name": "g", "functions": [
      {"name": "CODES", "variable": true, "maxParams": 2147483647, "params": [
        {"name": "byte", "type": 17, "default": 2147483647},
        {"name": "none", "type": 0, "default": 2147483648},
        {"name": "integer", "type": 2.0, "default": -2147483649},
        {"name": "last", "type": 65535, "default": 1.5}]},
      {"name": "FIXED", "maxParams": 9, "params": [{"name": "a"}]},
      {"name": "OWN", "params": [{"name": "a"}, {"name": "b"}]}]}]})");
  const sample::CatalogueData data = sample::loadCatalogue(path);
  const sample::FunctionEntry& codes = *data.find(u"CODES");
  EXPECT_EQ(codes.maxParams, 2147483647);
  // A fixed function accepts its own parameters unless the file gives a number.
  EXPECT_EQ(data.find(u"FIXED")->maxParams, 9);
  EXPECT_EQ(data.find(u"OWN")->maxParams, 2);
  ASSERT_EQ(codes.params.size(), 4u);
  EXPECT_EQ(codes.params[1].type, 0);
  EXPECT_EQ(codes.params[2].type, 2);
  EXPECT_EQ(codes.params[3].type, 65535);
  EXPECT_EQ(codes.params[0].def, Variant(2147483647));
  EXPECT_EQ(codes.params[1].def, Variant(2147483648.0));
  EXPECT_EQ(codes.params[2].def, Variant(-2147483649.0));
  EXPECT_EQ(codes.params[3].def, Variant(1.5));

  // The component reads the code as it is written.
  sample::SampleOptions options = sample::defaultOptions();
  options.catalogue = path;
  const outside::FuncInfoCalls calls(
      std::make_shared<FuncInfoObject>(std::make_shared<sample::SampleSystem>(options)));
  const outside::FuncDescriptorCalls descriptor(calls.getFuncInfo(u"codes"));
  const outside::ParamItemCalls byte(objectOf(outside::collectionItem(descriptor.paramsInfo(), 1)));
  EXPECT_EQ(byte.dataType(), 17);
  EXPECT_EQ(byte.defValue().type(), VarType::Long);
}

TEST_F(SampleSystemTest, RecentlyUsedFunctionsComeFirstAndPersist) {
  const auto names = [&](FuncInfoObject& c) {
    std::vector<std::u16string> out;
    const Variant list = c.FuncURL();
    for (const Variant& v : list.array().elements()) out.push_back(v.asString());
    return out;
  };
  EXPECT_EQ(names(*catalogue), (std::vector<std::u16string>{u"QMYE", u"QCYE", u"JFFS", u"DFFS", u"REF_F"}));
  for (const char16_t* used : {u"HL", u"sysinfo", u"HL", u"NOSUCH"}) catalogue->MaintainURL(used);
  EXPECT_EQ(names(*catalogue)[0], u"HL");
  EXPECT_EQ(names(*catalogue)[1], u"SYSINFO");
  // Another process (a new system) reads the same file.
  FuncInfoObject later(std::make_shared<sample::SampleSystem>(sample::defaultOptions()));
  EXPECT_EQ(names(later)[0], u"HL");
  EXPECT_EQ(system->usage().count(u"NOSUCH"), 0u);
}

TEST_F(SampleSystemTest, ValueListsHaveCaptionsValuesAndSortMarkers) {
  const Variant accounts = catalogue->GetInfoToShow(u"QCYE", u"科目代码", u"", u"");
  ASSERT_TRUE(accounts.isArray());
  const VariantArray& t = accounts.array();
  EXPECT_EQ(t(0, 0), Variant(u"科目代码"));
  EXPECT_EQ(t(1, 0), Variant(u"1001"));
  EXPECT_EQ(t(1, 1), Variant(u"库存现金"));
  EXPECT_EQ(t(t.ubound(1), 0), Variant(u"Up"));
  EXPECT_EQ(t.ubound(1) - 1, 310);  // the first company's chart

  // The periods of the year typed in the row before; nothing for a year without periods.
  const Variant periods = catalogue->GetInfoToShow(u"QCYE", u"会计期间", u"", u"2023");
  ASSERT_TRUE(periods.isArray());
  EXPECT_EQ(periods.array()(2, 1), Variant(u"2023-02-01"));
  EXPECT_EQ(periods.array()(2, 2), Variant(u"2023-02-28"));
  EXPECT_TRUE(catalogue->GetInfoToShow(u"QCYE", u"会计期间", u"", u"1999").isEmpty());
  EXPECT_EQ(catalogue->GetInfoToShow(u"QCYE", u"币种", u"", u"").array()(1, 0), Variant(u"RMB"));
  EXPECT_EQ(catalogue->GetInfoToShow(u"REF_F", u"数据源", u"", u"").array()(1, 0), Variant(u"华南账套"));
  EXPECT_EQ(catalogue->GetInfoToShow(u"LJFS", u"取数类型", u"", u"").array()(2, 0), Variant(u"期末余额"));
  EXPECT_TRUE(catalogue->GetInfoToShow(u"QCYE", u"会计年度", u"", u"").isEmpty());   // no list
  EXPECT_TRUE(catalogue->GetInfoToShow(u"HJQM", u"科目5", u"", u"1001").isArray());  // an added row
  EXPECT_EQ(catalogue->GetInfoToShow(u"SYSINFO", u"信息类型", u"", u"").array()(1, 1),
            Variant(u"华东实业有限公司"));
}

TEST_F(SampleSystemTest, ValueListsFollowTheReportContext) {
  catalogue->context().set(u"CurPropsString", Variant(u"华南账套"));
  EXPECT_EQ(catalogue->GetInfoToShow(u"SYSINFO", u"信息类型", u"", u"").array()(1, 1),
            Variant(u"华南贸易有限公司"));
  catalogue->context().set(u"CurPropsString", Variant(u""));
  catalogue->context().set(u"DefPropsString", Variant(u"DSN=华南账套;COMPANY=2"));
  EXPECT_EQ(catalogue->GetInfoToShow(u"SYSINFO", u"信息类型", u"", u"").array()(1, 1),
            Variant(u"华南贸易有限公司"));
  catalogue->context().set(u"DefPropsString", Variant(u""));
  catalogue->context().set(u"CompanyID", Variant(99));  // a company the ledger does not have
  EXPECT_EQ(catalogue->GetInfoToShow(u"QCYE", u"科目代码", u"", u"").type(), VarType::Error);
}

TEST_F(SampleSystemTest, CallFuncMatchesTheLedgerFigures) {
  catalogue->context().set(u"RptYear", Variant(2024));
  catalogue->context().set(u"RptPeriod", Variant(3));
  catalogue->context().set(u"RptEndDate", Variant(u"2024-03-31"));
  const auto sum = [&](const std::string& column, const std::string& where) {
    return sql("SELECT SUM(" + column + ") FROM balances WHERE company_id = 1 AND currency = 'RMB' AND " +
               where);
  };
  struct Case {
    const char16_t* func;
    std::vector<Variant> args;
    double value;
  };
  const std::vector<Case> cases = {
      {u"QCYE",
       {Variant(u"1002"), Variant(2023), Variant(5)},
       sum("opening", "substr(account, 1, 4) = '1002' AND year = 2023 AND period = 5")},
      {u"QMYE",
       {Variant(u"1002")},
       sum("closing", "substr(account, 1, 4) = '1002' AND year = 2024 AND period = 3")},
      {u"JFFS",
       {Variant(u"660201"), Variant(2024), Variant(7)},
       sum("debit", "account = '660201' AND year = 2024 AND period = 7")},
      {u"DFFS", {Variant(u"6602")}, sum("credit", "account LIKE '6602%' AND year = 2024 AND period = 3")},
      {u"JEFS",
       {Variant(u"1122")},
       sum("debit - credit", "account LIKE '1122%' AND year = 2024 AND period = 3")},
      {u"LJFS",
       {Variant(u"1001"), Variant(2024), Variant(1), Variant(3), Variant(u"贷方")},
       sum("credit", "account LIKE '1001%' AND year = 2024 AND period BETWEEN 1 AND 3")},
      {u"HJQM",
       {Variant(u"1001"), Variant(u"1002"), Variant(u"")},
       sum("closing", "substr(account, 1, 4) IN ('1001', '1002') AND year = 2024 AND period = 3")},
      {u"QMYE",
       {Variant(u"1002"), Variant(2024), Variant(3), Variant(u"USD")},
       sql("SELECT SUM(closing) FROM balances WHERE company_id = 1 AND currency = 'USD' AND account LIKE "
           "'1002%' "
           "AND year = 2024 AND period = 3")},
      {u"HL",
       {Variant(u"USD"), Variant(makeDate(2023, 6, 15))},
       sql("SELECT rate FROM rates WHERE currency = 'USD' AND year = 2023 AND period = 6")},
  };
  for (const Case& c : cases) {
    Variant batch = batchOf({c.args});
    Variant sheet;
    EXPECT_EQ(catalogue->CallFunc(c.func, batch, sheet), 0) << toUtf8(c.func);
    EXPECT_NEAR(toDouble(batch.array()(0, 1)), c.value, 1e-6) << toUtf8(c.func);
    EXPECT_EQ(batch.array()(0, 2), Variant(u""));
  }
  EXPECT_NE(cases[0].value, 0);

  Variant texts = batchOf({{Variant(u"公司名称")}, {Variant(u"报表年度")}});
  Variant sheet;
  catalogue->CallFunc(u"SYSINFO", texts, sheet);
  EXPECT_EQ(texts.array()(0, 1), Variant(u"华东实业有限公司"));
  EXPECT_EQ(texts.array()(1, 1), Variant(2024));
  Variant dates = batchOf({{Variant(u"yyyy年mm月dd日")}});
  catalogue->CallFunc(u"RPTDATE", dates, sheet);
  EXPECT_EQ(dates.array()(0, 1), Variant(u"2024年03月31日"));
  Variant diff = batchOf({{Variant(u"m"), Variant(u"2023-11-30"), Variant(u"2024-03-01")}});
  catalogue->CallFunc(u"DATEDIFF", diff, sheet);
  EXPECT_EQ(diff.array()(0, 1), Variant(4));
  Variant serials = batchOf({{Variant(u"m"), Variant(0.0), Variant(40.0)}});  // 1899-12-30 to 1900-02-08
  catalogue->CallFunc(u"DATEDIFF", serials, sheet);
  EXPECT_EQ(serials.array()(0, 1), Variant(2));
}

TEST_F(SampleSystemTest, BadRowsGetErrorTextsAndTheOthersAreComputed) {
  Variant batch =
      batchOf({{Variant(u"9999")},
               {Variant(u"1001"), Variant(2024), Variant(13)},
               {Variant(u"1001"), Variant(u"x")},
               {Variant(u"1001"), Variant(2024), Variant(1), Variant(u"RMB"), Variant(u"无此账套")},
               {Variant(u"1001")},
               {}});
  Variant sheet;
  EXPECT_EQ(catalogue->CallFunc(u"QMYE", batch, sheet), 5);
  const VariantArray& b = batch.array();
  EXPECT_EQ(b(0, 2), Variant(u"#科目不存在"));
  EXPECT_EQ(b(1, 2), Variant(u"#期间不存在"));
  EXPECT_EQ(b(2, 2), Variant(u"#参数错误"));
  EXPECT_EQ(b(3, 2), Variant(u"#数据源不存在"));
  EXPECT_EQ(b(4, 2), Variant(u""));
  EXPECT_TRUE(b(0, 1).isEmpty());
  EXPECT_EQ(b(5, 2), Variant(u"#参数错误"));
  Variant unknown = batchOf({{Variant(1)}});
  EXPECT_EQ(catalogue->CallFunc(u"CASHFLOWX", unknown, sheet), 1);
  EXPECT_EQ(unknown.array()(0, 2), Variant(u"#函数未定义"));
  Variant flat(VariantArray::of({Variant(1)}));
  EXPECT_EQ(testing_support::errorNumber([&] { catalogue->CallFunc(u"QMYE", flat, sheet); }),
            errors::SubscriptOutOfRange);
}

TEST_F(SampleSystemTest, InjectionShapedInputIsPlainData) {
  const double rows = sql("SELECT COUNT(*) FROM balances");
  Variant batch = batchOf({{Variant(u"1001' OR '1'='1")},
                           {Variant(u"1001; DROP TABLE balances; --")},
                           {Variant(u"1001"), Variant(2024), Variant(1), Variant(u"RMB"),
                            Variant(u"x'); DELETE FROM datasources; --")}});
  Variant sheet;
  EXPECT_EQ(catalogue->CallFunc(u"QMYE", batch, sheet), 3);
  EXPECT_EQ(batch.array()(0, 2), Variant(u"#科目不存在"));
  EXPECT_EQ(batch.array()(2, 2), Variant(u"#数据源不存在"));
  catalogue->context().set(u"CurPropsString", Variant(u"x'; DROP TABLE accounts; --"));
  EXPECT_EQ(catalogue->GetInfoToShow(u"QCYE", u"科目代码", u"", u"").type(), VarType::Error);
  EXPECT_EQ(sql("SELECT COUNT(*) FROM balances"), rows);
  EXPECT_EQ(sql("SELECT COUNT(*) FROM datasources"), 2);
  EXPECT_EQ(sql("SELECT COUNT(*) FROM accounts"), 620);
}

class SampleComponentsTest : public SampleSystemTest {
 protected:
  SampleComponentsTest() {
    component::resetComponentState();
    environment::resetLocalisationState();
    sample::clearPublishedProperties();
    sample::registerSampleComponents(classRegistry(), sample::defaultOptions());
    cfunc::registerComponentClasses(classRegistry());
  }
  ~SampleComponentsTest() override {
    component::resetComponentState();
    environment::resetLocalisationState();
    sample::clearPublishedProperties();
    classRegistry().clear();
  }
  void publish(const std::u16string& props) {
    sample::publishProperty(platform::currentProcessId(), u"PropsString", Variant(props));
  }
};

TEST_F(SampleComponentsTest, CFuncRunsOnTheSampleSystem) {
  publish(u"User=admin;Language=CHS");
  const ObjectRef cfunc = CreateObject(u"Formulist2.CFunc");
  EXPECT_EQ(toText(get(component::componentState().g_oFuncInfo, u"Properties", {Variant(u"DefPropsString")})),
            u"User=admin;Language=CHS");
  EXPECT_EQ(toText(call(CreateObject(u"Fenwick2.GlobalObj"), u"DsnPropsString", {Variant(u"本地账套")})),
            u"DSN=本地账套;COMPANY=1;DB=LEDGER");
  EXPECT_EQ(testing_support::errorNumber([] {
              call(CreateObject(u"Fenwick2.GlobalObj"), u"DsnPropsString", {Variant(u"../etc/passwd")});
            }),
            errors::InvalidProcedureCall);
  EXPECT_TRUE(component::LoadFuncParams(u"ZBFX"));
  EXPECT_EQ(component::GetParamDefaultText(1), u"2024");
}

TEST_F(SampleComponentsTest, LanguagesAndTheirTexts) {
  publish(u"Language=CHT");
  EXPECT_EQ(environment::GetCurrentLanguage(), u"CHT");
  EXPECT_EQ(environment::L(u"确认"), u"確認");
  EXPECT_EQ(environment::L(u"项目"), u"項目");
  EXPECT_EQ(environment::L(u"报表方案"), u"報表方案");  // as the catalogue's scheme parameter is shown
  environment::resetLocalisationState();
  publish(u"Language=EN");
  EXPECT_EQ(environment::L(u" 确认 "), u"OK");
  EXPECT_EQ(environment::L(u"项目"), u"Item");
  EXPECT_EQ(environment::L(u"报表系统不支持公式 "), u"The report system does not support the formula");
  EXPECT_EQ(environment::L(u"没有这个词"), u"没有这个词");  // a text the catalog lacks
  environment::resetLocalisationState();
  publish(u"");
  ::setenv("LANGUAGE", "zh_TW.UTF-8", 1);
  EXPECT_EQ(environment::GetCurrentLanguage(), u"CHT");
  ::setenv("LANGUAGE", "en_GB", 1);
  EXPECT_EQ(environment::GetCurrentLanguage(), u"EN");
  ::setenv("LANGUAGE", "C", 1);
  ::setenv("LC_ALL", "C", 1);
  ::setenv("LC_MESSAGES", "C", 1);
  ::setenv("LANG", "C", 1);
  EXPECT_EQ(environment::GetCurrentLanguage(), u"CHS");
  ::unsetenv("LANGUAGE");
}

TEST_F(SampleComponentsTest, TheLanguageFontAndTheCodec) {
  publish(u"Language=EN");
  forms::Form form(u"f");
  forms::TextBox box(form, u"box");
  environment::SetFormFont(form);
  EXPECT_EQ(form.font().name, u"Tahoma");
  EXPECT_EQ(box.font().charset, 0);

  const ObjectRef brisa = CreateObject(u"Brisa.BrisaCtrl.1");
  for (const char16_t* value : {u"华东实业 2024", u"", u"a", u"ab", u"abc"}) {
    const std::u16string encoded = toText(call(brisa, u"Encode", {Variant(value)}));
    EXPECT_TRUE(encoded.starts_with(u"ENCODE_"));
    EXPECT_EQ(component::DecodeNameValue(Variant(u"=\"" + encoded + u"\"")), Variant(value));
  }
  Variant damaged[] = {Variant(u"!!")};
  EXPECT_EQ(testing_support::errorNumber([&] { callByRef(brisa, u"Decode", damaged); }),
            errors::InvalidProcedureCall);
}

TEST_F(SampleComponentsTest, TheAccountChooserAnswersCodeAtName) {
  auto& ui = forms::headless::installed();
  ui.clearScript();
  ui.then([](forms::Form& shown) {
    forms::headless::type(shown, u"1002");
    forms::headless::press(shown, forms::keys::Return);
  });
  EXPECT_EQ(catalogue->GetParamText(u"ACCT", u"科目", u""), u"1002@银行存款");
  ui.then([](forms::Form& shown) { forms::headless::press(shown, forms::keys::Escape); });
  EXPECT_EQ(catalogue->GetParamText(u"ACCT", u"科目", u"1001@库存现金"), u"1001@库存现金");
  EXPECT_EQ(catalogue->GetParamText(u"QCYE", u"科目代码", u"as typed"), u"as typed");  // no entry window
}

}  // namespace

// The ledger cache only saves a build at the next start: a cache folder that cannot be written
// costs a ledger of the process's own in the temporary folder, which goes with it.
TEST(LedgerCacheTest, AnUnwritableCacheFolderCostsABuildOfTheProcesssOwn) {
  testing_support::TempConfig config;
  const std::filesystem::path temporary = config.dir().parent_path() / "tmp";
  std::filesystem::create_directories(temporary);
  const char* previous = std::getenv("TMPDIR");
  const std::string kept = previous != nullptr ? previous : "";
  ::setenv("TMPDIR", temporary.c_str(), 1);
  ::setenv("XDG_CACHE_HOME", "/dev/null", 1);  // a file: no folder can be made under it
  {
    const auto ledger = sample::Ledger::open(sample::defaultOptions().data);
    ASSERT_TRUE(ledger->company(1).has_value());
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(temporary), {}), 1);
  }
  EXPECT_TRUE(std::filesystem::is_empty(temporary));
  if (previous != nullptr) {
    ::setenv("TMPDIR", kept.c_str(), 1);
  } else {
    ::unsetenv("TMPDIR");
  }
}

namespace {

// A copy of the sample ledger's scripts in `to`/ledger, for a test to change.
std::filesystem::path copyOfTheLedgerScripts(const std::filesystem::path& to) {
  std::filesystem::remove_all(to);
  std::filesystem::create_directories(to / "ledger");
  for (const auto& entry : std::filesystem::directory_iterator(sample::defaultOptions().data / "ledger"))
    std::filesystem::copy_file(entry.path(), to / "ledger" / entry.path().filename());
  return to;
}

// Every ledger file of the cache cut to its first page, as a full disk or a crash leaves one.
void damageTheCache(const testing_support::TempConfig& config) {
  for (const auto& entry :
       std::filesystem::directory_iterator(config.dir().parent_path() / "cache" / "formulist2")) {
    if (entry.path().extension() == ".sqlite") std::filesystem::resize_file(entry.path(), 4096);
  }
}

Variant callOf(FuncInfoObject& catalogue, const std::u16string& func, std::vector<Variant> args) {
  VariantArray batch({Bounds{0, 0}, Bounds{0, 2}});
  batch(0, 0) = Variant(VariantArray::of(std::move(args)));
  Variant rows(std::move(batch)), sheet;
  catalogue.CallFunc(func, rows, sheet);
  return rows;
}

}  // namespace

// Damage found by a query, after the ledger was opened: the batch is computed again on a ledger built
// anew, once; damage that remains is the row's error, never a row without a value and without a word.
TEST(LedgerCacheTest, AQueryThatFindsTheLedgerDamagedBuildsItAgainOnceElseTheRowsSayIt) {
  testing_support::TempConfig config;
  const double expected = sample::Ledger::open(sample::defaultOptions().data)
                              ->amount(1, "1001", "RMB", 2024, 12, 12, sample::Amount::Closing);
  const auto system = std::make_shared<sample::SampleSystem>(sample::defaultOptions());
  const auto catalogue = std::make_shared<FuncInfoObject>(system);
  system->ledger();
  damageTheCache(config);
  testing::internal::CaptureStderr();
  const Variant healed = callOf(*catalogue, u"QMYE", {Variant(u"1001"), Variant(2024), Variant(12)});
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_EQ(healed.array()(0, 1), Variant(expected));
  EXPECT_EQ(healed.array()(0, 2), Variant(u""));
  EXPECT_NE(said.find("a query found the ledger"), std::string::npos) << said;

  damageTheCache(config);  // a company and year the healed ledger has not read yet
  const Variant failed = callOf(
      *catalogue, u"QMYE", {Variant(u"1001"), Variant(2023), Variant(3), Variant(u""), Variant(u"华南账套")});
  EXPECT_TRUE(failed.array()(0, 1).isEmpty());
  EXPECT_NE(toText(failed.array()(0, 2)).find(u"database disk image is malformed"), std::u16string::npos)
      << toUtf8(toText(failed.array()(0, 2)));
}

TEST(LedgerCacheTest, ALedgerThatCannotBeBuiltIsTheErrorOfEveryRow) {
  testing_support::TempConfig config;
  sample::SampleOptions options = sample::defaultOptions();
  options.data = copyOfTheLedgerScripts(config.dir().parent_path() / "own-data");
  std::ofstream(options.data / "ledger" / "seed.sql", std::ios::app)
      << "INSERT INTO no_such_table VALUES (1);\n";
  const auto catalogue = std::make_shared<FuncInfoObject>(std::make_shared<sample::SampleSystem>(options));
  for (const char16_t* func : {u"QMYE", u"CASHFLOW"}) {
    const std::u16string error = toText(callOf(*catalogue, func, {Variant(u"1001")}).array()(0, 2));
    EXPECT_NE(error.find(u"seed.sql: a script failed: no such table: no_such_table"), std::u16string::npos)
        << toUtf8(error);
  }
}

// The data folder's SQL builds the ledger file and reaches no other; a script that is no file is
// refused by name, not waited for.
TEST(LedgerCacheTest, TheLedgerScriptsReachNoOtherFile) {
  testing_support::TempConfig config;
  const std::filesystem::path reached = config.dir().parent_path() / "reached.db";
  const std::filesystem::path data = config.dir().parent_path() / "own-data";
  for (const std::string& sql : {"ATTACH DATABASE '" + reached.string() + "' AS reached;",
                                 "COMMIT; VACUUM INTO '" + reached.string() + "'; BEGIN;"}) {
    copyOfTheLedgerScripts(data);
    std::ofstream(data / "ledger" / "reports.sql", std::ios::app) << sql << "\n";
    try {
      sample::Ledger::open(data);
      ADD_FAILURE() << sql << " ran";
    } catch (const sample::DatabaseError& e) {
      EXPECT_NE(
          std::string(e.what()).find("reports.sql: ATTACH DATABASE '" + reached.string() + "' is refused"),
          std::string::npos)
          << e.what();
    }
    EXPECT_FALSE(std::filesystem::exists(reached)) << sql;
  }
  copyOfTheLedgerScripts(data);
  std::filesystem::remove(data / "ledger" / "cashflow.sql");
  ASSERT_EQ(::mkfifo((data / "ledger" / "cashflow.sql").c_str(), 0600), 0);
  try {
    sample::Ledger::open(data);
    ADD_FAILURE() << "a FIFO was read";
  } catch (const sample::DatabaseError& e) {
    EXPECT_NE(std::string(e.what()).find("cashflow.sql: is not a regular file"), std::string::npos)
        << e.what();
  }
}
