// LoggerCapture: observes, in a test, every record that reaches the logger
// library ("nivalo.logger.client" beside the library), with the arguments
// exactly as the logger's entry points received them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qvtest {

struct TraceRecord {
  bool ex2 = false;            // true: JNTrace0Ex2, false: JNTrace0
  std::u16string module;       // as handed to the logger
  std::u16string function;     // JNTrace0Ex2 only
  std::uint32_t thread_id = 0; // JNTrace0Ex2 only
  int level = 0;
  int code = 0;                // JNTrace0Ex2 only
  std::u16string text;
};

// While a LoggerCapture lives, the logger also hands each record to it.
class LoggerCapture {
 public:
  LoggerCapture();
  ~LoggerCapture();
  LoggerCapture(const LoggerCapture&) = delete;
  LoggerCapture& operator=(const LoggerCapture&) = delete;
  std::vector<TraceRecord> Records() const;
  void Clear();
};

}  // namespace qvtest
