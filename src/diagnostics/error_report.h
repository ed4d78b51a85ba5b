// Internal parts of the error reports: the reader of the advance debug
// settings.
#pragma once

#include "qv_platform/cstring.h"
#include "qv_platform/exception.h"

namespace qv_commonclass {

// ReadDebugSetting reads `key` of `section` from "DazazuraVada.ini" in the
// QV_SETTINGS_DIR folder when that is set, else in the folder of the loaded
// exception handler library: the value up to its first
// ';', trimmed. When nothing was read, the default (trimmed) is the value
// and, with `write_default` non-zero and a non-empty default, it is written
// under the key (without a comment).
CString ReadDebugSetting(const char16_t* section, const char16_t* key, const char16_t* default_value,
                         int write_default);

}  // namespace qv_commonclass
