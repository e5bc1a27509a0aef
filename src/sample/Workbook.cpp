#include "sample/Workbook.h"

#include <nlohmann/json.hpp>

#include <charconv>
#include <list>
#include <mutex>
#include <string_view>
#include <unordered_map>

#include "automation/Conversions.h"
#include "automation/Error.h"
#include "automation/Text.h"

namespace sample {

using automation::Variant;

namespace {

using nlohmann::json;

constexpr std::int32_t kLastRow = 1048576;
constexpr std::int32_t kLastColumn = 16384;  // XFD
constexpr std::size_t kKeptWorkbooks = 256;

bool isBlank(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}
bool isAsciiLetter(char16_t c) {
  return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}
bool isDigit(char16_t c) {
  return c >= u'0' && c <= u'9';
}

// Reads a formula of one function call with literal arguments.
class FormulaReader {
 public:
  explicit FormulaReader(std::u16string_view text) : s_(text) {}

  std::optional<FunctionCall> call() {
    skipBlanks();
    if (!take(u'=')) return std::nullopt;
    skipBlanks();
    FunctionCall c;
    while (i_ < s_.size() && (isAsciiLetter(s_[i_]) || s_[i_] == u'_' || s_[i_] == u'.' ||
                              (!c.name.empty() && isDigit(s_[i_])))) {
      c.name += s_[i_++];
    }
    if (c.name.empty()) return std::nullopt;
    c.name = automation::upper(c.name);
    skipBlanks();
    if (!take(u'(')) return std::nullopt;
    skipBlanks();
    if (!take(u')')) {
      for (;;) {
        skipBlanks();
        auto arg = argument();
        if (!arg) return std::nullopt;
        c.args.push_back(std::move(*arg));
        skipBlanks();
        if (take(u',')) continue;
        if (take(u')')) break;
        return std::nullopt;
      }
    }
    skipBlanks();
    if (i_ != s_.size()) return std::nullopt;
    return c;
  }

 private:
  std::optional<Variant> argument() {
    if (i_ >= s_.size()) return std::nullopt;
    const char16_t c = s_[i_];
    if (c == u',' || c == u')') return Variant{};
    if (c == u'"') return text();
    if (isDigit(c) || c == u'-' || c == u'+' || c == u'.') return number();
    std::u16string word;
    while (i_ < s_.size() && isAsciiLetter(s_[i_])) word += s_[i_++];
    if (automation::equalsIgnoreCase(word, u"TRUE")) return Variant(true);
    if (automation::equalsIgnoreCase(word, u"FALSE")) return Variant(false);
    return std::nullopt;  // a reference or an expression: not a literal
  }

  std::optional<Variant> text() {
    ++i_;
    std::u16string out;
    while (i_ < s_.size()) {
      if (s_[i_] == u'"') {
        if (i_ + 1 < s_.size() && s_[i_ + 1] == u'"') {
          out += u'"';
          i_ += 2;
          continue;
        }
        ++i_;
        return Variant(std::move(out));
      }
      out += s_[i_++];
    }
    return std::nullopt;  // no closing quote
  }

  std::optional<Variant> number() {
    std::string ascii;
    if (s_[i_] == u'-' || s_[i_] == u'+') ascii += static_cast<char>(s_[i_++]);
    const auto digits = [&] {
      while (i_ < s_.size() && isDigit(s_[i_])) ascii += static_cast<char>(s_[i_++]);
    };
    digits();
    if (i_ < s_.size() && s_[i_] == u'.') {
      ascii += '.';
      ++i_;
      digits();
    }
    if (i_ < s_.size() && (s_[i_] == u'e' || s_[i_] == u'E')) {
      ascii += 'e';
      ++i_;
      if (i_ < s_.size() && (s_[i_] == u'-' || s_[i_] == u'+')) ascii += static_cast<char>(s_[i_++]);
      digits();
    }
    const char* first = ascii.data() + (ascii.starts_with('+') ? 1 : 0);
    double value = 0;
    const auto [end, ec] = std::from_chars(first, ascii.data() + ascii.size(), value);
    if (ec != std::errc{} || end != ascii.data() + ascii.size()) return std::nullopt;
    return Variant(value);
  }

  void skipBlanks() {
    while (i_ < s_.size() && isBlank(s_[i_])) ++i_;
  }
  bool take(char16_t c) {
    if (i_ < s_.size() && s_[i_] == c) {
      ++i_;
      return true;
    }
    return false;
  }

