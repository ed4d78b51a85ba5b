// Variants: ownership of text and arrays, and the conversions between types.
#include "qv_platform/data/variant.h"

#include "data/bstr_arena.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

#include "qv_platform/bstr.h"
#include "qv_platform/com_error.h"
#include "qv_platform/crt.h"
#include "qv_platform/unicode.h"

// ---- BSTR and SAFEARRAY ----------------------------------------------------
// A BSTR points just past a 32-bit length (in bytes, as the platform keeps
// it) and is NUL-terminated. A BSTR of its own malloc block has the length
// word at the block's start. One cut from a BstrArena block has the length
// word's top bit set and, before it, its distance from the block's start,
// where the block keeps a count of the strings still alive in it.

namespace {

constexpr std::uint32_t kArenaMark = 0x80000000u;

struct ArenaBlockHead {
  std::atomic<std::uint32_t> live;
};
constexpr std::size_t kArenaHead = 8;  // keeps the first string 4-byte aligned
static_assert(sizeof(ArenaBlockHead) <= kArenaHead);
// While the arena still cuts from a block it holds this many counts on it,
// so strings freed meanwhile cannot bring the count to zero.
constexpr std::uint32_t kArenaHold = 1u << 30;
// Blocks start small (a one-row result keeps little) and double up to this.
constexpr std::size_t kArenaLastBlock = 64 * 1024;
// Longer text gets a block of its own.
constexpr std::uint32_t kArenaLongest = 512;

void ReleaseArenaBlock(char* block, std::uint32_t counts) noexcept {
  auto* head = reinterpret_cast<ArenaBlockHead*>(block);
  if (head->live.fetch_sub(counts, std::memory_order_acq_rel) == counts) {
    head->~ArenaBlockHead();
    std::free(block);
  }
}

}  // namespace

BSTR SysAllocStringLen(const char16_t* text, std::uint32_t length) noexcept {
  if (length >= kArenaMark / 2) return nullptr;
  auto* block = static_cast<std::uint32_t*>(std::malloc(sizeof(std::uint32_t) + (std::size_t{length} + 1) * 2));
  if (!block) return nullptr;
  block[0] = length * 2;
  auto* s = reinterpret_cast<char16_t*>(block + 1);
  if (text && length) std::memcpy(s, text, std::size_t{length} * 2);
  else if (length) std::memset(s, 0, std::size_t{length} * 2);
  s[length] = 0;
  return s;
}

BSTR SysAllocString(const char16_t* text) noexcept {
  if (!text) return nullptr;
  return SysAllocStringLen(text, static_cast<std::uint32_t>(std::char_traits<char16_t>::length(text)));
}

void SysFreeString(BSTR text) noexcept {
  if (!text) return;
  auto* word = reinterpret_cast<std::uint32_t*>(text) - 1;
  if (!(*word & kArenaMark)) {
    std::free(word);
    return;
  }
  ReleaseArenaBlock(reinterpret_cast<char*>(word - 1) - word[-1], 1);
}

std::uint32_t SysStringLen(BSTR text) noexcept {
  return text ? (reinterpret_cast<std::uint32_t*>(text)[-1] & ~kArenaMark) / 2 : 0;
}

