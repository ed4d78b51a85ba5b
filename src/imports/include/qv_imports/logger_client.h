// The logger library "nivalo.logger.client" as the library sees it: the
// entry points it looks up by name at run time (it never links the logger)
// and the signatures of the two it calls.
#pragma once

#include <cstdint>

extern "C" {

// JNTrace0(module tag, level, text). The result is not used by callers.
using JNTrace0Proc = int (*)(const char16_t* module, int level, const char16_t* text);

// JNTrace0Ex2(module tag, function, calling thread id, level, code, text).
using JNTrace0Ex2Proc = int (*)(const char16_t* module, const char16_t* function, std::uint32_t thread_id,
                                int level, int code, const char16_t* text);

}  // extern "C"

// Names of the six entry points, in the order the connection keeps them.
inline constexpr const char* kLoggerEntryPointNames[6] = {"JNTrace",     "JNTrace0",   "JNTraceEx1",
                                                          "JNTrace0Ex1", "JNTraceEx2", "JNTrace0Ex2"};

// Test hooks of the stand-in logger ("JNTestAddRecordSink" and
// "JNTestRemoveRecordSink"): a registered sink receives each record exactly
// as an entry point received it. `function` is null and `thread_id` and
// `code` are 0 for entry points without them.
extern "C" {

struct JNTraceRecord {
  int kind;  // 0 JNTrace0, 1 JNTrace0Ex2, 2 JNTrace, 3 JNTraceEx1, 4 JNTrace0Ex1, 5 JNTraceEx2
  const char16_t* module;
  const char16_t* function;
  std::uint32_t thread_id;
  int level;
  int code;
  const char16_t* text;
};
using JNRecordSink = void (*)(const JNTraceRecord* record, void* context);
using JNTestRecordSinkProc = void (*)(JNRecordSink sink, void* context);

// JNGetLogFilePath(buffer, capacity): the log file's path, see the logger.
using JNGetLogFilePathProc = int (*)(char16_t* buffer, int capacity);

}  // extern "C"
