// Code page conversion with Windows' tables and flags.
//
// Code pages 936 and 1252 decode with glibc's tables (CP936, CP1252) as the
// starting point, corrected where Windows maps otherwise: the differences and
// Windows' best-fit mappings are generated from recorded Windows conversions
// (scripts/gen_codepage.py, tests/data/winprobes/codepage_*.tsv). Both
// directions then run on two lookup tables built once per code page, so a
// conversion never opens a converter.
//
// Invalid input, as Windows' table layout gives it: a double-byte table has
// one row of 256 trail bytes per lead byte, and a lead byte always takes the
// next byte with it, so a lead byte followed by a byte that cannot trail it
// ("81 30") is one default character, not two characters. (A recording under
// Wine agrees.) A lead byte followed by NUL or at the end of the input is a
// default character on its own and the NUL is kept.
#include "qv_platform/codepage.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "qv_platform/system.h"
#include "qv_platform/unicode.h"

namespace {

struct CodeRun {
  std::uint16_t first;
  std::uint16_t last;
  char16_t unit;
};

struct BestFit {
  char16_t unit;
  std::uint16_t bytes;
};

#include "codepage_tables.inc"

UINT InitialCodePage() {
  if (const char* env = std::getenv("QV_ANSI_CODEPAGE")) {
    const long cp = std::strtol(env, nullptr, 10);
    if (cp == 936 || cp == 65001 || cp == 1252) return static_cast<UINT>(cp);
  }
  return 936;
}

std::atomic<UINT>& AnsiCodePage() {
  static std::atomic<UINT> cp{InitialCodePage()};
  return cp;
}

UINT Resolve(UINT cp) { return cp == CP_ACP ? AnsiCodePage().load() : cp; }

constexpr char16_t kNoUnit = 0xFFFF;        // decode: the input is invalid
constexpr std::uint16_t kNoBytes = 0xFFFF;  // encode: the unit has no mapping
constexpr char16_t kDefaultUnit = u'?';

// One code page's conversion tables.
class CodeTable {
 public:
  CodeTable(const char* iconv_name, bool double_byte, const CodeRun* overrides, std::size_t override_count,
            const BestFit* best_fit, std::size_t best_fit_count)
      : double_byte_(double_byte), best_fit_(best_fit, best_fit + best_fit_count) {
    single_.fill(kNoUnit);
    if (double_byte_) pairs_.assign(0x80 * 0x100, kNoUnit);
    encode_.assign(0x10000, kNoBytes);
    const iconv_t cd = iconv_open("UTF-16LE", iconv_name);
    for (unsigned b = 0; b < 0x100; ++b) {
      if (IsLead(static_cast<unsigned char>(b))) {
        for (unsigned t = 1; t < 0x100; ++t) Pair(b, t) = Glibc(cd, {static_cast<char>(b), static_cast<char>(t)}, 2);
      } else {
        single_[b] = Glibc(cd, {static_cast<char>(b), 0}, 1);
      }
    }
    if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
    for (std::size_t i = 0; i < override_count; ++i) {
      const CodeRun& r = overrides[i];
      for (unsigned x = r.first; x <= r.last; ++x) {
        const char16_t unit = static_cast<char16_t>(r.unit + (x - r.first));
        if (x < 0x100) single_[x] = unit;
        else Pair(x >> 8, x & 0xFF) = unit;
      }
    }
    // Every mapped input converts back to itself (no two inputs share a unit).
    for (unsigned b = 0; b < 0x100; ++b) {
      if (single_[b] != kNoUnit) encode_[single_[b]] = static_cast<std::uint16_t>(b);
    }
    for (unsigned i = 0; i < pairs_.size(); ++i) {
      if (pairs_[i] != kNoUnit && encode_[pairs_[i]] == kNoBytes) encode_[pairs_[i]] = static_cast<std::uint16_t>(0x8000 + i);
    }
  }

  bool IsLead(unsigned char b) const { return double_byte_ && b >= 0x81 && b <= 0xFE; }

