// Text to number and number to text, as the platform converts them.
//
// The first byte chooses what the rest is:
//   - a text, read by IsNumeric, Val and every conversion: none may fail other than with the
//     platform's errors, IsNumeric must agree with the conversion to Double, and a text in the
//     plain form both readers know ([-]digits[.digits][E[+|-]digits]) must read the same in both;
//   - a number of one type (Double, Single, Currency, Decimal, Long, Integer, Byte, Date, Boolean):
//     what it prints must read back as the same value, and print the same text again;
//   - a value of any type converted to every type code: only the platform's errors may come out.
#include <cmath>
#include <cstdint>
#include <string>

#include "FuzzInput.h"

namespace {

using automation::AutomationError;
using automation::toText;
using automation::Variant;
using automation::VarType;
using fuzzing::fail;
using fuzzing::show;
using fuzzing::FuzzInput;

constexpr const char* kTarget = "numbers";

// The error number a conversion raises, 0 when it succeeds.
template <class F>
std::int32_t raised(F&& convert) {
  try {
    convert();
    return 0;
  } catch (const AutomationError& e) {
    return e.number();
  }
}

// A number both readers take alike: blanks, a minus, digits with an optional fraction and an
// optional exponent, nothing else.
bool plainNumber(std::u16string_view s) {
  std::size_t i = 0;
  const auto digits = [&] {
    const std::size_t start = i;
    while (i < s.size() && s[i] >= u'0' && s[i] <= u'9') ++i;
    return i - start;
  };
  while (i < s.size() && s[i] == u' ') ++i;
  if (i < s.size() && s[i] == u'-') ++i;
  std::size_t count = digits();
  if (i < s.size() && s[i] == u'.') {
    ++i;
    count += digits();
  }
  if (count == 0) return false;
  if (i < s.size() && (s[i] == u'E' || s[i] == u'e')) {
    ++i;
    if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) ++i;
    if (digits() == 0) return false;
  }
  while (i < s.size() && s[i] == u' ') ++i;
  return i == s.size();
}

// The largest Doubles print, at fifteen digits, as 1.79769313486232E+308, which is beyond the
// largest Double: on the platform too that text reads as an overflow, not as the number.
bool beyondTheLargestText(double d) {
  return std::fabs(d) >= 1.797693134862315e308;
}

void readText(const std::u16string& text) {
  const Variant value(text);
  const bool numeric = automation::isNumeric(value);
  double asDouble = 0;
  const std::int32_t doubleError = raised([&] { asDouble = automation::toDouble(value); });
  if (numeric && doubleError != 0 && doubleError != automation::errors::Overflow)
    fail(kTarget,
         "IsNumeric holds for " + show(text) + " but reading it raised " + std::to_string(doubleError));
  if (!numeric && doubleError == 0)
    fail(kTarget, "IsNumeric fails for " + show(text) + " but it reads as a Double");

  double valued = 0;
  const std::int32_t valError = raised([&] { valued = automation::val(text); });
  if (valError != 0 && valError != automation::errors::Overflow)
    fail(kTarget, "Val(" + show(text) + ") raised " + std::to_string(valError));
  if (plainNumber(text) && valError == 0 && doubleError == 0 && valued != asDouble) {
    fail(kTarget, "Val and the conversion read " + show(text) + " differently: " + std::to_string(valued) +
                      " and " + std::to_string(asDouble));
  }
  if (doubleError == 0 && std::isfinite(asDouble) && !beyondTheLargestText(asDouble)) {
    const std::u16string printed = toText(Variant(asDouble));
    if (toText(Variant(automation::toDouble(Variant(printed)))) != printed)
      fail(kTarget, show(text) + " reads as " + show(printed) + ", which does not read back as itself");
  }

  // Every other conversion: the platform's errors only (anything else escapes and is reported).
  raised([&] { automation::toLong(value); });
  raised([&] { automation::toInteger(value); });
  raised([&] { automation::toByte(value); });
  raised([&] { automation::toSingle(value); });
  raised([&] { automation::toCurrency(value); });
  raised([&] { automation::toDecimal(value); });
  raised([&] { automation::toDate(value); });
  raised([&] { automation::toBoolean(value); });
  raised([&] { automation::parseDate(text); });
}

