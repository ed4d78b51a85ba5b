// The common-control library ROVevadaDudiR: its message box.
#pragma once

#include "qv_imports/export.h"
#include "qv_platform/wintypes.h"

// QVMessageBox shows `text` with `caption` in a modal box of the given
// message box style, owned by `parent` (may be null), and returns the
// button the user chose (IDOK, IDCANCEL, ...). Null texts show as empty.
QVI_API int QVMessageBox(const char16_t* text, unsigned int style, const char16_t* caption, HWND parent);
