// List files under file-system faults: what the caller sees when the disk
// misbehaves between the steps of a save, or a folder level cannot be made.
#include <gtest/gtest.h>
#include <fcntl.h>

#include <cstring>
#include <filesystem>

#include "files/file_faults.h"
#include "files/file_test_util.h"
#include "qv_commonclass/edl.h"
#include "qv_platform/debug_output.h"
#include "qv_platform/fileio.h"
#include "qv_platform/unicode.h"

using namespace qv_commonclass;
namespace fs = std::filesystem;
using qvtest::FileCall;
using qvtest::FileFaults;

namespace {

std::u16string Wide(const fs::path& p) { return qvp::Utf8ToUtf16(p.string()); }

void SmallList(_VEDL_INFO_2& info) {
  info.lVersion = 3;
  _VEDL_ITEM_INFO_2 item;
  item.lClipId = 1;
  item.strClipFile = u"/media/a.mxf";
  info.arrVideo.Add(item);
}

// A file system on which the saved list never shows: every look at a path
// ending in "vanishing.xml" finds nothing, and the saves of it are counted.
struct VanishingFile {
  static inline int saves = 0;
  static inline int fail_from_save = 0;  // this save and later ones cannot be opened
  static bool Named(const char* p) {
    const std::size_t n = std::strlen(p);
    return n >= 13 && std::strcmp(p + n - 13, "vanishing.xml") == 0;
  }
  VanishingFile() {
    saves = 0;
    fail_from_save = 0;
    table = qvp::SystemFileOps();
    table.stat = [](const char* p, struct stat* st) {
      if (Named(p)) {
        errno = ENOENT;
        return -1;
      }
      return qvp::SystemFileOps().stat(p, st);
    };
    table.open = [](const char* p, int flags, mode_t mode) {
      if (Named(p) && (flags & O_CREAT) && ++saves >= fail_from_save && fail_from_save > 0) {
        errno = ENOSPC;
        return -1;
      }
      return qvp::SystemFileOps().open(p, flags, mode);
    };
    previous = qvp::SetFileOps(&table);
  }
  ~VanishingFile() { qvp::SetFileOps(previous); }
  qvp::FileOps table{};
  const qvp::FileOps* previous = nullptr;
};

}  // namespace

// The check after the save never finds the file: it is saved again three
// times at once, then the save is reported failed.
TEST(EdlFaults, SaveWhoseCheckFailsIsRetriedThenRefused) {
  const fs::path dir = qvtest::ScratchFolder();
  _VEDL_INFO_2 info;
  SmallList(info);
  qvp::DebugOutputCapture out;
  {
    VanishingFile fs_view;
    EXPECT_EQ(QVWriteVEDLToFile2(Wide(dir / "vanishing.xml").c_str(), &info), 0);
    EXPECT_EQ(VanishingFile::saves, 4) << "one save and three more after the missed checks";
  }
  EXPECT_TRUE(out.Contains(u"保存VEDL文件失败！")) << qvp::Utf16ToUtf8(out.Text());

  // A save that fails while being retried stops the retries at once.
  qvp::DebugOutputCapture second;
  {
    VanishingFile fs_view;
    VanishingFile::fail_from_save = 2;
    EXPECT_EQ(QVWriteVEDLToFile2(Wide(dir / "vanishing.xml").c_str(), &info), 0);
    EXPECT_EQ(VanishingFile::saves, 2) << "no save after the failing one";
  }
  EXPECT_TRUE(second.Contains(u"保存VEDL文件失败！"));
}

// The second level of a new chain cannot be made: the first stays, the
// second is tried three times 10 ms apart, and the save is refused.
TEST(EdlFaults, FolderThatCannotBeMadeOnTheSecondLevel) {
  const fs::path dir = qvtest::ScratchFolder();
  FileFaults faults;
  faults.Fail(FileCall::kMkdir, 2, 1000, EACCES);
  EXPECT_EQ(CreateFolderForFile(Wide(dir / "one/two/x.xml").c_str()), 0);
  EXPECT_TRUE(fs::is_directory(dir / "ONE"));
  EXPECT_FALSE(fs::exists(dir / "ONE" / "TWO"));
  EXPECT_EQ(FileFaults::Calls(FileCall::kMkdir), 4);
  EXPECT_EQ(FileFaults::Slept(), 20u);

  _VEDL_INFO_2 info;
  SmallList(info);
  qvp::DebugOutputCapture out;
  EXPECT_EQ(QVWriteVEDLToFile2(Wide(dir / "one/two/x.xml").c_str(), &info), 0);
  EXPECT_TRUE(out.Contains(u"创建VEDL文件保存路径失败"));
}

// The first-generation writer shares the save and its checks.
TEST(EdlFaults, FirstGenerationSaveWhoseCheckFailsIsRetriedThenRefused) {
  const fs::path dir = qvtest::ScratchFolder();
  _VEDL_INFO_ info;
  _VEDL_ITEM_INFO_ item;
  item.strClipFile = u"/media/a.mxf";
  info.arrVideo.Add(item);
  qvp::DebugOutputCapture out;
  {
    VanishingFile fs_view;
    EXPECT_EQ(QVWriteVEDLToFile(Wide(dir / "vanishing.xml").c_str(), &info), 0);
    EXPECT_EQ(VanishingFile::saves, 4);
  }
  EXPECT_TRUE(out.Contains(u"保存VEDL文件失败！"));
  FileFaults faults;
  faults.Fail(FileCall::kMkdir, 1, 1000, EACCES);
  EXPECT_EQ(QVWriteVEDLToFile(Wide(dir / "new/x.xml").c_str(), &info), 0);
  EXPECT_FALSE(fs::exists(dir / "NEW"));
}
