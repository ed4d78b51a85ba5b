#include "qv_platform/message_box.h"

#include <cstdio>
#include <mutex>

#include "qv_platform/unicode.h"

namespace {

int DefaultHandler(std::u16string_view text, std::u16string_view caption, UINT, HWND) {
  std::fprintf(stderr, "[message box] %s: %s\n", qvp::Utf16ToUtf8(caption).c_str(),
               qvp::Utf16ToUtf8(text).c_str());
  return IDOK;
}

std::mutex& HandlerMutex() {
  static std::mutex m;
  return m;
}

qvp::MessageBoxHandler& Handler() {
  static qvp::MessageBoxHandler h = DefaultHandler;
  return h;
}

}  // namespace

int MessageBoxW(HWND owner, const char16_t* text, const char16_t* caption, UINT style) {
  qvp::MessageBoxHandler h;
  {
    std::lock_guard<std::mutex> lock(HandlerMutex());
    h = Handler();
  }
  const std::u16string_view t = text ? std::u16string_view(text) : std::u16string_view();
  const std::u16string_view c = caption ? std::u16string_view(caption) : std::u16string_view();
  return h(t, c, style, owner);
}

namespace qvp {

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
  std::lock_guard<std::mutex> lock(HandlerMutex());
  MessageBoxHandler previous = std::move(Handler());
  Handler() = handler ? std::move(handler) : MessageBoxHandler(DefaultHandler);
  return previous;
}

}  // namespace qvp
