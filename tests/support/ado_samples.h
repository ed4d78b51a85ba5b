// The recordset files saved on Windows that the persistence tests read:
// $QV_SHARED_DIR/ado-samples, ../shared/ado-samples by default. They are
// not part of the repository, so the tests skip when the folder is absent.
#pragma once

#include <cstdlib>
#include <filesystem>

#include "support/scratch.h"

namespace qvtest {

inline std::filesystem::path AdoSamplesDir() {
  const char* shared = std::getenv("QV_SHARED_DIR");
  return std::filesystem::path(shared ? shared : "../shared") / "ado-samples";
}

}  // namespace qvtest

#define SKIP_WITHOUT_ADO_SAMPLES()                               \
  if (!std::filesystem::is_directory(qvtest::AdoSamplesDir())) \
  GTEST_SKIP() << "no sample folder " << qvtest::AdoSamplesDir()
