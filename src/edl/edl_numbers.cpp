#include "edl/edl_numbers.h"

#include <locale.h>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace qv_commonclass::edl_io {

namespace {

bool IsCrtSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

locale_t CLocale() {
  static const locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  return loc;
}

}  // namespace

LONG Wtol(std::string_view t) noexcept {
  std::size_t i = 0;
  while (i < t.size() && IsCrtSpace(t[i])) ++i;
  bool negative = false;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) negative = t[i++] == '-';
  std::int64_t v = 0;
  for (; i < t.size() && t[i] >= '0' && t[i] <= '9'; ++i) {
    v = v * 10 + (t[i] - '0');
    if (v > std::int64_t{INT32_MAX} + 1) {
      v = std::int64_t{INT32_MAX} + 1;  // saturated; the rest of the digits do not matter
    }
  }
  if (negative) return v > INT32_MAX ? INT32_MIN : static_cast<LONG>(-v);
  return v > INT32_MAX ? INT32_MAX : static_cast<LONG>(v);
}

double Wtof(std::string_view t) noexcept {
  std::size_t i = 0;
  while (i < t.size() && IsCrtSpace(t[i])) ++i;
  // Only characters that can be part of a number are handed on.
  std::size_t j = i;
  while (j < t.size()) {
    const char c = t[j];
    if ((c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z') || c == '.' || c == '+' || c == '-')
      ++j;
    else
      break;
  }
  try {
    const std::string s(t.substr(i, j - i));
    return strtod_l(s.c_str(), nullptr, CLocale());
  } catch (...) {
    return 0.0;
  }
}

}  // namespace qv_commonclass::edl_io