  // Decode appends `in` converted to `out`; an invalid input becomes the
  // default character, or, when `strict`, stops the conversion with false.
  bool Decode(std::string_view in, bool strict, std::u16string& out) const {
    out.reserve(in.size());
    for (std::size_t i = 0; i < in.size();) {
      const auto b = static_cast<unsigned char>(in[i]);
      char16_t unit = kNoUnit;
      if (IsLead(b)) {
        const bool has_trail = i + 1 < in.size() && in[i + 1] != 0;
        if (has_trail) unit = pairs_[(b - 0x80u) * 0x100u + static_cast<unsigned char>(in[i + 1])];
        i += has_trail ? 2 : 1;
      } else {
        unit = single_[b];
        ++i;
      }
      if (unit == kNoUnit) {
        if (strict) return false;
        unit = kDefaultUnit;
      }
      out.push_back(unit);
    }
    return true;
  }

  // Encode converts `in`; every unit without a mapping (best fit allowed
  // unless `no_best_fit`) becomes `default_bytes` and sets *used_default.
  std::string Encode(std::u16string_view in, bool no_best_fit, std::string_view default_bytes,
                     bool* used_default) const {
    std::string out;
    out.reserve(in.size() * 2);
    for (char16_t unit : in) {
      std::uint16_t bytes = encode_[unit];
      if (bytes == kNoBytes && !no_best_fit) {
        const auto it = std::lower_bound(best_fit_.begin(), best_fit_.end(), unit,
                                         [](const BestFit& f, char16_t u) { return f.unit < u; });
        if (it != best_fit_.end() && it->unit == unit) bytes = it->bytes;
      }
      if (bytes == kNoBytes) {
        // A surrogate pair is two units, so it becomes two default characters.
        out += default_bytes;
        *used_default = true;
      } else if (bytes > 0xFF) {
        out.push_back(static_cast<char>(bytes >> 8));
        out.push_back(static_cast<char>(bytes & 0xFF));
      } else {
        out.push_back(static_cast<char>(bytes));
      }
    }
    return out;
  }

 private:
  char16_t& Pair(unsigned lead, unsigned trail) { return pairs_[(lead - 0x80u) * 0x100u + trail]; }

  static char16_t Glibc(iconv_t cd, std::array<char, 2> bytes, std::size_t n) {
    if (cd == reinterpret_cast<iconv_t>(-1)) return kNoUnit;
    char16_t out[4];
    char* in = bytes.data();
    std::size_t in_left = n;
    char* o = reinterpret_cast<char*>(out);
    std::size_t o_left = sizeof out;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    const std::size_t r = iconv(cd, &in, &in_left, &o, &o_left);
    if (r == static_cast<std::size_t>(-1) || in_left != 0 || sizeof out - o_left != sizeof(char16_t)) return kNoUnit;
    return out[0];
  }

  bool double_byte_;
  std::array<char16_t, 0x100> single_{};
  std::vector<char16_t> pairs_;        // (lead - 0x80) * 256 + trail
  std::vector<std::uint16_t> encode_;  // unit -> byte, or lead << 8 | trail
  std::vector<BestFit> best_fit_;      // sorted by unit
};

const CodeTable* TableFor(UINT cp) {
  switch (cp) {
    case 936: {
      // glibc's CP936 is GBK plus the euro sign at 0x80, as Windows has it.
      static const CodeTable table("CP936", true, kOverrides936, std::size(kOverrides936), kBestFit936,
                                   std::size(kBestFit936));
      return &table;
    }
    case 1252: {
      static const CodeTable table("CP1252", false, kOverrides1252, std::size(kOverrides1252), kBestFit1252,
                                   std::size(kBestFit1252));
      return &table;
    }
    default:
      return nullptr;
  }
}

bool IsUtf8(UINT cp) { return cp == CP_UTF8 || !TableFor(cp); }

// ValidUtf8 / ValidUtf16: the replacing decoders change nothing.
bool ValidUtf8(std::string_view s) { return qvp::Utf16ToUtf8(qvp::Utf8ToUtf16(s)) == s; }
bool ValidUtf16(std::u16string_view s) { return qvp::Utf8ToUtf16(qvp::Utf16ToUtf8(s)) == s; }

// The default character a caller passes: its first character in the code
// page (a lead byte takes its trail byte with it).
std::string DefaultBytes(const CodeTable& table, const char* default_char) {
  if (!default_char || !*default_char) return "?";
  const std::size_t n = table.IsLead(static_cast<unsigned char>(default_char[0])) && default_char[1] ? 2 : 1;
  return std::string(default_char, n);
}

int Fail(DWORD error) {
  SetLastError(error);
  return 0;
}

}  // namespace

UINT GetACP() { return AnsiCodePage().load(); }

