// Scratch folders and whole-file reads and writes for the tests.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "qv_platform/unicode.h"

namespace qvtest {

// A fresh folder in the temporary folder, removed with all it holds when
// the object goes (its own permissions are restored first, so a test may
// close it).
struct TempDir {
  std::filesystem::path path;
  TempDir() {
    char tmpl[] = "/tmp/qv_test_XXXXXX";
    if (::mkdtemp(tmpl)) path = tmpl;
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(path, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  // The UTF-16 path of `rel` inside the folder, as the library's functions take it.
  std::u16string Wide(const std::string& rel) const { return qvp::Utf8ToUtf16((path / rel).string()); }
};

// The bytes of the file ("" when it cannot be read).
inline std::string ReadFile(const std::filesystem::path& p) {
  std::ostringstream content;
  content << std::ifstream(p, std::ios::binary).rdbuf();
  return content.str();
}

inline void WriteFile(const std::filesystem::path& p, const std::string& content) {
  std::ofstream(p, std::ios::binary) << content;
}

}  // namespace qvtest
