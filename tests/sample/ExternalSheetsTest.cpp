// REF_EXCEL's spreadsheet files: CSV as it is written in the wild, where a file may and may not be
// looked for, and REF_EXCEL through CallFunc on the shipped sample files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "automation/Conversions.h"
#include "automation/VariantArray.h"
#include "platform/Process.h"
#include "sample/ExternalSheets.h"
#include "sample/FuncInfo.h"
#include "sample/SampleSystem.h"
#include "support/TempConfig.h"

namespace {

using namespace automation;
using sample::readCsvText;
using sample::RowError;

sample::CellAddress at(std::u16string_view address) {
  return *sample::parseCellAddress(address);
}

// The worded reason a call raises, or "" when it raises none.
template <class Call>
std::u16string reasonOf(Call call) {
  try {
    call();
  } catch (const RowError& e) {
    return sample::wordedError(e, {});
  }
  return {};
}

TEST(CsvText, FieldsRowsQuotesAndNumbersAreReadAsSpreadsheetsWriteThem) {
  const sample::SheetCells cells = readCsvText(
      "\xEF\xBB\xBF"
      "名称,金额,备注\r\n"
      "现金,1200.5,\"含 \"\"备用金\"\", 零钱\"\r\n"
      "银行,-3e2,\"两行\n说明\"\n"
      "短行\r"
      " 12 ,+7,1,2,extra\n"
      ",,\"\"\n");
  ASSERT_EQ(cells.rows.size(), 6u);
  EXPECT_EQ(cells.columns, 5);
  EXPECT_EQ(cells.at(at(u"A1")), Variant(u"名称"));  // the byte-order mark is not read into the text
  EXPECT_EQ(cells.at(at(u"B2")), Variant(1200.5));
  EXPECT_EQ(cells.at(at(u"C2")), Variant(u"含 \"备用金\", 零钱"));
  EXPECT_EQ(cells.at(at(u"B3")), Variant(-300.0));
  EXPECT_EQ(cells.at(at(u"C3")), Variant(u"两行\n说明"));
  EXPECT_EQ(cells.at(at(u"A4")), Variant(u"短行"));  // a lone CR ends a row too
  EXPECT_EQ(cells.at(at(u"A5")), Variant(12.0));     // blanks around a number aside
  EXPECT_EQ(cells.at(at(u"B5")), Variant(7.0));
  EXPECT_EQ(cells.at(at(u"E5")), Variant(u"extra"));
  // Inside the file an empty or missing cell is Empty; past its last row or widest row there is none.
  EXPECT_EQ(cells.at(at(u"B4")), Variant{});
  EXPECT_EQ(cells.at(at(u"C6")), Variant{});
  EXPECT_EQ(cells.at(at(u"A7")), std::nullopt);
  EXPECT_EQ(cells.at(at(u"F1")), std::nullopt);
  // Texts that only look like numbers stay texts.
  const sample::SheetCells odd = readCsvText("1,234,inf,nan,0x10,1.2.3,\"5\",1e999,-\n");
  EXPECT_EQ(odd.at(at(u"A1")), Variant(1.0));
  EXPECT_EQ(odd.at(at(u"C1")), Variant(u"inf"));
  EXPECT_EQ(odd.at(at(u"D1")), Variant(u"nan"));
  EXPECT_EQ(odd.at(at(u"E1")), Variant(u"0x10"));
  EXPECT_EQ(odd.at(at(u"F1")), Variant(u"1.2.3"));
  EXPECT_EQ(odd.at(at(u"G1")), Variant(5.0));  // quoted, as spreadsheets read it
  EXPECT_EQ(odd.at(at(u"H1")), Variant(u"1e999"));
  EXPECT_EQ(odd.at(at(u"I1")), Variant(u"-"));
  EXPECT_TRUE(readCsvText("").rows.empty());
  EXPECT_EQ(readCsvText("a\n").rows.size(), 1u);  // the last line break ends the last row
}

TEST(CsvText, TextThatIsNoCsvIsRefusedWithTheReason) {
  EXPECT_EQ(reasonOf([] { readCsvText("a,b\nc,\"open\nd\n"); }), u"第 2 行的引号没有结束");
  EXPECT_EQ(reasonOf([] { readCsvText("\"x\"\"\n"); }), u"第 1 行的引号没有结束");
  EXPECT_EQ(reasonOf([] { readCsvText("金额,\xB3\xC9\xB1\xBE\n"); }), u"不是 UTF-8 文本");  // GBK
  EXPECT_EQ(reasonOf([] { readCsvText("\xED\xA0\x80"); }), u"不是 UTF-8 文本");             // a surrogate
  EXPECT_EQ(reasonOf([] { readCsvText("\xC0\xAF"); }), u"不是 UTF-8 文本");                 // overlong
  EXPECT_EQ(reasonOf([] { readCsvText("\xF0\x9F\x98\x80,ok"); }), u"");
}

class SheetFileTest : public ::testing::Test {
 protected:
  SheetFileTest() {
    std::filesystem::create_directories(folder / "sub");
    std::ofstream(folder / "预算.csv") << "a,1\n";
    std::ofstream(folder / "sub" / "明细.CSV") << "b,2\n";
    std::ofstream(outside / "secret.csv") << "x\n";
    std::ofstream(folder / "旧表.xls") << "binary";
    std::filesystem::create_directory(folder / "目录.csv");
    std::filesystem::create_symlink(outside / "secret.csv", folder / "链接.csv");
  }
  std::u16string refusal(std::u16string_view name) {
    return reasonOf([&] { sample::sheetFile(folder, name); });
  }

