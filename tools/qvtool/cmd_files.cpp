// `qvtool copy|rm|mkdir|find|size`: the library's file services from the command line: the
// buffered copy engine with a progress bar, media deletion with side files,
// folder chains, folder search and file size.
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <atomic>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

#include "cli.h"
#include "cli.h"
#include "commands.h"
#include "paths.h"
#include "progress.h"
#include "qv_commonclass/files.h"
#include "qv_platform/fileio.h"

namespace qvtool {

namespace {

using namespace qv_commonclass;
namespace fs = std::filesystem;

// Set by SIGINT, SIGTERM and SIGHUP, read by the copy threads. Lock-free
// atomic stores are safe in a signal handler.
int g_cancel = 0;
int g_signal = 0;

extern "C" void OnStopSignal(int signal) {
  std::atomic_ref<int>(g_signal).store(signal, std::memory_order_relaxed);
  std::atomic_ref<int>(g_cancel).store(1, std::memory_order_release);
}

// The signals that end a copy the way Ctrl-C does: a `kill`, a `timeout`
// or a closed terminal must not leave a partial target behind either.
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Catches the stop signals for its lifetime and restores the previous
// handlers afterwards.
class StopSignals {
 public:
  StopSignals() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < std::size(kStopSignals); ++i) sigaction(kStopSignals[i], &action, &previous_[i]);
  }
  ~StopSignals() {
    for (std::size_t i = 0; i < std::size(kStopSignals); ++i) sigaction(kStopSignals[i], &previous_[i], nullptr);
  }
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

 private:
  struct sigaction previous_[std::size(kStopSignals)] {};
};

DWORD ShowProgress(LONGLONG total, LONGLONG done, LONGLONG, LONGLONG, DWORD, DWORD, int, int, void* data) {
  static_cast<ProgressBar*>(data)->Update(static_cast<std::uint64_t>(done), static_cast<std::uint64_t>(total));
  return PROGRESS_CONTINUE;
}

// CopyFailure names why a copy cannot be or was not made, looking at what the
// engine looked at: the source, the target and the target's folder.
std::string CopyFailure(const std::string& from, const std::string& to, bool fail_if_exists) {
  std::error_code ec;
  if (const int fd = ::open(from.c_str(), O_RDONLY | O_NONBLOCK); fd < 0) {
    return ErrnoText(from, "cannot copy", errno);
  } else {
    ::close(fd);
  }
  if (fs::is_directory(from, ec)) return ErrnoText(from, "cannot copy", EISDIR);
  if (fs::exists(fs::symlink_status(to, ec)))
    return ErrnoText(to, fail_if_exists ? "cannot copy" : "cannot copy (an existing target is never replaced)", EEXIST);
  const fs::path folder = fs::absolute(to, ec).parent_path();
  if (::access(folder.c_str(), W_OK) != 0) return ErrnoText(folder.string(), "cannot copy to " + to, errno);
  const auto space = fs::space(folder, ec);
  if (!ec && space.available < fs::file_size(from, ec)) return ErrnoText(to, "cannot copy", ENOSPC);
  return to + ": cannot copy: a read or write failed during the copy (the trace log has the system's error code)";
}

// Names every path argument of a command must satisfy: UTF-8 (exit 2).
bool Utf8Paths(const std::string& command, std::initializer_list<const std::string*> paths) {
  for (const std::string* p : paths)
    if (!Utf8Argument(command, "'" + *p + "'", *p)) return false;
  return true;
}

void RunCopy(const std::string& from, const std::string& to, bool fail_if_exists) {
  if (!Utf8Paths("copy", {&from, &to})) {
    ExitCode() = kExitUsage;
    return;
  }
  std::string reason;
  const auto st = Examine(from, reason);
  if (!st || !S_ISREG(st->st_mode)) {
    Fail("copy: " + from + ": " + (st ? std::string(S_ISDIR(st->st_mode) ? "is a folder" : "not a regular file")
                                      : "cannot copy: " + reason));
    ExitCode() = kExitFailure;
    return;
  }
  std::atomic_ref<int>(g_cancel).store(0);
  std::atomic_ref<int>(g_signal).store(0);
  int result = 0;
  {
    StopSignals catching;
    ProgressBar bar("copy");
    const CString source(AbsolutePath(from)), target(AbsolutePath(to));
    result = QVCopyFileEx(source, target, ShowProgress, &bar, &g_cancel, fail_if_exists ? 1u : 0u);
    if (result) bar.Finish();
  }
  const int signal = std::atomic_ref<int>(g_signal).load();
  if (result) {
    ExitCode() = kExitOk;
  } else if (signal != 0) {
    Fail("copy: stopped by " + std::string(signal == SIGINT ? "Ctrl-C" : ::strsignal(signal)) +
         "; no partial file was left at " + to);
    ExitCode() = 128 + signal;
  } else {
    Fail("copy: " + CopyFailure(AbsolutePath(from), AbsolutePath(to), fail_if_exists));
    ExitCode() = kExitFailure;
  }
}

