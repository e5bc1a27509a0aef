#include "designer/Formula.h"

#include <array>
#include <charconv>
#include <cmath>
#include <optional>
#include <stdexcept>

#include "automation/Text.h"
#include "environment/Localisation.h"

namespace designer {
namespace {

using automation::Variant;

struct ReadError {
  std::u16string what;
};

bool isAsciiLetter(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}
bool isDigit(char16_t c) {
  return c >= u'0' && c <= u'9';
}
bool isNameStart(char16_t c) {
  return isAsciiLetter(c) || c == u'_' || c == u'$';
}
bool isNameChar(char16_t c) {
  return isNameStart(c) || isDigit(c) || c == u'.';
}
bool isBlank(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

// muParser's own functions: written in lower case, they keep their meaning in a formula.
bool isParserFunction(std::u16string_view name) {
  static constexpr std::array<std::u16string_view, 24> kNames = {
      u"sin",  u"cos",   u"tan",   u"asin",  u"acos", u"atan",  u"sinh", u"cosh",
      u"tanh", u"asinh", u"acosh", u"atanh", u"log2", u"log10", u"log",  u"ln",
      u"exp",  u"sqrt",  u"sign",  u"rint",  u"abs",  u"min",   u"max",  u"sum"};
  for (auto n : kNames)
    if (n == name) return true;
  return name == u"avg";
}

std::string ascii(std::u16string_view text) {
  return std::string(text.begin(), text.end());
}

class Reader {
 public:
  Reader(std::u16string_view text, std::int32_t sheet, Formula& out) : f_(text), sheet_(sheet), out_(out) {}

  Expr expression(std::size_t b, std::size_t e) {
    trim(b, e);
    if (b == e) return {};
    const std::u16string_view s = f_.substr(b, e - b);
    if (f_[b] == u'"' && afterText(b, e) == e) return constant(Variant(unquote(b, e)));
    if (automation::equalsIgnoreCase(s, u"TRUE")) return constant(Variant(true));
    if (automation::equalsIgnoreCase(s, u"FALSE")) return constant(Variant(false));
    if (const auto n = number(s)) return constant(Variant(*n));
    Expr arithmetic;
    arithmetic.kind = Expr::Kind::Arithmetic;
    arith(b, e, arithmetic.text, arithmetic.operands);
    if (arithmetic.operands.size() == 1 && arithmetic.text == "_0") return std::move(arithmetic.operands[0]);
    return arithmetic;
  }

 private:
  static Expr constant(Variant v) {
    Expr e;
    e.kind = Expr::Kind::Constant;
    e.constant = std::move(v);
    return e;
  }

  void trim(std::size_t& b, std::size_t& e) const {
    while (b < e && isBlank(f_[b])) ++b;
    while (e > b && isBlank(f_[e - 1])) --e;
  }

  static std::optional<double> number(std::u16string_view s) {
    if (s.empty() || s.size() > 64) return std::nullopt;
    for (char16_t c : s)
      if (c >= 0x80) return std::nullopt;
    const std::string a = ascii(s);
    double v = 0;
    const auto [end, ec] = std::from_chars(a.data(), a.data() + a.size(), v);
    if (ec != std::errc{} || end != a.data() + a.size()) return std::nullopt;
    return v;
  }

  // The position after the text in quotes that starts at b.
  std::size_t afterText(std::size_t b, std::size_t e) const {
    for (std::size_t i = b + 1; i < e; ++i) {
      if (f_[i] != u'"') continue;
      if (i + 1 < e && f_[i + 1] == u'"') {
        ++i;
        continue;
      }
      return i + 1;
    }
    throw ReadError{environment::L(u"引号中的文字没有结束")};
  }

  std::u16string unquote(std::size_t b, std::size_t e) const {
    std::u16string text;
    for (std::size_t i = b + 1; i + 1 < e; ++i) {
      text += f_[i];
      if (f_[i] == u'"') ++i;
    }
    return text;
  }

  // The position of the bracket that closes the one at `open`.
  std::size_t closing(std::size_t open, std::size_t e) const {
    int depth = 0;
    for (std::size_t i = open; i < e; ++i) {
      if (f_[i] == u'"') {
        i = afterText(i, e) - 1;
      } else if (f_[i] == u'(') {
        ++depth;
      } else if (f_[i] == u')' && --depth == 0) {
        return i;
      }
    }
    throw ReadError{environment::L(u"括号没有闭合")};
  }

  // The arguments between two brackets, split at the commas outside texts and inner brackets.
  std::vector<std::pair<std::size_t, std::size_t>> arguments(std::size_t b, std::size_t e) const {
    std::vector<std::pair<std::size_t, std::size_t>> args;
    std::size_t tb = b, te = e;
    trim(tb, te);
    if (tb == te) return args;
    std::size_t start = b;
    int depth = 0;
    for (std::size_t i = b; i < e; ++i) {
      if (f_[i] == u'"') {
        i = afterText(i, e) - 1;
      } else if (f_[i] == u'(') {
        ++depth;
      } else if (f_[i] == u')') {
        --depth;
      } else if (f_[i] == u',' && depth == 0) {
        args.emplace_back(start, i);
        start = i + 1;
      }
    }
    args.emplace_back(start, e);
    return args;
  }

  static std::string variable(std::size_t n) { return "_" + std::to_string(n); }

  CellRef cellOf(std::u16string_view address, std::int32_t sheet) const {
    const auto at = sample::parseCellAddress(address);
    if (!at) throw ReadError{localText(u"“%1”不是单元（列字母加行号，如 B3）", address)};
    return {sheet, *at};
  }

  // Appends the muParser text of f_[b, e) to `text`, its cells and report calls to `operands`.
  void arith(std::size_t b, std::size_t e, std::string& text, std::vector<Expr>& operands) {
    std::size_t i = b;
    while (i < e) {
      const char16_t c = f_[i];
      if (c == u'"') throw ReadError{environment::L(u"引号中的文字只能作为报表函数的参数")};
      if (isDigit(c) || c == u'.') {
        const std::size_t start = i;
        while (i < e && (isDigit(f_[i]) || f_[i] == u'.')) ++i;
        if (i < e && (f_[i] == u'e' || f_[i] == u'E')) {
          std::size_t j = i + 1;
          if (j < e && (f_[j] == u'+' || f_[j] == u'-')) ++j;
          if (j < e && isDigit(f_[j])) {
            i = j;
            while (i < e && isDigit(f_[i])) ++i;
          }
        }
        text += ascii(f_.substr(start, i - start));
        continue;
      }
      if (isNameStart(c)) {
        std::size_t j = i;
        while (j < e && isNameChar(f_[j])) ++j;
        const std::u16string_view name = f_.substr(i, j - i);
        std::size_t k = j;
        while (k < e && isBlank(f_[k])) ++k;
        if (k < e && f_[k] == u'(') {
          const std::size_t close = closing(k, e);
          callOrFunction(i, name, k, close, text, operands);
          i = close + 1;
        } else if (automation::equalsIgnoreCase(name, u"TRUE") ||
                   automation::equalsIgnoreCase(name, u"FALSE")) {
          text += automation::equalsIgnoreCase(name, u"TRUE") ? "1" : "0";
          i = j;
        } else {
          Expr cell;
          cell.kind = Expr::Kind::Cell;
          cell.cell = cellOf(name, sheet_);
          text += variable(operands.size());
          operands.push_back(std::move(cell));
          i = j;
        }
        continue;
      }
      if (c == u',') throw ReadError{environment::L(u"逗号只能分隔函数的参数")};
      if (c >= 0x80 ||
          !(isBlank(c) || std::u16string_view(u"+-*/^()<>=!&|?:%").find(c) != std::u16string_view::npos)) {
        throw ReadError{localText(u"公式中不能有“%1”", std::u16string(1, c))};
      }
      text += static_cast<char>(c);
      ++i;
    }
  }

  void callOrFunction(std::size_t nameAt, std::u16string_view name, std::size_t open, std::size_t close,
                      std::string& text, std::vector<Expr>& operands) {
    const auto args = arguments(open + 1, close);
    const std::u16string upperName = automation::upper(name);
    if (upperName == u"REF" && !args.empty() && args.size() <= 2) {
      std::size_t ab = args[0].first, ae = args[0].second;
      trim(ab, ae);
      if (ab < ae && f_[ab] == u'"' && afterText(ab, ae) == ae) {
        std::int32_t sheet = sheet_;
        if (args.size() == 2) {
          std::size_t sb = args[1].first, se = args[1].second;
          trim(sb, se);
          if (sb < se) {
            const auto n = number(f_.substr(sb, se - sb));
            if (!n || *n < 1 || *n > 1000 || *n != static_cast<std::int32_t>(*n))
              throw ReadError{environment::L(u"REF 的表号是从 1 起的整数")};
            sheet = static_cast<std::int32_t>(*n) - 1;
          }
        }
        Expr cell;
        cell.kind = Expr::Kind::Cell;
        cell.cell = cellOf(unquote(ab, ae), sheet);
        text += variable(operands.size());
        operands.push_back(std::move(cell));
        return;
      }
    }
    if (upperName == u"PAGENAME" || upperName == u"PAGENO") {
      if (!args.empty()) throw ReadError{localText(u"%1 没有参数", upperName)};
      Expr page;
      page.kind = upperName == u"PAGENAME" ? Expr::Kind::SheetName : Expr::Kind::SheetNumber;
      page.cell.sheet = sheet_;
      text += variable(operands.size());
      operands.push_back(std::move(page));
      return;
    }
    if (isParserFunction(name)) {
      text += ascii(name) + "(";
      for (std::size_t a = 0; a < args.size(); ++a) {
        if (a > 0) text += ",";
        arith(args[a].first, args[a].second, text, operands);
      }
      text += ")";
      return;
    }
    ReportCall call;
    call.name = upperName;
    call.begin = nameAt;
    call.end = close + 1;
    for (const auto& [ab, ae] : args) call.args.push_back(expression(ab, ae));
    call.argSpans = args;
    out_.calls.push_back(std::move(call));
    Expr operand;
    operand.kind = Expr::Kind::Call;
    operand.call = out_.calls.size() - 1;
    text += variable(operands.size());
    operands.push_back(std::move(operand));
  }

  std::u16string_view f_;
  std::int32_t sheet_;
  Formula& out_;
};

}  // namespace

Formula readFormula(std::u16string_view text, std::int32_t sheet) {
  Formula formula;
  try {
    Reader reader(text, sheet, formula);
    formula.root = reader.expression(0, text.size());
    if (formula.root.kind == Expr::Kind::Empty) formula.error = environment::L(u"公式是空的");
  } catch (const ReadError& e) {
    formula = Formula{};
    formula.error = e.what;
  }
  return formula;
}

std::u16string localText(std::u16string_view key, std::u16string_view part) {
  std::u16string text = environment::L(key);
  const std::size_t at = text.find(u"%1");
  if (at != std::u16string::npos) text.replace(at, 2, part);
  return text;
}

const ReportCall* callAt(const Formula& formula, std::optional<std::size_t> caret) {
  const ReportCall* found = nullptr;
  if (caret) {
    for (const ReportCall& call : formula.calls) {
      if (*caret < call.begin || *caret > call.end) continue;
      if (found == nullptr || call.end - call.begin < found->end - found->begin) found = &call;
    }
    if (found != nullptr) return found;
  }
  for (const ReportCall& call : formula.calls) {
    if (found == nullptr || call.begin < found->begin) found = &call;
  }
  return found;
}

namespace {

// The call's name and argument texts as sameCall compares them; nullopt when the text is not one call.
std::optional<std::vector<std::u16string>> callParts(std::u16string_view text) {
  const Formula f = readFormula(text, 0);
  if (!f.error.empty() || f.root.kind != Expr::Kind::Call) return std::nullopt;
  const ReportCall& call = f.calls[f.root.call];
  std::vector<std::u16string> parts{call.name};
  for (const auto& [b, e] : call.argSpans) {
    std::u16string arg = automation::trim(std::u16string(text.substr(b, e - b)));
    if (arg == u"\"\"") arg.clear();
    parts.push_back(std::move(arg));
  }
  while (parts.size() > 1 && parts.back().empty()) parts.pop_back();
  return parts;
}

}  // namespace

bool sameCall(std::u16string_view a, std::u16string_view b) {
  const auto pa = callParts(a);
  return pa && pa == callParts(b);
}

double significant15(double value) {
  if (!std::isfinite(value) || value == 0) return value;
  char buffer[64];
  const auto written = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
  double rounded = value;
  std::from_chars(buffer, written.ptr, rounded);
  return rounded;
}

std::u16string numberText(double value) {
  char buffer[64];
  const auto written = std::to_chars(buffer, buffer + sizeof buffer, significant15(value));
  std::string s(buffer, written.ptr);
  if (s == "-0") s = "0";
  return {s.begin(), s.end()};
}

}  // namespace designer