  std::u16string_view s_;
  std::size_t i_ = 0;
};

[[noreturn]] void unreadable(const std::string& why) {
  automation::raise(automation::errors::InvalidProcedureCall,
                    u"The workbook data cannot be read: " + automation::fromUtf8(why));
}

Variant valueOf(const json& v, const std::string& where) {
  switch (v.type()) {
    case json::value_t::null:
      return Variant{};
    case json::value_t::boolean:
      return Variant(v.get<bool>());
    case json::value_t::number_integer:
    case json::value_t::number_unsigned:
    case json::value_t::number_float:
      return Variant(v.get<double>());
    case json::value_t::string:
      return Variant(automation::fromUtf8(v.get_ref<const std::string&>()));
    default:
      unreadable(where + " holds neither a number, a text, true, false nor null");
  }
}

DefinedNames namesOf(const json& object, const std::string& where) {
  DefinedNames names;
  const auto it = object.find("names");
  if (it == object.end()) return names;
  if (!it->is_object()) unreadable(where + ": \"names\" must be an object of names and values");
  for (const auto& [name, value] : it->items()) {
    if (name.empty()) unreadable(where + ": a name is empty");
    names.add(automation::fromUtf8(name), valueOf(value, where + ", name " + name));
  }
  return names;
}

Cell cellOf(const json& v, const std::string& where) {
  Cell cell;
  if (!v.is_object()) {
    cell.value = valueOf(v, where);
    return cell;
  }
  const auto formula = v.find("formula");
  if (formula == v.end() || !formula->is_string())
    unreadable(where + ": a cell written as an object needs a \"formula\" text");
  for (const auto& [key, unused] : v.items()) {
    if (key != "formula" && key != "value") unreadable(where + ": a cell has no \"" + key + "\"");
  }
  cell.formula = automation::fromUtf8(formula->get_ref<const std::string&>());
  if (const auto value = v.find("value"); value != v.end()) cell.value = valueOf(*value, where);
  cell.call = parseFunctionCall(cell.formula);
  return cell;
}

Sheet sheetOf(const json& v, std::size_t position) {
  std::string where = "sheet " + std::to_string(position);
  if (!v.is_object()) unreadable(where + " must be an object with a \"name\" and \"cells\"");
  Sheet sheet;
  const auto name = v.find("name");
  if (name == v.end() || !name->is_string() || name->get_ref<const std::string&>().empty())
    unreadable(where + " needs a \"name\" that is not empty");
  sheet.name = automation::fromUtf8(name->get_ref<const std::string&>());
  where += " (" + name->get_ref<const std::string&>() + ")";
  sheet.names = namesOf(v, where);
  const auto cells = v.find("cells");
  if (cells == v.end()) return sheet;
  if (!cells->is_object()) unreadable(where + ": \"cells\" must be an object of addresses and cells");
  for (const auto& [address, value] : cells->items()) {
    const auto at = parseCellAddress(automation::fromUtf8(address));
    if (!at) unreadable(where + ": \"" + address + "\" is not a cell address");
    const std::string cellWhere = where + ", cell " + address;
    if (!sheet.cells.emplace(*at, cellOf(value, cellWhere)).second)
      unreadable(cellWhere + ": the cell is written twice");
  }
  return sheet;
}

std::shared_ptr<const Workbook> read(const std::string& text) {
  json root;
  try {
    root = json::parse(text);
  } catch (const json::exception& e) {  // not JSON, or a number beyond the range of a double
    const std::string what = e.what();
    const std::size_t end = what.find("] ");
    unreadable(end != std::string::npos ? what.substr(end + 2) : what);
  }
  if (!root.is_object()) unreadable("a workbook is an object with \"sheets\"");
  auto book = std::make_shared<Workbook>();
  book->names = namesOf(root, "the workbook");
  const auto sheets = root.find("sheets");
  if (sheets == root.end() || !sheets->is_array() || sheets->empty())
    unreadable("a workbook needs \"sheets\", a list of at least one sheet");
  for (std::size_t i = 0; i < sheets->size(); ++i) {
    Sheet sheet = sheetOf((*sheets)[i], i + 1);
    if (sheetPosition(*book, sheet.name) != 0)
      unreadable("two sheets are named " + automation::toUtf8(sheet.name));
    book->sheets.push_back(std::move(sheet));
  }
  return book;
}

// The workbooks read lately, by their text, the most recently used first.
class ReadWorkbooks {
 public:
  std::shared_ptr<const Workbook> find(const std::string& text) {
    const auto it = index_.find(text);
    if (it == index_.end()) return nullptr;
    recent_.splice(recent_.begin(), recent_, it->second);
    return it->second->second;
  }
  void add(const std::string& text, std::shared_ptr<const Workbook> book) {
    recent_.emplace_front(text, std::move(book));
    index_.emplace(recent_.front().first, recent_.begin());
    if (recent_.size() > kKeptWorkbooks) {
      index_.erase(recent_.back().first);
      recent_.pop_back();
    }
  }