namespace qvp::data {

BstrArena::~BstrArena() { Retire(); }

void BstrArena::Retire() noexcept {
  if (!block_) return;
  ReleaseArenaBlock(block_, kArenaHold - cut_);
  block_ = nullptr;
}

BSTR BstrArena::Alloc(const char16_t* text, std::uint32_t length) noexcept {
  if (length > kArenaLongest) return SysAllocStringLen(text, length);
  // Offset word, length word, the text and its NUL, kept 4-byte aligned.
  const std::size_t need = (8 + (std::size_t{length} + 1) * 2 + 3) & ~std::size_t{3};
  if (!block_ || used_ + need > size_) {
    Retire();
    const std::size_t size = std::max(next_size_, kArenaHead + need);
    char* block = static_cast<char*>(std::malloc(size));
    if (!block) return SysAllocStringLen(text, length);
    new (block) ArenaBlockHead{{kArenaHold}};
    block_ = block;
    size_ = size;
    used_ = kArenaHead;
    cut_ = 0;
    next_size_ = std::min(size * 2, kArenaLastBlock);
  }
  auto* words = reinterpret_cast<std::uint32_t*>(block_ + used_);
  words[0] = static_cast<std::uint32_t>(used_);
  words[1] = (length * 2) | kArenaMark;
  auto* s = reinterpret_cast<char16_t*>(words + 2);
  if (text && length) std::memcpy(s, text, std::size_t{length} * 2);
  else if (length) std::memset(s, 0, std::size_t{length} * 2);
  s[length] = 0;
  used_ += need;
  ++cut_;
  return s;
}

BSTR BstrArena::AllocUtf8(std::string_view text) {
  if (text.size() > 0x7FFFFFFFu) return nullptr;
  std::size_t i = 0;
  while (i < text.size() && static_cast<unsigned char>(text[i]) < 0x80) ++i;
  if (i < text.size()) {
    const std::u16string wide = qvp::Utf8ToUtf16(text);
    return Alloc(wide.data(), static_cast<std::uint32_t>(wide.size()));
  }
  BSTR b = Alloc(nullptr, static_cast<std::uint32_t>(text.size()));
  if (b)
    for (std::size_t k = 0; k < text.size(); ++k) b[k] = static_cast<char16_t>(text[k]);
  return b;
}

}  // namespace qvp::data

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, long, std::uint32_t count) noexcept {
  if (vt != VT_UI1) return nullptr;
  auto* a = new (std::nothrow) SAFEARRAY;
  if (!a) return nullptr;
  a->cElements = count;
  a->pvData = std::calloc(count ? count : 1, 1);
  if (!a->pvData) {
    delete a;
    return nullptr;
  }
  return a;
}

HRESULT SafeArrayDestroy(SAFEARRAY* array) noexcept {
  if (array) {
    std::free(array->pvData);
    delete array;
  }
  return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY* array, void** data) noexcept {
  if (!array || !data) return E_INVALIDARG;
  *data = array->pvData;
  return S_OK;
}

namespace {

BSTR AllocOrThrow(std::u16string_view text) {
  BSTR b = SysAllocStringLen(text.data(), static_cast<std::uint32_t>(text.size()));
  if (!b) throw std::bad_alloc();
  return b;
}

SAFEARRAY* CopyArray(const SAFEARRAY* src) {
  SAFEARRAY* a = SafeArrayCreateVector(VT_UI1, 0, src->cElements);
  if (!a) throw std::bad_alloc();
  if (src->cElements) std::memcpy(a->pvData, src->pvData, src->cElements);
  return a;
}

}  // namespace

// ---- _variant_t ------------------------------------------------------------

_variant_t::_variant_t(const _variant_t& other)
    : vt_(other.vt_), scale_(other.scale_), sign_(other.sign_), hi32_(other.hi32_), u_(other.u_) {
  if (vt_ == VT_BSTR) u_.bstr = other.u_.bstr ? AllocOrThrow(other.bstrView()) : nullptr;
  else if (vt_ & VT_ARRAY) u_.array = other.u_.array ? CopyArray(other.u_.array) : nullptr;
}

_variant_t& _variant_t::operator=(const _variant_t& other) {
  if (this != &other) {
    _variant_t copy(other);
    *this = std::move(copy);
  }
  return *this;
}

_variant_t::_variant_t(const char16_t* text) : vt_(VT_BSTR) {
  u_.bstr = AllocOrThrow(text ? std::u16string_view(text) : std::u16string_view());
}
_variant_t::_variant_t(std::u16string_view text) : vt_(VT_BSTR) { u_.bstr = AllocOrThrow(text); }
_variant_t::_variant_t(const _bstr_t& text) : vt_(VT_BSTR) { u_.bstr = AllocOrThrow(text.view()); }
_variant_t::_variant_t(const char* utf8) : vt_(VT_BSTR) {
  u_.bstr = AllocOrThrow(utf8 ? qvp::Utf8ToUtf16(utf8) : std::u16string());
}