  testing_support::TempConfig config;
  std::filesystem::path outside = config.dir().parent_path();
  std::filesystem::path folder = outside / "sheets" / "本地账套";
};

TEST_F(SheetFileTest, ANameIsFoundInsideTheFolderWithOrWithoutItsExtension) {
  EXPECT_EQ(sample::sheetFile(folder, u"预算.csv"), folder / "预算.csv");
  EXPECT_EQ(sample::sheetFile(folder, u" 预算 "), folder / "预算.csv");
  EXPECT_EQ(sample::sheetFile(folder, u"sub/明细.CSV"), folder / "sub" / "明细.CSV");
  EXPECT_EQ(sample::sheetFile(folder, u"sub\\明细.CSV"), folder / "sub" / "明细.CSV");
  EXPECT_EQ(sample::readSheetFile(folder / "预算.csv").at(at(u"B1")), Variant(1.0));
  EXPECT_EQ(refusal(u""), u"#未指定电子表格文件");
  EXPECT_EQ(refusal(u"没有"), u"#电子表格文件“没有”不存在");
  EXPECT_EQ(refusal(u"旧表.xls"), u"#电子表格文件“旧表.xls”的格式不能读取，能读取的格式：.csv");
  EXPECT_EQ(reasonOf([&] { sample::readSheetFile(sample::sheetFile(folder, u"目录")); }), u"不是文件");
}

TEST_F(SheetFileTest, ANameThatWouldLeaveTheFolderIsRefused) {
  for (const char16_t* name :
       {u"../../secret.csv", u"..", u"sub/../../secret", u"..\\..\\secret.csv", u"/etc/passwd",
        u"\\etc\\passwd", u"C:secret.csv", u"预算\n.csv", u"链接.csv", u"链接"}) {
    EXPECT_EQ(refusal(name), u"#文件名“" + trim(std::u16string(name)) + u"”指向数据源的文件夹之外，不能读取")
        << toUtf8(name);
  }
  EXPECT_EQ(refusal(u"sub/../预算"), u"#文件名“sub/../预算”指向数据源的文件夹之外，不能读取");
  EXPECT_EQ(refusal(u"..预算"), u"#电子表格文件“..预算”不存在");  // a name that starts with dots is a name
}

// REF_EXCEL through the catalogue, on the files shipped in data/sheets.
class RefExcelTest : public ::testing::Test {
 protected:
  RefExcelTest()
      : system(std::make_shared<sample::SampleSystem>(sample::defaultOptions())),
        catalogue(std::make_shared<sample::FuncInfoObject>(system)) {
    sample::clearPublishedProperties();
  }
  std::vector<Variant> refExcel(const std::vector<std::vector<Variant>>& rows) {
    VariantArray batch({Bounds{1, static_cast<std::int32_t>(rows.size())}, Bounds{1, 3}});
    for (std::size_t r = 0; r < rows.size(); ++r)
      batch(static_cast<std::int32_t>(r) + 1, 1) = Variant(VariantArray::of(rows[r]));
    Variant b(std::move(batch)), sheet;
    catalogue->CallFunc(u"ref_excel", b, sheet);
    std::vector<Variant> out;
    for (std::int32_t r = 1; r <= static_cast<std::int32_t>(rows.size()); ++r)
      out.push_back(toText(b.array()(r, 3)).empty() ? b.array()(r, 2) : b.array()(r, 3));
    return out;
  }

