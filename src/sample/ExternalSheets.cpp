#include "sample/ExternalSheets.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <system_error>
#include <utility>

#include "automation/Text.h"
#include "sample/FuncInfo.h"

namespace sample {

using automation::Variant;

namespace {

// Whether text is well-formed UTF-8: no stray continuation bytes, no overlong forms, no surrogates,
// nothing above U+10FFFF.
bool isUtf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto b = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    char32_t c = 0;
    if (b < 0x80) {
      ++i;
      continue;
    } else if (b >= 0xC2 && b <= 0xDF) {
      length = 2;
      c = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
      length = 3;
      c = b & 0x0F;
    } else if (b >= 0xF0 && b <= 0xF4) {
      length = 4;
      c = b & 0x07;
    } else {
      return false;
    }
    if (i + length > text.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      c = (c << 6) | (next & 0x3F);
    }
    if ((length == 3 && c < 0x800) || (length == 4 && (c < 0x10000 || c > 0x10FFFF)) ||
        (c >= 0xD800 && c <= 0xDFFF)) {
      return false;
    }
    i += length;
  }
  return true;
}

// A number when the whole text, blanks aside, is one written in decimals (12, -3.5, 1e6, .5).
std::optional<double> numberIn(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  if (text.starts_with('+')) text.remove_prefix(1);
  if (text.empty() || !std::any_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return std::nullopt;
  for (const char c : text) {
    if (!((c >= '0' && c <= '9') || c == '.' || c == 'e' || c == 'E' || c == '+' || c == '-'))
      return std::nullopt;  // no inf, nan or hexadecimal
  }
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
  return value;
}

Variant cellValue(const std::string& field) {
  if (field.empty()) return Variant{};
  if (const auto n = numberIn(field)) return Variant(*n);
  return Variant(automation::fromUtf8(field));
}

SheetCells readCsvFile(const std::filesystem::path& file) {
  std::error_code error;
  const std::uintmax_t size = std::filesystem::file_size(file, error);
  if (error) throw RowError{u"无法打开"};
  if (size > kMostSheetFileBytes) throw RowError{u"大于 64 MiB"};
  std::ifstream in(file, std::ios::binary);
  if (!in) throw RowError{u"无法打开"};
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) throw RowError{u"无法打开"};
  return readCsvText(text.str());
}

constexpr std::array<SheetFormat, 1> kFormats = {{{u".csv", readCsvFile}}};

const SheetFormat* formatOf(const std::filesystem::path& file) {
  const std::u16string extension = automation::lower(automation::fromUtf8(file.extension().string()));
  for (const SheetFormat& format : kFormats) {
    if (format.extension == extension) return &format;
  }
  return nullptr;
}

// Whether `inner`, as it really lies (links followed), is inside `folder`.
bool liesInside(const std::filesystem::path& inner, const std::filesystem::path& folder) {
  std::error_code error;
  const std::filesystem::path real = std::filesystem::canonical(inner, error);
  if (error) return false;
  const std::filesystem::path base = std::filesystem::canonical(folder, error);
  if (error) return false;
  const std::filesystem::path relative = real.lexically_relative(base);
  return !relative.empty() && *relative.begin() != "..";
}

// A name that stays inside the folder it is looked for in: relative, without "..", a drive or a
// control character. Both slashes separate folders.
bool staysInside(std::u16string_view name) {
  if (name.empty() || name.front() == u'/' || name.front() == u'\\') return false;
  if (name.size() >= 2 && name[1] == u':') return false;
  if (std::any_of(name.begin(), name.end(), [](char16_t c) { return c < 0x20 || c == 0x7F; })) return false;
  std::size_t start = 0;
  while (start <= name.size()) {
    std::size_t end = name.find_first_of(u"/\\", start);
    if (end == std::u16string_view::npos) end = name.size();
    if (name.substr(start, end - start) == u"..") return false;
    start = end + 1;
  }
  return true;
}

std::u16string formatList() {
  std::u16string list;
  for (const SheetFormat& format : kFormats) {
    if (!list.empty()) list += u", ";
    list += format.extension;
  }
  return list;
}

}  // namespace

std::optional<Variant> SheetCells::at(CellAddress address) const {
  if (address.row < 1 || address.column < 1 || address.column > columns ||
      static_cast<std::size_t>(address.row) > rows.size()) {
    return std::nullopt;
  }
  const auto& row = rows[static_cast<std::size_t>(address.row) - 1];
  const auto column = static_cast<std::size_t>(address.column) - 1;
  return column < row.size() ? row[column] : Variant{};
}

std::span<const SheetFormat> sheetFormats() {
  return kFormats;
}