_variant_t::_variant_t(double value, VARTYPE vt) noexcept : vt_(vt) {
  switch (vt) {
    case VT_R4: u_.r4 = static_cast<float>(value); break;
    case VT_R8: case VT_DATE: u_.r8 = value; break;
    case VT_CY: u_.i64 = std::llround(value * 10000.0); break;
    case VT_BOOL: u_.i64 = value != 0 ? VARIANT_TRUE : VARIANT_FALSE; break;
    case VT_UI1: case VT_UI2: case VT_UI4: case VT_UI8: case VT_UINT: u_.u64 = static_cast<std::uint64_t>(value); break;
    default: vt_ = VT_I8; u_.i64 = static_cast<std::int64_t>(value); break;
  }
}

_variant_t::_variant_t(std::int64_t value, VARTYPE vt) noexcept : vt_(vt) {
  switch (vt) {
    case VT_R4: u_.r4 = static_cast<float>(value); break;
    case VT_R8: case VT_DATE: u_.r8 = static_cast<double>(value); break;
    case VT_BOOL: u_.i64 = value ? VARIANT_TRUE : VARIANT_FALSE; break;
    case VT_I1: u_.i64 = static_cast<std::int8_t>(value); break;
    case VT_I2: u_.i64 = static_cast<std::int16_t>(value); break;
    case VT_I4: case VT_INT: u_.i64 = static_cast<std::int32_t>(value); break;
    case VT_UI1: u_.u64 = static_cast<std::uint8_t>(value); break;
    case VT_UI2: u_.u64 = static_cast<std::uint16_t>(value); break;
    case VT_UI4: case VT_UINT: u_.u64 = static_cast<std::uint32_t>(value); break;
    case VT_UI8: u_.u64 = static_cast<std::uint64_t>(value); break;
    case VT_CY: case VT_I8: u_.i64 = value; break;
    default: vt_ = VT_I8; u_.i64 = value; break;
  }
}

_variant_t _variant_t::Decimal(const DECIMAL& d) noexcept {
  _variant_t v;
  v.vt_ = VT_DECIMAL;
  v.scale_ = d.scale;
  v.sign_ = d.sign;
  v.hi32_ = d.Hi32;
  v.u_.u64 = d.Lo64;
  return v;
}

DECIMAL _variant_t::decVal() const noexcept {
  DECIMAL d;
  d.scale = scale_;
  d.sign = sign_;
  d.Hi32 = hi32_;
  d.Lo64 = u_.u64;
  return d;
}

_variant_t _variant_t::Bytes(const void* data, std::size_t size) {
  SAFEARRAY* a = SafeArrayCreateVector(VT_UI1, 0, static_cast<std::uint32_t>(size));
  if (!a) throw std::bad_alloc();
  if (size) std::memcpy(a->pvData, data, size);
  return Attach(a);
}

_variant_t _variant_t::AttachBstr(BSTR text) noexcept {
  _variant_t v;
  if (!text) return v;
  v.vt_ = VT_BSTR;
  v.u_.bstr = text;
  return v;
}

_variant_t _variant_t::Attach(SAFEARRAY* array) noexcept {
  _variant_t v;
  if (!array) return v;
  v.vt_ = static_cast<VARTYPE>(VT_ARRAY | array->vt);
  v.u_.array = array;
  return v;
}

void _variant_t::ReleaseOwned() noexcept {
  if (vt_ == VT_BSTR) SysFreeString(u_.bstr);
  else SafeArrayDestroy(u_.array);
}

std::u16string_view _variant_t::bstrView() const noexcept {
  if (vt_ != VT_BSTR || !u_.bstr) return {};
  return {u_.bstr, SysStringLen(u_.bstr)};
}

void _variant_t::ChangeType(VARTYPE vt, const _variant_t* source) {
  const HRESULT hr = VariantChangeType(this, source ? source : this, 0, vt);
  if (FAILED(hr))
    throw _com_error(hr, qvp::Utf8ToUtf16(hr == DISP_E_OVERFLOW ? "Overflow." : hr == E_OUTOFMEMORY ? "Out of memory." : "Type mismatch."));
}

