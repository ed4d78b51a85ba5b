// Number conversions of the list file reader (not exported).
#pragma once

#include <string_view>

#include "qv_platform/wintypes.h"

namespace qv_commonclass::edl_io {

// C run-time number conversions of the leading number of a text: white
// space, an optional sign, digits (and for Wtof a fraction, an exponent,
// "inf", "nan" or a hexadecimal float); anything else gives 0. Wtol
// saturates at the limits of a 32-bit LONG on overflow.
LONG Wtol(std::string_view text) noexcept;
double Wtof(std::string_view text) noexcept;

}  // namespace qv_commonclass::edl_io
