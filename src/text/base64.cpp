// Base64 codec.
//
// Both directions have a bulk path and an exact path. The exact path is the
// group-by-group rule (including the lenient decoding: characters outside
// the alphabet are 0, a "=" in the third or fourth place of a group ends
// everything). The bulk paths only ever handle input for which they give
// the same bytes:
//   - encoding has no special cases, so AVX2 (24 bytes -> 32 characters per
//     step) and a 12-bit pair table cover every full group;
//   - decoding takes a 32-character AVX2 block only when all 32 characters
//     are in the alphabet, and a table-driven group only when neither of its
//     last two characters is "="; anything else goes through the exact rule
//     for that block or group.

#include <immintrin.h>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "qv_commonclass/text.h"

namespace {

constexpr char kAlphabetA[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char16_t kAlphabetW[] = u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char kPad = '=';
constexpr std::uint8_t kPadValue = 64;

// The largest input whose encoded length (4 per started group of 3) still
// fits in the int the encoders return.
constexpr int kMaxEncodable = INT_MAX / 4 * 3;

template <class Ch>
constexpr const Ch* Alphabet() {
  if constexpr (sizeof(Ch) == 1) {
    return kAlphabetA;
  } else {
    return kAlphabetW;
  }
}

// ---- Tables -------------------------------------------------------------------

constexpr std::uint32_t kStopFlag = 0x80000000u;

struct Tables {
  std::uint8_t value[256];       // character -> 0..63, "=" -> 64, other -> 0
  std::uint16_t pair_a[4096];    // 12 bits -> two 8-bit characters (memory order)
  std::uint32_t pair_w[4096];    // 12 bits -> two 16-bit characters (memory order)
  std::uint32_t d0[256], d1[256], d2[256], d3[256];  // pre-shifted values

  Tables() {
    std::memset(value, 0, sizeof value);
    for (int i = 0; i < 64; ++i) value[static_cast<unsigned char>(kAlphabetA[i])] = static_cast<std::uint8_t>(i);
    value[static_cast<unsigned char>(kPad)] = kPadValue;
    for (int i = 0; i < 4096; ++i) {
      const auto c0 = static_cast<unsigned char>(kAlphabetA[i >> 6]);
      const auto c1 = static_cast<unsigned char>(kAlphabetA[i & 63]);
      const unsigned char two[2] = {c0, c1};
      std::memcpy(&pair_a[i], two, 2);
      const char16_t wide[2] = {c0, c1};
      std::memcpy(&pair_w[i], wide, 4);
    }
    for (int c = 0; c < 256; ++c) {
      const std::uint32_t v = value[c];
      d0[c] = v << 18;  // a "=" here (64) lands above the three bytes
      d1[c] = v << 12;  // a "=" here (64) sets bit 2 of the first byte, as the rule does
      d2[c] = v == kPadValue ? kStopFlag : v << 6;
      d3[c] = v == kPadValue ? kStopFlag : v;
    }
  }
};

const Tables& T() {
  static const Tables tables;
  return tables;
}

inline unsigned Index(char c) { return static_cast<unsigned char>(c); }
// A 16-bit unit above U+00FF maps to NUL, which is outside the alphabet.
inline unsigned Index(char16_t c) { return c > 0xFF ? 0u : c; }

// The AVX2 paths are used when the processor has AVX2, unless the
// environment variable QV_BASE64_NO_AVX2 is set (to check the portable path
// on such a machine).
bool HaveAvx2() {
  static const bool have = [] {
    if (std::getenv("QV_BASE64_NO_AVX2") != nullptr) return false;
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
  }();
  return have;
}

// ---- Encoding -------------------------------------------------------------------

template <class Ch>
inline void StorePair(Ch* out, unsigned bits12) {
  if constexpr (sizeof(Ch) == 1) {
    std::memcpy(out, &T().pair_a[bits12], 2);
  } else {
    std::memcpy(out, &T().pair_w[bits12], 4);
  }
}

__attribute__((target("avx2"))) inline __m256i EncodeBlock24(const BYTE* in) {
  const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
  const __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 12));
  __m256i v = _mm256_inserti128_si256(_mm256_castsi128_si256(lo), hi, 1);
  // Each group of three bytes a b c becomes the little-endian dword b a c b.
  v = _mm256_shuffle_epi8(v, _mm256_setr_epi8(1, 0, 2, 1, 4, 3, 5, 4, 7, 6, 8, 7, 10, 9, 11, 10,  //
                                               1, 0, 2, 1, 4, 3, 5, 4, 7, 6, 8, 7, 10, 9, 11, 10));
  const __m256i t0 = _mm256_and_si256(v, _mm256_set1_epi32(0x0fc0fc00));
  const __m256i t1 = _mm256_mulhi_epu16(t0, _mm256_set1_epi32(0x04000040));
  const __m256i t2 = _mm256_and_si256(v, _mm256_set1_epi32(0x003f03f0));
  const __m256i t3 = _mm256_mullo_epi16(t2, _mm256_set1_epi32(0x01000010));
  const __m256i idx = _mm256_or_si256(t1, t3);  // one 6-bit value per byte
  // Map 0-25, 26-51, 52-61, 62, 63 to their characters by adding an offset
  // chosen through a small lookup.
  __m256i sel = _mm256_subs_epu8(idx, _mm256_set1_epi8(51));
  const __m256i below26 = _mm256_cmpgt_epi8(_mm256_set1_epi8(26), idx);
  sel = _mm256_or_si256(sel, _mm256_and_si256(below26, _mm256_set1_epi8(13)));
  const __m256i offsets = _mm256_setr_epi8(
      'a' - 26, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52,
      '0' - 52, '+' - 62, '/' - 63, 'A', 0, 0,  //
      'a' - 26, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52,
      '0' - 52, '+' - 62, '/' - 63, 'A', 0, 0);
  return _mm256_add_epi8(_mm256_shuffle_epi8(offsets, sel), idx);
}

