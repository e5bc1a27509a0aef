#include "automation/Conversions.h"

#include <charconv>
#include <cmath>
#include <ctime>
#include <limits>
#include <type_traits>

#include "automation/Dispatch.h"
#include "automation/Error.h"
#include "automation/Text.h"
#include "automation/VariantArray.h"

namespace automation {
namespace {

__extension__ typedef unsigned __int128 u128;

constexpr std::int64_t kCurrencyScale = 10000;
constexpr double kMinDate = -657434.0;         // 0100-01-01
constexpr double kMaxDate = 2958465.99999999;  // 9999-12-31 23:59:59
constexpr std::int32_t kDaysFrom1970 = 25569;  // 1899-12-30 .. 1970-01-01
const u128 kDecimalLimit = (u128{1} << 96);    // mantissas are 96 bits

std::u16string ascii(std::string_view s) {
  return std::u16string(s.begin(), s.end());
}

[[noreturn]] void mismatch() {
  raise(errors::TypeMismatch);
}
[[noreturn]] void overflow() {
  raise(errors::Overflow);
}

bool isBlank(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}
bool isDigit(char16_t c) {
  return c >= u'0' && c <= u'9';
}
int hexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// The digits of a &H / &O number starting at `i`; advances `i`. Saturates far above 32 bits.
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

// A &H / &O number as a value of `bits` bits: the upper half of the range reads as negative, as
// the platform reads such numbers ("&HFFFF" is -1 as an Integer, 65535 as a Long).
std::optional<double> radixValue(std::uint64_t magnitude, int bits) {
  if (bits == 16 && magnitude <= 0xFFFFu) return static_cast<double>(static_cast<std::int16_t>(magnitude));
  if (magnitude <= 0xFFFFFFFFu) return static_cast<double>(static_cast<std::int32_t>(magnitude));
  return std::nullopt;
}

// A number written in text, split into its parts.
struct NumberText {
  bool negative = false;
  std::string digits;                  // integer digits followed by fraction digits
  std::int32_t scale = 0;              // how many of `digits` are fraction digits, less the exponent
  std::optional<std::uint64_t> radix;  // the magnitude of a &H / &O form
};

enum class Parse { Ok, Invalid, Overflow };

// Blanks around a number: ASCII white space and the ideographic space of CJK input.
bool isNumberBlank(char16_t c) {
  return isBlank(c) || c == u'\u3000' || c == u'\u00A0';
}
bool isCurrencySign(char16_t c) {
  return c == u'$' || c == u'\u00A5' || c == u'\uFFE5';
}

// The platform's text-to-number reading: surrounding blanks, a leading or trailing sign or
// parentheses for a negative number, a currency sign, digits with thousands separators, a decimal
// point, an exponent (E or D), or an &H / &O number.
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

// Reads a number from text or raises the platform's error: 13 for text that is no number, 6 for a
// &H / &O number beyond 32 bits.
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

// --- Decimal ---------------------------------------------------------------------------------

u128 mantissa(const Decimal& d) {
  return (u128{d.hi} << 64) | d.lo;
}

u128 pow10(int n) {
  u128 p = 1;
  for (int k = 0; k < n; ++k) p *= 10;
  return p;
}

// Divides by 10^drop, rounding half to even.
u128 divRound(u128 value, int drop) {
  if (drop <= 0) return value;
  if (drop > 38) return 0;
  const u128 p = pow10(drop);
  const u128 q = value / p;
  const u128 r = value % p;
  const u128 twice = r * 2;
  if (twice > p || (twice == p && (q & 1) != 0)) return q + 1;
  return q;
}

Decimal makeDecimal(u128 m, int scale, bool negative) {
  while (scale > 28 || m >= kDecimalLimit) {
    if (scale == 0) overflow();
    m = divRound(m, 1);
    --scale;
  }
  Decimal d;
  d.hi = static_cast<std::uint32_t>(m >> 64);
  d.lo = static_cast<std::uint64_t>(m);
  d.scale = static_cast<std::uint8_t>(scale);
  d.negative = negative && m != 0;
  return d;
}

Decimal decimalFromText(const NumberText& n) {
  if (n.radix) {
    const double v = *radixValue(*n.radix, 32);
    return makeDecimal(static_cast<u128>(std::fabs(v)), 0, v < 0);
  }
  std::string digits = n.digits;
  digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size()));
  if (digits.empty()) return Decimal{};
  int scale = n.scale;
  if (scale < 0) {
    if (digits.size() + static_cast<std::size_t>(-scale) > 38) overflow();
    digits.append(static_cast<std::size_t>(-scale), '0');
    scale = 0;
  }
  // Keep at most 38 digits before rounding into the 96-bit range.
  int drop = 0;
  if (digits.size() > 38) {
    drop = static_cast<int>(digits.size()) - 38;
    if (drop > scale) overflow();
  }
  u128 m = 0;
  for (std::size_t k = 0; k < digits.size() - static_cast<std::size_t>(drop); ++k)
    m = m * 10 + (digits[k] - '0');
  if (drop > 0) {
    // Round on the first dropped digit and whether anything after it is non-zero.
    const char first = digits[digits.size() - static_cast<std::size_t>(drop)];
    const bool rest = digits.find_first_not_of('0', digits.size() - static_cast<std::size_t>(drop) + 1) !=
                      std::string::npos;
    if (first > '5' || (first == '5' && (rest || (m & 1) != 0))) ++m;
    scale -= drop;
  }
  return makeDecimal(m, scale, n.negative);
}

