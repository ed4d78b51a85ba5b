// Debugger output (OutputDebugString). Every line goes to one process-wide
// sink. Tests install a capture; with QV_DEBUG_OUTPUT=1 in the environment
// each line is also written to standard error as UTF-8.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "qv_platform/export.h"

QVP_API void OutputDebugStringW(const char16_t* text);
QVP_API void OutputDebugStringA(const char* text);

namespace qvp {

using DebugOutputSink = std::function<void(std::u16string_view)>;

// SetDebugOutputSink replaces the process's sink (an empty function removes
// it) and returns the previous one. The sink is called under a lock, one
// line at a time, in the order the lines were written.
QVP_API DebugOutputSink SetDebugOutputSink(DebugOutputSink sink);

// DebugOutputCapture collects every line written while it lives (RAII; it
// restores the previous sink).
class QVP_API DebugOutputCapture {
 public:
  DebugOutputCapture();
  ~DebugOutputCapture();
  DebugOutputCapture(const DebugOutputCapture&) = delete;
  DebugOutputCapture& operator=(const DebugOutputCapture&) = delete;
  std::u16string Text() const;  // every line, concatenated as written
  int Count() const;            // number of lines
  bool Contains(std::u16string_view needle) const;

 private:
  struct State;
  State* state_;
  DebugOutputSink previous_;
};

}  // namespace qvp
