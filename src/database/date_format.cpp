// Date and time text: the library's pattern language, the two fixed styles,
// the SQL dialects' date literals and the ISO-like standard text.
#include <string>

#include "qv_commonclass/database.h"
#include "qv_platform/codepage.h"

namespace qv_commonclass {

namespace {

// The weekday names are kept as GBK bytes and decoded with the process's
// ANSI code page when used, as the product's Chinese installations do; under
// another ANSI code page they do not come out as Chinese.
const char* const kWeekdayNamesGbk[7] = {
    "\xD0\xC7\xC6\xDA\xC8\xD5",  // 星期日 Sunday
    "\xD0\xC7\xC6\xDA\xD2\xBB",  // 星期一 Monday
    "\xD0\xC7\xC6\xDA\xB6\xFE",  // 星期二 Tuesday
    "\xD0\xC7\xC6\xDA\xC8\xFD",  // 星期三 Wednesday
    "\xD0\xC7\xC6\xDA\xCB\xC4",  // 星期四 Thursday
    "\xD0\xC7\xC6\xDA\xCE\xE5",  // 星期五 Friday
    "\xD0\xC7\xC6\xDA\xC1\xF9",  // 星期六 Saturday
};

CString WeekdayName(int day_of_week) {
  if (day_of_week < 0 || day_of_week > 6) return CString();
  return CString(qvp::ToWide(kWeekdayNamesGbk[day_of_week], CP_ACP));
}

// The record of `date`, or zeros (and known = false) when the platform
// cannot convert it.
SYSTEMTIME ToSystemTime(double date, bool& known) {
  SYSTEMTIME st;
  known = VariantTimeToSystemTime(date, &st) != FALSE;
  if (!known) st = SYSTEMTIME{};
  return st;
}

CString FormatPattern(const SYSTEMTIME& st, LPCWSTR pattern, bool weekday_known) {
  if (pattern == nullptr) return CString();
  CString year, month, day, hour, minute, second;
  year.Format(u"%04d", st.wYear);
  month.Format(u"%02d", st.wMonth);
  day.Format(u"%02d", st.wDay);
  hour.Format(u"%02d", st.wHour);
  minute.Format(u"%02d", st.wMinute);
  second.Format(u"%02d", st.wSecond);
  const CString weekday = weekday_known ? WeekdayName(st.wDayOfWeek) : CString();
  CString text(pattern);
  text.Replace(u"%Y", year);
  text.Replace(u"%m", month);
  text.Replace(u"%d", day);
  text.Replace(u"%H", hour);
  text.Replace(u"%M", minute);
  text.Replace(u"%S", second);
  text.Replace(u"%A", weekday);
  return text;
}

CString FormatStyle(const SYSTEMTIME& st, int with_time) {
  CString text;
  if (with_time) {
    text.Format(u"%04d-%02d-%02d %02d:%02d:%02d", st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute,
                st.wSecond);
  } else {
    text.Format(u"%04d-%02d-%02d", st.wYear, st.wMonth, st.wDay);
  }
  return text;
}

// The literal of dialects other than Oracle around the date text.
CString PlainLiteral(CString text, em_QVDatabaseType type) {
  CString literal;
  switch (type) {
    case em_QVDBDB2:
      text += u".000000";
      literal.Format(u"TIMESTAMP('%s')", text);
      break;
    case em_QVDBAccess: literal.Format(u"#%s#", text); break;
    default: literal.Format(u"'%s'", text); break;
  }
  return literal;
}

}  // namespace

CString QV_FormatDateTime(SYSTEMTIME st, LPCWSTR pattern) { return FormatPattern(st, pattern, true); }

CString QV_FormatDateTime(SYSTEMTIME st, int withTime) { return FormatStyle(st, withTime); }

CString QV_FormatDateTime(double date, LPCWSTR pattern) {
  bool known = false;
  const SYSTEMTIME st = ToSystemTime(date, known);
  return FormatPattern(st, pattern, known);
}

CString QV_FormatDateTime(double date, int withTime) {
  bool known = false;
  return FormatStyle(ToSystemTime(date, known), withTime);
}

CString QV_FormatDateTime(double date, em_QVDatabaseType type, LPCWSTR pattern) {
  const LPCWSTR safe_pattern = pattern != nullptr ? pattern : u"";
  const CString text = QV_FormatDateTime(date, safe_pattern);
  if (type != em_QVDBOracle) return PlainLiteral(text, type);
  CString mask(safe_pattern);
  mask.Replace(u"%Y", u"YYYY");
  mask.Replace(u"%m", u"MM");
  mask.Replace(u"%d", u"DD");
  mask.Replace(u"%H", u"HH24");
  mask.Replace(u"%M", u"MI");
  mask.Replace(u"%S", u"SS");
  CString literal;
  literal.Format(u"TO_DATE('%s','%s')", text, mask);
  return literal;
}

CString QV_FormatDateTime(double date, em_QVDatabaseType type, int withTime) {
  const CString text = QV_FormatDateTime(date, withTime);
  if (type != em_QVDBOracle) return PlainLiteral(text, type);
  CString literal;
  literal.Format(withTime ? u"TO_DATE('%s','YYYY-MM-DD HH24:MI:SS')" : u"TO_DATE('%s','YYYY-MM-DD')", text);
  return literal;
}

double QV_FromSystemTime2Date(SYSTEMTIME& st) {
  double date = 0.0;
  SystemTimeToVariantTime(&st, &date);  // leaves 0.0 when the record is refused
  return date;
}

SYSTEMTIME QV_FromDate2SystemTime(double date) {
  bool known = false;
  return ToSystemTime(date, known);
}

CString QV_GetStandardDateTimeString(const COleDateTime& t) {
  CString text;
  text.Format(u"%d-%02d-%02dT%02d:%02d:%02d.0Z", t.GetYear(), t.GetMonth(), t.GetDay(), t.GetHour(),
              t.GetMinute(), t.GetSecond());
  return text;
}

}  // namespace qv_commonclass
