#include "qv_platform/unicode.h"

namespace qvp {

namespace {
constexpr char16_t kReplacement = 0xFFFD;

// Length of the well-formed sequence starting with `lead`, and the valid
// range of its second byte (the table of well-formed UTF-8 byte sequences).
struct Lead {
  int length;
  unsigned char lo, hi;
};

Lead Classify(unsigned char b) {
  if (b < 0x80) return {1, 0, 0};
  if (b >= 0xC2 && b <= 0xDF) return {2, 0x80, 0xBF};
  if (b == 0xE0) return {3, 0xA0, 0xBF};
  if ((b >= 0xE1 && b <= 0xEC) || b == 0xEE || b == 0xEF) return {3, 0x80, 0xBF};
  if (b == 0xED) return {3, 0x80, 0x9F};
  if (b == 0xF0) return {4, 0x90, 0xBF};
  if (b >= 0xF1 && b <= 0xF3) return {4, 0x80, 0xBF};
  if (b == 0xF4) return {4, 0x80, 0x8F};
  return {0, 0, 0};
}
}  // namespace

std::u16string Utf8ToUtf16(std::string_view in) {
  std::u16string out;
  out.reserve(in.size());
  const auto* p = reinterpret_cast<const unsigned char*>(in.data());
  const std::size_t n = in.size();
  std::size_t i = 0;
  while (i < n) {
    const unsigned char b = p[i];
    if (b < 0x80) {
      out.push_back(b);
      ++i;
      continue;
    }
    const Lead lead = Classify(b);
    if (lead.length == 0) {
      out.push_back(kReplacement);
      ++i;
      continue;
    }
    // Consume the maximal valid prefix; a short one becomes one U+FFFD.
    char32_t cp = b & (0xFF >> (lead.length + 1));
    int got = 1;
    while (got < lead.length && i + got < n) {
      const unsigned char c = p[i + got];
      const bool ok = got == 1 ? (c >= lead.lo && c <= lead.hi) : (c >= 0x80 && c <= 0xBF);
      if (!ok) break;
      cp = (cp << 6) | (c & 0x3F);
      ++got;
    }
    i += got;
    if (got < lead.length) {
      out.push_back(kReplacement);
    } else if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view in) {
  std::string out;
  AppendUtf16AsUtf8(out, in);
  return out;
}

void AppendUtf16AsUtf8(std::string& out, std::u16string_view in) {
  const std::size_t n = in.size();
  // The common case first: an ASCII run is copied without per-character
  // checks or calls.
  std::size_t ascii = 0;
  while (ascii < n && in[ascii] < 0x80) ++ascii;
  const std::size_t at = out.size();
  out.resize(at + ascii);
  char* p = out.data() + at;
  for (std::size_t i = 0; i < ascii; ++i) p[i] = static_cast<char>(in[i]);
  if (ascii == n) return;
  out.reserve(out.size() + (n - ascii) * 3 + 1);
  for (std::size_t i = ascii; i < n; ++i) {
    char32_t cp = in[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < n && in[i + 1] >= 0xDC00 && in[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (in[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = kReplacement;
    }
    AppendUtf8(out, cp);
  }
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

std::size_t WideLength(const char16_t* s) noexcept {
  if (!s) return 0;
  std::size_t n = 0;
  while (s[n]) ++n;
  return n;
}

}  // namespace qvp
