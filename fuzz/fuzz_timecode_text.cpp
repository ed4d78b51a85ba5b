// Time code text read at every video standard. Besides "no crash": at the
// whole-number rates (24, 25, 30, 50), where the two conversions are exact
// inverses, a frame number that was read prints as text that reads back to
// the same text. The table's 23.98, 29.97 and 59.94 rates number frames by
// their single-precision rate (107891 frames an hour at 29.97, not 107892), so
// there the printed text of a read count may name a neighbouring frame.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz_check.h"
#include "qv_commonclass/media.h"
#include "qv_platform/unicode.h"

using namespace qv_commonclass;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1 || size > 64) return 0;
  // The first byte picks the standard (one of the single-bit values; 0 would
  // read the default rate from the settings file, which a fuzzer must not
  // write); the rest is the text.
  const auto standard = static_cast<emQVVideoStandard>(1u << (data[0] % 20));
  const std::u16string text = qvp::Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(data + 1), size - 1));
  const LONG frames = QV_FromStringToTimeCode(text.c_str(), standard);
  QV_FUZZ_CHECK(frames >= 0);
  const CString printed = QV_GetStringFromTimeCode(frames, standard);
  const double rate = GetTimeCodeFrameRate(standard);
  if (rate != 24.0 && rate != 25.0 && rate != 30.0 && rate != 50.0) return 0;
  // Hours wrap at 24 in the text; the reader takes up to 99.
  const LONG back = QV_FromStringToTimeCode(printed.GetString(), standard);
  const CString again = QV_GetStringFromTimeCode(back, standard);
  QV_FUZZ_CHECK(again == printed);
  return 0;
}
