#include "qv_platform/codepage.h"

#include <iconv.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "qv_platform/unicode.h"

namespace {

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

const char* IconvName(UINT cp) {
  switch (cp) {
    // glibc's CP936 is GBK plus the euro sign at 0x80, as Windows has it.
    case 936: return "CP936";
    case 1252: return "CP1252";
    default: return nullptr;
  }
}

// One iconv descriptor per conversion call keeps the functions thread-safe
// without a lock; opening one is cheap next to the conversions done here.
class Iconv {
 public:
  Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Iconv() {
    if (ok()) iconv_close(cd_);
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return cd_; }

 private:
  iconv_t cd_;
};

std::u16string DecodeWithIconv(std::string_view text, const char* charset) {
  Iconv cv("UTF-16LE", charset);
  std::u16string out;
  if (!cv.ok()) return out;
  out.reserve(text.size());
  char* in = const_cast<char*>(text.data());
  std::size_t in_left = text.size();
  char16_t buf[512];
  while (in_left > 0) {
    char* o = reinterpret_cast<char*>(buf);
    std::size_t o_left = sizeof buf;
    const std::size_t r = iconv(cv.get(), &in, &in_left, &o, &o_left);
    out.append(buf, (sizeof buf - o_left) / sizeof(char16_t));
    if (r == static_cast<std::size_t>(-1) && errno != E2BIG) {
      // Undecodable or truncated: one '?' for the offending byte, go on.
      out.push_back(u'?');
      ++in;
      --in_left;
      iconv(cv.get(), nullptr, nullptr, nullptr, nullptr);
    }
  }
  return out;
}

std::string EncodeWithIconv(std::u16string_view text, const char* charset) {
  Iconv cv(charset, "UTF-16LE");
  std::string out;
  if (!cv.ok()) return out;
  out.reserve(text.size() * 2);
  char* in = reinterpret_cast<char*>(const_cast<char16_t*>(text.data()));
  std::size_t in_left = text.size() * sizeof(char16_t);
  char buf[1024];
  while (in_left > 0) {
    char* o = buf;
    std::size_t o_left = sizeof buf;
    const std::size_t r = iconv(cv.get(), &in, &in_left, &o, &o_left);
    out.append(buf, sizeof buf - o_left);
    if (r == static_cast<std::size_t>(-1) && errno != E2BIG) {
      // Unmappable character (or lone surrogate): the default character '?'.
      // A surrogate pair counts as one character.
      const auto* unit = reinterpret_cast<const char16_t*>(in);
      std::size_t skip = sizeof(char16_t);
      if (in_left >= 4 && unit[0] >= 0xD800 && unit[0] <= 0xDBFF && unit[1] >= 0xDC00 && unit[1] <= 0xDFFF)
        skip = 2 * sizeof(char16_t);
      out.push_back('?');
      in += skip;
      in_left = in_left > skip ? in_left - skip : 0;
      iconv(cv.get(), nullptr, nullptr, nullptr, nullptr);
    }
  }
  return out;
}

}  // namespace

UINT GetACP() { return AnsiCodePage().load(); }

namespace qvp {

bool SetAnsiCodePage(UINT code_page) {
  if (code_page != 65001 && !IconvName(code_page)) return false;
  AnsiCodePage().store(code_page);
  return true;
}

std::u16string ToWide(std::string_view text, UINT code_page) {
  const UINT cp = Resolve(code_page);
  if (cp == CP_UTF8) return Utf8ToUtf16(text);
  const char* name = IconvName(cp);
  if (!name) return Utf8ToUtf16(text);
  return DecodeWithIconv(text, name);
}

std::string FromWide(std::u16string_view text, UINT code_page) {
  const UINT cp = Resolve(code_page);
  if (cp == CP_UTF8) return Utf16ToUtf8(text);
  const char* name = IconvName(cp);
  if (!name) return Utf16ToUtf8(text);
  return EncodeWithIconv(text, name);
}

}  // namespace qvp

int MultiByteToWideChar(UINT code_page, DWORD, const char* src, int src_len, char16_t* dst, int dst_len) {
  if (!src || src_len == 0 || src_len < -1 || dst_len < 0) return 0;
  const std::size_t n = src_len == -1 ? std::strlen(src) + 1 : static_cast<std::size_t>(src_len);
  const std::u16string wide = qvp::ToWide(std::string_view(src, n), code_page);
  if (dst_len == 0) return static_cast<int>(wide.size());
  if (!dst || wide.size() > static_cast<std::size_t>(dst_len)) return 0;
  std::memcpy(dst, wide.data(), wide.size() * sizeof(char16_t));
  return static_cast<int>(wide.size());
}

int WideCharToMultiByte(UINT code_page, DWORD, const char16_t* src, int src_len, char* dst, int dst_len,
                        const char*, BOOL* used_default_char) {
  if (used_default_char) *used_default_char = FALSE;
  if (!src || src_len == 0 || src_len < -1 || dst_len < 0) return 0;
  const std::size_t n = src_len == -1 ? qvp::WideLength(src) + 1 : static_cast<std::size_t>(src_len);
  const std::string narrow = qvp::FromWide(std::u16string_view(src, n), code_page);
  if (dst_len == 0) return static_cast<int>(narrow.size());
  if (!dst || narrow.size() > static_cast<std::size_t>(dst_len)) return 0;
  std::memcpy(dst, narrow.data(), narrow.size());
  return static_cast<int>(narrow.size());
}