// Encodes 24-byte blocks while 28 bytes can be read; returns the bytes done.
template <class Ch>
__attribute__((target("avx2"))) std::size_t EncodeBulkAvx2(Ch* out, const BYTE* in, std::size_t n) {
  std::size_t done = 0;
  while (n - done >= 28) {
    const __m256i chars = EncodeBlock24(in + done);
    Ch* dst = out + done / 3 * 4;
    if constexpr (sizeof(Ch) == 1) {
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst), chars);
    } else {
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst), _mm256_cvtepu8_epi16(_mm256_castsi256_si128(chars)));
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + 16),
                          _mm256_cvtepu8_epi16(_mm256_extracti128_si256(chars, 1)));
    }
    done += 24;
  }
  return done;
}

template <class Ch>
int Encode(Ch* out, const BYTE* in, int length) {
  if (out == nullptr) return 0;
  if (length <= 0 || length > kMaxEncodable || in == nullptr) {
    out[0] = 0;
    return 0;
  }
  const auto n = static_cast<std::size_t>(length);
  std::size_t i = HaveAvx2() ? EncodeBulkAvx2(out, in, n) : 0;
  Ch* dst = out + i / 3 * 4;
  for (; n - i >= 3; i += 3, dst += 4) {
    const unsigned v = (unsigned{in[i]} << 16) | (unsigned{in[i + 1]} << 8) | in[i + 2];
    StorePair(dst, v >> 12);
    StorePair(dst + 2, v & 0xFFF);
  }
  const Ch* alphabet = Alphabet<Ch>();
  if (n - i == 1) {
    dst[0] = alphabet[in[i] >> 2];
    dst[1] = alphabet[(in[i] & 0x03) << 4];
    dst[2] = kPad;
    dst[3] = kPad;
    dst += 4;
  } else if (n - i == 2) {
    dst[0] = alphabet[in[i] >> 2];
    dst[1] = alphabet[((in[i] & 0x03) << 4) | (in[i + 1] >> 4)];
    dst[2] = alphabet[(in[i + 1] & 0x0F) << 2];
    dst[3] = kPad;
    dst += 4;
  }
  *dst = 0;
  return static_cast<int>(dst - out);
}

// ---- Decoding -------------------------------------------------------------------

// DecodeGroupExact applies the rule to one group; returns the bytes stored
// and sets `stop` when a pad character ended the decoding.
template <class Ch>
inline int DecodeGroupExact(const Ch* in, BYTE* out, bool& stop) {
  const std::uint8_t* value = T().value;
  const unsigned c0 = value[Index(in[0])];
  const unsigned c1 = value[Index(in[1])];
  const unsigned c2 = value[Index(in[2])];
  const unsigned c3 = value[Index(in[3])];
  out[0] = static_cast<BYTE>((c0 << 2) | (c1 >> 4));
  if (c2 == kPadValue) {
    stop = true;
    return 1;
  }
  out[1] = static_cast<BYTE>((c1 << 4) | (c2 >> 2));
  if (c3 == kPadValue) {
    stop = true;
    return 2;
  }
  out[2] = static_cast<BYTE>((c2 << 6) | c3);
  return 3;
}

// DecodeGroups decodes `groups` groups with the table path, falling back to
// the exact rule for a group that holds a pad in its last two places.
// Returns the bytes stored; sets `stop` when decoding ended.
template <class Ch>
inline std::size_t DecodeGroups(const Ch* in, BYTE* out, std::size_t groups, bool& stop) {
  const Tables& t = T();
  std::size_t written = 0;
  for (std::size_t g = 0; g < groups; ++g, in += 4) {
    const std::uint32_t x = t.d0[Index(in[0])] | t.d1[Index(in[1])] | t.d2[Index(in[2])] | t.d3[Index(in[3])];
    if (x & kStopFlag) {
      written += static_cast<std::size_t>(DecodeGroupExact(in, out + written, stop));
      if (stop) return written;
      continue;
    }
    out[written] = static_cast<BYTE>(x >> 16);
    out[written + 1] = static_cast<BYTE>(x >> 8);
    out[written + 2] = static_cast<BYTE>(x);
    written += 3;
  }
  return written;
}

