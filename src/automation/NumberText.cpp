#include "automation/NumberText.h"

#include <charconv>
#include <cmath>

#include "automation/Error.h"

namespace automation::detail {
namespace {

bool isBlank(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}
int hexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// Blanks around a number: ASCII white space and the ideographic space of CJK input.
bool isNumberBlank(char16_t c) {
  return isBlank(c) || c == u'\u3000' || c == u'\u00A0';
}
bool isCurrencySign(char16_t c) {
  return c == u'$' || c == u'\u00A5' || c == u'\uFFE5';
}

}  // namespace

[[noreturn]] void mismatch() {
  raise(errors::TypeMismatch);
}
[[noreturn]] void overflow() {
  raise(errors::Overflow);
}

std::uint64_t readRadix(std::u16string_view s, std::size_t& i, int base) {
  std::uint64_t magnitude = 0;
  for (; i < s.size(); ++i) {
    const int d = hexDigit(s[i]);
    if (d < 0 || d >= base) break;
    magnitude = std::min<std::uint64_t>(magnitude * static_cast<unsigned>(base) + static_cast<unsigned>(d),
                                        std::uint64_t{1} << 40);
  }
  return magnitude;
}

std::optional<double> radixValue(std::uint64_t magnitude, int bits) {
  if (bits == 16 && magnitude <= 0xFFFFu) return static_cast<double>(static_cast<std::int16_t>(magnitude));
  if (magnitude <= 0xFFFFFFFFu) return static_cast<double>(static_cast<std::int32_t>(magnitude));
  return std::nullopt;
}

Parse parseNumberText(std::u16string_view s, NumberText& out) {
  std::size_t i = 0;
  std::size_t end = s.size();
  while (i < end && isNumberBlank(s[i])) ++i;
  while (end > i && isNumberBlank(s[end - 1])) --end;
  if (i == end) return Parse::Invalid;

  if (s[i] == u'&') {
    ++i;
    int base = 8;
    if (i < end && (s[i] == u'H' || s[i] == u'h')) {
      base = 16;
      ++i;
    } else if (i < end && (s[i] == u'O' || s[i] == u'o')) {
      ++i;
    }
    const std::size_t first = i;
    const std::uint64_t magnitude = readRadix(s.substr(0, end), i, base);
    if (i == first || i != end) return Parse::Invalid;
    if (magnitude > 0xFFFFFFFFu) return Parse::Overflow;
    out.radix = magnitude;
    return Parse::Ok;
  }

  bool sign = false;
  const auto takeBlanks = [&] {
    while (i < end && isNumberBlank(s[i])) ++i;
  };
  if (s[i] == u'(' && s[end - 1] == u')') {
    out.negative = sign = true;
    ++i;
    --end;
    takeBlanks();
  }
  if (i < end && isCurrencySign(s[i])) {
    ++i;
    takeBlanks();
  }
  if (!sign && i < end && (s[i] == u'+' || s[i] == u'-')) {
    out.negative = s[i] == u'-';
    sign = true;
    ++i;
    takeBlanks();
  }
  if (!sign && i < end && isCurrencySign(s[i])) {
    ++i;
    takeBlanks();
  }
  bool anyDigit = false;
  std::int32_t fraction = 0;
  for (; i < end; ++i) {
    if (isDigit(s[i])) {
      out.digits.push_back(static_cast<char>(s[i]));
      anyDigit = true;
    } else if (s[i] == u',' && anyDigit) {
      continue;  // thousands separator
    } else {
      break;
    }
  }
  if (i < end && s[i] == u'.') {
    for (++i; i < end && isDigit(s[i]); ++i) {
      out.digits.push_back(static_cast<char>(s[i]));
      ++fraction;
      anyDigit = true;
    }
  }
  if (!anyDigit) return Parse::Invalid;
  std::int64_t exponent = 0;
  if (i < end && (s[i] == u'E' || s[i] == u'e' || s[i] == u'D' || s[i] == u'd')) {
    ++i;
    bool negativeExponent = false;
    if (i < end && (s[i] == u'+' || s[i] == u'-')) negativeExponent = s[i++] == u'-';
    if (i == end || !isDigit(s[i])) return Parse::Invalid;
    for (; i < end && isDigit(s[i]); ++i) {
      exponent = std::min<std::int64_t>(exponent * 10 + (s[i] - u'0'), 100000);
    }
    if (negativeExponent) exponent = -exponent;
  }
  takeBlanks();
  if (!sign && i < end && (s[i] == u'+' || s[i] == u'-')) {  // a trailing sign: "5-"
    out.negative = s[i] == u'-';
    ++i;
    takeBlanks();
  }
  if (i != end) return Parse::Invalid;
  out.scale = static_cast<std::int32_t>(fraction - exponent);
  return Parse::Ok;
}

NumberText parseOrRaise(std::u16string_view s) {
  NumberText n;
  switch (parseNumberText(s, n)) {
    case Parse::Invalid:
      mismatch();
    case Parse::Overflow:
      overflow();
    case Parse::Ok:
      break;
  }
  return n;
}

double toDoubleChecked(const NumberText& n) {
  if (n.radix) return *radixValue(*n.radix, 32);
  std::string text = (n.negative ? "-" : "") + (n.digits.empty() ? std::string("0") : n.digits) + "e" +
                     std::to_string(-static_cast<std::int64_t>(n.scale));
  double value = 0;
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec == std::errc::result_out_of_range) {
    // Underflow reads as zero; overflow is the platform's error 6.
    if (n.scale > 0) return 0.0;
    overflow();
  }
  (void)ptr;
  return value;
}