std::string decimalDigits(const Decimal& d) {
  u128 m = mantissa(d);
  std::string s;
  do {
    s.insert(s.begin(), static_cast<char>('0' + static_cast<int>(m % 10)));
    m /= 10;
  } while (m != 0);
  if (s.size() <= d.scale) s.insert(0, d.scale + 1 - s.size(), '0');
  if (d.scale > 0) {
    s.insert(s.size() - d.scale, 1, '.');
    s.erase(s.find_last_not_of('0') + 1);
    if (s.back() == '.') s.pop_back();
  }
  if (d.negative && s != "0") s.insert(0, 1, '-');
  return s;
}

double decimalToDouble(const Decimal& d) {
  const std::string s = decimalDigits(d);
  double v = 0;
  std::from_chars(s.data(), s.data() + s.size(), v);
  return v;
}

// The decimal as a whole number of 10^-targetScale units, rounded half to even.
std::optional<std::int64_t> decimalScaled(const Decimal& d, int targetScale) {
  u128 m = mantissa(d);
  if (d.scale > targetScale) {
    m = divRound(m, d.scale - targetScale);
  } else {
    for (int k = d.scale; k < targetScale; ++k) {
      if (m > (u128{1} << 100)) return std::nullopt;
      m *= 10;
    }
  }
  if (m > static_cast<u128>(std::numeric_limits<std::int64_t>::max())) return std::nullopt;
  const auto v = static_cast<std::int64_t>(m);
  return d.negative ? -v : v;
}

Decimal decimalFromDouble(double v) {
  if (!std::isfinite(v)) overflow();
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::general, 15);
  NumberText n;
  if (parseNumberText(ascii(std::string_view(buffer, static_cast<std::size_t>(result.ptr - buffer))), n) !=
      Parse::Ok)
    overflow();
  return decimalFromText(n);
}

// --- Numbers to text -----------------------------------------------------------------------------

// A floating value with `precision` significant digits, as the platform prints it: plain decimal
// while that needs no more than `precision` digits before or after the point, otherwise
// d.dddE+XX.
std::u16string formatFloating(double v, int precision) {
  if (v == 0) return u"0";  // also -0
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

// --- Dates ---------------------------------------------------------------------------------------

std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void civilFromDays(std::int64_t z, std::int32_t& y, std::int32_t& m, std::int32_t& d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = static_cast<std::int32_t>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<std::int32_t>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<std::int32_t>(static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2));
}

bool isLeap(std::int32_t y) {
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}
std::int32_t daysInMonth(std::int32_t y, std::int32_t m) {
  static constexpr std::int32_t days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && isLeap(y) ? 29 : days[m - 1];
}

