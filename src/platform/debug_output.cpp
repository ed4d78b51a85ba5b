#include "qv_platform/debug_output.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "qv_platform/unicode.h"

namespace {

std::mutex& SinkMutex() {
  static std::mutex m;
  return m;
}

qvp::DebugOutputSink& Sink() {
  static qvp::DebugOutputSink sink;
  return sink;
}

bool EchoToStderr() {
  static const bool echo = [] {
    const char* v = std::getenv("QV_DEBUG_OUTPUT");
    return v && std::strcmp(v, "0") != 0 && *v;
  }();
  return echo;
}

void Emit(std::u16string_view text) {
  std::lock_guard<std::mutex> lock(SinkMutex());
  if (Sink()) Sink()(text);
  if (EchoToStderr()) {
    const std::string utf8 = qvp::Utf16ToUtf8(text);
    std::fprintf(stderr, "[debug] %s%s", utf8.c_str(), (!utf8.empty() && utf8.back() == '\n') ? "" : "\n");
  }
}

}  // namespace

void OutputDebugStringW(const char16_t* text) {
  if (text) Emit(std::u16string_view(text, qvp::WideLength(text)));
}

void OutputDebugStringA(const char* text) {
  if (text) Emit(qvp::Utf8ToUtf16(text));
}

namespace qvp {

DebugOutputSink SetDebugOutputSink(DebugOutputSink sink) {
  std::lock_guard<std::mutex> lock(SinkMutex());
  DebugOutputSink previous = std::move(Sink());
  Sink() = std::move(sink);
  return previous;
}

struct DebugOutputCapture::State {
  mutable std::mutex m;
  std::u16string text;
  int count = 0;
};

DebugOutputCapture::DebugOutputCapture() : state_(new State) {
  State* s = state_;
  previous_ = SetDebugOutputSink([s](std::u16string_view line) {
    std::lock_guard<std::mutex> lock(s->m);
    s->text += line;
    ++s->count;
  });
}

DebugOutputCapture::~DebugOutputCapture() {
  SetDebugOutputSink(std::move(previous_));
  delete state_;
}

std::u16string DebugOutputCapture::Text() const {
  std::lock_guard<std::mutex> lock(state_->m);
  return state_->text;
}

int DebugOutputCapture::Count() const {
  std::lock_guard<std::mutex> lock(state_->m);
  return state_->count;
}

bool DebugOutputCapture::Contains(std::u16string_view needle) const {
  return Text().find(needle) != std::u16string::npos;
}

}  // namespace qvp