// Prints `value`, reads the text back as the same type and prints that again.
template <class Read>
Variant roundTrip(const Variant& value, Read read) {
  const std::u16string printed = toText(value);
  Variant back;
  const std::int32_t error = raised([&] { back = Variant(read(Variant(printed))); });
  if (error != 0) fail(kTarget, show(printed) + " does not read back: error " + std::to_string(error));
  if (toText(back) != printed)
    fail(kTarget, show(printed) + " reads back as a value that prints " + show(toText(back)));
  return back;
}

void printNumber(FuzzInput& in) {
  switch (in.byte() % 9) {
    case 0: {
      const double d = in.number();
      if (!std::isfinite(d)) {
        // A host may hand over an infinity or a NaN: it must not print as a number it is not.
        if (automation::isNumeric(Variant(toText(Variant(d)))))
          fail(kTarget, "a value that is no number prints as " + show(toText(Variant(d))));
        break;
      }
      if (beyondTheLargestText(d)) {
        toText(Variant(d));
        break;
      }
      const double back = roundTrip(Variant(d), automation::toDouble).asDouble();
      // Fifteen significant digits: the value read back is within half a unit of the 15th.
      if (std::fabs(back - d) > std::fabs(d) * 5.1e-15 && std::fpclassify(d) == FP_NORMAL)
        fail(kTarget, "the Double " + std::to_string(d) + " prints as " + show(toText(Variant(d))) +
                          ", too far from it");
      if (automation::val(toText(Variant(d))) != back)
        fail(kTarget, "Val reads the Double text " + show(toText(Variant(d))) + " differently");
      break;
    }
    case 1: {
      const auto f = static_cast<float>(in.number());
      if (std::isfinite(f)) {
        roundTrip(Variant(f), automation::toSingle);
      } else if (automation::isNumeric(Variant(toText(Variant(f))))) {
        fail(kTarget, "a Single that is no number prints as " + show(toText(Variant(f))));
      }
      break;
    }
    case 2: {
      const Variant c(automation::currencyOf(in.raw<std::int64_t>()));
      if (roundTrip(c, automation::toCurrency) != c)
        fail(kTarget, "the Currency " + automation::toUtf8(toText(c)) + " reads back as another value");
      break;
    }
    case 3: {
      const automation::Decimal d = in.decimal();
      const Variant back = roundTrip(Variant(d), automation::toDecimal);
      // The text drops trailing zeros only, never a digit that counts.
      if (automation::toDouble(back) != automation::toDouble(Variant(d)))
        fail(kTarget,
             "the Decimal " + automation::toUtf8(toText(Variant(d))) + " reads back as another value");
      break;
    }
    case 4: {
      const Variant l(in.raw<std::int32_t>());
      if (roundTrip(l, automation::toLong) != l) fail(kTarget, "a Long reads back as another value");
      break;
    }
    case 5: {
      const Variant i(in.raw<std::int16_t>());
      if (roundTrip(i, automation::toInteger) != i) fail(kTarget, "an Integer reads back as another value");
      break;
    }
    case 6: {
      const Variant b(in.byte());
      if (roundTrip(b, automation::toByte) != b) fail(kTarget, "a Byte reads back as another value");
      break;
    }
    case 7: {
      // Dates print to the second; that text is what must read back.
      const automation::Date d = in.date();
      std::u16string printed;
      if (raised([&] { printed = toText(Variant(d)); }) == 0) roundTrip(Variant(d), automation::toDate);
      break;
    }
    default: {
      const Variant b(in.flag());
      if (roundTrip(b, automation::toBoolean) != b) fail(kTarget, "a Boolean reads back as another value");
    }
  }
}

void convertToEveryType(FuzzInput& in) {
  const Variant value = in.variant();
  for (std::uint16_t code = 0; code <= 20; ++code) {
    raised([&] { automation::changeType(value, static_cast<VarType>(code)); });
  }
  raised([&] { toText(value); });
  automation::isNumeric(value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  switch (in.byte() % 4) {
    case 0:
      printNumber(in);
      break;
    case 1:
      convertToEveryType(in);
      break;
    default:
      readText(automation::fromUtf8(in.rest()));
  }
  return 0;
}
