// `qvtool log` and `qvtool error`: send a record to the trace log, show
// where the log file is, and look up the text of a system error code.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "cli.h"
#include "commands.h"
#include "qv_commonclass/diagnostics.h"
#include "qv_platform/module.h"
#include "qv_platform/unicode.h"

namespace qvtool {

namespace {

using namespace qv_commonclass;

// The log file path as the logger beside the library reports it; empty when
// there is no logger or it found no writable folder.
std::string LogFilePath() {
  HMODULE library = qvp::ModuleOfAddress(reinterpret_cast<const void*>(&QV_Trace0));
  char16_t path[4096] = {};
  const DWORD n = GetModuleFileNameW(library, path, 4096);
  std::u16string folder(path, n);
  folder = folder.substr(0, folder.rfind(u'/') + 1);
  HMODULE logger = LoadLibraryW((folder + u"nivalo.logger.client.dll").c_str());
  if (!logger) return {};
  using PathProc = int (*)(char16_t*, int);
  std::string result;
  if (auto proc = reinterpret_cast<PathProc>(GetProcAddress(logger, "JNGetLogFilePath"))) {
    char16_t buffer[4096] = {};
    const int length = proc(buffer, 4096);
    result = qvp::Utf16ToUtf8(std::u16string_view(buffer, static_cast<std::size_t>(length)));
  }
  FreeLibrary(logger);
  return result;
}

std::string LastLine(const std::string& file) {
  std::ifstream in(file);
  std::string line, last;
  while (std::getline(in, line))
    if (!line.empty()) last = line;
  return last;
}

int PrintLogPath() {
  const std::string path = LogFilePath();
  if (path.empty()) {
    Fail("no log file: the logger library is missing or no log folder is writable");
    return kExitFailure;
  }
  if (JsonWanted()) {
    JsonResult() = {{"path", path}};
  } else {
    std::printf("%s\n", path.c_str());
  }
  return kExitOk;
}

int RunDemo() {
  std::printf("Sending a trace record (module \"ZORerer\", function \"qvtool::demo\", level 1, code 0).\n");
  QV_TraceEx2(u"ZORerer", u"qvtool::demo", kTraceLevelFailure, 0, u"demo record %d from qvtool", 1);
  const std::string path = LogFilePath();
  if (path.empty()) {
    std::printf("No logger beside the library: tracing is a silent no-op.\n");
    return kExitOk;
  }
  std::printf("Log file: %s\n", path.c_str());
  std::printf("Last line: %s\n", LastLine(path).c_str());
  CString text;
  if (QV_GetLastErrorText(5, text, 1)) std::printf("System text of error 5 (Chinese): %s", text.ToUtf8().c_str());
  if (QV_GetLastErrorText(2250, text, 2))
    std::printf("Network text of error 2250 (English): %s", text.ToUtf8().c_str());
  return kExitOk;
}

}  // namespace

void AddDiagnosticsCommands(CLI::App& app) {
  CLI::App* log = app.add_subcommand("log", "The trace log: where it is written, sending a record");
  log->require_subcommand(1);
  AddExamples(log, {"qvtool log path", "qvtool log send 'clip ingested' --level 4"});

  auto* path_cmd = log->add_subcommand("path", "Print the path of this program's log file");
  AddExamples(path_cmd, {"qvtool log path", "tail -f \"$(qvtool log path)\""});
  AddJsonOutput(path_cmd, "{\"path\": the log file}");
  path_cmd->callback([] { ExitCode() = PrintLogPath(); });

  auto* send = log->add_subcommand("send", "Send one trace record to the logger");
  static std::string text, module = "ZORerer", function = "qvtool::log";
  static int level = 1, code = 0;
  send->add_option("TEXT", text, "Record text")->required();
  send->add_option("--module", module, "Module tag")->capture_default_str();
  send->add_option("--function", function, "Function name")->capture_default_str();
  send->add_option("--level", level, "Level (1 failure, 2 singleton, 4 deletion, 20 thread)")->capture_default_str();
  send->add_option("--code", code, "Message code")->capture_default_str();
  AddExamples(send, {"qvtool log send 'clip ingested' --level 4 --code 7001"});
  AddJsonOutput(send, "{\"path\": the log file the record went to}");
  send->callback([] {
    const CString t(text), m(module), f(function);
    QV_Trace0Ex2(m, f, level, code, t);
    const std::string path = LogFilePath();
    if (path.empty()) {
      Fail("record dropped: the logger library is missing beside the library");
      ExitCode() = kExitFailure;
      return;
    }
    if (JsonWanted()) {
      JsonResult() = {{"path", path}};
    } else {
      std::printf("written to %s\n", path.c_str());
    }
    ExitCode() = kExitOk;
  });

  CLI::App* error = app.add_subcommand("error", "System and network error texts");
  error->require_subcommand(1);
  AddExamples(error, {"qvtool error text 5 --language 2"});
  auto* text_cmd = error->add_subcommand("text", "Print the text of an error code");
  static std::string code_text;
  static int language = 0;
  text_cmd->add_option("CODE", code_text, "Error code (decimal or 0x hex)")->required();
  text_cmd->add_option("--language", language, "0 system default, 1 Chinese, 2 English, 3 Japanese")
      ->capture_default_str();
  AddExamples(text_cmd, {"qvtool error text 5", "qvtool error text 0x8CA --language 2 --json"});
  AddJsonOutput(text_cmd, "{\"code\": number, \"text\": the message (line break kept)}");
  text_cmd->callback([] {
    errno = 0;
    char* end = nullptr;
    const unsigned long long value = std::strtoull(code_text.c_str(), &end, 0);
    if (code_text.empty() || *end || errno || value > 0xFFFFFFFFull || code_text[0] == '-') {
      Fail("'" + code_text + "' is not an error code (a number from 0 to 4294967295, decimal or 0x hex)");
      ExitCode() = kExitUsage;
      return;
    }
    CString out;
    if (!QV_GetLastErrorText(static_cast<DWORD>(value), out, language)) {
      Fail("no text for error " + code_text);
      ExitCode() = kExitFailure;
      return;
    }
    if (JsonWanted()) {
      JsonResult() = {{"code", value}, {"text", out.ToUtf8()}};
    } else {
      std::printf("%s", out.ToUtf8().c_str());
    }
    ExitCode() = kExitOk;
  });

  AddDemoSection("trace log", RunDemo);
}

}  // namespace qvtool
