// Fault sweeps: every file service call of one kind fails in turn (the first,
// then the second, ...) while a copy, a tree copy or a move runs, and
// whatever the result, nothing may be left half-written and nothing may be
// lost: every target file is absent or whole, and a move keeps every source
// file until it is whole at the target.
#include <sys/stat.h>

#include <map>
#include <string>

#include <gtest/gtest.h>

#include "files/file_faults.h"
#include "files/file_test_util.h"
#include "qv_commonclass/files.h"

using namespace qv_commonclass;
using qvtest::FileCall;
using qvtest::FileFaults;
using qvtest::W;
namespace fs = std::filesystem;

namespace {

constexpr std::size_t kMiB = 1 << 20;

// The regular files under `root` by relative path, with their contents.
std::map<std::string, std::string> Files(const fs::path& root) {
  std::map<std::string, std::string> files;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec))
    if (it->is_regular_file() && !it->is_symlink())
      files[fs::relative(it->path(), root).string()] = qvtest::ReadFile(it->path());
  return files;
}

// "name:size" of every file, for messages (contents are compared apart).
std::string Summary(const std::map<std::string, std::string>& files) {
  std::string out;
  for (const auto& [name, content] : files) out += name + ":" + std::to_string(content.size()) + " ";
  return out;
}

// A tree of a few small files and one of several copy chunks.
void MakeTree(const fs::path& root) {
  fs::create_directories(root / "sub" / "deeper");
  qvtest::WriteSized(root / "big.mxf", 3 * kMiB + 17);
  qvtest::WriteFile(root / "a.xml", "alpha");
  qvtest::WriteFile(root / "sub" / "b", "beta");
  qvtest::WriteFile(root / "sub" / "deeper" / "c", "gamma");
}

// Every file of `target` is whole: it is in `source` with the same content.
void ExpectNothingHalfWritten(const std::map<std::string, std::string>& source, const fs::path& target,
                              const std::string& what) {
  for (const auto& [name, content] : Files(target)) {
    const auto it = source.find(name);
    ASSERT_NE(it, source.end()) << what << ": stray file " << name;
    EXPECT_EQ(content.size(), it->second.size()) << what << ": " << name << " is half-written";
    EXPECT_TRUE(content == it->second) << what << ": " << name << " differs";
  }
}

struct Kind {
  FileCall call;
  int err;
  const char* name;
};
constexpr Kind kKinds[] = {
    {FileCall::kOpen, EACCES, "open"},    {FileCall::kRead, EIO, "read"},       {FileCall::kWrite, ENOSPC, "write"},
    {FileCall::kMkdir, EACCES, "mkdir"}, {FileCall::kReaddir, EIO, "readdir"},
};

// How many calls of each kind a clean run makes.
template <typename Operation>
std::map<FileCall, int> CountCalls(Operation run) {
  FileFaults counting;
  run(counting);
  std::map<FileCall, int> counts;
  for (const Kind& k : kKinds) counts[k.call] = FileFaults::Calls(k.call);
  counts[FileCall::kRename] = FileFaults::Calls(FileCall::kRename);
  return counts;
}

}  // namespace

// Copies the tree `src` under `dir` to `dir`/dst with `copy` once for every
// call of each kind that a clean copy makes, failing that call. Nothing may
// be half-written; with `judge_result`, a reported success must be whole.
template <typename Copy>
void SweepTreeCopy(const fs::path& dir, Copy copy, bool judge_result) {
  MakeTree(dir / "src");
  const auto source = Files(dir / "src");
  const auto counts = CountCalls([&](FileFaults&) { ASSERT_EQ(copy(dir / "clean"), 1); });
  ASSERT_TRUE(Files(dir / "clean") == source);
  for (const Kind& k : kKinds) {
    for (int n = 1; n <= counts.at(k.call); ++n) {
      const std::string what = std::string(k.name) + " #" + std::to_string(n);
      fs::remove_all(dir / "dst");
      int result = 0;
      {
        FileFaults faults;
        faults.Fail(k.call, n, n, k.err);
        result = copy(dir / "dst");
      }
      ExpectNothingHalfWritten(source, dir / "dst", what + (result ? " (reported 1)" : ""));
      if (judge_result && result == 1) {
        const auto copied = Files(dir / "dst");
        EXPECT_TRUE(copied == source) << what << ": reported whole, holds " << Summary(copied);
      }
    }
  }
}

// The tree copy (QVCopyAllFile) stops at the first failure; what it copied
// until then is whole, and a file it was writing is removed. A failure inside
// a subfolder is not reported (the subfolder's result is ignored), so only
// the files themselves are judged.
TEST(FaultSweep, TreeCopyLeavesOnlyWholeFiles) {
  const fs::path dir = qvtest::ScratchFolder();
  SweepTreeCopy(dir, [&](const fs::path& to) { return QVCopyAllFile(W(dir / "src"), W(to)); }, false);
}