bool operator==(const _variant_t& a, const _variant_t& b) noexcept {
  if (a.vt_ != b.vt_) return false;
  switch (a.vt_) {
    case VT_EMPTY: case VT_NULL: return true;
    case VT_BSTR: return a.bstrView() == b.bstrView();
    case VT_R8: case VT_DATE: return a.u_.r8 == b.u_.r8;
    case VT_R4: return a.u_.r4 == b.u_.r4;
    case VT_DECIMAL: return a.scale_ == b.scale_ && a.sign_ == b.sign_ && a.hi32_ == b.hi32_ && a.u_.u64 == b.u_.u64;
    default:
      if (a.vt_ & VT_ARRAY) {
        const SAFEARRAY* x = a.u_.array;
        const SAFEARRAY* y = b.u_.array;
        if (!x || !y) return x == y;
        return x->cElements == y->cElements && std::memcmp(x->pvData, y->pvData, x->cElements) == 0;
      }
      return a.u_.i64 == b.u_.i64;
  }
}

// ---- Decimal ---------------------------------------------------------------

namespace qvp {

namespace {
using u128 = unsigned __int128;
constexpr u128 kMaxMantissa = (u128{1} << 96) - 1;
u128 Mantissa(const DECIMAL& d) { return (u128{d.Hi32} << 64) | d.Lo64; }
}  // namespace

std::u16string DecimalToText(const DECIMAL& d) {
  u128 m = Mantissa(d);
  std::u16string digits;
  do {
    digits.insert(digits.begin(), static_cast<char16_t>(u'0' + static_cast<int>(m % 10)));
    m /= 10;
  } while (m);
  while (digits.size() <= d.scale) digits.insert(digits.begin(), u'0');
  if (d.scale) digits.insert(digits.size() - d.scale, 1, u'.');
  if ((d.sign & DECIMAL_NEG) && digits.find_first_not_of(u"0.") != std::u16string::npos) digits.insert(0, 1, u'-');
  return digits;
}

bool DecimalFromText(std::u16string_view text, DECIMAL& out) noexcept {
  std::size_t i = 0;
  while (i < text.size() && text[i] == u' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) negative = text[i++] == u'-';
  u128 m = 0;
  int scale = 0;
  int digits = 0;
  bool point = false;
  bool any = false;
  for (; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c == u'.' && !point) {
      point = true;
      continue;
    }
    if (c < u'0' || c > u'9') break;
    any = true;
    if (m == 0 && c == u'0' && !point) continue;
    if (digits >= 29) {  // further digits past the precision are dropped after the point
      if (!point) return false;
      continue;
    }
    const u128 next = m * 10 + static_cast<unsigned>(c - u'0');
    if (next > kMaxMantissa) {
      if (!point) return false;
      continue;
    }
    m = next;
    ++digits;
    if (point) ++scale;
  }
  while (i < text.size() && text[i] == u' ') ++i;
  if (!any || i != text.size() || scale > 28) return false;
  out.scale = static_cast<std::uint8_t>(scale);
  out.sign = negative ? DECIMAL_NEG : 0;
  out.Hi32 = static_cast<std::uint32_t>(m >> 64);
  out.Lo64 = static_cast<std::uint64_t>(m);
  return true;
}

double DecimalToDouble(const DECIMAL& d) noexcept {
  double v = static_cast<double>(Mantissa(d));
  for (int s = 0; s < d.scale; ++s) v /= 10.0;
  return (d.sign & DECIMAL_NEG) ? -v : v;
}

}  // namespace qvp

// ---- Conversions -----------------------------------------------------------

