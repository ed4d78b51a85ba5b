// OLE Automation dates, SYSTEMTIME and COleDateTime.
//
// The conversions were checked against Wine's oleaut32 (itself tested against
// Windows). Where this file chooses differently it says so: the day of week
// is always that of the final date (Wine keeps the weekday of the day before
// when rounding carries into the next day), and a result past 9999-12-31
// 23:59:59 is refused (Wine hands back year 10000). The time fraction is
// computed as seconds / 86400 in one step, which gives the correctly rounded
// double (2024-03-01 08:30:00 is 45352.354166666664); Wine sums three
// fractions and may differ in the last bit. Back from a date, the time is
// rounded to the second after Wine's tolerance is added (see
// VariantTimeToSystemTime).
#include "qv_platform/datetime.h"

#include <cctype>
#include <cmath>
#include <cstdint>
#include <ctime>
#include <regex>
#include <string>

#include "qv_platform/chartype.h"

namespace {

constexpr long long kSecondsPerDay = 86400;

// Days since 1970-01-01 of a proleptic Gregorian date; month 1-12, any day
// (days past the month's end simply count on).
constexpr long long DaysFromCivil(long long y, long long m, long long d) noexcept {
  y -= m <= 2 ? 1 : 0;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const long long yoe = y - era * 400;
  const long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

// The inverse of DaysFromCivil for the days of years 100-9999 (and a few
// thousand years either side), in unsigned 32-bit steps that compile to
// multiplications: every date a save writes goes through it. The day is
// shifted by whole 400-year cycles to count from a March 1st before any of
// them; the year then starts in March, so February's leap day comes last.
constexpr void CivilFromDays(long long z, long long& y, long long& m, long long& d) noexcept {
  constexpr std::uint32_t kCycles = 82;  // 400-year cycles shifted
  constexpr std::uint32_t kShift = 719468 + 146097 * kCycles;
  const auto n = static_cast<std::uint32_t>(z + kShift);
  // Century, and day of the century.
  const std::uint32_t n1 = 4 * n + 3;
  const std::uint32_t century = n1 / 146097;
  const std::uint32_t ofCentury = n1 % 146097 / 4;
  // Year of the century, and day of the year: 2939745 / 2^32 is 1 / 365.25
  // closely enough for the days of a century.
  const std::uint64_t p2 = std::uint64_t{2939745} * (4 * ofCentury + 3);
  const auto ofYears = static_cast<std::uint32_t>(p2 >> 32);
  const std::uint32_t ofYear = static_cast<std::uint32_t>(p2) / 2939745 / 4;
  // Month (from March) and day: (2141 * ofYear + 197913) / 65536 is the
  // month as 3-14.
  const std::uint32_t n3 = 2141 * ofYear + 197913;
  const std::uint32_t month = n3 / 65536;
  const std::uint32_t day = n3 % 65536 / 2141;
  const bool nextYear = ofYear >= 306;  // January and February
  y = static_cast<long long>(100 * century + ofYears) - 400LL * kCycles + (nextYear ? 1 : 0);
  m = nextYear ? month - 12 : month;
  d = day + 1;
}

constexpr long long kEpoch = DaysFromCivil(1899, 12, 30);
static_assert(DaysFromCivil(100, 1, 1) - kEpoch == static_cast<long long>(QVP_MIN_DATE));
static_assert(DaysFromCivil(9999, 12, 31) - kEpoch == static_cast<long long>(QVP_MAX_DATE));

bool IsLeap(long long y) noexcept { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(long long y, long long m) noexcept {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (m < 1 || m > 12) return 0;
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

// The position of an OLE date on a monotonic time line, and back.
double LineFromDate(double date) noexcept {
  if (date >= 0) return date;
  const double whole = std::trunc(date);
  return whole + std::fabs(date - whole);
}

double DateFromLine(double line) noexcept {
  if (line >= 0) return line;
  const double day = std::floor(line);
  const double frac = line - day;
  return day - frac;
}

bool InRange(double date) noexcept { return date > QVP_MIN_DATE - 1.0 && date < QVP_MAX_DATE + 1.0; }

void FillFromTm(const std::tm& tm, long nanos, SYSTEMTIME* st) noexcept {
  st->wYear = static_cast<WORD>(tm.tm_year + 1900);
  st->wMonth = static_cast<WORD>(tm.tm_mon + 1);
  st->wDayOfWeek = static_cast<WORD>(tm.tm_wday);
  st->wDay = static_cast<WORD>(tm.tm_mday);
  st->wHour = static_cast<WORD>(tm.tm_hour);
  st->wMinute = static_cast<WORD>(tm.tm_min);
  st->wSecond = static_cast<WORD>(tm.tm_sec > 59 ? 59 : tm.tm_sec);
  st->wMilliseconds = static_cast<WORD>(nanos / 1000000);
}

const char16_t kInvalidDateTime[] = u"Invalid DateTime";

}  // namespace

int SystemTimeToVariantTime(const SYSTEMTIME* st, double* date) noexcept {
  if (st == nullptr || date == nullptr) return FALSE;
  if (st->wMonth > 12 || st->wDay > 31 || st->wYear > 9999) return FALSE;
  long long year = st->wYear;
  if (year < 30) {
    year += 2000;
  } else if (year < 100) {
    year += 1900;
  }
  long long month = st->wMonth;
  if (month == 0) {
    month = 12;
    --year;
  }
  long long seconds = st->wHour * 3600LL + st->wMinute * 60LL + st->wSecond;
  const long long day = DaysFromCivil(year, month, 1) - kEpoch + (st->wDay - 1) + seconds / kSecondsPerDay;
  seconds %= kSecondsPerDay;
  if (day < static_cast<long long>(QVP_MIN_DATE) || day > static_cast<long long>(QVP_MAX_DATE)) return FALSE;
  const double fraction = static_cast<double>(seconds) / static_cast<double>(kSecondsPerDay);
  *date = day >= 0 ? static_cast<double>(day) + fraction : static_cast<double>(day) - fraction;
  return TRUE;
}

int VariantTimeToSystemTime(double date, SYSTEMTIME* st) noexcept {
  if (st == nullptr || !InRange(date)) return FALSE;
  const double whole = std::trunc(date);
  long long day = static_cast<long long>(whole);
  // A date half a second past a second is, as a double, often a hair below
  // the half; Windows rounds it up all the same. Like Wine, a tolerance of
  // 1e-11 days (under a microsecond) is added to the fraction before it is
  // rounded, so 45352.000005787035 is 00:00:01, not 00:00:00.
  constexpr double kTolerance = 1e-11;
  double fraction = std::fabs(date - whole) + kTolerance;
  if (fraction >= 1.0) fraction -= kTolerance;
  // Rounded half away from zero, as llround does, without the call: the
  // seconds are not negative, and taking off their whole part is exact.
  const double exact = fraction * static_cast<double>(kSecondsPerDay);
  long long seconds = static_cast<long long>(exact);
  if (exact - static_cast<double>(seconds) >= 0.5) ++seconds;
  if (seconds >= kSecondsPerDay) {
    seconds -= kSecondsPerDay;
    ++day;
  }
  if (day > static_cast<long long>(QVP_MAX_DATE)) return FALSE;
  long long y = 0, m = 0, d = 0;
  CivilFromDays(day + kEpoch, y, m, d);
  st->wYear = static_cast<WORD>(y);
  st->wMonth = static_cast<WORD>(m);
  st->wDay = static_cast<WORD>(d);
  st->wDayOfWeek = static_cast<WORD>(((day % 7) + 7 + 6) % 7);  // day 0 was a Saturday
  st->wHour = static_cast<WORD>(seconds / 3600);
  st->wMinute = static_cast<WORD>(seconds / 60 % 60);
  st->wSecond = static_cast<WORD>(seconds % 60);
  st->wMilliseconds = 0;
  return TRUE;
}

void GetLocalTime(SYSTEMTIME* st) noexcept {
  if (st == nullptr) return;
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  std::tm tm{};
  localtime_r(&ts.tv_sec, &tm);
  FillFromTm(tm, ts.tv_nsec, st);
}

void GetSystemTime(SYSTEMTIME* st) noexcept {
  if (st == nullptr) return;
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  std::tm tm{};
  gmtime_r(&ts.tv_sec, &tm);
  FillFromTm(tm, ts.tv_nsec, st);
}

namespace qvp {

int DayOfYear(const SYSTEMTIME& st) noexcept {
  if (st.wMonth < 1 || st.wMonth > 12 || st.wDay < 1 || st.wDay > DaysInMonth(st.wYear, st.wMonth)) return 0;
  return static_cast<int>(DaysFromCivil(st.wYear, st.wMonth, st.wDay) - DaysFromCivil(st.wYear, 1, 1) + 1);
}

}  // namespace qvp

// ---- COleDateTimeSpan -----------------------------------------------------------

COleDateTimeSpan::COleDateTimeSpan(long days, int hours, int minutes, int seconds) noexcept
    : m_span(static_cast<double>(days) + hours / 24.0 + minutes / 1440.0 + seconds / 86400.0) {}

namespace {
long long SpanSeconds(double span) noexcept {
  const double s = span * static_cast<double>(kSecondsPerDay);
  if (!(std::fabs(s) < 9.2e18)) return 0;
  return std::llround(s);
}
}  // namespace

long COleDateTimeSpan::GetDays() const noexcept { return static_cast<long>(SpanSeconds(m_span) / kSecondsPerDay); }
long COleDateTimeSpan::GetHours() const noexcept { return static_cast<long>(SpanSeconds(m_span) / 3600 % 24); }
long COleDateTimeSpan::GetMinutes() const noexcept { return static_cast<long>(SpanSeconds(m_span) / 60 % 60); }
long COleDateTimeSpan::GetSeconds() const noexcept { return static_cast<long>(SpanSeconds(m_span) % 60); }

// ---- COleDateTime ---------------------------------------------------------------

COleDateTime::COleDateTime(const SYSTEMTIME& st) noexcept { *this = st; }

COleDateTime::COleDateTime(int year, int month, int day, int hour, int minute, int second) noexcept {
  SetDateTime(year, month, day, hour, minute, second);
}

COleDateTime COleDateTime::GetCurrentTime() noexcept {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  return COleDateTime(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                      tm.tm_sec > 59 ? 59 : tm.tm_sec);
}

int COleDateTime::SetDateTime(int year, int month, int day, int hour, int minute, int second) noexcept {
  // Strict where the conversion is loose: convert, convert back and demand
  // the same fields, so that 2024-02-30, hour 24 or year 99 are refused.
  const auto in_word = [](int v) { return v >= 0 && v <= 0xFFFF; };
  m_status = invalid;
  m_dt = 0.0;
  if (!in_word(year) || !in_word(month) || !in_word(day) || !in_word(hour) || !in_word(minute) ||
      !in_word(second))
    return m_status;
  SYSTEMTIME st;
  st.wYear = static_cast<WORD>(year);
  st.wMonth = static_cast<WORD>(month);
  st.wDay = static_cast<WORD>(day);
  st.wHour = static_cast<WORD>(hour);
  st.wMinute = static_cast<WORD>(minute);
  st.wSecond = static_cast<WORD>(second);
  double date = 0.0;
  SYSTEMTIME back;
  if (SystemTimeToVariantTime(&st, &date) && VariantTimeToSystemTime(date, &back) && back.wYear == st.wYear &&
      back.wMonth == st.wMonth && back.wDay == st.wDay && back.wHour == st.wHour &&
      back.wMinute == st.wMinute && back.wSecond == st.wSecond) {
    m_dt = date;
    m_status = valid;
  }
  return m_status;
}

bool COleDateTime::GetAsSystemTime(SYSTEMTIME& st) const noexcept {
  return m_status == valid && VariantTimeToSystemTime(m_dt, &st);
}

int COleDateTime::GetYear() const noexcept {
  SYSTEMTIME st;
  return GetAsSystemTime(st) ? static_cast<int>(st.wYear) : static_cast<int>(error);
}
int COleDateTime::GetMonth() const noexcept {
  SYSTEMTIME st;
  return GetAsSystemTime(st) ? static_cast<int>(st.wMonth) : static_cast<int>(error);
}
int COleDateTime::GetDay() const noexcept {
  SYSTEMTIME st;
  return GetAsSystemTime(st) ? static_cast<int>(st.wDay) : static_cast<int>(error);
}
int COleDateTime::GetHour() const noexcept {
  SYSTEMTIME st;
  return GetAsSystemTime(st) ? static_cast<int>(st.wHour) : static_cast<int>(error);
}
int COleDateTime::GetMinute() const noexcept {
  SYSTEMTIME st;
  return GetAsSystemTime(st) ? static_cast<int>(st.wMinute) : static_cast<int>(error);
}
int COleDateTime::GetSecond() const noexcept {
  SYSTEMTIME st;
  return GetAsSystemTime(st) ? static_cast<int>(st.wSecond) : static_cast<int>(error);
}
int COleDateTime::GetDayOfWeek() const noexcept {
  SYSTEMTIME st;
  return GetAsSystemTime(st) ? static_cast<int>(st.wDayOfWeek + 1) : static_cast<int>(error);
}
int COleDateTime::GetDayOfYear() const noexcept {
  SYSTEMTIME st;
  return GetAsSystemTime(st) ? static_cast<int>(qvp::DayOfYear(st)) : static_cast<int>(error);
}

COleDateTime& COleDateTime::operator=(DATE date) noexcept {
  m_dt = date;
  m_status = valid;
  return *this;
}

COleDateTime& COleDateTime::operator=(const SYSTEMTIME& st) noexcept {
  SetDateTime(st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond);
  return *this;
}

bool COleDateTime::operator<(const COleDateTime& o) const noexcept {
  return LineFromDate(m_dt) < LineFromDate(o.m_dt);
}

namespace {
COleDateTime Shifted(const COleDateTime& date, const COleDateTimeSpan& span, double sign) noexcept {
  COleDateTime result;
  if (date.GetStatus() == COleDateTime::null || span.GetStatus() == COleDateTimeSpan::null) {
    result.SetStatus(COleDateTime::null);
    return result;
  }
  if (date.GetStatus() != COleDateTime::valid || span.GetStatus() != COleDateTimeSpan::valid) {
    result.SetStatus(COleDateTime::invalid);
    return result;
  }
  const double value = DateFromLine(LineFromDate(date.m_dt) + sign * span.m_span);
  if (!InRange(value)) {
    result.SetStatus(COleDateTime::invalid);
    return result;
  }
  result.m_dt = value;
  return result;
}
}  // namespace

COleDateTime COleDateTime::operator+(const COleDateTimeSpan& span) const noexcept { return Shifted(*this, span, 1.0); }
COleDateTime COleDateTime::operator-(const COleDateTimeSpan& span) const noexcept { return Shifted(*this, span, -1.0); }

COleDateTimeSpan COleDateTime::operator-(const COleDateTime& other) const noexcept {
  COleDateTimeSpan span;
  if (m_status == null || other.m_status == null) {
    span.SetStatus(COleDateTimeSpan::null);
  } else if (m_status != valid || other.m_status != valid) {
    span.SetStatus(COleDateTimeSpan::invalid);
  } else {
    span.m_span = LineFromDate(m_dt) - LineFromDate(other.m_dt);
  }
  return span;
}

// ---- Formatting -----------------------------------------------------------------

namespace {

const char* const kDayNames[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
const char* const kMonthNames[] = {"January", "February", "March",     "April",   "May",      "June",
                                   "July",    "August",   "September", "October", "November", "December"};

// ISO 8601 week-based year and week of `st`.
void IsoWeek(const SYSTEMTIME& st, int& iso_year, int& iso_week) {
  const long long days = DaysFromCivil(st.wYear, st.wMonth, st.wDay);
  const int wday_mon0 = static_cast<int>(((days % 7) + 7 + 3) % 7);  // 1970-01-01 was a Thursday
  const long long thursday = days - wday_mon0 + 3;
  long long y = 0, m = 0, d = 0;
  CivilFromDays(thursday, y, m, d);
  iso_year = static_cast<int>(y);
  iso_week = static_cast<int>((thursday - DaysFromCivil(y, 1, 1)) / 7 + 1);
}

std::string Num(long long value, int width, bool strip) {
  std::string s = std::to_string(value);
  if (!strip) {
    while (static_cast<int>(s.size()) < width) s.insert(s.begin(), '0');
  }
  return s;
}

void AppendCode(std::string& out, char code, bool alt, const SYSTEMTIME& st) {
  const int yday = qvp::DayOfYear(st) - 1;
  const int hour12 = st.wHour % 12 == 0 ? 12 : st.wHour % 12;
  switch (code) {
    case 'a': out.append(kDayNames[st.wDayOfWeek % 7], 3); break;
    case 'A': out += kDayNames[st.wDayOfWeek % 7]; break;
    case 'b':
    case 'h': out.append(kMonthNames[(st.wMonth + 11) % 12], 3); break;
    case 'B': out += kMonthNames[(st.wMonth + 11) % 12]; break;
    case 'c':
      if (alt) {
        AppendCode(out, 'x', true, st);
        out += ' ';
        AppendCode(out, 'X', false, st);
      } else {
        AppendCode(out, 'x', false, st);
        out += ' ';
        AppendCode(out, 'X', false, st);
      }
      break;
    case 'C': out += Num(st.wYear / 100, 2, alt); break;
    case 'd': out += Num(st.wDay, 2, alt); break;
    case 'D':
      AppendCode(out, 'm', false, st), out += '/', AppendCode(out, 'd', false, st), out += '/';
      AppendCode(out, 'y', false, st);
      break;
    case 'e': {
      std::string s = std::to_string(st.wDay);
      if (s.size() < 2 && !alt) s.insert(s.begin(), ' ');
      out += s;
      break;
    }
    case 'F':
      AppendCode(out, 'Y', false, st), out += '-', AppendCode(out, 'm', false, st), out += '-';
      AppendCode(out, 'd', false, st);
      break;
    case 'g':
    case 'G': {
      int iso_year = 0, iso_week = 0;
      IsoWeek(st, iso_year, iso_week);
      out += code == 'g' ? Num(iso_year % 100, 2, alt) : Num(iso_year, 4, alt);
      break;
    }
    case 'H': out += Num(st.wHour, 2, alt); break;
    case 'I': out += Num(hour12, 2, alt); break;
    case 'j': out += Num(yday + 1, 3, alt); break;
    case 'm': out += Num(st.wMonth, 2, alt); break;
    case 'M': out += Num(st.wMinute, 2, alt); break;
    case 'n': out += '\n'; break;
    case 'p': out += st.wHour < 12 ? "AM" : "PM"; break;
    case 'r':
      AppendCode(out, 'I', false, st), out += ':', AppendCode(out, 'M', false, st), out += ':';
      AppendCode(out, 'S', false, st), out += ' ', AppendCode(out, 'p', false, st);
      break;
    case 'R': AppendCode(out, 'H', false, st), out += ':', AppendCode(out, 'M', false, st); break;
    case 'S': out += Num(st.wSecond, 2, alt); break;
    case 't': out += '\t'; break;
    case 'T':
    case 'X':
      AppendCode(out, 'H', false, st), out += ':', AppendCode(out, 'M', false, st), out += ':';
      AppendCode(out, 'S', false, st);
      break;
    case 'u': out += std::to_string(st.wDayOfWeek == 0 ? 7 : st.wDayOfWeek); break;
    case 'U': out += Num((yday + 7 - st.wDayOfWeek) / 7, 2, alt); break;
    case 'V': {
      int iso_year = 0, iso_week = 0;
      IsoWeek(st, iso_year, iso_week);
      out += Num(iso_week, 2, alt);
      break;
    }
    case 'w': out += std::to_string(st.wDayOfWeek); break;
    case 'W': out += Num((yday + 7 - (st.wDayOfWeek + 6) % 7) / 7, 2, alt); break;
    case 'x':
      if (alt) {  // the "C" locale's long date: "Friday, March 01, 2024"
        out += kDayNames[st.wDayOfWeek % 7];
        out += ", ";
        out += kMonthNames[(st.wMonth + 11) % 12];
        out += ' ';
        out += Num(st.wDay, 2, false);
        out += ", ";
        out += std::to_string(st.wYear);
      } else {
        AppendCode(out, 'D', false, st);
      }
      break;
    case 'y': out += Num(st.wYear % 100, 2, alt); break;
    // At least four digits, as the platform's C runtime writes the year: "0223"
    // for 223, so that ParseDateTime, which takes four-digit years only,
    // reads back every date this writes (%#Y drops the zeros).
    case 'Y': out += Num(st.wYear, 4, alt); break;
    case 'z':
    case 'Z': break;
    case '%': out += '%'; break;
    default:
      out += '%';
      if (alt) out += '#';
      out += code;
      break;
  }
}

}  // namespace

CString COleDateTime::Format(LPCWSTR pattern) const {
  if (pattern == nullptr || m_status == null) return CString();
  SYSTEMTIME st;
  if (!GetAsSystemTime(st)) return CString(kInvalidDateTime);
  // Work on UTF-16 directly so that non-ASCII literal text passes through.
  std::u16string out;
  for (const char16_t* p = pattern; *p != 0; ++p) {
    if (*p != u'%' || p[1] == 0) {
      out += *p;
      continue;
    }
    ++p;
    bool alt = false;
    if (*p == u'#') {
      if (p[1] == 0) {
        out += u"%#";
        break;
      }
      alt = true;
      ++p;
    }
    if (*p > 0x7F) {
      out += u'%';
      if (alt) out += u'#';
      out += *p;
      continue;
    }
    std::string piece;
    AppendCode(piece, static_cast<char>(*p), alt, st);
    out.append(piece.begin(), piece.end());
  }
  if (out.size() > 255) return CString();
  return CString(std::move(out));
}

CString COleDateTime::Format(DWORD flags, LCID /*lcid*/) const {
  if (m_status == null) return CString();
  SYSTEMTIME st;
  if (!GetAsSystemTime(st)) return CString(kInvalidDateTime);
  const bool midnight = st.wHour == 0 && st.wMinute == 0 && st.wSecond == 0;
  const bool day_zero = st.wYear == 1899 && st.wMonth == 12 && st.wDay == 30;
  bool with_date = !day_zero;
  bool with_time = !midnight || day_zero;
  if (flags & VAR_DATEVALUEONLY) with_date = true, with_time = false;
  if (flags & VAR_TIMEVALUEONLY) with_date = false, with_time = true;
  std::u16string text;
  // "yyyy" of the locale pattern is four digits, zero-padded below 1000.
  if (with_date) text += qvp::Format(u"%04d/%d/%d", st.wYear, st.wMonth, st.wDay);
  if (with_date && with_time) text += u' ';
  if (with_time) text += qvp::Format(u"%d:%02d:%02d", st.wHour, st.wMinute, st.wSecond);
  return CString(std::move(text));
}

// ---- Parsing --------------------------------------------------------------------

namespace {

int MonthFromName(const std::string& word) {
  static const char* const kShort[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                       "jul", "aug", "sep", "oct", "nov", "dec"};
  for (int i = 0; i < 12; ++i) {
    std::string full = kMonthNames[i];
    for (char& c : full) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (word == full || word == kShort[i] || (i == 8 && word == "sept")) return i + 1;
  }
  return 0;
}

bool ParseDatePart(const std::string& text, int& y, int& m, int& d) {
  static const std::regex kNumeric(R"((\d{4})([-/.])(\d{1,2})\2(\d{1,2}))");
  static const std::regex kMonthFirst(R"(([a-z]+)\.?\s+(\d{1,2}),?\s+(\d{4}))");
  static const std::regex kDayFirst(R"((\d{1,2})(?:\s+|-)([a-z]+)\.?(?:,?\s+|-)(\d{4}))");
  std::smatch mt;
  if (std::regex_match(text, mt, kNumeric)) {
    y = std::stoi(mt[1]), m = std::stoi(mt[3]), d = std::stoi(mt[4]);
  } else if (std::regex_match(text, mt, kMonthFirst)) {
    m = MonthFromName(mt[1]), d = std::stoi(mt[2]), y = std::stoi(mt[3]);
  } else if (std::regex_match(text, mt, kDayFirst)) {
    d = std::stoi(mt[1]), m = MonthFromName(mt[2]), y = std::stoi(mt[3]);
  } else {
    return false;
  }
  return y >= 100 && y <= 9999 && m >= 1 && m <= 12 && d >= 1 && d <= DaysInMonth(y, m);
}

bool ParseTimePart(const std::string& text, int& h, int& mi, int& s) {
  static const std::regex kTime(R"((\d{1,2}):(\d{2})(?::(\d{2}))?(?:\s*(am|pm|a|p))?)");
  std::smatch mt;
  if (!std::regex_match(text, mt, kTime)) return false;
  h = std::stoi(mt[1]), mi = std::stoi(mt[2]), s = mt[3].matched ? std::stoi(mt[3]) : 0;
  if (mi > 59 || s > 59) return false;
  if (mt[4].matched) {
    if (h < 1 || h > 12) return false;
    const bool pm = mt[4].str()[0] == 'p';
    h = h % 12 + (pm ? 12 : 0);
  }
  return h <= 23;
}

}  // namespace

bool COleDateTime::ParseDateTime(LPCWSTR text, DWORD flags, LCID /*lcid*/) noexcept {
  m_dt = 0.0;
  m_status = invalid;
  if (text == nullptr) return false;
  std::u16string_view w(text);
  while (!w.empty() && qvp::IsWideSpace(w.front())) w.remove_prefix(1);
  while (!w.empty() && qvp::IsWideSpace(w.back())) w.remove_suffix(1);
  if (w.empty() || w.size() > 64) return false;
  std::string s;
  for (char16_t c : w) {
    if (c > 0x7F) {
      if (!qvp::IsWideSpace(c)) return false;
      c = u' ';
    }
    s += static_cast<char>(std::tolower(static_cast<int>(c)));
  }
  // The time, when there is one, is the blank-separated tail that holds the
  // first colon.
  std::string date_text = s, time_text;
  const std::size_t colon = s.find(':');
  if (colon != std::string::npos) {
    const std::size_t blank = s.find_last_of(" \t", colon);
    const std::size_t start = blank == std::string::npos ? 0 : blank + 1;
    date_text = s.substr(0, start);
    time_text = s.substr(start);
    while (!date_text.empty() && std::isspace(static_cast<unsigned char>(date_text.back()))) date_text.pop_back();
  }
  int y = 1899, mo = 12, d = 30, h = 0, mi = 0, sec = 0;
  try {
    if (!date_text.empty() && !ParseDatePart(date_text, y, mo, d)) return false;
    if (!time_text.empty() && !ParseTimePart(time_text, h, mi, sec)) return false;
  } catch (...) {  // regex resource limits or out-of-range numbers
    return false;
  }
  if (flags & VAR_DATEVALUEONLY) h = mi = sec = 0;
  if (flags & VAR_TIMEVALUEONLY) y = 1899, mo = 12, d = 30;
  return SetDateTime(y, mo, d, h, mi, sec) == valid;
}