double textToDouble(std::u16string_view s) {
  return toDoubleChecked(parseOrRaise(s));
}

std::u16string formatFloating(double v, int precision) {
  if (v == 0) return u"0";  // also -0
  // No conversion makes these, but a host may hand them over: printed as the platform prints them.
  if (std::isinf(v)) return v < 0 ? u"-1.#INF" : u"1.#INF";
  if (std::isnan(v)) return std::signbit(v) ? u"-1.#IND" : u"1.#QNAN";
  char buffer[64];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::scientific, precision - 1);
  const std::string_view sci(buffer, static_cast<std::size_t>(result.ptr - buffer));
  const std::size_t e = sci.find('e');
  const bool negative = sci[0] == '-';
  std::string digits;
  for (char c : sci.substr(0, e))
    if (c >= '0' && c <= '9') digits.push_back(c);
  digits.erase(digits.find_last_not_of('0') + 1);
  int exponent = 0;
  std::from_chars(sci.data() + e + (sci[e + 1] == '+' ? 2 : 1), sci.data() + sci.size(), exponent);
  const auto count = static_cast<int>(digits.size());
  std::string out = negative ? "-" : "";
  const bool plain = exponent >= 0 ? exponent < precision : (-exponent - 1 + count) <= precision;
  const std::string_view all(digits);
  if (plain) {
    if (exponent >= 0) {
      out.append(all.substr(0, static_cast<std::size_t>(std::min(count, exponent + 1))));
      if (count <= exponent) out.append(static_cast<std::size_t>(exponent + 1 - count), '0');
      if (count > exponent + 1) out.append(1, '.').append(all.substr(static_cast<std::size_t>(exponent + 1)));
    } else {
      out.append("0.").append(static_cast<std::size_t>(-exponent - 1), '0').append(all);
    }
  } else {
    out.append(all.substr(0, 1));
    if (count > 1) out.append(1, '.').append(all.substr(1));
    const std::string magnitude = std::to_string(std::abs(exponent));
    out.append(1, 'E').append(1, exponent < 0 ? '-' : '+');
    if (magnitude.size() < 2) out.append(1, '0');
    out.append(magnitude);
  }
  return ascii(out);
}

std::u16string formatCurrency(Currency c) {
  const bool negative = c.scaled < 0;
  const u128 magnitude = negative ? u128(-(c.scaled + 1)) + 1 : u128(c.scaled);
  Decimal d = makeDecimal(magnitude, 4, negative);
  return ascii(decimalDigits(d));
}

}  // namespace automation::detail
