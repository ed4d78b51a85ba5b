// Dates and times as the Windows platform and its application framework keep
// them: the broken-down SYSTEMTIME record, the OLE Automation date (a double
// counting days since 1899-12-30 00:00 with the time of day as the fraction)
// and the framework's COleDateTime value class.
//
// OLE dates are not monotonic below zero: the whole part gives the day and
// the fraction always counts forward within that day, so -1.25 is 1899-12-29
// 06:00 and -0.5 is the same instant as 0.5. The platform converts dates
// from 0100-01-01 (-657434) to 9999-12-31 23:59:59 (2958465.99998...); every
// conversion rounds to the nearest second and drops milliseconds.
#pragma once

#include "qv_platform/cstring.h"
#include "qv_platform/export.h"
#include "qv_platform/wintypes.h"

struct SYSTEMTIME {
  WORD wYear = 0;
  WORD wMonth = 0;
  WORD wDayOfWeek = 0;  // 0 = Sunday
  WORD wDay = 0;
  WORD wHour = 0;
  WORD wMinute = 0;
  WORD wSecond = 0;
  WORD wMilliseconds = 0;
};
using LPSYSTEMTIME = SYSTEMTIME*;
using DATE = double;
using LCID = DWORD;

inline constexpr LCID LANG_USER_DEFAULT = 0x0400;
inline constexpr LCID LOCALE_USER_DEFAULT = 0x0400;
// Flags of COleDateTime::Format(DWORD, LCID) and ParseDateTime.
inline constexpr DWORD VAR_TIMEVALUEONLY = 0x00000001;
inline constexpr DWORD VAR_DATEVALUEONLY = 0x00000002;

// The smallest and largest whole days the platform converts.
inline constexpr double QVP_MIN_DATE = -657434.0;   // 0100-01-01
inline constexpr double QVP_MAX_DATE = 2958465.0;   // 9999-12-31

// SystemTimeToVariantTime converts `st` into `*date`; TRUE on success.
// wDayOfWeek and wMilliseconds are ignored. Like the platform it accepts
// loose fields and normalises them: years 0-29 mean 2000-2029 and 30-99 mean
// 1930-1999; a day 0 is the last day of the previous month and a day past the
// month's end runs into the next month (2024-02-30 is 2024-03-01); month 0 is
// December of the year before; hours, minutes and seconds beyond their range
// carry into the next unit. It fails (FALSE, `*date` untouched) for a null
// pointer, a month above 12, a day above 31, a year above 9999, or a result
// after 9999-12-31 23:59:59. Days before 1899-12-30 give a negative whole part
// with the time added away from zero (1899-12-29 06:00 is -1.25).
QVP_API int SystemTimeToVariantTime(const SYSTEMTIME* st, double* date) noexcept;

// VariantTimeToSystemTime converts `date` into `*st`, rounding to the nearest
// second (23:59:59.5 becomes 00:00:00 of the next day), with wMilliseconds 0
// and wDayOfWeek set. FALSE (and `*st` untouched) for a null pointer, NaN,
// a date whose whole day lies outside -657434..2958465, or one that rounds
// past 9999-12-31 23:59:59.
QVP_API int VariantTimeToSystemTime(double date, SYSTEMTIME* st) noexcept;

// GetLocalTime / GetSystemTime: the current local / UTC time, milliseconds
// included.
QVP_API void GetLocalTime(SYSTEMTIME* st) noexcept;
QVP_API void GetSystemTime(SYSTEMTIME* st) noexcept;

namespace qvp {
// DayOfYear gives 1-366 for a valid date record, 0 otherwise.
QVP_API int DayOfYear(const SYSTEMTIME& st) noexcept;
}  // namespace qvp

// COleDateTimeSpan: a length of time in days (fraction = part of a day).
class QVP_API COleDateTimeSpan {
 public:
  enum DateTimeSpanStatus { valid = 0, invalid = 1, null = 2 };

  COleDateTimeSpan() noexcept = default;
  COleDateTimeSpan(double days) noexcept : m_span(days) {}  // NOLINT: implicit like the framework's
  COleDateTimeSpan(long days, int hours, int minutes, int seconds) noexcept;

  DateTimeSpanStatus GetStatus() const noexcept { return m_status; }
  void SetStatus(DateTimeSpanStatus status) noexcept { m_status = status; }
  double GetTotalDays() const noexcept { return m_span; }
  double GetTotalHours() const noexcept { return m_span * 24.0; }
  double GetTotalMinutes() const noexcept { return m_span * 1440.0; }
  double GetTotalSeconds() const noexcept { return m_span * 86400.0; }
  // The parts of the span rounded to the second, each with the span's sign.
  long GetDays() const noexcept;
  long GetHours() const noexcept;
  long GetMinutes() const noexcept;
  long GetSeconds() const noexcept;

  friend bool operator==(const COleDateTimeSpan& a, const COleDateTimeSpan& b) noexcept {
    return a.m_status == b.m_status && a.m_span == b.m_span;
  }

  double m_span = 0.0;
  DateTimeSpanStatus m_status = valid;
};

// COleDateTime: an OLE date with a status.
//
// Status: `valid` (the default, value 0.0 = 1899-12-30 00:00), `invalid` (a
// failed SetDateTime or ParseDateTime, or arithmetic on an invalid operand)
// and `null` (set by the caller; formats as empty text). A valid object may
// still hold a date the platform cannot convert (outside years 100-9999): its
// Get* members then answer -1 (`error`) and Format gives "Invalid DateTime".
class QVP_API COleDateTime {
 public:
  enum DateTimeStatus { error = -1, valid = 0, invalid = 1, null = 2 };