void RunRemove(const std::vector<std::string>& files) {
  for (const auto& f : files) {
    if (!Utf8Paths("rm", {&f})) {
      ExitCode() = kExitUsage;
      return;
    }
  }
  int worst = kExitOk;
  for (const auto& f : files) {
    const std::string path = AbsolutePath(f);
    struct stat st {};
    const bool there = qvp::Ops().lstat(path.c_str(), &st) == 0;
    if (!QVDeleteFile(CString(path))) {
      Fail("rm: " + f + ": cannot delete (refused drive, vanished storage or no permission)");
      worst = kExitFailure;
    } else if (!there) {
      Fail("rm: " + f + ": no such file");
      worst = kExitFailure;
    }
  }
  ExitCode() = worst;
}

void RunMakeDir(const std::string& path) {
  if (!Utf8Paths("mkdir", {&path})) {
    ExitCode() = kExitUsage;
    return;
  }
  CString p(AbsolutePath(path));
  if (!QVMakeDir(p)) {
    Fail("mkdir: " + path + ": cannot create (must lie on a local disk or a network share)");
    ExitCode() = kExitFailure;
    return;
  }
  // The library reports success for any existing path; a file of that name
  // is no folder.
  std::string reason;
  const auto st = Examine(p.ToUtf8(), reason);
  if (!st || !S_ISDIR(st->st_mode)) {
    Fail("mkdir: " + path + ": " + (st ? "exists and is not a folder" : "cannot be examined: " + reason));
    ExitCode() = kExitFailure;
    return;
  }
  if (JsonWanted()) {
    JsonResult() = {{"path", p.ToUtf8()}};
  } else {
    std::printf("%s\n", p.ToUtf8().c_str());
  }
}

void RunFind(const std::string& dir, const std::string& pattern, bool dirs) {
  if (!Utf8Paths("find", {&dir, &pattern})) {
    ExitCode() = kExitUsage;
    return;
  }
  std::string reason;
  const auto st = Examine(dir, reason);
  if (!st || !S_ISDIR(st->st_mode)) {
    Fail("find: " + dir + ": " + (st ? "not a folder" : "cannot be examined: " + reason));
    ExitCode() = kExitFailure;
    return;
  }
  CStringArray found;
  QVFindFile(CString(AbsolutePath(dir)), CString(pattern), dirs ? 1 : 0, found);
  if (JsonWanted()) {
    JsonResult() = {{"folder", dir}, {"pattern", pattern}, {"dirs", dirs}, {"entries", nlohmann::json::array()}};
    for (int i = 0; i < found.GetSize(); ++i) JsonResult()["entries"].push_back(found[i].ToUtf8());
    return;
  }
  for (int i = 0; i < found.GetSize(); ++i) std::printf("%s\n", found[i].ToUtf8().c_str());
}

void RunSize(const std::string& file) {
  if (!Utf8Paths("size", {&file})) {
    ExitCode() = kExitUsage;
    return;
  }
  std::string reason;
  const auto st = Examine(file, reason);
  if (!st || !S_ISREG(st->st_mode)) {
    Fail("size: " + file + ": " +
         (st ? std::string(S_ISDIR(st->st_mode) ? "is a folder, not a file" : "not a regular file")
             : "cannot be examined: " + reason));
    ExitCode() = kExitFailure;
    return;
  }
  const std::int64_t bytes = QVGetFileSize(CString(AbsolutePath(file)));
  if (JsonWanted()) {
    JsonResult() = {{"file", file}, {"size", bytes}};
  } else {
    std::printf("%" PRId64 "\n", bytes);
  }
}

void Touch(const fs::path& p, std::size_t bytes) {
  std::ofstream out(p, std::ios::binary);
  const std::string block(bytes, 'v');
  out.write(block.data(), static_cast<std::streamsize>(block.size()));
}

void List(const fs::path& dir) {
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
    names.push_back(it->path().filename().string());
  std::sort(names.begin(), names.end());
  std::printf("   ");
  for (const auto& n : names) std::printf(" %s", n.c_str());
  std::printf("\n");
}

