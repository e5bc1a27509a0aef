// Dates are serials: whole days counted from 1899-12-30, and the time of day as the fraction.
#include "automation/Conversions.h"

#include <cmath>
#include <ctime>

#include "automation/NumberText.h"
#include "automation/Text.h"

namespace automation {

using detail::ascii;
using detail::checkedDate;
using detail::isDigit;
using detail::overflow;

namespace {

constexpr double kMinDate = -657434.0;         // 0100-01-01
constexpr double kMaxDate = 2958465.99999999;  // 9999-12-31 23:59:59
constexpr std::int32_t kDaysFrom1970 = 25569;  // 1899-12-30 .. 1970-01-01

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

std::u16string twoDigits(std::int32_t v) {
  return std::u16string{static_cast<char16_t>(u'0' + v / 10), static_cast<char16_t>(u'0' + v % 10)};
}

}  // namespace

Date detail::checkedDate(double v) {
  if (!std::isfinite(v) || v < kMinDate || v > kMaxDate) overflow();
  return Date{v};
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
