// Database access: SQL search conditions and date literals.
#pragma once

#include "qv_commonclass/export.h"
#include "qv_platform/cstring.h"

namespace qv_commonclass {}  // namespace qv_commonclass