namespace {

bool IsSignedInt(VARTYPE vt) {
  return vt == VT_I1 || vt == VT_I2 || vt == VT_I4 || vt == VT_I8 || vt == VT_INT;
}
bool IsUnsignedInt(VARTYPE vt) {
  return vt == VT_UI1 || vt == VT_UI2 || vt == VT_UI4 || vt == VT_UI8 || vt == VT_UINT;
}

// A numeric source as one of: an exact integer, or a double.
struct Number {
  bool is_int = false;
  bool is_unsigned = false;  // an exact integer above INT64_MAX
  std::int64_t i = 0;
  std::uint64_t u = 0;
  double d = 0;
  std::int64_t cy = 0;  // set when the source was currency (exact)
  bool is_cy = false;
};

double RoundHalfEven(double v) { return std::nearbyint(v); }  // the default rounding mode is to even

double TrimDouble(std::u16string_view s, bool* ok) {
  std::size_t b = 0;
  std::size_t e = s.size();
  while (b < e && (s[b] == u' ' || s[b] == u'\t')) ++b;
  while (e > b && (s[e - 1] == u' ' || s[e - 1] == u'\t')) --e;
  std::size_t used = 0;
  const double d = qvp::ParseWideDouble(s.substr(b, e - b), &used);
  *ok = used != 0 && used == e - b && !std::isnan(d) && !std::isinf(d);
  return d;
}

HRESULT TextToNumber(std::u16string_view s, Number& n) {
  // Exact integers first, so 64-bit values keep every digit.
  std::size_t b = 0;
  std::size_t e = s.size();
  while (b < e && (s[b] == u' ' || s[b] == u'\t')) ++b;
  while (e > b && (s[e - 1] == u' ' || s[e - 1] == u'\t')) --e;
  const std::u16string_view t = s.substr(b, e - b);
  const qvp::WideIntegerResult r = qvp::ParseWideInteger(t, 10, std::numeric_limits<std::uint64_t>::max());
  if (r.used == t.size() && r.used && !r.overflow) {
    if (!r.negative && r.magnitude > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
      n.is_int = n.is_unsigned = true;
      n.u = r.magnitude;
      n.d = static_cast<double>(r.magnitude);
      return S_OK;
    }
    if (r.negative && r.magnitude > std::uint64_t{1} << 63) return DISP_E_OVERFLOW;
    n.is_int = true;
    n.i = r.negative ? static_cast<std::int64_t>(0 - r.magnitude) : static_cast<std::int64_t>(r.magnitude);
    n.d = static_cast<double>(n.i);
    return S_OK;
  }
  bool ok = false;
  n.d = TrimDouble(s, &ok);
  if (ok) return S_OK;
  if (t.size() == 4 || t.size() == 5) {
    std::u16string low(t);
    for (auto& c : low)
      if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    if (low == u"true" || low == u"false") {
      n.is_int = true;
      n.i = low == u"true" ? -1 : 0;
      n.d = static_cast<double>(n.i);
      return S_OK;
    }
  }
  return DISP_E_TYPEMISMATCH;
}

HRESULT SourceNumber(const _variant_t& v, Number& n) {
  const VARTYPE vt = v.vt();
  if (IsSignedInt(vt) || vt == VT_BOOL) {
    n.is_int = true;
    n.i = v.llVal();
    n.d = static_cast<double>(n.i);
  } else if (IsUnsignedInt(vt)) {
    n.is_int = true;
    if (v.ullVal() > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) n.is_unsigned = true;
    n.u = v.ullVal();
    n.i = static_cast<std::int64_t>(n.u);
    n.d = static_cast<double>(n.u);
  } else if (vt == VT_R8 || vt == VT_DATE) {
    n.d = v.dblVal();
  } else if (vt == VT_R4) {
    n.d = v.fltVal();
  } else if (vt == VT_CY) {
    n.is_cy = true;
    n.cy = v.cyVal();
    n.d = static_cast<double>(n.cy) / 10000.0;
  } else if (vt == VT_DECIMAL) {
    n.d = qvp::DecimalToDouble(v.decVal());
  } else if (vt == VT_EMPTY) {
    n.is_int = true;
  } else if (vt == VT_BSTR) {
    return TextToNumber(v.bstrView(), n);
  } else {
    return DISP_E_TYPEMISMATCH;
  }
  return S_OK;
}

// The integer a number gives in [lo, hi], rounding reals half to even.
HRESULT ToInteger(const Number& n, long double lo, long double hi, std::int64_t& out_signed, std::uint64_t& out_unsigned,
                  bool unsigned_target) {
  if (n.is_int) {
    if (n.is_unsigned) {
      if (!unsigned_target || static_cast<long double>(n.u) > hi) return DISP_E_OVERFLOW;
      out_unsigned = n.u;
      return S_OK;
    }
    if (static_cast<long double>(n.i) < lo || static_cast<long double>(n.i) > hi) return DISP_E_OVERFLOW;
    out_signed = n.i;
    out_unsigned = static_cast<std::uint64_t>(n.i);
    return S_OK;
  }
  if (n.is_cy) {
    std::int64_t q = n.cy / 10000;
    const std::int64_t r = n.cy % 10000;
    if (r > 5000 || (r == 5000 && (q & 1))) ++q;
    if (r < -5000 || (r == -5000 && (q & 1))) --q;
    if (static_cast<long double>(q) < lo || static_cast<long double>(q) > hi) return DISP_E_OVERFLOW;
    out_signed = q;
    out_unsigned = static_cast<std::uint64_t>(q);
    return S_OK;
  }
  const double r = RoundHalfEven(n.d);
  if (std::isnan(r) || static_cast<long double>(r) < lo || static_cast<long double>(r) > hi) return DISP_E_OVERFLOW;
  if (unsigned_target) {
    out_unsigned = static_cast<std::uint64_t>(r);
    out_signed = static_cast<std::int64_t>(out_unsigned);
  } else {
    out_signed = static_cast<std::int64_t>(r);
    out_unsigned = static_cast<std::uint64_t>(out_signed);
  }
  return S_OK;
}

std::u16string Ascii(const char* s) {
  std::u16string out;
  while (*s) out += static_cast<char16_t>(*s++);
  return out;
}

// Doubles as the platform writes them: up to `digits` significant digits,
// exponent form ("1E+20") outside 1e-4 ... 1e15.
std::u16string RealToText(double d, int digits) {
  if (d == 0) return u"0";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*G", digits, d);
  std::string s = buf;
  const auto e = s.find('E');
  if (e != std::string::npos) {
    // "1E+020" style trimmed to at least two exponent digits like "1E+20".
    std::string mant = s.substr(0, e);
    std::string exp = s.substr(e + 1);
    const char sign = exp[0];
    exp = exp.substr(1);
    while (exp.size() > 2 && exp[0] == '0') exp.erase(0, 1);
    s = mant + "E" + sign + exp;
  }
  return Ascii(s.c_str());
}

std::u16string CurrencyToText(std::int64_t cy) {
  DECIMAL d;
  d.scale = 4;
  d.sign = cy < 0 ? DECIMAL_NEG : 0;
  d.Lo64 = cy < 0 ? 0 - static_cast<std::uint64_t>(cy) : static_cast<std::uint64_t>(cy);
  std::u16string t = qvp::DecimalToText(d);
  while (!t.empty() && t.back() == u'0') t.pop_back();
  if (!t.empty() && t.back() == u'.') t.pop_back();
  return t;
}

HRESULT ToText(const _variant_t& src, unsigned short flags, std::u16string& out) {
  const VARTYPE vt = src.vt();
  if (vt == VT_BSTR) {
    out = src.bstrView();
  } else if (vt == VT_EMPTY) {
    out.clear();
  } else if (vt == VT_BOOL) {
    out = (flags & VARIANT_ALPHABOOL) ? (src.boolVal() ? u"True" : u"False") : (src.boolVal() ? u"-1" : u"0");
  } else if (IsSignedInt(vt)) {
    out = Ascii(std::to_string(src.llVal()).c_str());
  } else if (IsUnsignedInt(vt)) {
    out = Ascii(std::to_string(src.ullVal()).c_str());
  } else if (vt == VT_R8) {
    out = RealToText(src.dblVal(), 15);
  } else if (vt == VT_R4) {
    out = RealToText(src.fltVal(), 7);
  } else if (vt == VT_CY) {
    out = CurrencyToText(src.cyVal());
  } else if (vt == VT_DECIMAL) {
    out = qvp::DecimalToText(src.decVal());
  } else if (vt == VT_DATE) {
    const COleDateTime t(src.date());
    if (t.GetYear() < 0) return DISP_E_OVERFLOW;
    out = t.Format().str();
  } else {
    return DISP_E_TYPEMISMATCH;
  }
  return S_OK;
}

HRESULT ToDate(const _variant_t& src, double& out) {
  if (src.vt() == VT_BSTR) {
    const std::u16string text(src.bstrView());
    COleDateTime t;
    if (t.ParseDateTime(text.c_str())) {
      out = t.m_dt;
      return S_OK;
    }
    bool ok = false;
    const double d = TrimDouble(text, &ok);
    if (!ok) return DISP_E_TYPEMISMATCH;
    out = d;
  } else {
    Number n;
    const HRESULT hr = SourceNumber(src, n);
    if (FAILED(hr)) return hr;
    out = n.d;
  }
  if (out < QVP_MIN_DATE || out >= QVP_MAX_DATE + 1.0) return DISP_E_OVERFLOW;
  return S_OK;
}

}  // namespace

