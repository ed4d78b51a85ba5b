#include "edl/edl_numbers.h"

#include "qv_platform/crt.h"
#include "qv_platform/unicode.h"

namespace qv_commonclass::edl_io {

namespace {

// Widened runs `read` on the terminated UTF-16 form of `text`. Attribute
// values are short and nearly always ASCII: those are widened on the stack;
// anything else is converted.
template <class Read>
auto Widened(std::string_view text, Read read) {
  constexpr std::size_t kSmall = 64;
  bool ascii = text.size() <= kSmall;
  for (std::size_t i = 0; ascii && i < text.size(); ++i) ascii = static_cast<unsigned char>(text[i]) < 0x80;
  if (ascii) {
    char16_t buffer[kSmall + 1];
    for (std::size_t i = 0; i < text.size(); ++i) buffer[i] = static_cast<char16_t>(text[i]);
    buffer[text.size()] = 0;
    return read(static_cast<const char16_t*>(buffer));
  }
  const std::u16string wide = qvp::Utf8ToUtf16(text);
  return read(wide.c_str());
}

// PlainDecimal reads the texts the writer produces ("-12", "250": an
// optional '-' and up to nine ASCII digits, nothing else), which cannot
// overflow and read the same under every rule; false for anything else.
bool PlainDecimal(std::string_view t, LONG& out) noexcept {
  const bool negative = !t.empty() && t[0] == '-';
  if (negative) t.remove_prefix(1);
  if (t.empty() || t.size() > 9) return false;
  LONG v = 0;
  for (const char c : t) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  out = negative ? -v : v;
  return true;
}

}  // namespace

LONG Wtol(std::string_view text) noexcept {
  if (LONG v = 0; PlainDecimal(text, v)) return v;
  try {
    return Widened(text, [](const char16_t* w) { return _wtol(w); });
  } catch (...) {
    return 0;
  }
}

double Wtof(std::string_view text) noexcept {
  try {
    return Widened(text, [](const char16_t* w) { return _wtof(w); });
  } catch (...) {
    return 0.0;
  }
}

}  // namespace qv_commonclass::edl_io
