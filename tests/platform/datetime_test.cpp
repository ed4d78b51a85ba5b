#include "qv_platform/datetime.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <tuple>

#include <gtest/gtest.h>

namespace {

SYSTEMTIME Make(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
  return SYSTEMTIME{WORD(y), WORD(mo), 0, WORD(d), WORD(h), WORD(mi), WORD(s), WORD(ms)};
}

// Text is the broken-down time VariantTimeToSystemTime gives for `date`, or
// "refused" when it fails and leaves its output alone.
std::string Text(double date) {
  SYSTEMTIME st = Make(1, 2, 3);
  if (!VariantTimeToSystemTime(date, &st))
    return st.wYear == 1 && st.wMonth == 2 && st.wDay == 3 ? "refused" : "refused, output touched";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d w%d ms%d", st.wYear, st.wMonth, st.wDay, st.wHour,
                st.wMinute, st.wSecond, st.wDayOfWeek, st.wMilliseconds);
  return buf;
}

// Expected values agree with the platform's own conversion.
TEST(VariantTimeTest, DateToSystemTime) {
  const std::pair<double, const char*> cases[] = {
      {0.0, "1899-12-30 00:00:00 w6 ms0"},     {1.0, "1899-12-31 00:00:00 w0 ms0"},
      {-1.0, "1899-12-29 00:00:00 w5 ms0"},    {-1.25, "1899-12-29 06:00:00 w5 ms0"},  // fraction counts forward
      {-0.5, "1899-12-30 12:00:00 w6 ms0"},    {45352.354166666664, "2024-03-01 08:30:00 w5 ms0"},
      {-657434.0, "0100-01-01 00:00:00 w5 ms0"}, {-657434.99999, "0100-01-01 23:59:59 w5 ms0"},
      {2958465.99998, "9999-12-31 23:59:58 w5 ms0"},
      // Rounding to the nearest second carries into the next day (and weekday).
      {45352.000005, "2024-03-01 00:00:00 w5 ms0"}, {45352.0000058, "2024-03-01 00:00:01 w5 ms0"},
      {45352.99999999, "2024-03-02 00:00:00 w6 ms0"}, {-1.99999999, "1899-12-30 00:00:00 w6 ms0"},
      // Exact half seconds (to the nearest double) round up, as on Windows.
      {45352.000005787035, "2024-03-01 00:00:01 w5 ms0"}, {-2.0000173611111109, "1899-12-28 00:00:02 w4 ms0"},
      {45352.000005787, "2024-03-01 00:00:00 w5 ms0"},
      {60.0, "1900-02-28 00:00:00 w3 ms0"},    {61.0, "1900-03-01 00:00:00 w4 ms0"},  // 1900 is no leap year
      {-657435.0, "refused"}, {2958466.0, "refused"}, {2958465.9999999991, "refused"},  // rounds past the end
      {1e300, "refused"}, {-1e300, "refused"}, {std::nan(""), "refused"}, {double(INFINITY), "refused"},
  };
  for (const auto& [date, text] : cases) EXPECT_EQ(Text(date), text) << date;
}

TEST(VariantTimeTest, SystemTimeToDate) {
  constexpr double kRefused = 7.0;  // the output of a refused conversion stays as it was
  const std::pair<SYSTEMTIME, double> cases[] = {
      {Make(2024, 3, 1, 8, 30, 0, 999), 45352.354166666664},  // milliseconds dropped
      {Make(1899, 12, 29, 6), -1.25}, {Make(1800, 6, 15, 12), -36357.5}, {Make(100, 1, 1), -657434.0},
      {Make(9999, 12, 31, 23, 59, 59), 2958465.0 + 86399.0 / 86400.0},
      // Loose fields are normalised as the platform does.
      {Make(99, 1, 1), 36161.0}, {Make(29, 1, 1), 47119.0}, {Make(0, 1, 1), 36526.0},
      {Make(2024, 2, 30), 45352.0}, {Make(2024, 2, 0), 45322.0}, {Make(2024, 0, 1), 45261.0},
      {Make(2024, 3, 1, 24), 45353.0}, {Make(2024, 3, 1, 25, 61, 61), 45353.0 + 7321.0 / 86400.0},
      {Make(2024, 13, 1), kRefused}, {Make(2024, 1, 32), kRefused}, {Make(10000, 1, 1), kRefused},
      {Make(9999, 12, 31, 23, 59, 60), kRefused},
  };
  for (const auto& [st, expected] : cases) {
    double date = kRefused;
    EXPECT_EQ(SystemTimeToVariantTime(&st, &date), expected != kRefused) << st.wYear << "-" << st.wMonth;
    EXPECT_DOUBLE_EQ(date, expected) << st.wYear << "-" << st.wMonth << "-" << st.wDay;
  }
}

