#include <cfenv>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <new>
#include <string>

#include "qv_commonclass/xml.h"
#include "qv_platform/crt.h"

namespace qv_commonclass {

std::unique_ptr<qvp::XmlDocument> QVXmlCreateDocument() noexcept {
  try {
    return std::make_unique<qvp::XmlDocument>();
  } catch (...) {
    return nullptr;
  }
}

CString QVXmlErrorMessage(const qvp::ComError& error) { return CString(error.ErrorMessage()); }

CString QVXmlDoubleToText(double value) { return CString(qvp::FormatDoubleShortest(value).c_str()); }

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A number as the variant conversion accepts it, split into its parts.
struct Number {
  bool negative = false;
  std::string_view digits;  // integer digits (may be empty when there is a fraction)
  bool integral = true;     // no fraction and no exponent
  std::string_view body;    // sign..end, for the floating-point path
};

bool Scan(std::string_view t, Number& n) {
  std::size_t b = 0, e = t.size();
  while (b < e && IsSpace(t[b])) ++b;
  while (e > b && IsSpace(t[e - 1])) --e;
  t = t.substr(b, e - b);
  n.body = t;
  std::size_t i = 0;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) n.negative = t[i++] == '-';
  const std::size_t d0 = i;
  while (i < t.size() && IsDigit(t[i])) ++i;
  n.digits = t.substr(d0, i - d0);
  std::size_t fraction_digits = 0;
  if (i < t.size() && t[i] == '.') {
    n.integral = false;
    ++i;
    while (i < t.size() && IsDigit(t[i])) ++i, ++fraction_digits;
  }
  if (n.digits.empty() && fraction_digits == 0) return false;
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
    n.integral = false;
    ++i;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    const std::size_t x0 = i;
    while (i < t.size() && IsDigit(t[i])) ++i;
    if (i == x0) return false;
  }
  return i == t.size();
}

// ToDouble converts a scanned number (plain ASCII by now) with the
// runtime's reader; false when it is outside the range of a double.
bool ToDouble(const Number& n, double& out) noexcept {
  constexpr std::size_t kSmall = 128;  // numbers are short, except deliberately overlong ones
  try {
    std::u16string big;
    char16_t small[kSmall];
    char16_t* wide = small;
    if (n.body.size() > kSmall) {
      big.resize(n.body.size());
      wide = big.data();
    }
    for (std::size_t i = 0; i < n.body.size(); ++i) wide[i] = static_cast<char16_t>(n.body[i]);
    out = qvp::ParseWideDouble(std::u16string_view(wide, n.body.size()), nullptr);
  } catch (...) {
    return false;
  }
  return std::isfinite(out);
}

// Magnitude of an integral number: false when it does not fit 64 bits.
bool Magnitude(std::string_view digits, std::uint64_t& out) {
  while (digits.size() > 1 && digits[0] == '0') digits.remove_prefix(1);
  auto r = std::from_chars(digits.data(), digits.data() + digits.size(), out);
  return r.ec == std::errc() && r.ptr == digits.data() + digits.size();
}

// ToInteger converts a scanned number to an integer in [lo, hi].
HRESULT ToInteger(const Number& n, long double lo, long double hi, std::int64_t& out) {
  if (n.integral) {
    std::uint64_t m = 0;
    if (!Magnitude(n.digits, m)) return qvp::kHrOverflow;
    const long double v = n.negative ? -static_cast<long double>(m) : static_cast<long double>(m);
    if (v < lo || v > hi) return qvp::kHrOverflow;
    out = n.negative ? static_cast<std::int64_t>(0 - m) : static_cast<std::int64_t>(m);
    return S_OK;
  }
  double d = 0;
  if (!ToDouble(n, d)) return qvp::kHrOverflow;
  const double r = std::nearbyint(d);  // the default rounding: to nearest, halves to even
  if (r < lo || r > hi) return qvp::kHrOverflow;
  out = static_cast<std::int64_t>(r);
  return S_OK;
}

template <class T>
HRESULT Integer(std::string_view text, T& value, long double lo, long double hi) noexcept {
  Number n;
  if (!Scan(text, n)) return qvp::kHrTypeMismatch;
  std::int64_t v = 0;
  const HRESULT hr = ToInteger(n, lo, hi, v);
  if (hr == S_OK) value = static_cast<T>(v);
  return hr;
}

// Ascii narrows UTF-16 text; false when a character is outside ASCII.
bool Ascii(std::u16string_view in, std::string& out) {
  out.resize(in.size());
  for (std::size_t i = 0; i < in.size(); ++i) {
    if (in[i] > 0x7F) return false;
    out[i] = static_cast<char>(in[i]);
  }
  return true;
}

}  // namespace

HRESULT QVXmlTextToInt32(std::string_view text, std::int32_t& value) noexcept {
  return Integer(text, value, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max());
}

HRESULT QVXmlTextToUInt32(std::string_view text, std::uint32_t& value) noexcept {
  Number n;
  if (!Scan(text, n)) return qvp::kHrTypeMismatch;
  std::int64_t v = 0;
  const HRESULT hr = ToInteger(n, 0, std::numeric_limits<std::uint32_t>::max(), v);
  if (hr == S_OK) value = static_cast<std::uint32_t>(v);
  return hr;
}

HRESULT QVXmlTextToInt64(std::string_view text, std::int64_t& value) noexcept {
  Number n;
  if (!Scan(text, n)) return qvp::kHrTypeMismatch;
  if (n.integral) {
    std::uint64_t m = 0;
    if (!Magnitude(n.digits, m)) return qvp::kHrOverflow;
    if (n.negative ? m > (std::uint64_t{1} << 63) : m > static_cast<std::uint64_t>(INT64_MAX)) return qvp::kHrOverflow;
    value = n.negative ? static_cast<std::int64_t>(0 - m) : static_cast<std::int64_t>(m);
    return S_OK;
  }
  double d = 0;
  if (!ToDouble(n, d)) return qvp::kHrOverflow;
  const double r = std::nearbyint(d);
  // 2^63 is exactly representable; anything from it up does not fit.
  if (!(r >= -9223372036854775808.0 && r < 9223372036854775808.0)) return qvp::kHrOverflow;
  value = static_cast<std::int64_t>(r);
  return S_OK;
}

HRESULT QVXmlTextToDouble(std::string_view text, double& value) noexcept {
  Number n;
  if (!Scan(text, n)) return qvp::kHrTypeMismatch;
  double d = 0;
  if (!ToDouble(n, d)) return qvp::kHrOverflow;
  value = d;
  return S_OK;
}

HRESULT QVXmlTextToInt32(std::u16string_view text, std::int32_t& value) noexcept {
  try {
    std::string a;
    return Ascii(text, a) ? QVXmlTextToInt32(a, value) : qvp::kHrTypeMismatch;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT QVXmlTextToUInt32(std::u16string_view text, std::uint32_t& value) noexcept {
  try {
    std::string a;
    return Ascii(text, a) ? QVXmlTextToUInt32(a, value) : qvp::kHrTypeMismatch;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT QVXmlTextToInt64(std::u16string_view text, std::int64_t& value) noexcept {
  try {
    std::string a;
    return Ascii(text, a) ? QVXmlTextToInt64(a, value) : qvp::kHrTypeMismatch;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT QVXmlTextToDouble(std::u16string_view text, double& value) noexcept {
  try {
    std::string a;
    return Ascii(text, a) ? QVXmlTextToDouble(a, value) : qvp::kHrTypeMismatch;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace qv_commonclass
