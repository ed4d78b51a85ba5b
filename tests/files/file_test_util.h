// Scratch folders and small file helpers for the file tests. The scratch
// folders live in the build tree, which is on a disk (a temporary folder may
// be a RAM disk, where deletion and folder creation are refused).
#pragma once

#include <sys/mount.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "qv_platform/cstring.h"
#include "support/logger_capture.h"
#include "support/scratch.h"

namespace qvtest {

namespace fs = std::filesystem;

inline fs::path ScratchRoot() { return fs::path(QV_BINARY_DIR) / "files_scratch" / std::to_string(::getpid()); }

// A fresh folder for the running test; this run's folders go when the program ends.
inline fs::path ScratchFolder() {
  static const struct Cleanup {
    ~Cleanup() {
      std::error_code ec;
      fs::remove_all(ScratchRoot(), ec);
    }
  } cleanup;
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  fs::path p = ScratchRoot() / (std::string(info->test_suite_name()) + "." + info->name());
  fs::remove_all(p);
  fs::create_directories(p);
  return p;
}

inline CString W(const fs::path& p) { return CString(p.string()); }

// The records of one trace module, in the order they reached the logger.
inline std::vector<TraceRecord> RecordsOf(const LoggerCapture& capture, std::u16string_view module) {
  std::vector<TraceRecord> out;
  for (auto& r : capture.Records())
    if (r.module == module) out.push_back(r);
  return out;
}

inline bool HasRecord(const LoggerCapture& capture, std::u16string_view module, int code) {
  for (auto& r : RecordsOf(capture, module))
    if (r.code == code) return true;
  return false;
}

inline void WriteSized(const fs::path& p, std::size_t size) {
  std::string content(size, '\0');
  for (std::size_t i = 0; i < size; i += 64) content[i] = static_cast<char>((i / 64 * 131 + i / 4096) & 0xFF);
  WriteFile(p, content);
}

// Each file's content is its own name.
inline void WriteFiles(const fs::path& dir, std::initializer_list<const char*> names) {
  for (const char* name : names) WriteFile(dir / name, name);
}

// The names in `dir`, sorted and joined by spaces ("" when it is missing).
inline std::string Listing(const fs::path& dir) {
  std::set<std::string> names;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(dir, ec)) names.insert(e.path().filename().string());
  std::string out;
  for (const auto& n : names) out += (out.empty() ? "" : " ") + n;
  return out;
}

// A small tmpfs mounted for one test (root only); Mounted() is false when it
// could not be mounted.
class SmallTmpfs {
 public:
  SmallTmpfs(const fs::path& where, const char* size) : where_(where) {
    fs::create_directories(where_);
    const std::string options = std::string("size=") + size;
    mounted_ = ::geteuid() == 0 && ::mount("tmpfs", where_.c_str(), "tmpfs", 0, options.c_str()) == 0;
  }
  ~SmallTmpfs() {
    if (mounted_) ::umount2(where_.c_str(), MNT_DETACH);
  }
  bool Mounted() const { return mounted_; }
  const fs::path& Path() const { return where_; }

 private:
  fs::path where_;
  bool mounted_ = false;
};

}  // namespace qvtest
