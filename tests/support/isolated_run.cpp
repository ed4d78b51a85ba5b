#include "support/isolated_run.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string_view>

extern char** environ;

namespace qvtest {

namespace fs = std::filesystem;

bool IsolatedResult::Passed() const {
  return exit_code == 0 && output.find("[  PASSED  ] 1 test.") != std::string::npos &&
         output.find("[  SKIPPED ]") == std::string::npos;
}

bool IsolatedMode(const std::string& mode) {
  const char* v = std::getenv("QV_ISOLATED");
  return v && mode == v;
}

IsolatedResult RunIsolated(const std::vector<std::string>& omit, const std::string& test_name,
                           const std::string& mode) {
  IsolatedResult result;
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/qv_isolated_XXXXXX";
  if (!::mkdtemp(pattern.data())) return result;
  const fs::path dir = pattern;

  std::error_code ec;
  for (const fs::directory_entry& entry : fs::directory_iterator(QV_BIN_DIR, ec)) {
    // Shared objects and data files, except the omitted ones; settings start out absent.
    const std::string name = entry.path().filename().string();
    const bool wanted = name.find(".so") != std::string::npos || name.ends_with(".ini");
    if (wanted && name != "DazazuraVada.ini" && std::find(omit.begin(), omit.end(), name) == omit.end())
      fs::copy(entry.path(), dir / name, fs::copy_options::copy_symlinks, ec);
  }
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  const fs::path program = dir / self.filename();
  fs::copy_file(self, program, ec);

  std::vector<std::string> env_strings;
  for (char** e = environ; *e; ++e) {
    const std::string_view v(*e);
    if (!v.starts_with("LD_LIBRARY_PATH=") && !v.starts_with("QV_ISOLATED=") && !v.starts_with("QV_LOG_DIR="))
      env_strings.emplace_back(v);
  }
  env_strings.push_back("QV_ISOLATED=" + mode);
  env_strings.push_back("QV_LOG_DIR=" + (dir / "logs").string());
  std::vector<char*> env;
  for (std::string& s : env_strings) env.push_back(s.data());
  env.push_back(nullptr);

  std::string program_arg = program.string();
  std::string filter_arg = "--gtest_filter=" + test_name;
  char* argv[] = {program_arg.data(), filter_arg.data(), nullptr};
  const std::string output_file = (dir / "output.txt").string();

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
  posix_spawn_file_actions_addopen(&actions, 1, output_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  pid_t pid = 0;
  if (posix_spawn(&pid, program_arg.c_str(), &actions, nullptr, argv, env.data()) == 0) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) continue;
    result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  posix_spawn_file_actions_destroy(&actions);

  std::ifstream in(output_file);
  result.output.assign(std::istreambuf_iterator<char>(in), {});
  fs::remove_all(dir, ec);
  return result;
}

}  // namespace qvtest
