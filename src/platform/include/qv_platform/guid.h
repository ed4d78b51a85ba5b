// The platform's 128-bit identifier record, laid out as on Windows
// (32-bit, two 16-bit and eight 8-bit parts) so that records holding one keep
// their field offsets. Text conversion and creation live with the library's
// identifier functions; this header only carries the type.
#pragma once

#include <cstring>

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
