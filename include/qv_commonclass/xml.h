// XML documents: the parser services over the XML engine.
#pragma once

#include "qv_commonclass/export.h"
#include "qv_platform/cstring.h"

namespace qv_commonclass {}  // namespace qv_commonclass
