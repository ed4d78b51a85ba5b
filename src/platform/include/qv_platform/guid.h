// GUIDs: the COM 128-bit identifier record, laid out as on Windows (32-bit,
// two 16-bit and eight 8-bit parts) so that records holding one keep their
// field offsets; its creation and its registry text form
// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
//
// Layout and text follow COM: Data1, Data2 and Data3 are printed as numbers
// (most significant digit first), Data4 byte by byte. New GUIDs are random
// (version 4, RFC 4122 variant) from the system's generator (libuuid), so
// their registry text equals the RFC text of the same UUID.
#pragma once

#include <cstring>

#include "qv_platform/export.h"
#include "qv_platform/wintypes.h"

#ifndef QV_GUID_DEFINED
#define QV_GUID_DEFINED
struct GUID {
  DWORD Data1;
  WORD Data2;
  WORD Data3;
  BYTE Data4[8];
};
static_assert(sizeof(GUID) == 16, "GUID must be 16 bytes");

using IID = GUID;
using CLSID = GUID;
using REFGUID = const GUID&;

inline constexpr GUID GUID_NULL{0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

inline bool IsEqualGUID(REFGUID a, REFGUID b) noexcept { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }
inline bool operator==(REFGUID a, REFGUID b) noexcept { return IsEqualGUID(a, b); }
inline bool operator!=(REFGUID a, REFGUID b) noexcept { return !IsEqualGUID(a, b); }
#endif

inline constexpr HRESULT CO_E_CLASSSTRING = static_cast<HRESULT>(0x800401F3u);
inline constexpr HRESULT CO_E_IIDSTRING = static_cast<HRESULT>(0x800401F4u);
inline constexpr HRESULT RPC_S_UUID_NO_ADDRESS = static_cast<HRESULT>(0x800706CBu);

// CoCreateGuid stores a new random GUID: S_OK, or E_INVALIDARG for a null
// pointer (the GUID is then untouched).
QVP_API HRESULT CoCreateGuid(GUID* guid);

// StringFromGUID2 writes the 38-character registry text with upper-case
// digits and a terminating NUL into `buffer` and returns 39 (the characters
// written, NUL included); returns 0 and writes nothing when `buffer` is null
// or `max_chars` is below 39.
QVP_API int StringFromGUID2(REFGUID guid, char16_t* buffer, int max_chars);

// CLSIDFromString parses the registry text (braces and hyphens in place,
// hexadecimal digits of either case, nothing after the closing brace), or a
// program id of a class this platform stands in for ("Msxml2.DOMDocument",
// "Msxml2.DOMDocument.4.0", "Msxml2.DOMDocument.6.0", "Microsoft.XMLDOM",
// "ADODB.Recordset", "ADODB.Stream"; any ASCII case) into its class id:
// S_OK with *clsid set. A null text gives GUID_NULL and S_OK. Other text
// gives CO_E_CLASSSTRING, and *clsid holds what was read before the error,
// as on Windows: the fields read so far (the one being read holds its
// digits read so far), the rest untouched; text not starting with '{' leaves
// GUID_NULL. Reading stops at the first character that does not fit, so the
// text is never read past its terminating NUL. E_INVALIDARG for a null
// `clsid`.
QVP_API HRESULT CLSIDFromString(const char16_t* text, CLSID* clsid);

// IIDFromString parses the registry text only (no program ids): S_OK, or
// GUID_NULL and S_OK for a null text. Text that is not 38 characters long
// gives E_INVALIDARG with *iid untouched; text not starting with '{' gives
// CO_E_IIDSTRING with *iid untouched; other malformed text gives
// CO_E_IIDSTRING with what was read before the error, as CLSIDFromString.
// E_INVALIDARG for a null `iid`.
QVP_API HRESULT IIDFromString(const char16_t* text, IID* iid);

namespace qvp {
// SetGuidCreationFailureForTesting makes every CoCreateGuid call return
// `hr` (a failure code) without touching its argument until it is called
// again with S_OK. Lets tests reach callers' failure paths.
QVP_API void SetGuidCreationFailureForTesting(HRESULT hr) noexcept;
}  // namespace qvp
