// Internal to the automation layer: what the value conversions, the Decimal arithmetic and the dates
// share. Numbers read from and printed to text as the platform does, Decimal values built from and
// taken apart into 96-bit mantissas, and the range check on date serials. Kept out of the layer's
// interface; include it only from src/automation.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "automation/Variant.h"

namespace automation::detail {

__extension__ typedef unsigned __int128 u128;

inline std::u16string ascii(std::string_view s) {
  return std::u16string(s.begin(), s.end());
}

[[noreturn]] void mismatch();  // error 13
[[noreturn]] void overflow();  // error 6

inline bool isDigit(char16_t c) {
  return c >= u'0' && c <= u'9';
}

// --- Numbers as text (NumberText.cpp) ------------------------------------------------------------

// The digits of a &H / &O number starting at `i`; advances `i`. Saturates far above 32 bits.
std::uint64_t readRadix(std::u16string_view s, std::size_t& i, int base);

// A &H / &O number as a value of `bits` bits: the upper half of the range reads as negative, as
// the platform reads such numbers ("&HFFFF" is -1 as an Integer, 65535 as a Long).
std::optional<double> radixValue(std::uint64_t magnitude, int bits);

// A number written in text, split into its parts.
struct NumberText {
  bool negative = false;
  std::string digits;                  // integer digits followed by fraction digits
  std::int32_t scale = 0;              // how many of `digits` are fraction digits, less the exponent
  std::optional<std::uint64_t> radix;  // the magnitude of a &H / &O form
};

enum class Parse { Ok, Invalid, Overflow };

// The platform's text-to-number reading: surrounding blanks, a leading or trailing sign or
// parentheses for a negative number, a currency sign, digits with thousands separators, a decimal
// point, an exponent (E or D), or an &H / &O number.
Parse parseNumberText(std::u16string_view s, NumberText& out);

// Reads a number from text or raises the platform's error: 13 for text that is no number, 6 for a
// &H / &O number beyond 32 bits.
NumberText parseOrRaise(std::u16string_view s);

// The number as a Double; error 6 when it is too large for one, zero when too small.
double toDoubleChecked(const NumberText& n);
double textToDouble(std::u16string_view s);

// A floating value with `precision` significant digits, as the platform prints it: plain decimal
// while that needs no more than `precision` digits before or after the point, otherwise
// d.dddE+XX.
std::u16string formatFloating(double v, int precision);
std::u16string formatCurrency(Currency c);

// --- Decimal (Decimal.cpp) -----------------------------------------------------------------------

// A Decimal of mantissa `m` and `scale` fraction digits; drops fraction digits, rounding half to
// even, until the mantissa fits in 96 bits and the scale in 28, and raises 6 when it cannot.
Decimal makeDecimal(u128 m, int scale, bool negative);
Decimal decimalFromText(const NumberText& n);
Decimal decimalFromDouble(double v);

// The decimal in plain digits, without trailing fraction zeros.
std::string decimalDigits(const Decimal& d);
double decimalToDouble(const Decimal& d);

// The decimal as a whole number of 10^-targetScale units, rounded half to even; nullopt beyond
// 64 bits.
std::optional<std::int64_t> decimalScaled(const Decimal& d, int targetScale);

// --- Dates (Dates.cpp) ---------------------------------------------------------------------------

// A date serial within the platform's range (0100-01-01 .. 9999-12-31), else error 6.
Date checkedDate(double v);

}  // namespace automation::detail
