#include "support/qvtool_run.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/scratch.h"

extern char** environ;

namespace qvtest {

namespace {

const std::string& ToolPath() {
  static const std::string path = std::string(QV_BIN_DIR) + "/qvtool";
  return path;
}

// This process's environment with `env`'s entries put over it, later ones
// winning. Settings and logs go to a folder of this process's own unless
// `env` names others, so the settings file beside the library is never
// touched.
std::vector<std::string> Environment(const std::vector<std::string>& env) {
  static const TempDir own;
  std::vector<std::string> out;
  auto put = [&](const std::string& entry) {
    const std::string name = entry.substr(0, entry.find('=') + 1);
    for (auto& e : out)
      if (e.rfind(name, 0) == 0) return void(e = entry);
    out.push_back(entry);
  };
  for (char** e = environ; *e; ++e) put(*e);
  put("QV_SETTINGS_DIR=" + own.path.string());
  put("QV_LOG_DIR=" + own.path.string());
  for (const auto& e : env) put(e);
  return out;
}

}  // namespace

pid_t StartQvtool(const std::vector<std::string>& args, const std::filesystem::path& cwd,
                  const std::vector<std::string>& env, int out_fd, int err_fd) {
  std::vector<char*> argv{const_cast<char*>(ToolPath().c_str())};
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const std::vector<std::string> entries = Environment(env);
  std::vector<char*> envp;
  for (const auto& e : entries) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::chdir(cwd.c_str()) != 0) ::_exit(120);
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(out_fd >= 0 ? out_fd : null, 1);
    ::dup2(err_fd >= 0 ? err_fd : null, 2);
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(121);
  }
  return pid;
}

int WaitQvtool(pid_t pid) {
  int status = 0;
  if (pid < 0 || ::waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

QvtoolRun RunQvtool(const std::vector<std::string>& args, const std::filesystem::path& cwd,
                    const std::vector<std::string>& env) {
  // The captures live outside `cwd`, so that a test sees only what qvtool made there.
  const TempDir capture;
  const int out = ::open((capture.path / "out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  const int err = ::open((capture.path / "err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  QvtoolRun run;
  run.code = WaitQvtool(StartQvtool(args, cwd, env, out, err));
  ::close(out);
  ::close(err);
  run.out = ReadFile(capture.path / "out");
  run.err = ReadFile(capture.path / "err");
  return run;
}

std::string DescribeQvtool(const std::vector<std::string>& args) {
  std::string s = "qvtool";
  for (const auto& a : args) s += " " + (a.size() > 40 ? a.substr(0, 40) + "..." : a);
  return s;
}

}  // namespace qvtest
