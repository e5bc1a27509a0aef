// The platform's value conversions, with its errors: 13 (type mismatch) for a value that cannot be
// converted, 6 (overflow) for one out of the target's range, 94 for Null, 91 for an object
// variable that is not set.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "automation/Variant.h"

namespace automation {

// To text, as the platform prints values: Double with up to 15 significant digits and Single with
// up to 7 ("1E+15", "1E-05" beyond the plain range), "True"/"False", dates as yyyy-mm-dd with
// " hh:mm:ss" when there is a time of day (the time alone for a date part of zero).
std::u16string toText(const Variant& value);
// As above; a String value is moved out instead of copied.
std::u16string toText(Variant&& value);

// To numbers. Fractions round to even (2.5 -> 2, 3.5 -> 4) when the target is an integer.
std::int16_t toInteger(const Variant& value);
std::int32_t toLong(const Variant& value);
std::uint8_t toByte(const Variant& value);
float toSingle(const Variant& value);
double toDouble(const Variant& value);
Currency toCurrency(const Variant& value);
Decimal toDecimal(const Variant& value);
bool toBoolean(const Variant& value);
Date toDate(const Variant& value);

// Converts to the given type code; Variant answers the value unchanged.
Variant changeType(const Variant& value, VarType type);

// True when the value is a number, or text that converts to one (surrounding blanks, a sign,
// thousands separators, a decimal point, an exponent, &H / &O forms), or Empty.
bool isNumeric(const Variant& value);

// The leading-number reading of a text: blanks, tabs and line feeds are skipped wherever they
// stand; reading stops at the first character that cannot continue the number; no digits give 0.
double val(std::u16string_view text);

// Rounds half to even at `digits` decimal places (digits >= 0, else error 5).
double round(double value, std::int32_t digits = 0);

// Long arithmetic as the platform does it: a result outside the 32-bit range raises 6 (overflow)
// instead of wrapping.
std::int32_t addLong(std::int32_t a, std::int32_t b);
std::int32_t subtractLong(std::int32_t a, std::int32_t b);

// Error values: CVErr(n) and the run-time error number an error value stands for.
Variant cvErr(std::int32_t number);
std::int32_t errorNumberOf(ErrorValue error);

// Dates.
Date makeDate(std::int32_t year, std::int32_t month, std::int32_t day, std::int32_t hour = 0,
              std::int32_t minute = 0, std::int32_t second = 0);
Date today();  // the local date, without time
std::u16string dateToText(Date date);
// The calendar day a date falls on.
void dateParts(Date date, std::int32_t& year, std::int32_t& month, std::int32_t& day);
std::optional<Date> parseDate(std::u16string_view text);

// Currency from a whole number of units and ten-thousandths.
inline Currency currencyOf(std::int64_t scaled) {
  return Currency{scaled};
}

}  // namespace automation