// Every second of a day survives both conversions, on either side of day 0
// (where the fraction counts forward from a negative day) and at the range ends.
TEST(VariantTimeTest, RoundTripAroundMidnightAndRangeEnds) {
  for (double day : {-657434.0, -2.0, -1.0, 0.0, 45352.0, 2958465.0}) {
    for (int s : {0, 1, 59, 3599, 43200, 86398, 86399}) {
      const double date = day >= 0 ? day + s / 86400.0 : day - s / 86400.0;
      SYSTEMTIME st;
      double back = 0;
      ASSERT_TRUE(VariantTimeToSystemTime(date, &st) && SystemTimeToVariantTime(&st, &back)) << date;
      EXPECT_EQ(st.wHour * 3600 + st.wMinute * 60 + st.wSecond, s) << date;
      EXPECT_EQ(back, date);
    }
  }
}

// Every day of the range, walked with the calendar's own month lengths and
// weekdays, and on some days a spread of times either side of a second's
// half and of midnight: the split of a date into its fields is the
// calendar, whatever arithmetic computes it.
TEST(VariantTimeTest, EveryDayOfTheRangeSplitsIntoItsCalendarDate) {
  int y = 100, m = 1, d = 1, weekday = 5;  // 0100-01-01 was a Friday
  auto monthLength = [](int year, int month) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
  };
  const std::pair<double, int> times[] = {{0.0, 0},
                                          {0.4 / 86400, 0},
                                          {0.6 / 86400, 1},
                                          {43200.49 / 86400, 43200},
                                          {43200.51 / 86400, 43201},
                                          {86399.4 / 86400, 86399}};
  int failures = 0;
  const auto first = static_cast<long long>(QVP_MIN_DATE), last = static_cast<long long>(QVP_MAX_DATE);
  for (long long day = first; day <= last && failures < 5; ++day) {
    const std::size_t step = (day - first) % 97 == 0 ? 1 : std::size(times);  // all times on some days
    for (std::size_t t = 0; t < std::size(times); t += step) {
      const auto [fraction, seconds] = times[t];
      const double date = day >= 0 ? static_cast<double>(day) + fraction : static_cast<double>(day) - fraction;
      SYSTEMTIME st{};
      const bool ok = VariantTimeToSystemTime(date, &st);
      const int got = st.wHour * 3600 + st.wMinute * 60 + st.wSecond;
      if (!ok || st.wYear != y || st.wMonth != m || st.wDay != d || st.wDayOfWeek != weekday || got != seconds) {
        ++failures;
        ADD_FAILURE() << "day " << day << " + " << fraction << ": " << Text(date) << ", want " << y << "-" << m << "-"
                      << d << " w" << weekday << " at " << seconds << "s";
      }
    }
    weekday = (weekday + 1) % 7;
    if (++d > monthLength(y, m)) {
      d = 1;
      if (++m > 12) m = 1, ++y;
    }
  }
  EXPECT_EQ(y, 10000) << "the walk ends after 9999-12-31";
}

