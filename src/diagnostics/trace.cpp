// The trace log: records are handed to the logger library, which is loaded
// lazily and kept until unload. Tracing never raises to its caller and
// takes no lock once the connection exists.
#include <atomic>
#include <string>

#include "diagnostics/library_state.h"
#include "diagnostics/logger_client.h"
#include "qv_commonclass/diagnostics.h"
#include "qv_imports/logger_client.h"
#include "qv_platform/debug_output.h"
#include "qv_platform/module.h"
#include "qv_platform/sync.h"
#include "qv_platform/system.h"

namespace qv_commonclass {

class CQVLoggerClient {
 public:
  // Loads the logger from the library's folder (made the current directory
  // for the load) and resolves its entry points; when the load fails all
  // entry points stay null and the failure goes to the debugger output.
  CQVLoggerClient();
  // Unloads the logger.
  ~CQVLoggerClient();
  CQVLoggerClient(const CQVLoggerClient&) = delete;
  CQVLoggerClient& operator=(const CQVLoggerClient&) = delete;

  JNTrace0Proc Trace0() const noexcept { return reinterpret_cast<JNTrace0Proc>(entry_points_[1]); }
  JNTrace0Ex2Proc Trace0Ex2() const noexcept { return reinterpret_cast<JNTrace0Ex2Proc>(entry_points_[5]); }
  HMODULE Module() const noexcept { return module_; }

 private:
  // JNTrace, JNTrace0, JNTraceEx1, JNTrace0Ex1, JNTraceEx2, JNTrace0Ex2.
  void* entry_points_[6] = {};
  HMODULE module_ = nullptr;
};

namespace {

std::atomic<CQVLoggerClient*> g_client{nullptr};
std::atomic<int> g_connections{0};

// Leaves the critical section on every path out of the creation.
class LockGuard {
 public:
  explicit LockGuard(CRITICAL_SECTION* cs) : cs_(cs) { EnterCriticalSection(cs_); }
  ~LockGuard() { LeaveCriticalSection(cs_); }
  LockGuard(const LockGuard&) = delete;
  LockGuard& operator=(const LockGuard&) = delete;

 private:
  CRITICAL_SECTION* cs_;
};

}  // namespace

CQVLoggerClient::CQVLoggerClient() {
  module_ = nullptr;

  const CString folder = detail::LibraryFolder();

  // The current directory is saved in a buffer of MAX_PATH units; a longer
  // one gets a buffer of its size, so that the process never stays in the
  // library's folder after the load.
  std::u16string saved(MAX_PATH + 1, u'\0');
  DWORD saved_length = GetCurrentDirectoryW(MAX_PATH, saved.data());
  if (saved_length >= MAX_PATH) {
    saved.assign(saved_length + 1, u'\0');
    saved_length = GetCurrentDirectoryW(saved_length + 1, saved.data());
  }
  const bool have_saved = saved_length > 0 && saved_length < saved.size();
  // Making the library's folder current lets the logger and its own
  // dependencies be found beside the library first.
  SetCurrentDirectoryW(folder);
  module_ = LoadLibraryW(u"nivalo.logger.client.dll");
  if (have_saved) SetCurrentDirectoryW(saved.c_str());

  if (module_) {
    for (int i = 0; i < 6; ++i) entry_points_[i] = GetProcAddress(module_, kLoggerEntryPointNames[i]);
  } else {
    OutputDebugStringW(u"装载nivalo.logger.client.dll动态库失败");
    for (void*& entry : entry_points_) entry = nullptr;
  }
  g_connections.fetch_add(1, std::memory_order_relaxed);
}

CQVLoggerClient::~CQVLoggerClient() {
  if (module_) FreeLibrary(module_);
}

namespace detail {

CQVLoggerClient* GetLoggerClient() noexcept {
  CQVLoggerClient* client = g_client.load(std::memory_order_acquire);
  if (client) return client;
  CRITICAL_SECTION* lock = ProcessLock();
  if (!lock) return nullptr;
  LockGuard guard(lock);
  client = g_client.load(std::memory_order_acquire);
  if (!client) {
    try {
      client = new CQVLoggerClient;
      g_client.store(client, std::memory_order_release);
    } catch (...) {
      // Out of memory: stay without a connection; the next call tries again.
      OutputDebugStringW(u"创建日志库调用实例失败!\r\n");
      client = nullptr;
    }
  }
  return client;
}

int LoggerConnectionCount() noexcept { return g_connections.load(std::memory_order_relaxed); }

void ReleaseLoggerConnection() {
  delete g_client.exchange(nullptr, std::memory_order_acq_rel);
}

}  // namespace detail

namespace {

// The bodies of the trace operations; they may raise, their exported
// wrappers catch.
void Trace0Body(const char16_t* module, int level, const char16_t* text) {
  // The logger takes ':' in a module tag as a separator of its own.
  CString tag(module ? module : u"");
  tag.Replace(u':', u'_');
  const CQVLoggerClient* client = detail::GetLoggerClient();
  if (client && client->Trace0()) client->Trace0()(tag.GetString(), level, text);
}

void Trace0Ex2Body(const char16_t* module, const char16_t* function, int level, int code, const char16_t* text) {
  const CQVLoggerClient* client = detail::GetLoggerClient();
  if (client && client->Trace0Ex2())
    client->Trace0Ex2()(module, function, GetCurrentThreadId(), level, code, text);
}

std::u16string FormatText(const char16_t* format, const qvp::FormatArg* args, std::size_t count) {
  return qvp::FormatV(format ? std::u16string_view(format) : std::u16string_view(), args, count);
}

}  // namespace

void QV_Trace0(const char16_t* module, int level, const char16_t* text) {
  try {
    Trace0Body(module, level, text);
  } catch (...) {
    OutputDebugStringW(u"QV_Trace0出现异常失败!");
  }
}

void QV_Trace0Ex2(const char16_t* module, const char16_t* function, int level, int code, const char16_t* text) {
  try {
    Trace0Ex2Body(module, function, level, code, text);
  } catch (...) {
    OutputDebugStringW(u"QV_Trace0Ex2出现异常失败!");
  }
}

namespace detail {

void TraceV(const char16_t* module, int level, const char16_t* format, const qvp::FormatArg* args,
            std::size_t count) {
  try {
    const std::u16string text = FormatText(format, args, count);
    Trace0Body(module, level, text.c_str());
  } catch (...) {
    OutputDebugStringW(u"QV_Trace出现异常失败!");
  }
}

void TraceEx2V(const char16_t* module, const char16_t* function, int level, int code, const char16_t* format,
               const qvp::FormatArg* args, std::size_t count) {
  try {
    const std::u16string text = FormatText(format, args, count);
    Trace0Ex2Body(module, function, level, code, text.c_str());
  } catch (...) {
    OutputDebugStringW(u"QV_TraceEx2出现异常失败!");
  }
}

}  // namespace detail
}  // namespace qv_commonclass