SheetCells readCsvText(std::string_view text) {
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  if (!isUtf8(text)) throw RowError{u"不是 UTF-8 文本"};
  SheetCells cells;
  std::vector<Variant> row;
  std::string field;
  bool inQuotes = false;
  bool rowStarted = false;  // something of the row has been read: a character or a separator
  std::int32_t line = 1;
  std::int32_t quoteLine = 0;
  const auto endField = [&] {
    row.push_back(cellValue(field));
    field.clear();
  };
  const auto endRow = [&] {
    endField();
    cells.columns = std::max(cells.columns, static_cast<std::int32_t>(row.size()));
    cells.rows.push_back(std::move(row));
    row.clear();
    rowStarted = false;
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const bool crlf = c == '\r' && i + 1 < text.size() && text[i + 1] == '\n';
    if (inQuotes) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (c == '"') {
        inQuotes = false;
      } else {
        if (c == '\n' || (c == '\r' && !crlf)) ++line;
        field += c;
      }
      continue;
    }
    if (c == '\r' || c == '\n') {
      if (crlf) ++i;
      endRow();
      ++line;
      continue;
    }
    rowStarted = true;
    if (c == '"' && field.empty()) {
      inQuotes = true;
      quoteLine = line;
    } else if (c == ',') {
      endField();
    } else {
      field += c;  // a quote inside a field that did not start with one is a character of it
    }
  }
  if (inQuotes) throw RowError{u"第 %1 行的引号没有结束", {automation::decimalText(quoteLine)}};
  if (rowStarted) endRow();
  return cells;
}

std::filesystem::path sheetFile(const std::filesystem::path& folder, std::u16string_view name) {
  const std::u16string given = automation::trim(name);
  if (given.empty()) throw RowError{u"#未指定电子表格文件"};
  if (!staysInside(given)) throw RowError{u"#文件名“%1”指向数据源的文件夹之外，不能读取", {given}};
  std::u16string relative = given;
  std::replace(relative.begin(), relative.end(), u'\\', u'/');
  const std::filesystem::path asked = folder / automation::toUtf8(relative);
  std::vector<std::filesystem::path> candidates;
  if (asked.has_extension()) {
    candidates.push_back(asked);
  } else {
    for (const SheetFormat& format : kFormats)
      candidates.push_back(asked.string() + automation::toUtf8(format.extension));
  }
  for (const std::filesystem::path& candidate : candidates) {
    std::error_code error;
    if (!std::filesystem::exists(candidate, error)) continue;
    if (!liesInside(candidate, folder))
      throw RowError{u"#文件名“%1”指向数据源的文件夹之外，不能读取", {given}};
    if (formatOf(candidate) == nullptr)
      throw RowError{u"#电子表格文件“%1”的格式不能读取，能读取的格式：%2", {given, formatList()}};
    return candidate;
  }
  throw RowError{u"#电子表格文件“%1”不存在", {given}};
}

SheetCells readSheetFile(const std::filesystem::path& file) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(file, error)) throw RowError{u"不是文件"};
  const SheetFormat* format = formatOf(file);
  if (format == nullptr) throw RowError{u"格式不能读取"};
  return format->read(file);
}

std::int32_t computeExternalCells(Ledger& ledger, const PushedContext& context,
                                  const std::filesystem::path& sheets, automation::VariantArray& batch,
                                  const Wording& wording) {
  // Each file a batch names is read once: its cells, or why they cannot be had.
  struct Loaded {
    SheetCells cells;
    std::optional<RowError> failure;
  };
  std::map<std::u16string, Loaded> files;
  const std::optional<DataSourceRow> dataSource = context.dataSource(ledger);
  const auto load = [&](const std::u16string& name) -> const SheetCells& {
    auto it = files.find(name);
    if (it == files.end()) {
      Loaded loaded;
      try {
        const std::u16string folderName = automation::fromUtf8(dataSource->name);
        if (!staysInside(folderName) || folderName.find_first_of(u"/\\") != std::u16string::npos)
          throw RowError{u"#文件名“%1”指向数据源的文件夹之外，不能读取", {folderName}};
        const std::filesystem::path file = sheetFile(sheets / dataSource->name, name);
        if (!liesInside(file, sheets)) throw RowError{u"#文件名“%1”指向数据源的文件夹之外，不能读取", {name}};
        try {
          loaded.cells = readSheetFile(file);
        } catch (const RowError& reason) {
          throw RowError{u"#不能读取电子表格文件“%1”：%2", {name, wordedError(reason, wording)}};
        }
      } catch (const RowError& e) {
        loaded.failure = e;
      }
      it = files.emplace(name, std::move(loaded)).first;
    }
    if (it->second.failure) throw *it->second.failure;
    return it->second.cells;
  };
  const std::int32_t c0 = batch.lbound(2);
  std::int32_t failed = 0;
  for (std::int32_t r = batch.lbound(1); r <= batch.ubound(1); ++r) {
    guardedRow(
        batch, r, failed,
        [&] {
          if (!dataSource) throw RowError{u"#数据源不存在"};
          const Arguments a(batch(r, c0));
          const SheetCells& cells = load(a.text(0));
          const std::u16string address = a.text(1);
          if (address.empty()) throw RowError{u"#未指定单元"};
          const std::optional<CellAddress> at = parseCellAddress(address);
          if (!at) throw RowError{u"#“%1”不是单元地址", {address}};
          std::optional<Variant> value = cells.at(*at);
          if (!value) throw RowError{u"#单元 %1 不在电子表格文件“%2”中", {addressText(*at), a.text(0)}};
          writeValue(batch, r, std::move(*value));
        },
        wording);
  }
  return failed;
}

}  // namespace sample