TEST(OleDateTimeTest, StatusAndFields) {
  const COleDateTime t(2024, 3, 1, 8, 30, 0);
  ASSERT_EQ(t.GetStatus(), COleDateTime::valid);
  EXPECT_EQ(t.m_dt, 45352.354166666664);
  EXPECT_EQ((std::array{t.GetYear(), t.GetMonth(), t.GetDay(), t.GetHour(), t.GetMinute(), t.GetSecond(),
                        t.GetDayOfWeek(), t.GetDayOfYear()}),
            (std::array{2024, 3, 1, 8, 30, 0, 6, 61}));  // day of week 1 = Sunday
  EXPECT_EQ(COleDateTime(100, 1, 1, 0, 0, 0).m_dt, QVP_MIN_DATE);

  // SetDateTime is strict where the raw conversion is loose.
  for (auto [y, mo, d, h, mi] : {std::array{2024, 2, 30, 0, 0}, std::array{99, 1, 1, 0, 0}, std::array{2024, 3, 1, 24, 0},
                                 std::array{2024, 3, 1, 0, 60}, std::array{10000, 1, 1, 0, 0}, std::array{-1, 1, 1, 0, 0},
                                 std::array{2023, 2, 29, 0, 0}}) {
    COleDateTime bad;
    EXPECT_EQ(bad.SetDateTime(y, mo, d, h, mi, 0), COleDateTime::invalid) << y << "-" << mo << "-" << d;
    EXPECT_EQ(bad.GetYear(), -1);
  }
  EXPECT_EQ(COleDateTime(2024, 2, 30, 0, 0, 0).Format(u"%Y"), u"Invalid DateTime");
  // A valid status with an unconvertible date reads as -1; null formats empty.
  const COleDateTime far(3e6);
  EXPECT_EQ(far.GetStatus(), COleDateTime::valid);
  EXPECT_EQ(far.GetSecond(), -1);
  EXPECT_EQ(far.Format(), u"Invalid DateTime");
  COleDateTime nul(45352.0);
  nul.SetStatus(COleDateTime::null);
  EXPECT_EQ(nul.GetDay(), -1);
  EXPECT_EQ(nul.Format(u"%Y"), u"");
}

TEST(OleDateTimeTest, FormatPatterns) {
  const COleDateTime t(2024, 3, 1, 8, 5, 9);
  const std::pair<const char16_t*, const char16_t*> cases[] = {
      {u"%Y-%m-%d %H:%M:%S", u"2024-03-01 08:05:09"},      {u"%y %B %b %A %a %j", u"24 March Mar Friday Fri 061"},
      {u"%I %p|%#d/%#m %#H", u"08 AM|1/3 8"},              {u"%c|%x|%X", u"03/01/24 08:05:09|03/01/24|08:05:09"},
      {u"%#x", u"Friday, March 01, 2024"},                 {u"%F %T %e|%u %w", u"2024-03-01 08:05:09  1|5 5"},
      {u"%U %W %V %G", u"08 09 09 2024"},                  {u"100%% %q %", u"100% %q %"},
      {u"日期 %Y年", u"日期 2024年"},
  };
  for (const auto& [pattern, text] : cases) EXPECT_EQ(t.Format(pattern), text) << CString(pattern);
  EXPECT_EQ(COleDateTime(2024, 3, 1, 12, 0, 0).Format(u"%I %p"), u"12 PM");
  EXPECT_EQ(COleDateTime(2024, 3, 1, 0, 0, 0).Format(u"%I %p"), u"12 AM");
  EXPECT_EQ(t.Format(std::u16string(300, u'x').c_str()), u"");  // beyond the framework's buffer

  // The default form shows only the meaningful parts.
  const std::tuple<double, DWORD, const char16_t*> defaults[] = {
      {45352.354166666664, 0, u"2024/3/1 8:30:00"}, {45352.0, 0, u"2024/3/1"}, {0.5, 0, u"12:00:00"},
      {0.0, 0, u"0:00:00"}, {45352.354166666664, VAR_DATEVALUEONLY, u"2024/3/1"},
      {45352.354166666664, VAR_TIMEVALUEONLY, u"8:30:00"}};
  for (const auto& [date, flags, text] : defaults) EXPECT_EQ(COleDateTime(date).Format(flags), text) << date;
}