// The shell's copy of a tree: a failure removes the file in work and reports
// the failure.
TEST(FaultSweep, ShellTreeCopyLeavesOnlyWholeFiles) {
  const fs::path dir = qvtest::ScratchFolder();
  int aborted = 0;
  SweepTreeCopy(dir, [&](const fs::path& to) { return QVSHCopyFile(nullptr, W(dir / "src"), W(to), aborted); }, true);
}

// A move whose rename is refused (another file system) copies and then
// removes the source. A fault in the copy must fail the move before any
// source file goes: every file stays whole at the source or at the target.
TEST(FaultSweep, ShellMoveNeverLosesAFile) {
  const fs::path dir = qvtest::ScratchFolder();
  MakeTree(dir / "model");
  const auto source = Files(dir / "model");
  int aborted = 0;
  auto reset = [&] {
    fs::remove_all(dir / "src");
    fs::remove_all(dir / "dst");
    fs::copy(dir / "model", dir / "src", fs::copy_options::recursive);
  };
  reset();
  const auto counts = CountCalls([&](FileFaults& faults) {
    faults.Fail(FileCall::kRename, 1, 1000, EXDEV);
    ASSERT_EQ(QVSHMoveFile(nullptr, W(dir / "src"), W(dir / "dst"), aborted), 1);
  });
  ASSERT_TRUE(Files(dir / "dst") == source);
  ASSERT_FALSE(fs::exists(dir / "src"));
  for (const Kind& k : kKinds) {
    for (int n = 1; n <= counts.at(k.call); ++n) {
      const std::string what = std::string(k.name) + " #" + std::to_string(n);
      reset();
      int result = 0;
      {
        FileFaults faults;
        faults.Fail(FileCall::kRename, 1, 1000, EXDEV);
        faults.Fail(k.call, n, n, k.err);
        result = QVSHMoveFile(nullptr, W(dir / "src"), W(dir / "dst"), aborted);
      }
      ExpectNothingHalfWritten(source, dir / "dst", what);
      const auto left = Files(dir / "src"), moved = Files(dir / "dst");
      for (const auto& [name, content] : source)
        EXPECT_TRUE(left.count(name) || moved.count(name)) << what << ": " << name << " was lost";
      if (result == 1) {
        const auto copied = moved;
        EXPECT_TRUE(copied == source) << what << ": reported whole, holds " << Summary(copied);
      }
    }
  }
}

// The copy engine: each write, flush, read and target creation failing in
// turn gives result 0 and no target; a source open that fails fewer than
// five times is retried and the copy completes.
TEST(FaultSweep, CopyEngineLeavesNoPartialTarget) {
  const fs::path dir = qvtest::ScratchFolder();
  qvtest::WriteSized(dir / "src", 9 * kMiB);  // two full buffers and a short last one
  const std::string content = qvtest::ReadFile(dir / "src");
  const Kind kinds[] = {{FileCall::kWrite, ENOSPC, "write"}, {FileCall::kFsync, EIO, "flush"},
                        {FileCall::kRead, EIO, "read"}};
  for (const Kind& k : kinds) {
    for (int n = 1; n <= 3; ++n) {
      const std::string what = std::string(k.name) + " #" + std::to_string(n);
      int result = 0;
      {
        FileFaults faults;
        faults.Fail(k.call, n, n, k.err);
        result = QVCopyFileEx(W(dir / "src"), W(dir / "dst"), nullptr, nullptr, nullptr, 0);
      }
      EXPECT_EQ(result, 0) << what;
      EXPECT_FALSE(fs::exists(dir / "dst")) << what;
      EXPECT_TRUE(qvtest::ReadFile(dir / "src") == content) << what << ": the source is never touched";
      fs::remove(dir / "dst");
    }
  }
  for (int failures = 1; failures <= 5; ++failures) {
    int result = 0;
    {
      FileFaults faults;
      FileFaults::sources_only = true;
      faults.Fail(FileCall::kOpen, 1, failures, EBUSY);
      result = QVCopyFileEx(W(dir / "src"), W(dir / "dst"), nullptr, nullptr, nullptr, 0);
    }
    EXPECT_EQ(result, failures < 5 ? 1 : 0) << failures << " failed source opens";
    if (result) {
      EXPECT_TRUE(qvtest::ReadFile(dir / "dst") == content);
    } else {
      EXPECT_FALSE(fs::exists(dir / "dst"));
    }
    fs::remove(dir / "dst");
  }
}