Date checkedDate(double v) {
  if (!std::isfinite(v) || v < kMinDate || v > kMaxDate) overflow();
  return Date{v};
}

std::u16string twoDigits(std::int32_t v) {
  return std::u16string{static_cast<char16_t>(u'0' + v / 10), static_cast<char16_t>(u'0' + v % 10)};
}

// --- Helpers -------------------------------------------------------------------------------------

template <class Int>
Int roundToInt(double v) {
  if (!std::isfinite(v)) overflow();
  const double r = std::nearbyint(v);  // the default rounding mode rounds half to even
  if (r < static_cast<double>(std::numeric_limits<Int>::min()) ||
      r > static_cast<double>(std::numeric_limits<Int>::max()))
    overflow();
  return static_cast<Int>(r);
}

template <class Int>
Int scaledToInt(std::int64_t scaled, std::int64_t unit) {
  std::int64_t q = scaled / unit;
  const std::int64_t r = scaled % unit;
  const std::int64_t twice = 2 * (r < 0 ? -r : r);
  if (twice > unit || (twice == unit && (q % 2) != 0)) q += scaled < 0 ? -1 : 1;
  if (q < std::numeric_limits<Int>::min() || q > std::numeric_limits<Int>::max()) overflow();
  return static_cast<Int>(q);
}

// The value the conversion starts from: an object answers its default member; Null and errors,
// objects not set and arrays fail as the platform fails them.
const Variant& scalar(const Variant& value, Variant& holder) {
  if (value.isObject()) {
    holder = defaultValue(value.asObject());
    if (holder.isObject()) mismatch();
    return holder;
  }
  if (value.isNull()) raise(errors::InvalidUseOfNull);
  if (value.isArray() || value.type() == VarType::Error) mismatch();
  return value;
}

template <class Int>
Int toInt(const Variant& value) {
  Variant holder;
  const Variant& v = scalar(value, holder);
  const auto fromDecimal = [](const Decimal& d) {
    const auto scaled = decimalScaled(d, 0);
    if (!scaled) overflow();
    return scaledToInt<Int>(*scaled, 1);
  };
  switch (v.type()) {
    case VarType::Currency:
      return scaledToInt<Int>(v.asCurrency().scaled, kCurrencyScale);
    case VarType::Decimal:
      return fromDecimal(v.asDecimal());
    case VarType::String: {
      // Text rounds from its exact digits, not from a double near them.
      const NumberText n = parseOrRaise(v.asString());
      if (n.radix) {
        const auto wrapped = radixValue(*n.radix, sizeof(Int) == 2 && std::is_signed_v<Int> ? 16 : 32);
        return roundToInt<Int>(*wrapped);
      }
      return fromDecimal(decimalFromText(n));
    }
    default:
      return roundToInt<Int>(toDouble(v));
  }
}

}  // namespace

double toDouble(const Variant& value) {
  Variant holder;
  const Variant& v = scalar(value, holder);
  switch (v.type()) {
    case VarType::Empty:
      return 0;
    case VarType::Integer:
      return v.asInteger();
    case VarType::Long:
      return v.asLong();
    case VarType::Byte:
      return v.asByte();
    case VarType::Single:
      return v.asSingle();
    case VarType::Double:
      return v.asDouble();
    case VarType::Currency:
      return static_cast<double>(v.asCurrency().scaled) / kCurrencyScale;
    case VarType::Date:
      return v.asDate().value;
    case VarType::Boolean:
      return v.asBoolean() ? -1.0 : 0.0;
    case VarType::Decimal:
      return decimalToDouble(v.asDecimal());
    case VarType::String:
      return textToDouble(v.asString());
    default:
      mismatch();
  }
}

std::int16_t toInteger(const Variant& value) {
  return toInt<std::int16_t>(value);
}
std::int32_t toLong(const Variant& value) {
  return toInt<std::int32_t>(value);
}
std::uint8_t toByte(const Variant& value) {
  return toInt<std::uint8_t>(value);
}