  COleDateTime() noexcept = default;
  COleDateTime(DATE date) noexcept : m_dt(date) {}  // NOLINT: implicit like the framework's
  COleDateTime(const SYSTEMTIME& st) noexcept;      // NOLINT
  COleDateTime(int year, int month, int day, int hour, int minute, int second) noexcept;

  // The current local time to the second.
  static COleDateTime GetCurrentTime() noexcept;

  DateTimeStatus GetStatus() const noexcept { return m_status; }
  void SetStatus(DateTimeStatus status) noexcept { m_status = status; }

  // SetDateTime / SetDate / SetTime set the value and return the new status
  // (0 = valid). Unlike SystemTimeToVariantTime they are strict: every field
  // must be in range (years 100-9999, the day within its month, hours 0-23,
  // minutes and seconds 0-59), else the status is `invalid`. SetDate sets
  // midnight of the day; SetTime sets the time on 1899-12-30.
  int SetDateTime(int year, int month, int day, int hour, int minute, int second) noexcept;
  int SetDate(int year, int month, int day) noexcept { return SetDateTime(year, month, day, 0, 0, 0); }
  int SetTime(int hour, int minute, int second) noexcept { return SetDateTime(1899, 12, 30, hour, minute, second); }

  // The fields of a valid, convertible date; -1 (`error`) otherwise.
  // GetDayOfWeek is 1 for Sunday to 7 for Saturday; GetDayOfYear 1-366.
  int GetYear() const noexcept;
  int GetMonth() const noexcept;
  int GetDay() const noexcept;
  int GetHour() const noexcept;
  int GetMinute() const noexcept;
  int GetSecond() const noexcept;
  int GetDayOfWeek() const noexcept;
  int GetDayOfYear() const noexcept;
  // GetAsSystemTime fills `st` for a valid, convertible date; false otherwise.
  bool GetAsSystemTime(SYSTEMTIME& st) const noexcept;

  operator DATE() const noexcept { return m_dt; }  // NOLINT
  COleDateTime& operator=(DATE date) noexcept;
  COleDateTime& operator=(const SYSTEMTIME& st) noexcept;

  // Comparison follows the time line (a negative date's fraction counts
  // forward), so 1899-12-29 18:00 (-1.75) is later than 1899-12-29 06:00.
  // Two null dates are equal; invalid dates equal nothing.
  bool operator==(const COleDateTime& o) const noexcept {
    if (m_status != o.m_status) return false;
    return m_status == valid ? m_dt == o.m_dt : m_status == null;
  }
  bool operator<(const COleDateTime& o) const noexcept;
  bool operator>(const COleDateTime& o) const noexcept { return o < *this; }
  bool operator<=(const COleDateTime& o) const noexcept { return !(o < *this); }
  bool operator>=(const COleDateTime& o) const noexcept { return !(*this < o); }

  // Arithmetic along the time line: a null operand gives null, an invalid
  // one or a result outside the convertible range gives invalid.
  COleDateTime operator+(const COleDateTimeSpan& span) const noexcept;
  COleDateTime operator-(const COleDateTimeSpan& span) const noexcept;
  COleDateTime& operator+=(const COleDateTimeSpan& span) noexcept { return *this = *this + span; }
  COleDateTime& operator-=(const COleDateTimeSpan& span) noexcept { return *this = *this - span; }
  COleDateTimeSpan operator-(const COleDateTime& other) const noexcept;

  // Format(flags, lcid) writes the date in the user's locale, which here is
  // the product's Chinese (PRC) short form "yyyy/M/d H:mm:ss" (the year always
  // with four digits, "0223/2/3"): the time alone
  // when the date is 1899-12-30, the date alone at midnight, both otherwise.
  // VAR_DATEVALUEONLY / VAR_TIMEVALUEONLY force one part. `lcid` is ignored.
  // A null date gives "", an invalid or unconvertible one "Invalid DateTime".
  CString Format(DWORD flags = 0, LCID lcid = LANG_USER_DEFAULT) const;
  // Format(pattern) is the C runtime's wcsftime in its "C" locale (English
  // names): %a %A %b %B %c %C %d %D %e %F %g %G %h %H %I %j %m %M %n %p %r %R
  // %S %t %T %u %U %V %w %W %x %X %y %Y %z %Z %%, and the '#' flag (%#d drops
  // leading zeros, %#c and %#x give the long date form). %Y has at least four
  // digits ("0223"), so every year 100-9999 it writes reads back with
  // ParseDateTime. %z and %Z write
  // nothing (the value carries no time zone). An unknown code is copied
  // unchanged; a result longer than 255 units is empty, as the framework's
  // fixed buffer gives. Null, invalid and unconvertible dates as above; a null
  // pattern gives "".
  CString Format(LPCWSTR pattern) const;

  // ParseDateTime reads `text`; true and status `valid` on success, false
  // with value 0.0 and status `invalid` otherwise (leading and trailing
  // blanks are ignored). Accepted forms, case-free:
  //   date:  YYYY-M-D, YYYY/M/D, YYYY.M.D (four-digit year first);
  //          "March 1, 2024", "Mar 1 2024", "1 March 2024", "1-Mar-2024";
  //   time:  H:MM, H:MM:SS, optionally followed by AM/PM (or A/P);
  //   both:  a date, blanks, a time (no "T" between them).
  // A date alone means midnight; a time alone means that time on 1899-12-30.
  // Fractional seconds, time-zone marks and out-of-range fields are refused.
  // VAR_DATEVALUEONLY drops the time, VAR_TIMEVALUEONLY the date. `lcid` is
  // ignored (the product's clients use ISO order).
  bool ParseDateTime(LPCWSTR text, DWORD flags = 0, LCID lcid = LANG_USER_DEFAULT) noexcept;

  DATE m_dt = 0.0;
  DateTimeStatus m_status = valid;
};
