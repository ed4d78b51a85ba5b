// Variants as OLE Automation keeps them: a 16-byte tagged value (VARTYPE plus
// payload) with the platform's conversions between types.
//
// Representation. `_variant_t` owns its payload: text (VT_BSTR) is a
// length-prefixed UTF-16 buffer allocated by SysAllocString and freed with
// the variant; a byte array (VT_ARRAY | VT_UI1) owns a SAFEARRAY. VT_DECIMAL
// keeps the platform's 96-bit layout: scale and sign in the reserved bytes,
// the high 32 bits beside them and the low 64 bits in the payload, so a
// decimal of up to 28 digits fits the same 16 bytes as every other value.
// Dates are VT_DATE doubles (OLE dates, see datetime.h); booleans are
// VARIANT_BOOL, -1 for true and 0 for false.
//
// Conversions (VariantChangeType) follow the platform for the pairs the
// library uses:
//   text -> integers, floating point, currency, decimal: the number the whole
//            text spells (blanks around it allowed; "1e3", "-12.5"); integer
//            targets round half to even; out of range DISP_E_OVERFLOW, not a
//            number DISP_E_TYPEMISMATCH.
//   text -> date: the date forms of COleDateTime::ParseDateTime, else a
//            number taken as an OLE date; DISP_E_TYPEMISMATCH otherwise.
//   text -> bool: "True"/"False" (any case) or a number (nonzero is true).
//   numbers -> text: integers in decimal, doubles with up to 15 significant
//            digits ("0.1", "1E+20"), floats with 7, currency and decimal
//            exactly; dates as COleDateTime::Format gives them; booleans
//            "-1"/"0" (with VARIANT_ALPHABOOL "True"/"False").
//   numbers <-> numbers: integers narrow with an overflow check (VT_I8
//            4294967297 -> VT_I4 is DISP_E_OVERFLOW); floating point rounds
//            half to even; bool -> number gives -1/0; number -> bool is
//            "nonzero"; dates convert as their double.
//   VT_NULL and VT_EMPTY: EMPTY converts to the zero of any type (and ""),
//            NULL to nothing but NULL (DISP_E_TYPEMISMATCH).
//   byte arrays convert only to themselves.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "qv_platform/cstring.h"
#include "qv_platform/datetime.h"
#include "qv_platform/export.h"
#include "qv_platform/wintypes.h"

class _bstr_t;

using VARTYPE = std::uint16_t;
using VARIANT_BOOL = std::int16_t;
using BSTR = char16_t*;

inline constexpr VARIANT_BOOL VARIANT_TRUE = -1;
inline constexpr VARIANT_BOOL VARIANT_FALSE = 0;

enum VARENUM : VARTYPE {
  VT_EMPTY = 0, VT_NULL = 1, VT_I2 = 2, VT_I4 = 3, VT_R4 = 4, VT_R8 = 5, VT_CY = 6, VT_DATE = 7,
  VT_BSTR = 8, VT_DISPATCH = 9, VT_ERROR = 10, VT_BOOL = 11, VT_VARIANT = 12, VT_UNKNOWN = 13,
  VT_DECIMAL = 14, VT_I1 = 16, VT_UI1 = 17, VT_UI2 = 18, VT_UI4 = 19, VT_I8 = 20, VT_UI8 = 21,
  VT_INT = 22, VT_UINT = 23, VT_BLOB = 65, VT_ARRAY = 0x2000,
};

// VariantChangeType flags.
inline constexpr unsigned short VARIANT_NOVALUEPROP = 0x1;
inline constexpr unsigned short VARIANT_ALPHABOOL = 0x2;

// Errors of the conversions.
inline constexpr HRESULT DISP_E_TYPEMISMATCH = static_cast<HRESULT>(0x80020005u);
inline constexpr HRESULT DISP_E_OVERFLOW = static_cast<HRESULT>(0x8002000Au);
inline constexpr HRESULT DISP_E_BADVARTYPE = static_cast<HRESULT>(0x80020008u);

// CY: currency, a 64-bit count of ten-thousandths.
struct CY {
  std::int64_t int64 = 0;
};

// SAFEARRAY: only one-dimensional arrays of bytes are used here.
struct SAFEARRAY {
  VARTYPE vt = VT_UI1;
  std::uint32_t cbElements = 1;
  std::uint32_t cElements = 0;
  void* pvData = nullptr;
};

// SafeArrayCreateVector makes a zero-filled one-dimensional array of `count`
// elements of `vt` (only VT_UI1 is supported); null when out of memory or
// for another type. SafeArrayDestroy frees it (null is ignored).
QVP_API SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, long lower_bound, std::uint32_t count) noexcept;
QVP_API HRESULT SafeArrayDestroy(SAFEARRAY* array) noexcept;
// SafeArrayAccessData gives the data pointer; E_INVALIDARG for null.
QVP_API HRESULT SafeArrayAccessData(SAFEARRAY* array, void** data) noexcept;
inline HRESULT SafeArrayUnaccessData(SAFEARRAY*) noexcept { return S_OK; }

