// The C runtime's number readers on wide text (the engine under every
// number the library reads from settings, XML, lists and time code).
// Besides "no crash, no read past the text": the readers agree with one
// another (_wtol is wcstol in base 10, _wtoi64 is _wcstoi64), the end pointer
// stays inside the text, a number read prints as decimal text that reads back
// to the same number, and swscanf never writes past the buffers it is given.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "qv_platform/crt.h"
#include "qv_platform/unicode.h"
#include "qv_platform/xmldom.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1 || size > 256) return 0;
  const int base = data[0] % 38;  // 36 and 37 exercise refused bases
  const std::u16string text = qvp::Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(data + 1), size - 1));
  const char16_t* begin = text.c_str();
  const char16_t* const last = begin + text.size();

  char16_t* end = nullptr;
  const LONG l = wcstol(begin, &end, base);
  QV_FUZZ_CHECK(end >= begin && end <= last);
  const LONGLONG ll = _wcstoi64(begin, &end, base);
  QV_FUZZ_CHECK(end >= begin && end <= last);
  wcstoul(begin, &end, base);
  QV_FUZZ_CHECK(end >= begin && end <= last);
  _wcstoui64(begin, &end, base);
  QV_FUZZ_CHECK(end >= begin && end <= last);
  QV_FUZZ_CHECK(_wtol(begin) == wcstol(begin, nullptr, 10));
  QV_FUZZ_CHECK(_wtoi64(begin) == _wcstoi64(begin, nullptr, 10));
  QV_FUZZ_CHECK(_wtoi(begin) == _wtol(begin));

  // A number read prints as text that reads back to it.
  if (base == 10) {
    QV_FUZZ_CHECK(_wtol(qvp::Utf8ToUtf16(std::to_string(l)).c_str()) == l);
    QV_FUZZ_CHECK(_wtoi64(qvp::Utf8ToUtf16(std::to_string(ll)).c_str()) == ll);
  }
  const double d = wcstod(begin, &end);
  QV_FUZZ_CHECK(end >= begin && end <= last);
  QV_FUZZ_CHECK(_wtof(begin) == d || (std::isnan(d) && std::isnan(_wtof(begin))));
  // Subnormals may read back as 0 (the reader reports their underflow).
  if (std::fpclassify(d) == FP_NORMAL || d == 0.0) QV_FUZZ_CHECK(_wtof(qvp::Utf8ToUtf16(qvp::FormatDoubleShortest(d)).c_str()) == d);

  // The scan conversions the library's callers use, into buffers of the
  // smallest size that fits any word of the text.
  int i = 0;
  unsigned u = 0;
  LONGLONG i64 = 0;
  double f = 0;
  std::vector<char16_t> word(text.size() + 1);
  const int fields = swscanf(begin, u"%d %u %I64d %lf %s", &i, &u, &i64, &f, word.data());
  QV_FUZZ_CHECK(fields >= -1 && fields <= 5);
  return 0;
}
