// The exception handler library: a readable call stack of the calling
// thread and an exception log writer.
#include <cxxabi.h>
#include <dlfcn.h>
#include <execinfo.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <string>

#include "../common/log_folder.h"
#include "qv_imports/exception_handler.h"

#if defined(QV_HAVE_LIBBACKTRACE)
#include <backtrace.h>
#endif

namespace {

std::string Demangled(const char* name) {
  if (!name || !*name) return "?";
  int status = 0;
  char* plain = abi::__cxa_demangle(name, nullptr, nullptr, &status);
  if (status != 0 || !plain) return name;
  std::string out = plain;
  std::free(plain);
  return out;
}

// One frame line: "[0xOffset]ModuleFileName  FunctionName  SourceFileName[LN:LineNO]".
void AppendFrame(std::string& out, std::uintptr_t pc, const char* function, const char* file, int line) {
  Dl_info info{};
  const bool known = ::dladdr(reinterpret_cast<void*>(pc), &info) != 0;
  const std::uintptr_t base = known ? reinterpret_cast<std::uintptr_t>(info.dli_fbase) : 0;
  const char* module = known && info.dli_fname ? info.dli_fname : "?";
  const char* name = function && *function ? function : (known ? info.dli_sname : nullptr);
  char offset[32];
  std::snprintf(offset, sizeof offset, "[0x%" PRIxPTR "]", pc - base);
  out += offset;
  out += module;
  out += "  ";
  out += Demangled(name);
  out += "  ";
  out += file && *file ? file : "?";
  out += "[LN:" + std::to_string(line) + "]\r\n";
}

#if defined(QV_HAVE_LIBBACKTRACE)
backtrace_state* State() {
  // Kept for the life of the process, as libbacktrace requires.
  static backtrace_state* state = backtrace_create_state(nullptr, 1, nullptr, nullptr);
  return state;
}
#endif

// The frames of the calling thread, the frames inside this library left out.
std::string StackText() {
  std::string out;
#if defined(QV_HAVE_LIBBACKTRACE)
  if (backtrace_state* state = State()) {
    backtrace_full(
        state, 2,
        [](void* data, std::uintptr_t pc, const char* file, int line, const char* function) {
          if (pc != 0 && pc != static_cast<std::uintptr_t>(-1))
            AppendFrame(*static_cast<std::string*>(data), pc, function, file, line);
          return 0;
        },
        [](void*, const char*, int) {}, &out);
    if (!out.empty()) return out;
  }
#endif
  void* frames[128];
  const int n = ::backtrace(frames, 128);
  for (int i = 2; i < n; ++i) AppendFrame(out, reinterpret_cast<std::uintptr_t>(frames[i]) - 1, nullptr, nullptr, 0);
  return out;
}

}  // namespace

int EH_GetStackWalkerInfo(char16_t* buffer, int capacity) {
  if (!buffer || capacity < 1) return 0;
  try {
    const std::u16string text = qv_imports::Utf8ToUtf16(StackText());
    const int n = std::min(static_cast<int>(text.size()), capacity - 1);
    std::copy_n(text.data(), n, buffer);
    buffer[n] = 0;
    return n;
  } catch (...) {
    buffer[0] = 0;
    return 0;
  }
}

int EH_WriteExceptionInfoLog(const EXCEPTION_RECORD* record, const CONTEXT* context, int flag) {
  static std::mutex write_mutex;
  try {
    std::string report;
    char line[256];
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    ::localtime_r(&now, &tm);
    std::strftime(line, sizeof line, "==== exception at %Y-%m-%d %H:%M:%S", &tm);
    report += line;
    report += " (pid " + std::to_string(::getpid()) + ", tid " + std::to_string(::gettid()) + ")\n";
    if (record) {
      std::snprintf(line, sizeof line, "code 0x%08X flags 0x%X address %p parameters %u\n", record->ExceptionCode,
                    record->ExceptionFlags, record->ExceptionAddress, record->NumberParameters);
      report += line;
      const DWORD count = std::min<DWORD>(record->NumberParameters, EXCEPTION_MAXIMUM_PARAMETERS);
      for (DWORD i = 0; i < count; ++i) {
        std::snprintf(line, sizeof line, "  parameter[%u] 0x%" PRIxPTR "\n", i, record->ExceptionInformation[i]);
        report += line;
      }
    }
    if (context) {
      std::snprintf(line, sizeof line, "ip 0x%016" PRIx64 " sp 0x%016" PRIx64 " fp 0x%016" PRIx64 "\n",
                    context->InstructionPointer, context->StackPointer, context->FramePointer);
      report += line;
    }
    if (flag == 1) report += "call stack:\n" + StackText();
    report += "\n";

    std::lock_guard<std::mutex> lock(write_mutex);
    const std::string file = "exception_" + qv_imports::ExecutableBaseName() + ".log";
    for (const std::string& folder :
         qv_imports::LogFolderCandidates(reinterpret_cast<const void*>(&EH_WriteExceptionInfoLog))) {
      std::error_code ec;
      std::filesystem::create_directories(folder, ec);
      std::FILE* f = std::fopen((folder + "/" + file).c_str(), "ab");
      if (!f) continue;
      const bool ok = std::fwrite(report.data(), 1, report.size(), f) == report.size();
      return (std::fclose(f) == 0 && ok) ? 1 : 0;
    }
    return 0;
  } catch (...) {
    return 0;
  }
}
