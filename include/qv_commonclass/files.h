// Files and folders: folder and file operations, media deletion with side files, the buffered copy engine.
#pragma once

#include "qv_commonclass/export.h"
#include "qv_platform/cstring.h"

namespace qv_commonclass {}  // namespace qv_commonclass
