// UTF-8 and code page conversion of arbitrary bytes. Besides "no crash":
//   - UTF-8 decoding gives text that encodes and decodes to itself, and
//     well-formed UTF-8 comes back byte for byte;
//   - the Windows counting functions agree with the std::string forms and
//     never write past the size they are given;
//   - code page 936 and 1252 text that decodes without '?' encodes back to
//     the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "qv_commonclass/text.h"
#include "qv_platform/codepage.h"
#include "qv_platform/unicode.h"

namespace {

void CheckCodePage(UINT code_page, std::string_view bytes) {
  const std::u16string wide = qvp::ToWide(bytes, code_page);
  const std::string narrow = qvp::FromWide(wide, code_page);
  // Undecodable bytes become '?' (U+FFFD for UTF-8); other text comes back whole.
  if (wide.find(u'?') == std::u16string::npos && wide.find(u'\xFFFD') == std::u16string::npos &&
      bytes.find('?') == std::string_view::npos && bytes.find('\0') == std::string_view::npos)
    QV_FUZZ_CHECK(narrow == bytes);
  // Whatever came out of the code page goes back in unchanged.
  const std::u16string rewide = qvp::ToWide(narrow, code_page);
  QV_FUZZ_CHECK(qvp::ToWide(qvp::FromWide(rewide, code_page), code_page) == rewide);

  // The counting form: the size asked for is the size written.
  const int src_len = static_cast<int>(bytes.size());
  const int need = MultiByteToWideChar(code_page, 0, bytes.data(), src_len, nullptr, 0);
  QV_FUZZ_CHECK(need == static_cast<int>(wide.size()));
  std::vector<char16_t> out(static_cast<std::size_t>(need) + 8, u'\xA5A5');
  if (need > 0) {
    QV_FUZZ_CHECK(MultiByteToWideChar(code_page, 0, bytes.data(), src_len, out.data(), need) == need);
    for (std::size_t i = static_cast<std::size_t>(need); i < out.size(); ++i) QV_FUZZ_CHECK(out[i] == u'\xA5A5');
    QV_FUZZ_CHECK(std::u16string(out.data(), static_cast<std::size_t>(need)) == wide);
    // One unit too small: refused, nothing past the end.
    if (need > 1) QV_FUZZ_CHECK(MultiByteToWideChar(code_page, 0, bytes.data(), src_len, out.data(), need - 1) == 0);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > (1u << 14)) return 0;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  const std::u16string wide = qvp::Utf8ToUtf16(bytes);
  const std::string utf8 = qvp::Utf16ToUtf8(wide);
  QV_FUZZ_CHECK(qvp::Utf8ToUtf16(utf8) == wide);
  if (wide.find(u'\xFFFD') == std::u16string::npos) QV_FUZZ_CHECK(utf8 == bytes);

  // The bytes read as UTF-16 (possibly with unpaired surrogates).
  std::u16string units(size / 2, u'\0');
  for (std::size_t i = 0; i + 1 < size; i += 2) units[i / 2] = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
  const std::string from_units = qvp::Utf16ToUtf8(units);
  QV_FUZZ_CHECK(qvp::Utf8ToUtf16(from_units).size() == units.size());

  // The library's own conversion functions over the same text.
  const CString text(std::u16string(units.c_str()));  // C text ends at its first NUL
  char* converted = qv_commonclass::QVConvertToUTF8(text);
  QV_FUZZ_CHECK(converted != nullptr);
  const std::u16string back = qv_commonclass::QVConvertUTF8ToString(converted).GetString();
  std::free(converted);
  QV_FUZZ_CHECK(back == qvp::Utf8ToUtf16(qvp::Utf16ToUtf8(std::u16string_view(text.GetString()))));

  CheckCodePage(936, bytes);
  CheckCodePage(1252, bytes);
  CheckCodePage(CP_UTF8, bytes);
  // UTF-16 into the code pages: Windows maps characters a code page lacks to
  // a look-alike (best fit) or '?', so only the absence of crashes and
  // overruns is checked here.
  for (UINT code_page : {936u, 1252u}) qvp::ToWide(qvp::FromWide(units, code_page), code_page);
  return 0;
}
