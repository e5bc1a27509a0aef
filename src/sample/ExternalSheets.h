// Spreadsheet files outside the report system, as REF_EXCEL reads them: a file lies in the folder of
// a data source, and its format is chosen by its extension. Each format is a reader that turns the
// file into rows of cells; CSV is the one there is so far, and another (.xlsx, .ods) is one more
// entry in sheetFormats().
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "automation/Variant.h"
#include "sample/BatchRows.h"
#include "sample/Workbook.h"

namespace sample {

// The cells of a spreadsheet file's first sheet: a number where the text reads as one, else the
// text; Empty for an empty cell.
struct SheetCells {
  std::vector<std::vector<automation::Variant>> rows;
  std::int32_t columns = 0;  // of the widest row

  // The value at an address: Empty inside the file where a row is shorter than the widest one,
  // nothing outside it.
  std::optional<automation::Variant> at(CellAddress address) const;
};

// A file format: its extension in lower case with the dot, and its reader, which raises RowError
// with the reason (in Simplified Chinese, without the file's name) for a file it cannot read.
struct SheetFormat {
  std::u16string_view extension;
  SheetCells (*read)(const std::filesystem::path& file);
};
std::span<const SheetFormat> sheetFormats();

// The most a spreadsheet file may be: a larger one is not read.
constexpr std::uintmax_t kMostSheetFileBytes = std::uintmax_t{64} << 20;

// Reads CSV text: fields separated by commas, rows by LF, CRLF or CR, a field in double quotes
// holding commas, line breaks and doubled quotes; UTF-8 with or without a byte-order mark.
SheetCells readCsvText(std::string_view text);

// The file REF_EXCEL names: `name` inside `folder`. A name with an extension is that file; one
// without is the first file of that name with the extension of a format there is a reader for.
// RowError for a blank name, one that would leave the folder (absolute, "..", a drive or a control
// character), a missing file, one whose real place is outside the folder (a link), and a format
// without a reader.
std::filesystem::path sheetFile(const std::filesystem::path& folder, std::u16string_view name);

// Reads a file found by sheetFile with the reader of its format.
SheetCells readSheetFile(const std::filesystem::path& file);

}  // namespace sample