float toSingle(const Variant& value) {
  const double d = toDouble(value);
  if (std::isfinite(d) && std::fabs(d) > static_cast<double>(std::numeric_limits<float>::max())) overflow();
  return static_cast<float>(d);
}

Currency toCurrency(const Variant& value) {
  Variant holder;
  const Variant& v = scalar(value, holder);
  if (v.type() == VarType::Currency) return v.asCurrency();
  if (v.type() == VarType::Decimal || v.type() == VarType::String) {
    const auto scaled = decimalScaled(toDecimal(v), 4);
    if (!scaled) overflow();
    return Currency{*scaled};
  }
  const double scaled = std::nearbyint(toDouble(v) * kCurrencyScale);
  if (!std::isfinite(scaled) || std::fabs(scaled) >= 9.2233720368547758e18) overflow();
  return Currency{static_cast<std::int64_t>(scaled)};
}

Decimal toDecimal(const Variant& value) {
  Variant holder;
  const Variant& v = scalar(value, holder);
  switch (v.type()) {
    case VarType::Decimal:
      return v.asDecimal();
    case VarType::String:
      return decimalFromText(parseOrRaise(v.asString()));
    case VarType::Currency: {
      const std::int64_t s = v.asCurrency().scaled;
      const u128 magnitude = s < 0 ? u128(-(s + 1)) + 1 : u128(s);
      return makeDecimal(magnitude, 4, s < 0);
    }
    case VarType::Integer:
    case VarType::Long:
    case VarType::Byte:
    case VarType::Boolean:
    case VarType::Empty: {
      const auto i = static_cast<std::int64_t>(toDouble(v));
      return makeDecimal(static_cast<u128>(i < 0 ? -i : i), 0, i < 0);
    }
    default:
      return decimalFromDouble(toDouble(v));
  }
}

bool toBoolean(const Variant& value) {
  Variant holder;
  const Variant& v = scalar(value, holder);
  switch (v.type()) {
    case VarType::Boolean:
      return v.asBoolean();
    case VarType::String: {
      const std::u16string t = trim(v.asString());
      if (equalsIgnoreCase(t, u"True")) return true;
      if (equalsIgnoreCase(t, u"False")) return false;
      return textToDouble(v.asString()) != 0;
    }
    case VarType::Currency:
      return v.asCurrency().scaled != 0;
    case VarType::Decimal:
      return decimalToDouble(v.asDecimal()) != 0;
    default:
      return toDouble(v) != 0;
  }
}

Date toDate(const Variant& value) {
  Variant holder;
  const Variant& v = scalar(value, holder);
  switch (v.type()) {
    case VarType::Date:
      return v.asDate();
    case VarType::String: {
      if (auto d = parseDate(v.asString())) return *d;
      NumberText n;
      if (parseNumberText(v.asString(), n) != Parse::Ok) mismatch();
      return checkedDate(toDoubleChecked(n));
    }
    default:
      return checkedDate(toDouble(v));
  }
}

std::u16string toText(const Variant& value) {
  Variant holder;
  if (value.type() == VarType::Error) {
    return u"Error " + ascii(std::to_string(errorNumberOf(value.asError())));
  }
  const Variant& v = scalar(value, holder);
  switch (v.type()) {
    case VarType::Empty:
      return {};
    case VarType::Integer:
      return ascii(std::to_string(v.asInteger()));
    case VarType::Long:
      return ascii(std::to_string(v.asLong()));
    case VarType::Byte:
      return ascii(std::to_string(v.asByte()));
    case VarType::Single:
      return formatFloating(v.asSingle(), 7);
    case VarType::Double:
      return formatFloating(v.asDouble(), 15);
    case VarType::Currency:
      return formatCurrency(v.asCurrency());
    case VarType::Date:
      return dateToText(v.asDate());
    case VarType::String:
      return v.asString();
    case VarType::Boolean:
      return v.asBoolean() ? u"True" : u"False";
    case VarType::Decimal:
      return ascii(decimalDigits(v.asDecimal()));
    default:
      mismatch();
  }
}