namespace qvp {

bool SetAnsiCodePage(UINT code_page) {
  if (code_page != 65001 && !TableFor(code_page)) return false;
  AnsiCodePage().store(code_page);
  return true;
}

std::u16string ToWide(std::string_view text, UINT code_page) {
  const UINT cp = Resolve(code_page);
  if (IsUtf8(cp)) return Utf8ToUtf16(text);
  std::u16string out;
  TableFor(cp)->Decode(text, false, out);
  return out;
}

std::string FromWide(std::u16string_view text, UINT code_page) {
  const UINT cp = Resolve(code_page);
  if (IsUtf8(cp)) return Utf16ToUtf8(text);
  bool used = false;
  return TableFor(cp)->Encode(text, false, "?", &used);
}

}  // namespace qvp

int MultiByteToWideChar(UINT code_page, DWORD flags, const char* src, int src_len, char16_t* dst, int dst_len) {
  if (!src || src_len == 0 || src_len < -1 || dst_len < 0 || (dst_len > 0 && !dst)) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  if ((flags & ~(MB_PRECOMPOSED | MB_ERR_INVALID_CHARS | MB_USEGLYPHCHARS)) != 0) return Fail(ERROR_INVALID_FLAGS);
  const std::size_t n = src_len == -1 ? std::strlen(src) + 1 : static_cast<std::size_t>(src_len);
  const std::string_view in(src, n);
  const bool strict = (flags & MB_ERR_INVALID_CHARS) != 0;
  const UINT cp = Resolve(code_page);
  std::u16string wide;
  if (IsUtf8(cp)) {
    if (strict && !ValidUtf8(in)) return Fail(ERROR_NO_UNICODE_TRANSLATION);
    wide = qvp::Utf8ToUtf16(in);
  } else if (!TableFor(cp)->Decode(in, strict, wide)) {
    return Fail(ERROR_NO_UNICODE_TRANSLATION);
  }
  if (dst_len == 0) return static_cast<int>(wide.size());
  if (wide.size() > static_cast<std::size_t>(dst_len)) return Fail(ERROR_INSUFFICIENT_BUFFER);
  std::memcpy(dst, wide.data(), wide.size() * sizeof(char16_t));
  return static_cast<int>(wide.size());
}

int WideCharToMultiByte(UINT code_page, DWORD flags, const char16_t* src, int src_len, char* dst, int dst_len,
                        const char* default_char, BOOL* used_default_char) {
  if (!src || src_len == 0 || src_len < -1 || dst_len < 0 || (dst_len > 0 && !dst)) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  const std::size_t n = src_len == -1 ? qvp::WideLength(src) + 1 : static_cast<std::size_t>(src_len);
  const std::u16string_view in(src, n);
  const UINT cp = Resolve(code_page);
  std::string narrow;
  if (IsUtf8(cp)) {
    // UTF-8 has no default character: Windows refuses both arguments and
    // every flag but WC_ERR_INVALID_CHARS.
    if (default_char || used_default_char) return Fail(ERROR_INVALID_PARAMETER);
    if ((flags & ~WC_ERR_INVALID_CHARS) != 0) return Fail(ERROR_INVALID_FLAGS);
    if ((flags & WC_ERR_INVALID_CHARS) && !ValidUtf16(in)) return Fail(ERROR_NO_UNICODE_TRANSLATION);
    narrow = qvp::Utf16ToUtf8(in);
  } else {
    // WC_ERR_INVALID_CHARS is for UTF-8 only; Windows refuses it here. (Wine
    // ignores it.)
    if ((flags & ~(WC_COMPOSITECHECK | WC_DEFAULTCHAR | WC_DISCARDNS | WC_SEPCHARS | WC_NO_BEST_FIT_CHARS)) != 0) {
      return Fail(ERROR_INVALID_FLAGS);
    }
    const CodeTable& table = *TableFor(cp);
    bool used = false;
    narrow = table.Encode(in, (flags & WC_NO_BEST_FIT_CHARS) != 0, DefaultBytes(table, default_char), &used);
    if (used_default_char) *used_default_char = used ? TRUE : FALSE;
  }
  if (dst_len == 0) return static_cast<int>(narrow.size());
  if (narrow.size() > static_cast<std::size_t>(dst_len)) return Fail(ERROR_INSUFFICIENT_BUFFER);
  std::memcpy(dst, narrow.data(), narrow.size());
  return static_cast<int>(narrow.size());
}
