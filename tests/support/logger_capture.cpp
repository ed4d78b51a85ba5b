// Records reach the capture through the logger's test hook: the capture
// loads the logger that sits beside the library (the same shared object the
// library loads, so both share one hook) and registers a sink with it.
#include "support/logger_capture.h"

#include <dlfcn.h>

#include <memory>
#include <mutex>
#include <string>

#include "../../src/imports/include/qv_imports/logger_client.h"
#include "qv_commonclass/diagnostics.h"
#include "qv_platform/module.h"
#include "qv_platform/unicode.h"

namespace qvtest {

namespace {

struct CaptureState {
  std::mutex mutex;
  std::vector<TraceRecord> records;
};

std::u16string Copy(const char16_t* text) { return text ? std::u16string(text) : std::u16string(); }

void OnRecord(const JNTraceRecord* record, void* context) {
  // Only the two entry points the library calls are of interest.
  if (!record || (record->kind != 0 && record->kind != 1)) return;
  TraceRecord r;
  r.ex2 = record->kind == 1;
  r.module = Copy(record->module);
  r.function = Copy(record->function);
  r.thread_id = record->thread_id;
  r.level = record->level;
  r.code = record->code;
  r.text = Copy(record->text);
  auto* state = static_cast<CaptureState*>(context);
  std::lock_guard<std::mutex> lock(state->mutex);
  state->records.push_back(std::move(r));
}

// The logger beside the library, loaded (or referenced again) for the
// capture's lifetime; null when it is not there.
void* OpenLogger() {
  HMODULE library = qvp::ModuleOfAddress(reinterpret_cast<const void*>(&qv_commonclass::QV_Trace0));
  char16_t path[4096] = {};
  const DWORD n = GetModuleFileNameW(library, path, 4096);
  std::string folder = qvp::Utf16ToUtf8(std::u16string(path, n));
  folder = folder.substr(0, folder.rfind('/') + 1);
  return ::dlopen((folder + "libnivalo.logger.client.so").c_str(), RTLD_NOW | RTLD_LOCAL);
}

struct Registry {
  void* logger = nullptr;
  JNTestRecordSinkProc add = nullptr;
  JNTestRecordSinkProc remove = nullptr;
};

}  // namespace

// The state of each capture lives in a side table keyed by the capture, as
// the header fixes the class layout.
namespace {
std::mutex g_table_mutex;
struct Entry {
  const LoggerCapture* owner;
  std::unique_ptr<CaptureState> state;
  Registry registry;
};
std::vector<Entry>& Table() {
  static std::vector<Entry> table;
  return table;
}
CaptureState* StateOf(const LoggerCapture* capture) {
  std::lock_guard<std::mutex> lock(g_table_mutex);
  for (Entry& e : Table())
    if (e.owner == capture) return e.state.get();
  return nullptr;
}
}  // namespace

LoggerCapture::LoggerCapture() {
  Entry entry{this, std::make_unique<CaptureState>(), {}};
  entry.registry.logger = OpenLogger();
  if (entry.registry.logger) {
    entry.registry.add = reinterpret_cast<JNTestRecordSinkProc>(::dlsym(entry.registry.logger, "JNTestAddRecordSink"));
    entry.registry.remove =
        reinterpret_cast<JNTestRecordSinkProc>(::dlsym(entry.registry.logger, "JNTestRemoveRecordSink"));
    if (entry.registry.add) entry.registry.add(&OnRecord, entry.state.get());
  }
  std::lock_guard<std::mutex> lock(g_table_mutex);
  Table().push_back(std::move(entry));
}

LoggerCapture::~LoggerCapture() {
  Entry entry;
  {
    std::lock_guard<std::mutex> lock(g_table_mutex);
    for (auto it = Table().begin(); it != Table().end(); ++it) {
      if (it->owner == this) {
        entry = std::move(*it);
        Table().erase(it);
        break;
      }
    }
  }
  // After removal the logger calls the sink no more, so the state can go.
  if (entry.registry.remove) entry.registry.remove(&OnRecord, entry.state.get());
  if (entry.registry.logger) ::dlclose(entry.registry.logger);
}

std::vector<TraceRecord> LoggerCapture::Records() const {
  CaptureState* state = StateOf(this);
  if (!state) return {};
  std::lock_guard<std::mutex> lock(state->mutex);
  return state->records;
}

void LoggerCapture::Clear() {
  CaptureState* state = StateOf(this);
  if (!state) return;
  std::lock_guard<std::mutex> lock(state->mutex);
  state->records.clear();
}

}  // namespace qvtest