 private:
  std::list<std::pair<std::string, std::shared_ptr<const Workbook>>> recent_;
  std::unordered_map<std::string_view, decltype(recent_)::iterator> index_;  // views into recent_
};

std::u16string sheetsText(const Workbook& book) {
  const auto n = static_cast<std::int64_t>(book.sheets.size());
  return automation::decimalText(n) + (n == 1 ? u" sheet" : u" sheets");
}

}  // namespace

std::optional<CellAddress> parseCellAddress(std::u16string_view text) {
  const std::size_t first = text.find_first_not_of(u' ');
  if (first == std::u16string_view::npos) return std::nullopt;
  const std::u16string_view t = text.substr(first, text.find_last_not_of(u' ') - first + 1);
  std::size_t i = 0;
  if (i < t.size() && t[i] == u'$') ++i;
  CellAddress at;
  std::size_t letters = 0;
  for (; i < t.size() && isAsciiLetter(t[i]) && letters < 3; ++i, ++letters) {
    at.column = at.column * 26 + ((t[i] | 0x20) - u'a' + 1);
  }
  if (letters == 0) return std::nullopt;
  if (i < t.size() && t[i] == u'$') ++i;
  if (i == t.size() || t[i] == u'0') return std::nullopt;
  for (; i < t.size() && isDigit(t[i]); ++i) {
    at.row = at.row * 10 + (t[i] - u'0');
    if (at.row > kLastRow) return std::nullopt;
  }
  if (i != t.size() || at.row == 0 || at.column > kLastColumn) return std::nullopt;
  return at;
}

std::u16string addressText(CellAddress address) {
  std::u16string column;
  for (std::int32_t c = address.column; c > 0; c = (c - 1) / 26)
    column.insert(column.begin(), static_cast<char16_t>(u'A' + (c - 1) % 26));
  return column + automation::decimalText(address.row);
}

std::optional<FunctionCall> parseFunctionCall(std::u16string_view formula) {
  return FormulaReader(formula).call();
}

void DefinedNames::add(std::u16string name, Variant value) {
  names_.emplace_back(std::move(name), std::move(value));
}

const Variant* DefinedNames::find(std::u16string_view name) const {
  for (const auto& [n, value] : names_) {
    if (automation::equalsIgnoreCase(n, name)) return &value;
  }
  return nullptr;
}

std::shared_ptr<const Workbook> parseWorkbook(const std::string& text) {
  static std::mutex guard;
  static ReadWorkbooks kept;
  {
    const std::lock_guard lock(guard);
    if (auto known = kept.find(text)) return known;
  }
  // Read outside the lock: a large workbook read on one thread holds up no other. Two threads
  // reading one text at once each read it; the first one kept is the one found after.
  auto book = read(text);
  const std::lock_guard lock(guard);
  if (auto known = kept.find(text)) return known;
  kept.add(text, book);
  return book;
}

const Sheet& sheetAt(const Workbook& book, std::int32_t position) {
  if (position < 1 || static_cast<std::size_t>(position) > book.sheets.size()) {
    automation::raise(
        automation::errors::SubscriptOutOfRange,
        u"The workbook has no sheet " + automation::decimalText(position) + u": it has " + sheetsText(book));
  }
  return book.sheets[static_cast<std::size_t>(position) - 1];
}

std::int32_t sheetPosition(const Workbook& book, std::u16string_view name) {
  for (std::size_t i = 0; i < book.sheets.size(); ++i) {
    if (automation::equalsIgnoreCase(book.sheets[i].name, name)) return static_cast<std::int32_t>(i + 1);
  }
  return 0;
}

const Cell& cellAt(const Sheet& sheet, std::u16string_view address) {
  const auto at = parseCellAddress(address);
  if (!at) {
    automation::raise(
        automation::errors::InvalidProcedureCall,
        u"'" + std::u16string(address) + u"' is not a cell address (a column and a row, as B3)");
  }
  const auto it = sheet.cells.find(*at);
  if (it == sheet.cells.end()) {
    automation::raise(automation::errors::SubscriptOutOfRange,
                      u"Sheet '" + sheet.name + u"' of the workbook has no cell " + addressText(*at));
  }
  return it->second;
}

}  // namespace sample
