// Base64 decoding of arbitrary text. Besides "no crash": the decoder never
// writes past the 3 * length / 4 bytes it promises, the 8-bit and 16-bit
// decoders agree on text below U+0100, and the decoded bytes encode to text
// that decodes to the same bytes again.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz_check.h"
#include "qv_commonclass/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > (1u << 16)) return 0;
  const int length = static_cast<int>(size);
  const char* text = reinterpret_cast<const char*>(data);
  const std::size_t room = 3 * size / 4;
  // A guard band after the promised room catches writes beyond it even where
  // the sanitizer would not (the vector's own capacity).
  std::vector<BYTE> out(room + 16, 0xA5);
  const int n = Base64DecodeA(out.data(), text, length);
  QV_FUZZ_CHECK(n >= -1 && n <= static_cast<int>(room));
  for (std::size_t i = room; i < out.size(); ++i) QV_FUZZ_CHECK(out[i] == 0xA5);
  if (size % 4 != 0) QV_FUZZ_CHECK(n == -1);

  std::vector<char16_t> wide(data, data + size);
  std::vector<BYTE> out_w(room + 1);
  const int nw = Base64DecodeW(out_w.data(), wide.data(), length);
  QV_FUZZ_CHECK(nw == n);
  if (n > 0) QV_FUZZ_CHECK(std::memcmp(out.data(), out_w.data(), static_cast<std::size_t>(n)) == 0);
  if (n <= 0) return 0;

  const CString encoded = Base64Encode(out.data(), n);
  QV_FUZZ_CHECK(encoded.GetLength() == (n + 2) / 3 * 4);
  std::vector<BYTE> again(static_cast<std::size_t>(encoded.GetLength()));
  const int m = Base64DecodeW(again.data(), encoded.GetString(), encoded.GetLength());
  QV_FUZZ_CHECK(m == n);
  QV_FUZZ_CHECK(std::memcmp(out.data(), again.data(), static_cast<std::size_t>(n)) == 0);
  return 0;
}