template <class Ch>
__attribute__((target("avx2"))) inline __m256i Load32Chars(const Ch* in) {
  if constexpr (sizeof(Ch) == 1) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in));
  } else {
    // Narrow to bytes with unsigned saturation: every unit above U+00FF
    // becomes 0x00 or 0xFF, both outside the alphabet, so such a block
    // falls back to the exact rule.
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + 16));
    return _mm256_permute4x64_epi64(_mm256_packus_epi16(a, b), 0xD8);
  }
}

__attribute__((target("avx2"))) inline __m256i InRange(__m256i s, char lo, char hi) {
  return _mm256_and_si256(_mm256_cmpgt_epi8(s, _mm256_set1_epi8(static_cast<char>(lo - 1))),
                          _mm256_cmpgt_epi8(_mm256_set1_epi8(static_cast<char>(hi + 1)), s));
}

// Decodes 32-character blocks; a block with any character outside the
// alphabet goes through DecodeGroups instead. Returns the characters
// consumed and adds the bytes stored to `written`.
template <class Ch>
__attribute__((target("avx2"))) std::size_t DecodeBulkAvx2(const Ch* in, std::size_t n, BYTE* out,
                                                            std::size_t& written, bool& stop) {
  std::size_t i = 0;
  for (; n - i >= 32; i += 32) {
    const __m256i s = Load32Chars(in + i);
    const __m256i upper = InRange(s, 'A', 'Z');
    const __m256i lower = InRange(s, 'a', 'z');
    const __m256i digit = InRange(s, '0', '9');
    const __m256i plus = _mm256_cmpeq_epi8(s, _mm256_set1_epi8('+'));
    const __m256i slash = _mm256_cmpeq_epi8(s, _mm256_set1_epi8('/'));
    const __m256i valid = _mm256_or_si256(_mm256_or_si256(upper, lower), _mm256_or_si256(digit, _mm256_or_si256(plus, slash)));
    if (_mm256_movemask_epi8(valid) != -1) {
      written += DecodeGroups(in + i, out + written, 8, stop);
      if (stop) return i + 32;
      continue;
    }
    __m256i offset = _mm256_and_si256(upper, _mm256_set1_epi8(-65));
    offset = _mm256_or_si256(offset, _mm256_and_si256(lower, _mm256_set1_epi8(-71)));
    offset = _mm256_or_si256(offset, _mm256_and_si256(digit, _mm256_set1_epi8(4)));
    offset = _mm256_or_si256(offset, _mm256_and_si256(plus, _mm256_set1_epi8(19)));
    offset = _mm256_or_si256(offset, _mm256_and_si256(slash, _mm256_set1_epi8(16)));
    const __m256i values = _mm256_add_epi8(s, offset);
    // Four 6-bit values -> one 24-bit number per dword -> three bytes.
    __m256i m = _mm256_maddubs_epi16(values, _mm256_set1_epi32(0x01400140));
    m = _mm256_madd_epi16(m, _mm256_set1_epi32(0x00011000));
    m = _mm256_shuffle_epi8(m, _mm256_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1,  //
                                                2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1));
    m = _mm256_permutevar8x32_epi32(m, _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 7, 7));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + written), _mm256_castsi256_si128(m));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + written + 16), _mm256_extracti128_si256(m, 1));
    written += 24;
  }
  return i;
}

template <class Ch>
int Decode(BYTE* out, const Ch* in, int length) {
  if (length % 4 != 0) return -1;
  if (length <= 0 || out == nullptr || in == nullptr) return 0;
  const auto n = static_cast<std::size_t>(length);
  std::size_t written = 0;
  bool stop = false;
  std::size_t i = HaveAvx2() ? DecodeBulkAvx2(in, n, out, written, stop) : 0;
  if (!stop) written += DecodeGroups(in + i, out + written, (n - i) / 4, stop);
  return static_cast<int>(written);
}

}  // namespace

int Base64EncodeA(char* out, const BYTE* in, int length) { return Encode(out, in, length); }

int Base64EncodeW(char16_t* out, const BYTE* in, int length) { return Encode(out, in, length); }

int Base64DecodeA(BYTE* out, const char* in, int length) { return Decode(out, in, length); }

int Base64DecodeW(BYTE* out, const char16_t* in, int length) { return Decode(out, in, length); }

CString Base64Encode(const BYTE* in, int length) {
  CString text;
  if (length <= 0 || length > kMaxEncodable || in == nullptr) return text;
  const int chars = (length + 2) / 3 * 4;
  try {
    char16_t* buffer = text.GetBuffer(chars);
    const int written = Base64EncodeW(buffer, in, length);
    text.ReleaseBuffer(written);
  } catch (const std::bad_alloc&) {
    text.Empty();
  }
  return text;
}
