// Records reach a capture through the logger's test hook: the capture loads
// the logger that sits beside the library (the same shared object the
// library loads, so both share one hook) and registers a sink with it. The
// header fixes the class layout, so each capture's state lives in a side
// table keyed by the capture.
#include "support/logger_capture.h"

#include <dlfcn.h>

#include <map>
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
  void* logger = nullptr;  // our reference to the logger, null without one
  JNTestRecordSinkProc remove = nullptr;
};

std::u16string Copy(const char16_t* text) { return text ? std::u16string(text) : std::u16string(); }

void OnRecord(const JNTraceRecord* record, void* context) {
  // Only the two entry points the library calls are of interest.
  if (!record || (record->kind != 0 && record->kind != 1)) return;
  TraceRecord r{record->kind == 1,   Copy(record->module), Copy(record->function), record->thread_id,
                record->level,       record->code,         Copy(record->text)};
  auto* state = static_cast<CaptureState*>(context);
  std::lock_guard<std::mutex> lock(state->mutex);
  state->records.push_back(std::move(r));
}

void* OpenLoggerBesideLibrary() {
  HMODULE library = qvp::ModuleOfAddress(reinterpret_cast<const void*>(&qv_commonclass::QV_Trace0));
  char16_t path[4096] = {};
  const DWORD n = GetModuleFileNameW(library, path, 4096);
  std::string folder = qvp::Utf16ToUtf8(std::u16string(path, n));
  folder = folder.substr(0, folder.rfind('/') + 1);
  return ::dlopen((folder + "libnivalo.logger.client.so").c_str(), RTLD_NOW | RTLD_LOCAL);
}

std::mutex g_table_mutex;
std::map<const LoggerCapture*, std::unique_ptr<CaptureState>> g_table;

// The constructor always makes the state; only the destructor removes it.
CaptureState& StateOf(const LoggerCapture* capture) {
  std::lock_guard<std::mutex> lock(g_table_mutex);
  return *g_table.at(capture);
}

}  // namespace

LoggerCapture::LoggerCapture() {
  auto state = std::make_unique<CaptureState>();
  state->logger = OpenLoggerBesideLibrary();
  if (state->logger) {
    auto add = reinterpret_cast<JNTestRecordSinkProc>(::dlsym(state->logger, "JNTestAddRecordSink"));
    state->remove = reinterpret_cast<JNTestRecordSinkProc>(::dlsym(state->logger, "JNTestRemoveRecordSink"));
    if (add) add(&OnRecord, state.get());
  }
  std::lock_guard<std::mutex> lock(g_table_mutex);
  g_table.emplace(this, std::move(state));
}

LoggerCapture::~LoggerCapture() {
  CaptureState& state = StateOf(this);
  // Once removed, the logger calls the sink no more, so the state can go.
  if (state.remove) state.remove(&OnRecord, &state);
  if (state.logger) ::dlclose(state.logger);
  std::lock_guard<std::mutex> lock(g_table_mutex);
  g_table.erase(this);
}

std::vector<TraceRecord> LoggerCapture::Records() const {
  CaptureState& state = StateOf(this);
  std::lock_guard<std::mutex> lock(state.mutex);
  return state.records;
}

void LoggerCapture::Clear() {
  CaptureState& state = StateOf(this);
  std::lock_guard<std::mutex> lock(state.mutex);
  state.records.clear();
}

}  // namespace qvtest