  testing_support::TempConfig config;
  std::shared_ptr<sample::SampleSystem> system;
  std::shared_ptr<sample::FuncInfoObject> catalogue;
};

TEST_F(RefExcelTest, ACellOfTheDataSourcesSpreadsheetIsItsValueOrSaysWhyNot) {
  const auto out = refExcel({{Variant(u"预算"), Variant(u"B2")},
                             {Variant(u"预算.csv"), Variant(u"$d$4")},
                             {Variant(u"预算"), Variant(u"A1")},
                             {Variant(u"预算"), Variant(u"E3")},
                             {Variant(u"预算"), Variant(u"F2")},
                             {Variant(u"预算"), Variant(u"第二行")},
                             {Variant(u"预算"), Variant{}},
                             {Variant(u"利润表"), Variant(u"A1")},
                             {Variant(u"../ledger/seed.sql"), Variant(u"A1")},
                             {Variant(u"/etc/hostname"), Variant(u"A1")}});
  EXPECT_EQ(out[0], Variant(1200000.0));
  EXPECT_EQ(out[1], Variant(51000.0));
  EXPECT_EQ(out[2], Variant(u"项目"));
  EXPECT_EQ(out[3], Variant{});  // an empty cell inside the file
  EXPECT_EQ(out[4], Variant(u"#单元 F2 不在电子表格文件“预算”中"));
  EXPECT_EQ(out[5], Variant(u"#“第二行”不是单元地址"));
  EXPECT_EQ(out[6], Variant(u"#未指定单元"));
  EXPECT_EQ(out[7], Variant(u"#电子表格文件“利润表”不存在"));
  EXPECT_EQ(out[8], Variant(u"#文件名“../ledger/seed.sql”指向数据源的文件夹之外，不能读取"));
  EXPECT_EQ(out[9], Variant(u"#文件名“/etc/hostname”指向数据源的文件夹之外，不能读取"));
  // Each data source has a folder of its own.
  catalogue->context().set(u"CurPropsString", Variant(u"DSN=华南账套;COMPANY=2"));
  EXPECT_EQ(refExcel({{Variant(u"预算"), Variant(u"B2")}}).front(), Variant(860000.0));
  catalogue->context().set(u"CurPropsString", Variant(u"没有的账套"));
  EXPECT_EQ(refExcel({{Variant(u"预算"), Variant(u"B2")}}).front(), Variant(u"#数据源不存在"));
}

TEST_F(RefExcelTest, AFileThatCannotBeReadIsNamedWithTheReason) {
  // A data folder of its own: the shipped ledger, and spreadsheets written here.
  const std::filesystem::path data = config.dir().parent_path() / "own-data";
  std::filesystem::create_directories(data / "sheets" / "本地账套");
  std::filesystem::copy(sample::defaultOptions().data / "ledger", data / "ledger");
  std::ofstream(data / "sheets" / "本地账套" / "gbk.csv") << "\xBD\xF0\xB6\xEE,1\n";
  std::ofstream(data / "sheets" / "本地账套" / "open.csv") << "a,\"b\n";
  sample::SampleOptions options = sample::defaultOptions();
  options.data = data;
  system = std::make_shared<sample::SampleSystem>(options);
  catalogue = std::make_shared<sample::FuncInfoObject>(system);
  const auto out = refExcel({{Variant(u"gbk"), Variant(u"B1")},
                             {Variant(u"open.csv"), Variant(u"A1")},
                             {Variant(u"open.csv"), Variant(u"B1")}});
  EXPECT_EQ(out[0], Variant(u"#不能读取电子表格文件“gbk”：不是 UTF-8 文本"));
  EXPECT_EQ(out[1], Variant(u"#不能读取电子表格文件“open.csv”：第 1 行的引号没有结束"));
  EXPECT_EQ(out[2], out[1]);
  // In English the reason is worded too.
  sample::publishProperty(platform::currentProcessId(), u"PropsString", Variant(u"Language=EN"));
  EXPECT_EQ(refExcel({{Variant(u"gbk"), Variant(u"B1")}}).front(),
            Variant(u"#The spreadsheet file \"gbk\" cannot be read: it is not UTF-8 text"));
  sample::clearPublishedProperties();
}

}  // namespace
