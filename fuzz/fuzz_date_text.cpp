// Date text read by COleDateTime::ParseDateTime, the way the library and its
// tools turn text into an OLE date. Besides "no crash": a date that was read
// is a convertible date, and its text in the library's own forms
// ("%Y-%m-%d %H:%M:%S" and the locale form) reads back to the same date.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz_check.h"
#include "qv_commonclass/database.h"
#include "qv_platform/datetime.h"
#include "qv_platform/unicode.h"

using namespace qv_commonclass;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1 || size > 128) return 0;
  // The first byte picks the flags (date only, time only, both).
  const DWORD flags = data[0] % 3;
  const std::u16string text = qvp::Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(data + 1), size - 1));
  COleDateTime date;
  if (!date.ParseDateTime(text.c_str(), flags)) {
    QV_FUZZ_CHECK(date.GetStatus() == COleDateTime::invalid && date.m_dt == 0.0);
    return 0;
  }
  QV_FUZZ_CHECK(date.GetStatus() == COleDateTime::valid);
  SYSTEMTIME st;
  QV_FUZZ_CHECK(date.GetAsSystemTime(st));

  COleDateTime back;
  const CString iso = date.Format(u"%Y-%m-%d %H:%M:%S");
  QV_FUZZ_CHECK(back.ParseDateTime(iso.GetString()));
  QV_FUZZ_CHECK(back == date);
  const CString locale = date.Format(VAR_DATEVALUEONLY);
  QV_FUZZ_CHECK(back.ParseDateTime(locale.GetString(), VAR_DATEVALUEONLY));
  QV_FUZZ_CHECK(back.GetYear() == st.wYear && back.GetMonth() == st.wMonth && back.GetDay() == st.wDay);
  // The library's own style text of the same date reads back as well.
  const CString styled = QV_FormatDateTime(date.m_dt, 1);
  QV_FUZZ_CHECK(back.ParseDateTime(styled.GetString()));
  QV_FUZZ_CHECK(back == date);
  return 0;
}
