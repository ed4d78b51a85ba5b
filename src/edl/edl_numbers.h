// Number conversions of the list file reader (not exported).
#pragma once

#include <string_view>

#include "qv_platform/wintypes.h"

namespace qv_commonclass::edl_io {

// _wtol and _wtof (qv_platform/crt.h) on UTF-8 attribute text: the same
// engine, the same results (Wtol clamps to the LONG limits).
LONG Wtol(std::string_view text) noexcept;
double Wtof(std::string_view text) noexcept;

}  // namespace qv_commonclass::edl_io