int Demo() {
  // /var/tmp is disk-backed by convention; a tmpfs /tmp counts as a RAM disk,
  // where folder creation and deletion are refused.
  std::error_code ec;
  std::string templ = (fs::is_directory("/var/tmp", ec) ? "/var/tmp" : "/tmp") + std::string("/qvtool-files-XXXXXX");
  if (!::mkdtemp(templ.data())) {
    Fail("demo: cannot make a temporary folder");
    return kExitFailure;
  }
  const fs::path root = templ;
  std::printf("working in %s\n", root.c_str());

  CString name(u"Evening News: 18.30 <final>?");
  QVGetValidFileName(name);
  std::printf("QVGetValidFileName(\"Evening News: 18.30 <final>?\") -> %s\n", name.ToUtf8().c_str());

  const CString base(root / "programs" / name.ToUtf8());
  const CString first = QVMakePgmDir(base), second = QVMakePgmDir(base);
  std::printf("QVMakePgmDir twice -> %s\n                   -> %s\n", first.ToUtf8().c_str(),
              second.ToUtf8().c_str());

  const fs::path clip = root / "clip.mxf";
  Touch(clip, 9 << 20);
  for (const char* side : {"clip.mxf.idx", "clip.mxf.otc", "clip.mgx", "clip.xml"}) Touch(root / side, 64);
  int buffers = 0;
  auto count = [](LONGLONG, LONGLONG, LONGLONG, LONGLONG, DWORD stream, DWORD, int, int, void* data) -> DWORD {
    *static_cast<int*>(data) = static_cast<int>(stream);
    return PROGRESS_CONTINUE;
  };
  const int copied = QVCopyFileEx(CString(clip.string()), CString((root / "copy.mxf").string()), count, &buffers,
                                  nullptr, 1);
  std::printf("QVCopyFileEx 9 MiB -> result %d after %d buffers, copy is %" PRId64 " bytes\n", copied, buffers,
              QVGetFileSize(CString((root / "copy.mxf").string())));
  const int again = QVCopyFileEx(CString(clip.string()), CString((root / "copy.mxf").string()), nullptr, nullptr,
                                 nullptr, 1);
  std::printf("the same copy with 'fail if exists' -> result %d\n", again);

  CStringArray media;
  QVFindFile(CString(root.string()), CString(u"*.mxf"), 0, media);
  std::printf("QVFindFile *.mxf -> %d files\n", media.GetSize());
  std::printf("before QVDeleteFile(clip.mxf):\n");
  List(root);
  const int deleted = QVDeleteFile(CString(clip.string()));
  std::printf("after (result %d):\n", deleted);
  List(root);

  const int removed = QVDelDir(CString(root.string()));
  std::printf("QVDelDir of the whole folder -> %s\n", removed ? "removed" : "failed");
  return copied == 1 && again == 0 && deleted == 1 && removed ? kExitOk : kExitFailure;
}

}  // namespace

void AddFileCommands(CLI::App& app) {
  // The file commands stand at the top level (`qvtool copy`, `qvtool rm`, ...)
  // as they are the ones used most from scripts.
  static std::string from, to;
  static bool fail_if_exists = false;
  auto* copy = app.add_subcommand(
      "copy", "Copy one file with the buffered copy engine (every 4 MiB flushed to storage); Ctrl-C, SIGTERM or "
              "SIGHUP cancels and leaves no partial file (exit 128 + the signal: 130, 143, 129).\n"
              "Example: qvtool copy /media/in/clip.mxf /media/out/clip.mxf");
  copy->add_option("SRC", from, "Source file")->required();
  copy->add_option("DST", to, "Target file (must not exist)")->required();
  copy->add_flag("--fail-if-exists", fail_if_exists, "Refuse at once when the target exists");
  copy->callback([] { RunCopy(from, to, fail_if_exists); });
  AddExamples(copy, {"qvtool copy /media/in/clip.mxf /media/out/clip.mxf"});

  static std::vector<std::string> victims;
  auto* rm = app.add_subcommand("rm", "Delete media files together with their side files (.idx, .otc, .mgx, .xml)");
  rm->add_option("FILE", victims, "Files to delete")->required();
  rm->callback([] { RunRemove(victims); });
  AddExamples(rm, {"qvtool rm /media/out/clip.mxf /media/out/take2.mxf"});
  AddListRule(rm);

  static std::string folder;
  auto* mkdir = app.add_subcommand("mkdir", "Create a folder and every missing folder above it");
  mkdir->add_option("PATH", folder, "Folder to create")->required();
  mkdir->callback([] { RunMakeDir(folder); });
  AddExamples(mkdir, {"qvtool mkdir /media/out/2024/march"});
  AddJsonOutput(mkdir, "{\"path\": the folder created}");

  static std::string dir, pattern;
  static bool dirs = false;
  auto* find = app.add_subcommand("find", "List the entries of one folder matching a wildcard pattern");
  find->add_option("DIR", dir, "Folder to search (not descended)")->required();
  find->add_option("PATTERN", pattern, "Wildcard pattern, e.g. \"*.mxf\" (* and ?, case-insensitive)")->required();
  find->add_flag("--dirs", dirs, "List folders (except those beginning with a full stop) instead of files");
  find->callback([] { RunFind(dir, pattern, dirs); });
  AddExamples(find, {"qvtool find /media/out '*.mxf'", "qvtool find /media --dirs '*' --json"});
  AddJsonOutput(find, "{\"folder\": DIR, \"pattern\": PATTERN, \"dirs\": true|false, \"entries\": [name, ...]}");

  static std::string sized;
  auto* size = app.add_subcommand("size", "Print the size of a file in bytes");
  size->add_option("FILE", sized, "File")->required();
  size->callback([] { RunSize(sized); });
  AddExamples(size, {"qvtool size /media/out/clip.mxf", "qvtool size --json clip.mxf"});
  AddJsonOutput(size, "{\"file\": FILE, \"size\": bytes}");

  AddDemoSection("files", Demo);
}

}  // namespace qvtool
