// Decimal values: a sign, a 96-bit mantissa and a scale of 0 to 28 fraction digits, read from and
// printed to exact digits; where digits must go, they round half to even.
#include "automation/NumberText.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace automation::detail {
namespace {

const u128 kDecimalLimit = (u128{1} << 96);  // mantissas are 96 bits

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

}  // namespace

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
  // The negative range reaches one unit further than the positive: -2^63 has no positive twin.
  constexpr auto kLargest = static_cast<u128>(std::numeric_limits<std::int64_t>::max());
  if (m > kLargest + (d.negative ? 1 : 0)) return std::nullopt;
  if (!d.negative) return static_cast<std::int64_t>(m);
  return static_cast<std::int64_t>(u128{0} - m);  // two's complement: exact for -2^63 too
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

}  // namespace automation::detail
