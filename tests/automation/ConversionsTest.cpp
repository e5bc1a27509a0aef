#include "automation/Conversions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include <unicode/uchar.h>

#include "automation/Text.h"
#include "support/Errors.h"

namespace {

using namespace automation;
using testing_support::errorNumber;

TEST(ToText, PrintsNumbersAsThePlatformDoes) {
  EXPECT_EQ(toText(1.5), u"1.5");
  EXPECT_EQ(toText(0.1 + 0.2), u"0.3");  // 15 significant digits
  EXPECT_EQ(toText(123456789012345.0), u"123456789012345");
  EXPECT_EQ(toText(1e15), u"1E+15");
  EXPECT_EQ(toText(1234567890123456.0), u"1.23456789012346E+15");
  EXPECT_EQ(toText(0.0001), u"0.0001");
  EXPECT_EQ(toText(0.00001), u"0.00001");  // plain while the digits fit in 15 places
  EXPECT_EQ(toText(1e-15), u"0.000000000000001");
  EXPECT_EQ(toText(0.000123456789012345), u"1.23456789012345E-04");
  EXPECT_EQ(toText(1.0 / 3), u"0.333333333333333");
  EXPECT_EQ(toText(-2.5e-20), u"-2.5E-20");
  EXPECT_EQ(toText(100.0), u"100");
  EXPECT_EQ(toText(-0.0), u"0");
  EXPECT_EQ(toText(0.1f), u"0.1");  // Single: 7 significant digits
  EXPECT_EQ(toText(std::int32_t{-42}), u"-42");
  EXPECT_EQ(toText(std::uint8_t{200}), u"200");
  EXPECT_EQ(toText(Currency{125000}), u"12.5");
  EXPECT_EQ(toText(Currency{-5}), u"-0.0005");
  EXPECT_EQ(toText(true), u"True");
  EXPECT_EQ(toText(false), u"False");
  EXPECT_EQ(toText(Variant{}), u"");
  EXPECT_EQ(toText(cvErr(5)), u"Error 5");
  EXPECT_EQ(errorNumber([] { toText(Variant::null()); }), errors::InvalidUseOfNull);
}

TEST(ToText, PrintsDatesInOneShortForm) {
  EXPECT_EQ(dateToText(makeDate(2024, 1, 31)), u"2024-01-31");
  EXPECT_EQ(dateToText(makeDate(2024, 1, 31, 13, 45, 7)), u"2024-01-31 13:45:07");
  EXPECT_EQ(dateToText(Date{0.5}), u"12:00:00");               // a time alone
  EXPECT_EQ(dateToText(Date{0}), u"00:00:00");                 // date part zero: the time alone
  EXPECT_EQ(dateToText(Date{-1.25}), u"1899-12-29 06:00:00");  // the fraction counts forward
  EXPECT_EQ(makeDate(1899, 12, 29, 6).value, -1.25);
  EXPECT_EQ(toText(makeDate(2000, 2, 29)), u"2000-02-29");
}

TEST(ParseDate, ReadsWhatDateToTextWritesAndRejectsImpossibleDates) {
  for (Date d : {makeDate(2024, 12, 31), makeDate(1900, 3, 1, 23, 59, 59), makeDate(100, 1, 1), Date{0.75}}) {
    EXPECT_EQ(parseDate(dateToText(d)), d) << toUtf8(dateToText(d));
  }
  EXPECT_EQ(parseDate(u" 2024/2/9 "), makeDate(2024, 2, 9));
  EXPECT_FALSE(parseDate(u"2023-02-29"));
  EXPECT_FALSE(parseDate(u"2024-13-01"));
  EXPECT_FALSE(parseDate(u"2024-01-01 25:00"));
  EXPECT_FALSE(parseDate(u"yesterday"));
  EXPECT_EQ(toDate(Variant(u"2024-01-31")), makeDate(2024, 1, 31));
  EXPECT_EQ(errorNumber([] { toDate(Variant(u"2024-02-30")); }), errors::TypeMismatch);
  EXPECT_EQ(errorNumber([] { toDate(1e9); }), errors::Overflow);
}

TEST(ToLong, RoundsHalfToEvenAndRaisesOverflow) {
  EXPECT_EQ(toLong(2.5), 2);
  EXPECT_EQ(toLong(3.5), 4);
  EXPECT_EQ(toLong(-2.5), -2);
  EXPECT_EQ(toLong(-3.5), -4);
  EXPECT_EQ(toLong(2.5000001), 3);
  EXPECT_EQ(toLong(Variant(u"2.5")), 2);
  EXPECT_EQ(toLong(Currency{25000}), 2);
  EXPECT_EQ(toLong(Currency{35000}), 4);
  EXPECT_EQ(toLong(true), -1);
  EXPECT_EQ(toLong(Variant{}), 0);
  EXPECT_EQ(toLong(2147483647.4), 2147483647);
  EXPECT_EQ(errorNumber([] { toLong(2147483647.5); }), errors::Overflow);
  EXPECT_EQ(errorNumber([] { toLong(-2147483649.0); }), errors::Overflow);
  EXPECT_EQ(toInteger(-32768.4), -32768);
  EXPECT_EQ(errorNumber([] { toInteger(32767.5); }), errors::Overflow);
  EXPECT_EQ(errorNumber([] { toByte(-1); }), errors::Overflow);
  EXPECT_EQ(errorNumber([] { toLong(std::nan("")); }), errors::Overflow);
}

TEST(ToLong, ReadsTextTheWayThePlatformDoes) {
  EXPECT_EQ(toLong(Variant(u"  12 ")), 12);
  EXPECT_EQ(toLong(Variant(u"-7")), -7);
  EXPECT_EQ(toLong(Variant(u"+7")), 7);
  EXPECT_EQ(toLong(Variant(u"1,000")), 1000);
  EXPECT_EQ(toLong(Variant(u"1e3")), 1000);
  EXPECT_EQ(toLong(Variant(u"1D2")), 100);
  EXPECT_EQ(toLong(Variant(u"&HFF")), 255);
  EXPECT_EQ(toLong(Variant(u"&HFFFF")), 65535);  // only a 16-bit target wraps at 16 bits
  EXPECT_EQ(toInteger(Variant(u"&HFFFF")), -1);
  EXPECT_EQ(toInteger(Variant(u"&H8000")), -32768);
  EXPECT_EQ(toLong(Variant(u"&H8000")), 32768);
  EXPECT_EQ(toDouble(Variant(u"&HFFFFFFFF")), -1);
  EXPECT_EQ(errorNumber([] { toInteger(Variant(u"&H10000")); }), errors::Overflow);
  EXPECT_EQ(toLong(Variant(u"2.50000000000000000001")), 3);  // rounded from the exact digits
  EXPECT_EQ(toLong(Variant(u"(5)")), -5);
  EXPECT_EQ(toLong(Variant(u"5-")), -5);
  EXPECT_EQ(toLong(Variant(u"- 5")), -5);
  EXPECT_EQ(toLong(Variant(u"\u300012\u3000")), 12);  // ideographic spaces from CJK input
  EXPECT_EQ(toDouble(Variant(u"$1,234.5")), 1234.5);
  EXPECT_EQ(toLong(Variant(u"&H10000")), 65536);
  EXPECT_EQ(toLong(Variant(u"&HFFFFFFFF")), -1);
  EXPECT_EQ(toLong(Variant(u"&O17")), 15);
  EXPECT_EQ(errorNumber([] { toLong(Variant(u"&H100000000")); }), errors::Overflow);
  for (const char16_t* bad :
       {u"", u"   ", u"abc", u"12abc", u"1e", u".", u"-", u"&H", u"&HG", u"1 2", u",1"}) {
    EXPECT_EQ(errorNumber([&] { toLong(Variant(bad)); }), errors::TypeMismatch) << toUtf8(bad);
  }
  EXPECT_EQ(errorNumber([] { toDouble(Variant(u"1e400")); }), errors::Overflow);
  EXPECT_EQ(toDouble(Variant(u"1e-400")), 0.0);
}

TEST(ToBoolean, AcceptsNumbersAndTheWordsTrueAndFalse) {
  EXPECT_TRUE(toBoolean(Variant(u" true ")));
  EXPECT_FALSE(toBoolean(Variant(u"FALSE")));
  EXPECT_TRUE(toBoolean(Variant(u"-2")));
  EXPECT_FALSE(toBoolean(Variant(u"0")));
  EXPECT_TRUE(toBoolean(0.5));
  EXPECT_FALSE(toBoolean(Variant{}));
  EXPECT_EQ(errorNumber([] { toBoolean(Variant(u"yes")); }), errors::TypeMismatch);
}

TEST(Decimal, KeepsExactDigitsAndRoundsHalfToEven) {
  EXPECT_EQ(toText(toDecimal(Variant(u"123.4500"))), u"123.45");
  EXPECT_EQ(toText(toDecimal(Variant(u"-0.000"))), u"0");
  EXPECT_EQ(toText(toDecimal(Variant(u"79228162514264337593543950335"))), u"79228162514264337593543950335");
  EXPECT_EQ(errorNumber([] { toDecimal(Variant(u"79228162514264337593543950336")); }), errors::Overflow);
  EXPECT_EQ(toText(toDecimal(Variant(u"1.00000000000000000000000000005"))), u"1");  // 28 places, to even
  EXPECT_EQ(toLong(toDecimal(Variant(u"2.5"))), 2);
  EXPECT_EQ(toText(toDecimal(Variant(u"0e50"))), u"0");
  EXPECT_EQ(toLong(toDecimal(Variant(u"-3.5"))), -4);
  EXPECT_EQ(toText(toDecimal(0.1)), u"0.1");
  EXPECT_DOUBLE_EQ(toDouble(toDecimal(Variant(u"1e-3"))), 0.001);
  EXPECT_EQ(toCurrency(Variant(u"12.34565")).scaled, 123456);
}

TEST(Currency, ReadsBackItsWholeRangeAndNoFurther) {
  const Currency lowest{std::numeric_limits<std::int64_t>::min()};
  const Currency highest{std::numeric_limits<std::int64_t>::max()};
  EXPECT_EQ(toText(lowest), u"-922337203685477.5808");
  EXPECT_EQ(toCurrency(Variant(toText(lowest))), lowest);
  EXPECT_EQ(toCurrency(Variant(toText(highest))), highest);
  EXPECT_EQ(toCurrency(toDecimal(Variant(u"-922337203685477.5808"))), lowest);
  EXPECT_EQ(toCurrency(-900000000000000.0).scaled, -9000000000000000000);
  // The Double next beyond the lowest Currency scales to exactly -2^63, and is still beyond it.
  EXPECT_EQ(errorNumber([] { toCurrency(-922337203685477.625); }), errors::Overflow);
  EXPECT_EQ(errorNumber([] { toCurrency(Variant(u"922337203685477.5808")); }), errors::Overflow);
  EXPECT_EQ(errorNumber([] { toCurrency(Variant(u"-922337203685477.5809")); }), errors::Overflow);
  EXPECT_EQ(errorNumber([] { toCurrency(922337203685477.5808); }), errors::Overflow);
  EXPECT_EQ(errorNumber([] { toCurrency(-922337203685478.0); }), errors::Overflow);
}

TEST(IsNumeric, FollowsTheTextToNumberRules) {
  for (const char16_t* yes :
       {u"12", u" -3.5 ", u"1E3", u"1,000.5", u"&H1F", u"&o7", u".5", u"5.", u"(7)", u"7-"}) {
    EXPECT_TRUE(isNumeric(Variant(yes))) << toUtf8(yes);
  }
  for (const char16_t* no : {u"", u"  ", u"abc", u"1e", u"--1", u"&H", u"1.2.3", u"TRUE", u"(7", u"-5-"}) {
    EXPECT_FALSE(isNumeric(Variant(no))) << toUtf8(no);
  }
  EXPECT_TRUE(isNumeric(Variant{}));
  EXPECT_TRUE(isNumeric(true));
  EXPECT_FALSE(isNumeric(Variant::null()));
  EXPECT_FALSE(isNumeric(makeDate(2024, 1, 1)));
}

TEST(Val, ReadsTheLeadingNumber) {
  EXPECT_EQ(val(u"  1 2 3"), 123);
  EXPECT_EQ(val(u"\t4\n5 6"), 456);
  EXPECT_EQ(val(u"12abc"), 12);
  EXPECT_EQ(val(u"-3.5x"), -3.5);
  EXPECT_EQ(val(u"1.2.3"), 1.2);
  EXPECT_EQ(val(u"1,000"), 1);
  EXPECT_EQ(val(u"1e2x"), 100);
  EXPECT_EQ(val(u"1e"), 1);
  EXPECT_EQ(val(u".5"), 0.5);
  EXPECT_EQ(val(u"&HFF"), 255);
  EXPECT_EQ(val(u"&HFFFF"), -1);
  EXPECT_EQ(val(u"&HFFFF&"), 65535);
  EXPECT_EQ(val(u"&O10"), 8);
  EXPECT_EQ(val(u"abc"), 0);
  EXPECT_EQ(val(u""), 0);
  EXPECT_EQ(val(u"+-1"), 0);
}

TEST(Round, RoundsHalfToEven) {
  EXPECT_EQ(automation::round(2.5), 2);
  EXPECT_EQ(automation::round(3.5), 4);
  EXPECT_EQ(automation::round(-2.5), -2);
  EXPECT_EQ(automation::round(0.125, 2), 0.12);
  EXPECT_EQ(automation::round(0.375, 2), 0.38);
  EXPECT_EQ(automation::round(1234.5678, 0), 1235);
  EXPECT_EQ(errorNumber([] { automation::round(1.0, -1); }), errors::InvalidProcedureCall);
}

TEST(ChangeType, ConvertsToEachTypeCode) {
  EXPECT_EQ(changeType(Variant(u"42"), VarType::Long), Variant(std::int32_t{42}));
  EXPECT_EQ(changeType(Variant(std::int32_t{42}), VarType::String), Variant(u"42"));
  EXPECT_EQ(changeType(Variant(u"True"), VarType::Boolean), Variant(true));
  EXPECT_EQ(changeType(Variant(u"7"), VarType::Variant), Variant(u"7"));
  EXPECT_EQ(changeType(2.5, VarType::Integer), Variant(std::int16_t{2}));
  EXPECT_EQ(errorNumber([] { changeType(Variant(u"x"), VarType::Object); }), errors::TypeMismatch);
  EXPECT_EQ(errorNumber([] { changeType(Variant::null(), VarType::Long); }), errors::InvalidUseOfNull);
}

TEST(Text, CaseMappingKeepsLengthsAndComparesWithoutCase) {
  EXPECT_EQ(upper(u"abc äöü ß ﬀ"), u"ABC ÄÖÜ ß ﬀ");  // one code unit for one
  EXPECT_EQ(lower(u"ÄBC"), u"äbc");
  EXPECT_EQ(upper(u"专案"), u"专案");
  // Case mapping skips the CJK, kana and Hangul-letter blocks without the Unicode tables: none of
  // their code points has a case, and letters around them still map.
  for (UChar32 c = 0x3000; c <= 0x9FFF; ++c) {
    ASSERT_EQ(u_toupper(c), c) << std::hex << c;
    ASSERT_EQ(u_tolower(c), c) << std::hex << c;
  }
  EXPECT_EQ(upper(u"报表a表ä"), u"报表A表Ä");
  EXPECT_EQ(lower(u"ＡB表"), u"ａb表");
  EXPECT_EQ(inStr(1, u"xLanguage=CHT", u"language=", Compare::Text), 2);
  EXPECT_EQ(inStr(3, u"abcabc", u"ABC", Compare::Text), 4);
  EXPECT_EQ(inStr(1, u"abc", u"ABC"), 0);
  EXPECT_EQ(inStr(2, u"abc", u""), 2);
  EXPECT_EQ(errorNumber([] { inStr(0, u"abc", u"a"); }), errors::InvalidProcedureCall);
  EXPECT_EQ(replace(u"my PROJECT and project", u"Project", u"Item", Compare::Text), u"my Item and Item");
  EXPECT_EQ(replace(u"專案專案", u"專案", u"項目"), u"項目項目");
  EXPECT_EQ(replace(u"aaa", u"aa", u"b"), u"ba");
  EXPECT_TRUE(equalsIgnoreCase(u"Language", u"LANGUAGE"));
  EXPECT_EQ(trim(u"  a b  "), u"a b");
  EXPECT_EQ(trim(u"   "), u"");
}

TEST(Text, SameUpperAnswersAsComparingTheUpperCaseTexts) {
  // ASCII, CJK, letters with tables, a letter that folds to ASCII, pairs and lone surrogates.
  const std::u16string pieces[] = {u"a",          u"A",          u"z",      u"{",      u"报", u"表",
                                   u"ä",          u"Ä",          u"ß",      u"\u212A", u"k",  u"K",
                                   u"\U0001043C", u"\U00010414", u"\xD801", u"\xDC3C", u" ",  u"1"};
  std::vector<std::u16string> texts = {u""};
  for (const auto& a : pieces) {
    texts.push_back(a);
    for (const auto& b : pieces) texts.push_back(a + b);
  }
  for (const auto& x : texts) {
    for (const auto& y : texts) {
      ASSERT_EQ(sameUpper(x, y), upper(x) == upper(y)) << toUtf8(x) << " / " << toUtf8(y);
    }
  }
  EXPECT_TRUE(sameUpper(u"基准报表a", u"基准报表A"));
  EXPECT_FALSE(sameUpper(u"基准报表0", u"基准报表1"));
  EXPECT_EQ(trimmed(u"  a b  "), u"a b");
  EXPECT_EQ(trimmed(u"   "), u"");
}

TEST(Text, PropertyStringsAreReadByWholeKeys) {
  EXPECT_EQ(propertyValue(u"A=1;Language=EN;B=2", u"language"), u"EN");
  EXPECT_EQ(propertyValue(u"XLanguage=CHT; Language = CHT ;Language=EN", u"Language"), u" CHT ");
  EXPECT_EQ(propertyValue(u"Note=Language=CHT", u"Language"), std::nullopt);
  EXPECT_EQ(propertyValue(u"Language;Language=", u"Language"), u"");
  EXPECT_EQ(propertyValue(u"", u"A"), std::nullopt);
}

TEST(Text, Utf8RoundTrip) {
  const std::u16string text = u"报表 Ω 𝄞 end";
  EXPECT_EQ(fromUtf8(toUtf8(text)), text);
  EXPECT_EQ(toUtf8(u"宋体"), "宋体");
  EXPECT_EQ(fromUtf8("\xff"), u"\xfffd");
}

}  // namespace
