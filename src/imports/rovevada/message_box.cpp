#include "qv_imports/message_box.h"

#include "qv_platform/message_box.h"

int QVMessageBox(const char16_t* text, unsigned int style, const char16_t* caption, HWND parent) {
  return MessageBoxW(parent, text ? text : u"", caption ? caption : u"", style);
}