HRESULT VariantChangeType(_variant_t* dst, const _variant_t* src, unsigned short flags, VARTYPE vt) {
  if (!dst || !src) return E_INVALIDARG;
  const VARTYPE from = src->vt();
  if (from == vt) {
    if (dst != src) *dst = *src;
    return S_OK;
  }
  if (from == VT_NULL) return DISP_E_TYPEMISMATCH;
  if ((from & VT_ARRAY) || (vt & VT_ARRAY)) return DISP_E_TYPEMISMATCH;
  try {
    _variant_t result;
    switch (vt) {
      case VT_EMPTY: break;
      case VT_NULL: result = _variant_t::Null(); break;
      case VT_BSTR: {
        std::u16string text;
        const HRESULT hr = ToText(*src, flags, text);
        if (FAILED(hr)) return hr;
        result = _variant_t(std::u16string_view(text));
        break;
      }
      case VT_DATE: {
        double d = 0;
        const HRESULT hr = ToDate(*src, d);
        if (FAILED(hr)) return hr;
        result = _variant_t::Date(d);
        break;
      }
      case VT_R8: case VT_R4: {
        Number n;
        const HRESULT hr = SourceNumber(*src, n);
        if (FAILED(hr)) return hr;
        if (vt == VT_R4) {
          if (std::fabs(n.d) > std::numeric_limits<float>::max()) return DISP_E_OVERFLOW;
          result = _variant_t(static_cast<float>(n.d));
        } else {
          result = _variant_t(n.is_int && !n.is_unsigned ? static_cast<double>(n.i) : n.d);
        }
        break;
      }
      case VT_BOOL: {
        Number n;
        const HRESULT hr = SourceNumber(*src, n);
        if (FAILED(hr)) return hr;
        const bool truth = n.is_int ? (n.i != 0 || n.u != 0) : n.is_cy ? n.cy != 0 : n.d != 0;
        result = _variant_t(truth);
        break;
      }
      case VT_CY: {
        Number n;
        const HRESULT hr = SourceNumber(*src, n);
        if (FAILED(hr)) return hr;
        if (n.is_cy) {
          result = _variant_t::Currency(n.cy);
        } else {
          const double scaled = RoundHalfEven((n.is_int ? static_cast<double>(n.i) : n.d) * 10000.0);
          if (std::fabs(scaled) >= 9.2233720368547758e18) return DISP_E_OVERFLOW;
          result = _variant_t::Currency(static_cast<std::int64_t>(scaled));
        }
        break;
      }
      case VT_DECIMAL: {
        DECIMAL d;
        if (from == VT_BSTR) {
          if (!qvp::DecimalFromText(src->bstrView(), d)) {
            Number n;
            const HRESULT hr = TextToNumber(src->bstrView(), n);
            return FAILED(hr) ? hr : DISP_E_OVERFLOW;
          }
        } else {
          std::u16string text;
          HRESULT hr = S_OK;
          if (from == VT_R8 || from == VT_R4 || from == VT_DATE) {
            Number n;
            hr = SourceNumber(*src, n);
            if (FAILED(hr)) return hr;
            text = RealToText(n.d, 15);
            if (text.find(u'E') != std::u16string::npos) {
              char buf[512];
              std::snprintf(buf, sizeof buf, "%.0f", n.d);
              text = Ascii(buf);
            }
          } else {
            hr = ToText(*src, 0, text);
            if (FAILED(hr)) return hr;
          }
          if (!qvp::DecimalFromText(text, d)) return DISP_E_OVERFLOW;
        }
        result = _variant_t::Decimal(d);
        break;
      }
      case VT_I1: case VT_I2: case VT_I4: case VT_I8: case VT_INT:
      case VT_UI1: case VT_UI2: case VT_UI4: case VT_UI8: case VT_UINT: {
        Number n;
        const HRESULT hr0 = SourceNumber(*src, n);
        if (FAILED(hr0)) return hr0;
        long double lo = 0;
        long double hi = 0;
        switch (vt) {
          case VT_I1: lo = -128; hi = 127; break;
          case VT_I2: lo = -32768; hi = 32767; break;
          case VT_I4: case VT_INT: lo = -2147483648.0L; hi = 2147483647.0L; break;
          case VT_I8: lo = -9223372036854775808.0L; hi = 9223372036854775807.0L; break;
          case VT_UI1: hi = 255; break;
          case VT_UI2: hi = 65535; break;
          case VT_UI4: case VT_UINT: hi = 4294967295.0L; break;
          default: hi = 18446744073709551615.0L; break;
        }
        std::int64_t s = 0;
        std::uint64_t u = 0;
        const bool unsigned_target = IsUnsignedInt(vt);
        const HRESULT hr = ToInteger(n, lo, hi, s, u, unsigned_target);
        if (FAILED(hr)) return hr;
        result = unsigned_target ? _variant_t(static_cast<std::int64_t>(u), vt) : _variant_t(s, vt);
        break;
      }
      default:
        return DISP_E_BADVARTYPE;
    }
    *dst = std::move(result);
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

namespace qvp {

namespace {
int CompareNoCase(std::u16string_view a, std::u16string_view b) noexcept {
  const std::size_t n = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < n; ++i) {
    char16_t x = a[i];
    char16_t y = b[i];
    if (x >= u'a' && x <= u'z') x = static_cast<char16_t>(x - 32);
    if (y >= u'a' && y <= u'z') y = static_cast<char16_t>(y - 32);
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}
}  // namespace

int VariantCompare(const _variant_t& a, const _variant_t& b) noexcept {
  const bool at = a.vt() == VT_BSTR;
  const bool bt = b.vt() == VT_BSTR;
  if (at && bt) return CompareNoCase(a.bstrView(), b.bstrView());
  if ((a.vt() & VT_ARRAY) || (b.vt() & VT_ARRAY)) {
    const SAFEARRAY* x = a.parray();
    const SAFEARRAY* y = b.parray();
    if (!x || !y) return x ? 1 : (y ? -1 : 0);
    const std::uint32_t n = x->cElements < y->cElements ? x->cElements : y->cElements;
    const int c = n ? std::memcmp(x->pvData, y->pvData, n) : 0;
    if (c) return c < 0 ? -1 : 1;
    return x->cElements == y->cElements ? 0 : (x->cElements < y->cElements ? -1 : 1);
  }
  Number x;
  Number y;
  const bool xn = SUCCEEDED(SourceNumber(a, x));
  const bool yn = SUCCEEDED(SourceNumber(b, y));
  if (xn && yn) {
    if (x.is_int && y.is_int && !x.is_unsigned && !y.is_unsigned) return x.i < y.i ? -1 : (x.i > y.i ? 1 : 0);
    return x.d < y.d ? -1 : (x.d > y.d ? 1 : 0);
  }
  std::u16string tx;
  std::u16string ty;
  ToText(a, 0, tx);
  ToText(b, 0, ty);
  return CompareNoCase(tx, ty);
}

}  // namespace qvp
