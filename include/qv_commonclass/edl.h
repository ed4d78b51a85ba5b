// Edit decision lists: the second-generation records, reader and writer.
#pragma once

#include "qv_commonclass/export.h"
#include "qv_platform/cstring.h"

namespace qv_commonclass {}  // namespace qv_commonclass