// SysAllocString / SysAllocStringLen make a BSTR (null text gives an empty
// one of SysAllocStringLen(nullptr, 0)); SysFreeString frees one (null is
// ignored); SysStringLen is its length in UTF-16 units (0 for null).
QVP_API BSTR SysAllocString(const char16_t* text) noexcept;
QVP_API BSTR SysAllocStringLen(const char16_t* text, std::uint32_t length) noexcept;
QVP_API void SysFreeString(BSTR text) noexcept;
QVP_API std::uint32_t SysStringLen(BSTR text) noexcept;

// The 96-bit decimal's parts, as they sit in a VT_DECIMAL variant.
struct DECIMAL {
  std::uint8_t scale = 0;  // digits after the point, 0-28
  std::uint8_t sign = 0;   // 0x80 for negative
  std::uint32_t Hi32 = 0;
  std::uint64_t Lo64 = 0;
};
inline constexpr std::uint8_t DECIMAL_NEG = 0x80;

// _variant_t: the owning variant. Copies duplicate text and arrays.
class QVP_API _variant_t {
 public:
  _variant_t() noexcept = default;
  _variant_t(const _variant_t& other);
  _variant_t(_variant_t&& other) noexcept
      : vt_(other.vt_), scale_(other.scale_), sign_(other.sign_), hi32_(other.hi32_), u_(other.u_) {
    other.vt_ = VT_EMPTY;
  }
  _variant_t& operator=(const _variant_t& other);
  // Inline: a row store assigns and destroys a variant per value.
  _variant_t& operator=(_variant_t&& other) noexcept {
    if (this != &other) {
      Clear();
      vt_ = other.vt_;
      scale_ = other.scale_;
      sign_ = other.sign_;
      hi32_ = other.hi32_;
      u_ = other.u_;
      other.vt_ = VT_EMPTY;
    }
    return *this;
  }
  ~_variant_t() { Clear(); }

  // Typed construction: the C++ type picks the VARTYPE (int and long give
  // VT_I4, long long VT_I8, bool VT_BOOL, double VT_R8, text VT_BSTR).
  _variant_t(short v) noexcept : vt_(VT_I2) { u_.i64 = v; }                       // NOLINT
  _variant_t(int v) noexcept : vt_(VT_I4) { u_.i64 = v; }                         // NOLINT
  _variant_t(long v) noexcept : vt_(VT_I4) { u_.i64 = static_cast<std::int32_t>(v); }  // NOLINT
  _variant_t(long long v) noexcept : vt_(VT_I8) { u_.i64 = v; }                   // NOLINT
  _variant_t(unsigned char v) noexcept : vt_(VT_UI1) { u_.u64 = v; }              // NOLINT
  _variant_t(unsigned short v) noexcept : vt_(VT_UI2) { u_.u64 = v; }             // NOLINT
  _variant_t(unsigned int v) noexcept : vt_(VT_UI4) { u_.u64 = v; }               // NOLINT
  _variant_t(unsigned long long v) noexcept : vt_(VT_UI8) { u_.u64 = v; }         // NOLINT
  _variant_t(bool v) noexcept : vt_(VT_BOOL) { u_.i64 = v ? VARIANT_TRUE : VARIANT_FALSE; }  // NOLINT
  _variant_t(float v) noexcept : vt_(VT_R4) { u_.r4 = v; }                        // NOLINT
  _variant_t(double v) noexcept : vt_(VT_R8) { u_.r8 = v; }                       // NOLINT
  _variant_t(const char16_t* text);                                               // NOLINT
  _variant_t(std::u16string_view text);                                           // NOLINT
  _variant_t(const CString& text) : _variant_t(text.view()) {}                    // NOLINT
  _variant_t(const _bstr_t& text);                                                // NOLINT
  _variant_t(const char* utf8);                                                   // NOLINT
  _variant_t(const COleDateTime& date) noexcept : vt_(VT_DATE) { u_.r8 = date.m_dt; }  // NOLINT
  // A number of one exact VARTYPE (integer, real, date, bool, currency).
  _variant_t(double value, VARTYPE vt) noexcept;
  _variant_t(std::int64_t value, VARTYPE vt) noexcept;

