// The built qvtool run as a user runs it: a child process in a folder of
// the test's choosing, its exit code, standard output and standard error.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace qvtest {

struct QvtoolRun {
  int code = -1;  // the exit code, or 128 + the signal that ended it
  std::string out, err;
};

// Starts qvtool with `args` in the folder `cwd` and returns at once. `env`
// holds "NAME=value" entries that replace or add to this process's
// environment; QV_SETTINGS_DIR and QV_LOG_DIR name a folder private to this
// test program unless `env` sets them. Standard output goes to `out_fd`, standard error to `err_fd`
// (-1: /dev/null). Returns the child's id, or -1 when it could not start.
pid_t StartQvtool(const std::vector<std::string>& args, const std::filesystem::path& cwd,
                  const std::vector<std::string>& env, int out_fd, int err_fd);

// Waits for a child started by StartQvtool: its exit code, or 128 + the
// signal that ended it.
int WaitQvtool(pid_t pid);

// StartQvtool and WaitQvtool with both outputs captured.
QvtoolRun RunQvtool(const std::vector<std::string>& args, const std::filesystem::path& cwd,
                    const std::vector<std::string>& env = {});

// "qvtool a b ..." for failure messages, long arguments shortened.
std::string DescribeQvtool(const std::vector<std::string>& args);

}  // namespace qvtest