TEST(OleDateTimeTest, Parse) {
  const std::pair<const char16_t*, double> accepted[] = {
      {u"2024-03-01", 45352.0},          {u"  2024-03-01 08:30:00 ", 45352.354166666664},
      {u"2024/3/1 8:30", 45352.354166666664}, {u"2024.03.01", 45352.0},
      {u"08:30:00", 30600.0 / 86400.0},  {u"8:30 PM", 73800.0 / 86400.0},
      {u"12:15 am", 900.0 / 86400.0},    {u"March 1, 2024 08:30", 45352.354166666664},
      {u"1 mar 2024", 45352.0},          {u"1-Mar-2024", 45352.0},
      {u"0100-01-01", QVP_MIN_DATE},     {u"9999-12-31 23:59:59", 2958465.0 + 86399.0 / 86400.0},
  };
  for (const auto& [text, date] : accepted) {
    COleDateTime t;
    EXPECT_TRUE(t.ParseDateTime(text) && t.GetStatus() == COleDateTime::valid) << CString(text);
    EXPECT_DOUBLE_EQ(t.m_dt, date) << CString(text);
  }
  COleDateTime t;
  ASSERT_TRUE(t.ParseDateTime(u"2024-03-01 08:30:00", VAR_DATEVALUEONLY));
  EXPECT_EQ(t.m_dt, 45352.0);
  ASSERT_TRUE(t.ParseDateTime(u"2024-03-01 12:00:00", VAR_TIMEVALUEONLY));
  EXPECT_EQ(t.m_dt, 0.5);

  for (const char16_t* text :
       {u"", u"   ", u"2009-05-01T08:30:00", u"2024-03-01 08:30:00.5", u"2024-03-01 08:30:00Z", u"2024-02-30",
        u"2024-13-01", u"0099-01-01", u"2024-03-01 24:00", u"2024-03-01 08:60", u"13:00 PM", u"20240301",
        u"yesterday", u"2024-03/01", u"二〇二四年", u"45352.5", static_cast<const char16_t*>(nullptr)}) {
    COleDateTime u(2024, 1, 1, 0, 0, 0);
    EXPECT_FALSE(u.ParseDateTime(text)) << CString(text ? text : u"(null)");
    EXPECT_TRUE(u.GetStatus() == COleDateTime::invalid && u.m_dt == 0.0);
  }
}

// The date text the value class writes must read back, for every year it
// can hold: years below 1000 are written with leading zeros ("0223"), as the
// platform's runtime writes them, since the reader takes four-digit years only.
TEST(OleDateTimeTest, OwnTextReadsBackForEveryYear) {
  const struct {
    int year;
    const char16_t* iso;     // Format("%Y-%m-%d %H:%M:%S")
    const char16_t* locale;  // Format() at a time of day other than midnight
  } cases[] = {
      {100, u"0100-02-03 04:05:06", u"0100/2/3 4:05:06"},
      {223, u"0223-02-03 04:05:06", u"0223/2/3 4:05:06"},
      {999, u"0999-02-03 04:05:06", u"0999/2/3 4:05:06"},
      {1000, u"1000-02-03 04:05:06", u"1000/2/3 4:05:06"},
      {9999, u"9999-02-03 04:05:06", u"9999/2/3 4:05:06"},
  };
  for (const auto& c : cases) {
    const COleDateTime t(c.year, 2, 3, 4, 5, 6);
    EXPECT_EQ(t.Format(u"%Y-%m-%d %H:%M:%S"), c.iso);
    EXPECT_EQ(t.Format(), c.locale);
    COleDateTime back;
    EXPECT_TRUE(back.ParseDateTime(c.iso) && back == t) << c.year;
    EXPECT_TRUE(back.ParseDateTime(c.locale) && back == t) << c.year;
  }
  EXPECT_EQ(COleDateTime(223, 2, 3, 0, 0, 0).Format(u"%#Y"), u"223");
  for (int year = 100; year <= 9999; year += 7) {
    const COleDateTime t(year, 12, 31, 23, 59, 59);
    COleDateTime back;
    ASSERT_TRUE(back.ParseDateTime(t.Format(u"%Y-%m-%d %H:%M:%S")) && back == t) << year;
  }
}

TEST(OleDateTimeTest, CurrentTimeIsNow) {
  SYSTEMTIME now;
  GetLocalTime(&now);
  double expected = 0;
  ASSERT_TRUE(SystemTimeToVariantTime(&now, &expected));  // milliseconds are dropped
  EXPECT_LT(std::fabs(COleDateTime::GetCurrentTime().m_dt - expected) * 86400.0, 5.0);
}

}  // namespace