  static _variant_t Null() noexcept { _variant_t v; v.vt_ = VT_NULL; return v; }
  static _variant_t Date(double date) noexcept { return _variant_t(date, VT_DATE); }
  static _variant_t Currency(std::int64_t ten_thousandths) noexcept { return _variant_t(ten_thousandths, VT_CY); }
  static _variant_t Decimal(const DECIMAL& d) noexcept;
  // A byte array (VT_ARRAY | VT_UI1) holding a copy of the bytes.
  static _variant_t Bytes(const void* data, std::size_t size);
  // Takes ownership of a BSTR made by SysAllocString(Len) (null gives EMPTY).
  static _variant_t AttachBstr(BSTR text) noexcept;
  // Takes ownership of `array` as VT_ARRAY | vt of its elements.
  static _variant_t Attach(SAFEARRAY* array) noexcept;

  void Clear() noexcept {
    if (vt_ == VT_BSTR || (vt_ & VT_ARRAY)) ReleaseOwned();
    vt_ = VT_EMPTY;
    scale_ = sign_ = 0;
    hi32_ = 0;
    u_.i64 = 0;
  }
  VARTYPE vt() const noexcept { return vt_; }
  bool IsNullOrEmpty() const noexcept { return vt_ == VT_NULL || vt_ == VT_EMPTY; }

  // ChangeType converts in place (VariantChangeType); throws _com_error with
  // the conversion's HRESULT on failure, leaving the value as it was.
  void ChangeType(VARTYPE vt, const _variant_t* source = nullptr);

  // Payload access; each is meaningful only for its own VARTYPEs.
  std::int64_t llVal() const noexcept { return u_.i64; }       // I1, I2, I4, I8, INT, BOOL
  std::uint64_t ullVal() const noexcept { return u_.u64; }     // UI1, UI2, UI4, UI8, UINT
  std::int32_t lVal() const noexcept { return static_cast<std::int32_t>(u_.i64); }
  VARIANT_BOOL boolVal() const noexcept { return static_cast<VARIANT_BOOL>(u_.i64); }
  double dblVal() const noexcept { return u_.r8; }              // R8
  double date() const noexcept { return u_.r8; }                // DATE
  float fltVal() const noexcept { return u_.r4; }               // R4
  std::int64_t cyVal() const noexcept { return u_.i64; }        // CY
  DECIMAL decVal() const noexcept;                              // DECIMAL
  // The text of a VT_BSTR (empty view for other types).
  std::u16string_view bstrView() const noexcept;
  BSTR bstrVal() const noexcept { return vt_ == VT_BSTR ? u_.bstr : nullptr; }
  SAFEARRAY* parray() const noexcept { return (vt_ & VT_ARRAY) ? u_.array : nullptr; }

  // Equality as the data-access layer compares values: same type and value
  // (text by code unit, arrays by bytes).
  friend QVP_API bool operator==(const _variant_t& a, const _variant_t& b) noexcept;

 private:
  void ReleaseOwned() noexcept;  // frees the text or array held
  friend QVP_API HRESULT VariantChangeType(_variant_t* dst, const _variant_t* src, unsigned short flags, VARTYPE vt);
  VARTYPE vt_ = VT_EMPTY;
  // The decimal's scale, sign and high bits sit where VARIANT keeps its
  // reserved words.
  std::uint8_t scale_ = 0;
  std::uint8_t sign_ = 0;
  std::uint32_t hi32_ = 0;
  union Payload {
    std::int64_t i64;
    std::uint64_t u64;
    double r8;
    float r4;
    BSTR bstr;
    SAFEARRAY* array;
  } u_{0};
};
static_assert(sizeof(_variant_t) == 16, "a variant is 16 bytes, as the platform's");

// VariantChangeType converts `src` to `vt` into `dst` (they may be the same
// object). S_OK, or DISP_E_TYPEMISMATCH / DISP_E_OVERFLOW / DISP_E_BADVARTYPE
// with `dst` unchanged.
QVP_API HRESULT VariantChangeType(_variant_t* dst, const _variant_t* src, unsigned short flags, VARTYPE vt);

namespace qvp {
// VariantCompare orders two non-null values the way the data-access layer's
// filters and sorts do: numbers (dates, booleans, currency and decimals
// included) by value, text case-free (A-Z only), byte arrays by bytes; a
// number against text compares the text converted to a number, or as text
// when it is not one. Returns <0, 0 or >0.
QVP_API int VariantCompare(const _variant_t& a, const _variant_t& b) noexcept;
// DecimalToText / DecimalFromText: the exact decimal text ("-12.50");
// DecimalFromText false for text that is not a number of at most 28 digits.
QVP_API std::u16string DecimalToText(const DECIMAL& d);
QVP_API bool DecimalFromText(std::u16string_view text, DECIMAL& out) noexcept;
QVP_API double DecimalToDouble(const DECIMAL& d) noexcept;
}  // namespace qvp