Variant changeType(const Variant& value, VarType type) {
  if (type == VarType::Variant || value.type() == type) return value;
  switch (type) {
    case VarType::Empty:
      return Variant{};
    case VarType::Integer:
      return toInteger(value);
    case VarType::Long:
      return toLong(value);
    case VarType::Single:
      return toSingle(value);
    case VarType::Double:
      return toDouble(value);
    case VarType::Currency:
      return toCurrency(value);
    case VarType::Date:
      return toDate(value);
    case VarType::String:
      return toText(value);
    case VarType::Boolean:
      return toBoolean(value);
    case VarType::Decimal:
      return toDecimal(value);
    case VarType::Byte:
      return toByte(value);
    case VarType::Object:
      if (value.isObject()) return value;
      mismatch();
    default:
      mismatch();
  }
}

bool isNumeric(const Variant& value) {
  switch (value.type()) {
    case VarType::Empty:
    case VarType::Integer:
    case VarType::Long:
    case VarType::Single:
    case VarType::Double:
    case VarType::Currency:
    case VarType::Boolean:
    case VarType::Decimal:
    case VarType::Byte:
      return true;
    case VarType::String: {
      NumberText n;
      return parseNumberText(value.asString(), n) == Parse::Ok;
    }
    default:
      return false;
  }
}

double val(std::u16string_view text) {
  std::u16string s;
  s.reserve(text.size());
  for (char16_t c : text) {
    if (c != u' ' && c != u'\t' && c != u'\n') s.push_back(c);
  }
  std::size_t i = 0;
  if (i + 1 < s.size() && s[i] == u'&' &&
      (s[i + 1] == u'H' || s[i + 1] == u'h' || s[i + 1] == u'O' || s[i + 1] == u'o')) {
    const int base = (s[i + 1] == u'H' || s[i + 1] == u'h') ? 16 : 8;
    i += 2;
    const std::uint64_t magnitude = readRadix(s, i, base);
    // A trailing "&" marks a Long: then only the 32-bit range wraps.
    const bool isLong = i < s.size() && s[i] == u'&';
    const auto v = radixValue(magnitude, isLong ? 32 : 16);
    if (!v) overflow();
    return *v;
  }
  std::string number;
  if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) number.push_back(static_cast<char>(s[i++]));
  bool point = false;
  bool anyDigit = false;
  for (; i < s.size(); ++i) {
    if (isDigit(s[i])) {
      number.push_back(static_cast<char>(s[i]));
      anyDigit = true;
    } else if (s[i] == u'.' && !point) {
      number.push_back('.');
      point = true;
    } else {
      break;
    }
  }
  if (!anyDigit) return 0;
  if (i + 1 < s.size() && (s[i] == u'E' || s[i] == u'e' || s[i] == u'D' || s[i] == u'd')) {
    std::size_t j = i + 1;
    std::string exponent = "e";
    if (s[j] == u'+' || s[j] == u'-') exponent.push_back(static_cast<char>(s[j++]));
    if (j < s.size() && isDigit(s[j])) {
      for (; j < s.size() && isDigit(s[j]); ++j) exponent.push_back(static_cast<char>(s[j]));
      number += exponent;
    }
  }
  if (number[0] == '+') number.erase(0, 1);
  double v = 0;
  const auto [ptr, ec] = std::from_chars(number.data(), number.data() + number.size(), v);
  (void)ptr;
  if (ec == std::errc::result_out_of_range) {
    if (number.find("e-") != std::string::npos) return 0.0;
    overflow();
  }
  return v;
}

double round(double value, std::int32_t digits) {
  if (digits < 0) raise(errors::InvalidProcedureCall);
  if (!std::isfinite(value) || digits > 22) return value;
  if (digits == 0) return std::nearbyint(value);
  const double scale = std::pow(10.0, digits);
  const double scaled = value * scale;
  if (!std::isfinite(scaled)) return value;
  return std::nearbyint(scaled) / scale;
}

Variant cvErr(std::int32_t number) {
  return Variant(
      ErrorValue{static_cast<std::int32_t>(0x800A0000u | (static_cast<std::uint32_t>(number) & 0xFFFFu))});
}

