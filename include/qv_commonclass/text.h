// Text and identifiers: Base64, string conversion and escaping, GUIDs and host addresses.
#pragma once

#include "qv_commonclass/export.h"
#include "qv_platform/cstring.h"

namespace qv_commonclass {}  // namespace qv_commonclass
