// The logger library loaded at run time by the trace log. Every record goes
// to a size-rotated log file named after the program, in the first usable
// folder of LogFolderCandidates; while a test has registered a record sink,
// each record is also handed to it exactly as the entry point received it.
//
// No entry point ever lets an exception out: a logger that cannot write
// only loses records.
#include <spdlog/logger.h>
#include <spdlog/sinks/rotating_file_sink.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <utility>
#include <vector>

#include "../common/log_folder.h"
#include "qv_imports/export.h"
#include "qv_imports/logger_client.h"


namespace {

constexpr std::size_t kMaxFileSize = 10 * 1024 * 1024;
constexpr std::size_t kMaxFiles = 5;

struct Sinks {
  std::shared_mutex mutex;
  std::vector<std::pair<JNRecordSink, void*>> list;
};

Sinks& TestSinks() {
  static Sinks* sinks = new Sinks;  // never destroyed: records may arrive during exit
  return *sinks;
}

struct LogFile {
  std::shared_ptr<spdlog::logger> logger;
  std::string path;
};

// Opens the log file in the first candidate folder that accepts it.
LogFile OpenLogFile() {
  const std::string file = qv_imports::ExecutableBaseName() + ".log";
  for (const std::string& folder : qv_imports::LogFolderCandidates(reinterpret_cast<const void*>(&OpenLogFile))) {
    try {
      std::error_code ec;
      std::filesystem::create_directories(folder, ec);
      if (::access(folder.c_str(), W_OK) != 0) continue;
      const std::string path = folder + "/" + file;
      auto sink = std::make_shared<spdlog::sinks::rotating_file_sink_mt>(path, kMaxFileSize, kMaxFiles);
      auto logger = std::make_shared<spdlog::logger>("nivalo.logger.client", std::move(sink));
      logger->set_pattern("%Y-%m-%d %H:%M:%S.%e %-5l %v");
      logger->set_level(spdlog::level::trace);
      logger->flush_on(spdlog::level::trace);
      return {std::move(logger), path};
    } catch (...) {
      // Not writable here: try the next folder.
    }
  }
  return {};
}

const LogFile& Log() {
  static const LogFile log = OpenLogFile();
  return log;
}

// Levels of the library: 1 failure, 2 singleton or system library failure,
// 3 data-format enumeration failure, 4 file deletion outcome, 20 thread
// entry and exit.
spdlog::level::level_enum SeverityOf(int level) {
  switch (level) {
    case 1:
    case 2: return spdlog::level::err;
    case 3: return spdlog::level::warn;
    case 4: return spdlog::level::info;
    default: return level >= 5 ? spdlog::level::debug : spdlog::level::info;
  }
}

void Record(const JNTraceRecord& r) noexcept {
  try {
    {
      Sinks& sinks = TestSinks();
      std::shared_lock lock(sinks.mutex);
      for (const auto& [sink, context] : sinks.list) sink(&r, context);
    }
    const LogFile& log = Log();
    if (!log.logger) return;
    log.logger->log(SeverityOf(r.level), "[{}] [{}] [tid {}] [level {}] [code {}] {}",
                    qv_imports::Utf16ToUtf8(r.module), qv_imports::Utf16ToUtf8(r.function), r.thread_id, r.level,
                    r.code, qv_imports::Utf16ToUtf8(r.text));
  } catch (...) {
    // A record that cannot be written is lost; the caller goes on.
  }
}

std::uint32_t CurrentThreadId() { return static_cast<std::uint32_t>(::gettid()); }

}  // namespace

extern "C" {

// JNTrace0 logs a preformatted text. Returns 1.
QVI_API int JNTrace0(const char16_t* module, int level, const char16_t* text) {
  Record({0, module, nullptr, 0, level, 0, text});
  return 1;
}

// JNTrace0Ex2 logs a preformatted text with function, thread and code.
// Returns 1.
QVI_API int JNTrace0Ex2(const char16_t* module, const char16_t* function, std::uint32_t thread_id, int level,
                        int code, const char16_t* text) {
  Record({1, module, function, thread_id, level, code, text});
  return 1;
}

// The remaining entry points take text that the caller has formatted
// already; they record the calling thread themselves where they take no
// thread id. Each returns 1.
QVI_API int JNTrace(const char16_t* module, int level, const char16_t* text) {
  Record({2, module, nullptr, CurrentThreadId(), level, 0, text});
  return 1;
}

QVI_API int JNTraceEx1(const char16_t* module, const char16_t* function, int level, const char16_t* text) {
  Record({3, module, function, CurrentThreadId(), level, 0, text});
  return 1;
}

QVI_API int JNTrace0Ex1(const char16_t* module, const char16_t* function, int level, const char16_t* text) {
  Record({4, module, function, CurrentThreadId(), level, 0, text});
  return 1;
}

QVI_API int JNTraceEx2(const char16_t* module, const char16_t* function, std::uint32_t thread_id, int level,
                       int code, const char16_t* text) {
  Record({5, module, function, thread_id, level, code, text});
  return 1;
}

// JNGetLogFilePath writes the path of the current log file (UTF-16, NUL
// ended, truncated to `capacity`) and returns its length; 0 when no folder
// accepted the log file or the buffer is null.
QVI_API int JNGetLogFilePath(char16_t* buffer, int capacity) {
  try {
    if (!buffer || capacity < 1) return 0;
    const std::u16string path = qv_imports::Utf8ToUtf16(Log().path);
    const int n = std::min(static_cast<int>(path.size()), capacity - 1);
    std::copy_n(path.data(), n, buffer);
    buffer[n] = 0;
    return n;
  } catch (...) {
    return 0;
  }
}

// Test hooks: while registered, `sink` receives every record (under a
// shared lock, on the calling thread). Adding the same pair twice calls it
// twice; removing takes one registration away.
QVI_API void JNTestAddRecordSink(JNRecordSink sink, void* context) {
  if (!sink) return;
  Sinks& sinks = TestSinks();
  std::unique_lock lock(sinks.mutex);
  sinks.list.emplace_back(sink, context);
}

QVI_API void JNTestRemoveRecordSink(JNRecordSink sink, void* context) {
  Sinks& sinks = TestSinks();
  std::unique_lock lock(sinks.mutex);
  auto it = std::find(sinks.list.begin(), sinks.list.end(), std::make_pair(sink, context));
  if (it != sinks.list.end()) sinks.list.erase(it);
}

}  // extern "C"
