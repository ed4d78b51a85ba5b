#include "log_folder.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

namespace qv_imports {

std::string FolderOf(const void* address) {
  Dl_info info{};
  if (!::dladdr(address, &info) || !info.dli_fname) return {};
  std::string path = info.dli_fname;
  if (!path.empty() && path[0] != '/') {
    char real[PATH_MAX];
    if (::realpath(path.c_str(), real)) path = real;
  }
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::vector<std::string> LogFolderCandidates(const void* anchor) {
  std::vector<std::string> out;
  if (const char* dir = std::getenv("QV_LOG_DIR"); dir && *dir) out.emplace_back(dir);
  if (std::string beside = FolderOf(anchor); !beside.empty()) out.push_back(beside + "/logs");
  if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state) {
    out.push_back(std::string(state) + "/DIZudazaZuvodA/logs");
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    out.push_back(std::string(home) + "/.local/state/DIZudazaZuvodA/logs");
  }
  const char* tmp = std::getenv("TMPDIR");
  out.push_back(std::string(tmp && *tmp ? tmp : "/tmp") + "/DIZudazaZuvodA-logs-" + std::to_string(::getuid()));
  return out;
}

std::string ExecutableBaseName() {
  char buf[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return "program";
  const std::string path(buf, static_cast<std::size_t>(n));
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace qv_imports