std::int32_t errorNumberOf(ErrorValue error) {
  const auto scode = static_cast<std::uint32_t>(error.scode);
  if ((scode & 0xFFFF0000u) == 0x800A0000u) return static_cast<std::int32_t>(scode & 0xFFFFu);
  if (error.scode == kParamNotFound) return 448;
  return error.scode;
}

Date makeDate(std::int32_t year, std::int32_t month, std::int32_t day, std::int32_t hour, std::int32_t minute,
              std::int32_t second) {
  const double days = static_cast<double>(
      daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) + kDaysFrom1970);
  const double time = (hour * 3600.0 + minute * 60.0 + second) / 86400.0;
  // Before 1899-12-30 the fraction still counts forward from midnight.
  return checkedDate(days >= 0 ? days + time : days - time);
}

Date today() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return makeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
}

std::u16string dateToText(Date date) {
  const double v = date.value;
  double days = std::trunc(v);
  auto seconds = static_cast<std::int64_t>(std::llround(std::fabs(v - days) * 86400.0));
  if (seconds >= 86400) {
    seconds -= 86400;
    days += 1;
  }
  std::u16string time;
  time.append(twoDigits(static_cast<std::int32_t>(seconds / 3600))).append(1, u':');
  time.append(twoDigits(static_cast<std::int32_t>(seconds / 60 % 60))).append(1, u':');
  time.append(twoDigits(static_cast<std::int32_t>(seconds % 60)));
  if (days == 0) return time;  // a time of day alone, midnight included
  std::int32_t y = 0, m = 0, d = 0;
  civilFromDays(static_cast<std::int64_t>(days) - kDaysFrom1970, y, m, d);
  std::u16string text = ascii(std::to_string(y));
  if (text.size() < 4) text.insert(0, 4 - text.size(), u'0');
  text.append(1, u'-').append(twoDigits(m)).append(1, u'-').append(twoDigits(d));
  if (seconds != 0) text.append(1, u' ').append(time);
  return text;
}

void dateParts(Date date, std::int32_t& year, std::int32_t& month, std::int32_t& day) {
  // The day part is the whole days towards zero, as dates before 1899-12-30 count their time forward.
  civilFromDays(static_cast<std::int64_t>(std::trunc(date.value)) - kDaysFrom1970, year, month, day);
}

std::optional<Date> parseDate(std::u16string_view text) {
  const std::u16string s = trim(text);
  std::size_t i = 0;
  auto number = [&](std::int32_t& out, std::size_t maxDigits) {
    const std::size_t first = i;
    out = 0;
    while (i < s.size() && isDigit(s[i]) && i - first < maxDigits) out = out * 10 + (s[i++] - u'0');
    return i > first;
  };
  std::int32_t y = 1899, mo = 12, d = 30, h = 0, mi = 0, sec = 0;
  std::int32_t first = 0;
  if (!number(first, 4)) return std::nullopt;
  if (i < s.size() && (s[i] == u'-' || s[i] == u'/' || s[i] == u'.')) {
    const char16_t sep = s[i++];
    y = first;
    if (!number(mo, 2) || i >= s.size() || s[i++] != sep || !number(d, 2)) return std::nullopt;
    if (y < 100 || mo < 1 || mo > 12 || d < 1 || d > daysInMonth(y, mo)) return std::nullopt;
    if (i < s.size()) {
      if (s[i] != u' ' && s[i] != u'T') return std::nullopt;
      while (i < s.size() && (s[i] == u' ' || s[i] == u'T')) ++i;
      if (!number(h, 2)) return std::nullopt;
    } else {
      return makeDate(y, mo, d);
    }
  } else {
    h = first;
  }
  if (i >= s.size() || s[i++] != u':' || !number(mi, 2)) return std::nullopt;
  if (i < s.size() && s[i] == u':') {
    ++i;
    if (!number(sec, 2)) return std::nullopt;
  }
  if (i != s.size() || h > 23 || mi > 59 || sec > 59) return std::nullopt;
  return makeDate(y, mo, d, h, mi, sec);
}

}  // namespace automation
