// Running one test case of the current test program in a separate process
// whose library folder is a private copy of the build's bin folder, so that
// a case can see the library without one of its companions (the logger, the
// network message library) or with settings files of its own.
#pragma once

#include <string>
#include <vector>

namespace qvtest {

struct IsolatedResult {
  int exit_code = -1;   // the child's exit status; -1 when it did not run
  std::string output;   // its standard output and error
  // True when the child ran exactly one case and it passed (not skipped).
  bool Passed() const;
};

// RunIsolated copies the shared objects and data files of the bin folder
// (except the file names in `omit`) and this program into a new temporary
// folder, runs the copy there with --gtest_filter=`test_name` and the
// environment variable QV_ISOLATED=`mode` (QV_LOG_DIR pointing into the
// folder), waits for it and removes the folder.
IsolatedResult RunIsolated(const std::vector<std::string>& omit, const std::string& test_name,
                           const std::string& mode);

// IsolatedMode is true inside a child started by RunIsolated with `mode`.
bool IsolatedMode(const std::string& mode);

}  // namespace qvtest
