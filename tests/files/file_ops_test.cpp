#include <sys/stat.h>

#include <tuple>

#include <gtest/gtest.h>

#include "files/file_faults.h"
#include "files/file_test_util.h"
#include "qv_commonclass/files.h"
#include "qv_platform/mounts.h"
#include "qv_platform/shell_fileop.h"

using namespace qv_commonclass;
using qvtest::FileCall;
using qvtest::FileFaults;
using qvtest::W;
namespace fs = std::filesystem;

namespace {

std::vector<CString> Items(const CStringArray& a) {
  std::vector<CString> v;
  for (int i = 0; i < a.GetSize(); ++i) v.push_back(a[i]);
  return v;
}

}  // namespace

// A missing path is looked for three times, 10 ms apart; only regular files
// have a size.
TEST(FileProbes, ExistenceAndSize) {
  FileFaults faults;
  const fs::path dir = qvtest::ScratchFolder();
  EXPECT_EQ(QVCanFindDir(W(dir / "missing")), 0);
  EXPECT_EQ(FileFaults::Slept(), 30u);
  qvtest::WriteSized(dir / "f", 12345);
  EXPECT_EQ(QVCanFindDir(W(dir / "f")), 1);
  EXPECT_EQ(QVCanFindDir(W(dir)), 1);
  EXPECT_EQ(FileFaults::Slept(), 30u);
  EXPECT_EQ(QVGetFileSize(W(dir / "f")), 12345);
  for (const CString& p : {W(dir), W(dir / "missing"), CString()}) EXPECT_EQ(QVGetFileSize(p), 0) << p;
}

TEST(MakeDir, CreatesTheMissingChainAndAppendsASeparator) {
  const fs::path dir = qvtest::ScratchFolder();
  CString path = W(dir / "a" / "b" / "c");
  EXPECT_EQ(QVMakeDir(path), 1);
  EXPECT_EQ(path, W(dir / "a" / "b" / "c") + u"/");
  EXPECT_TRUE(fs::is_directory(dir / "a" / "b" / "c"));

  CString existing = W(dir / "a");
  EXPECT_EQ(QVMakeDir(existing), 1);
  EXPECT_EQ(existing, W(dir / "a")) << "an existing path stays as it is";
  CString empty;
  EXPECT_EQ(QVMakeDir(empty), 0);

  FileFaults faults;  // each level is tried three times
  faults.Fail(FileCall::kMkdir, 1, 1000, EACCES);
  CString refused = W(dir / "x" / "y");
  EXPECT_EQ(QVMakeDir(refused), 0);
  EXPECT_EQ(FileFaults::Calls(FileCall::kMkdir), 3);
  EXPECT_FALSE(fs::exists(dir / "x"));
}

// The second level of a chain cannot be made: the first stays, the second
// is tried three times, 10 ms after each failure, and looked for again.
TEST(MakeDir, SecondLevelThatCannotBeMade) {
  const fs::path dir = qvtest::ScratchFolder();
  FileFaults faults;
  faults.Fail(FileCall::kMkdir, 2, 1000, EACCES);
  CString path = W(dir / "one" / "two" / "three");
  EXPECT_EQ(QVMakeDir(path), 0);
  EXPECT_TRUE(fs::is_directory(dir / "one"));
  EXPECT_FALSE(fs::exists(dir / "one" / "two"));
  EXPECT_EQ(FileFaults::Calls(FileCall::kMkdir), 4);
  // The missing looks for "one" and "two" (30 ms each), the pauses after
  // the three failed tries of "two", and its last look.
  EXPECT_EQ(FileFaults::Slept(), 30u + 30u + 30u + 30u);
}

// A removable device turns only disk types removable; FUSE network mounts are
// recognised by their prefix. Mount points are unescaped.
TEST(DriveTypes, MountTableClassification) {
  EXPECT_EQ(qvp::ClassifyMount("ext4", true), DRIVE_REMOVABLE);
  EXPECT_EQ(qvp::ClassifyMount("overlay", true), DRIVE_FIXED);
  EXPECT_EQ(qvp::ClassifyMount("fuse.smbnetfs", false), DRIVE_REMOTE);
  EXPECT_EQ(qvp::ClassifyMount("proc", false), DRIVE_UNKNOWN);

  qvp::MountInfo m;
  ASSERT_TRUE(qvp::ParseMountLine("36 35 98:0 /mnt1 /mnt/my\\040disk rw,noatime master:1 - ext3 /dev/root rw", m));
  EXPECT_EQ(m.mount_point, "/mnt/my disk");
  EXPECT_EQ(m.fs_type, "ext3");
  EXPECT_EQ(m.major, 98u);
  EXPECT_FALSE(qvp::ParseMountLine("garbage", m));
  EXPECT_EQ(qvp::GetPathDriveType(u"C:\\x"), DRIVE_NO_ROOT_DIR);
}

TEST(FolderListing, WindowsWildcardRules) {
  const std::tuple<const char16_t*, const char16_t*, bool> cases[] = {
      {u"*.*", u"noext", true},     {u"*", u".hidden", true},    {u"*.mxf", u"A.MXF", true},
      {u"*.mxf", u"a.mxf.idx", false}, {u"a?c", u"abc", true},  {u"a?c", u"ac", false},
      {u"*.", u"noext", true},      {u"x.*", u"x", true},        {u"*a*b", u"xaxxb", true},
      {u"*a*b", u"xaxxbc", false},  {u"新闻*", u"新闻1", true},   {u"", u"a", false},
  };
  for (auto [pattern, name, match] : cases)
    EXPECT_EQ(qvp::MatchWildcard(pattern, name), match) << CString(pattern) << " / " << CString(name);
}

TEST(DeleteFile, MediaFileGoesWithEverySideFileAndEachDeletionIsTraced) {
  const fs::path dir = qvtest::ScratchFolder();
  const fs::path media = dir / "clip" / "x.mxf";
  fs::create_directories(media.parent_path());
  qvtest::WriteFiles(dir / "clip", {"x.mxf", "x.mxf.idx", "x.mxf.otc", "x.mgx", "x.xml", "x.wav"});
  fs::permissions(media, fs::perms::owner_read);  // read-only files go too

  qvtest::LoggerCapture capture;
  EXPECT_EQ(QVDeleteFile(W(media)), 1);
  EXPECT_EQ(qvtest::Listing(dir / "clip"), "x.wav");

  const auto records = qvtest::RecordsOf(capture, u"QVDeleteFile");
  ASSERT_EQ(records.size(), 5u);
  const std::u16string exe = u"test_files";  // the module named in the texts
  const CString base = W(dir / "clip" / "x");
  // Success codes step by two from the media file's; the kind names the side file.
  const std::pair<const char16_t*, const char16_t*> expected[] = {
      {u"", u".mxf"}, {u".idx", u".mxf.idx"}, {u".otc", u".mxf.otc"}, {u".mgx", u".mgx"}, {u".xml", u".xml"}};
  for (std::size_t i = 0; i < records.size(); ++i) {
    const auto& [kind, suffix] = expected[i];
    EXPECT_EQ(records[i].code, -1992317279 + 2 * static_cast<int>(i)) << i;
    EXPECT_EQ(CString(records[i].text.c_str()),
              CString(u"模块[") + exe.c_str() + u"]尝试删除" + kind + u"文件: " + base + suffix + u" 成功!");
    EXPECT_TRUE(records[i].function == exe && records[i].level == 4 && records[i].ex2) << i;
  }
}

TEST(DeleteFile, PicturesExtensionlessNamesAndMissingFiles) {
  const fs::path dir = qvtest::ScratchFolder();
  qvtest::WriteFiles(dir, {"y.BMP", "y.BMP.idx", "y.mgx", "noext", "noext.idx", "noext.mgx"});
  EXPECT_EQ(QVDeleteFile(W(dir / "y.BMP")), 1);
  EXPECT_EQ(qvtest::Listing(dir), "noext noext.idx noext.mgx y.BMP.idx y.mgx");
  // Without an extension only the appended side files are looked for.
  EXPECT_EQ(QVDeleteFile(W(dir / "noext")), 1);
  EXPECT_EQ(qvtest::Listing(dir), "noext.mgx y.BMP.idx y.mgx");

  // A missing file is waited for half a second, then counts as deleted.
  FileFaults faults;
  EXPECT_EQ(QVDeleteFile(W(dir / "gone.mxf")), 1);
  EXPECT_EQ(FileFaults::Slept(), 500u);
  EXPECT_EQ(QVDeleteFile(CString(u"ab")), 1) << "too short to name a file";
}

TEST(DeleteFile, FailuresAreTracedAndOnlyTheMediaFileDecides) {
  const fs::path dir = qvtest::ScratchFolder();
  qvtest::WriteFiles(dir, {"z.mxf", "z.mxf.idx", "z.xml"});
  qvtest::LoggerCapture capture;
  {
    FileFaults faults;
    faults.Fail(FileCall::kUnlink, 1, 1, EBUSY);
    EXPECT_EQ(QVDeleteFile(W(dir / "z.mxf")), 0);
  }
  EXPECT_EQ(qvtest::Listing(dir), "z.mxf z.mxf.idx z.xml") << "side files stay when the media file does";
  {
    FileFaults faults;
    faults.Fail(FileCall::kUnlink, 2, 2, EBUSY);  // the index file
    EXPECT_EQ(QVDeleteFile(W(dir / "z.mxf")), 1);
  }
  EXPECT_EQ(qvtest::Listing(dir), "z.mxf.idx");
  const auto records = qvtest::RecordsOf(capture, u"QVDeleteFile");
  std::vector<int> codes;
  for (auto& r : records) codes.push_back(r.code);
  // Failure codes are one below the success codes: media failed; media, index failed, xml.
  EXPECT_EQ(codes, (std::vector{-1992317280, -1992317279, -1992317278, -1992317271}));
  ASSERT_FALSE(records.empty());
  EXPECT_NE(records[0].text.find(u"失败!"), std::u16string::npos);
}

// Windows-form paths, unusable drives, RAM disks, drive roots and mount
// points: refused, and nothing is made, removed or rewritten.
TEST(RefusedPlaces, ForeignPathsRamDisksAndMountPoints) {
  for (const char16_t* p : {u"D:\\a\\b.mxf", u"\\\\server\\share\\a.mxf", u"/proc/qv_files_test/a.mxf"}) {
    CString path(p);
    EXPECT_EQ(QVMakeDir(path), 0) << path;
    EXPECT_EQ(path, CString(p)) << "a refused path is not touched";
    EXPECT_EQ(QVDeleteFile(path), 0) << path;
  }
  for (const char16_t* p : {u"/", u"/ab", u"  /x  ", u"C:\\", u"/proc"}) EXPECT_EQ(QVDelDir(p), 0) << CString(p);
  const fs::path dir = qvtest::ScratchFolder();
  EXPECT_EQ(QVDelDir(W(dir / "missing")), 0);
  qvtest::SmallTmpfs ram(dir / "ram", "1m");
  if (!ram.Mounted()) GTEST_SKIP() << "needs root to mount a tmpfs";
  EXPECT_EQ(qvp::GetPathDriveType(W(ram.Path() / "x")), DRIVE_RAMDISK);
  qvtest::WriteFile(ram.Path() / "x.mxf", "x");
  CString path = W(ram.Path() / "a" / "b");
  EXPECT_EQ(QVMakeDir(path), 0);
  EXPECT_EQ(QVDeleteFile(W(ram.Path() / "x.mxf")), 0);
  EXPECT_EQ(QVDelDir(W(ram.Path())), 0);
  EXPECT_FALSE(fs::exists(ram.Path() / "a"));
  EXPECT_TRUE(fs::exists(ram.Path() / "x.mxf"));
}

TEST(DelDir, RemovesADeepTreeWithSideFilesAndLeavesLinkedTargetsAlone) {
  const fs::path dir = qvtest::ScratchFolder();
  const fs::path outside = dir / "outside";
  fs::create_directories(outside);
  qvtest::WriteFile(outside / "keep.txt", "keep");
  fs::path deep = dir / "tree";
  for (int level = 0; level < 25; ++level) {
    deep /= "level" + std::to_string(level);
    fs::create_directories(deep);
    qvtest::WriteFile(deep / "a.dat", "a");
    qvtest::WriteFile(deep / ".hidden", "h");
  }
  qvtest::WriteFile(dir / "tree" / "m.mxf", "m");
  qvtest::WriteFile(dir / "tree" / "m.mxf.idx", "i");
  fs::create_directory_symlink(outside, dir / "tree" / "link");
  fs::permissions(dir / "tree" / "level0" / "a.dat", fs::perms::owner_read);

  FileFaults faults;  // the side file is listed too and then waited for
  EXPECT_NE(QVDelDir(W(dir / "tree")), 0);
  EXPECT_FALSE(fs::exists(dir / "tree"));
  EXPECT_TRUE(fs::exists(outside / "keep.txt"));
}

TEST(FindFile, ListsOneLevelAppendingToTheOutList) {
  const fs::path dir = qvtest::ScratchFolder();
  for (const char* d : {"sub", ".svn", "Other"}) fs::create_directories(dir / d);
  qvtest::WriteFiles(dir, {"a.mxf", "B.MXF", "c.wav", ".hidden.mxf"});
  qvtest::WriteFile(dir / "sub" / "deep.mxf", "d");

  CStringArray folders, files, none;
  folders.Add(u"kept");
  QVFindFile(W(dir), u"*", 1, folders);
  EXPECT_EQ(Items(folders), (std::vector{CString(u"kept"), W(dir / "Other"), W(dir / "sub")}));
  QVFindFile(W(dir) + u"/", u"*.mxf", 0, files);
  EXPECT_EQ(Items(files), (std::vector{W(dir / ".hidden.mxf"), W(dir / "B.MXF"), W(dir / "a.mxf")}));
  QVFindFile(W(dir / "missing"), u"*", 0, none);
  EXPECT_EQ(none.GetSize(), 0);
}

TEST(FullPathToFolder, OnlyPlainExistingFoldersStay) {
  const fs::path dir = qvtest::ScratchFolder();
  fs::create_directories(dir / ".hidden");
  qvtest::WriteFile(dir / "f.mxf", "f");
  const std::pair<CString, CString> cases[] = {
      {W(dir), W(dir)},     {W(dir / "f.mxf"), W(dir)}, {W(dir / "missing" / "g.mxf"), W(dir / "missing")},
      {W(dir / ".hidden"), W(dir)}, {u"/x.mxf", u"/"},  {u"plain", u"plain"},
  };
  for (auto [in, out] : cases) {
    QVFullPathToFolder(in);
    EXPECT_EQ(in, out);
  }
}

// Program folders take the first free numbered name; file names lose
// reserved characters and spaces.
TEST(Naming, ProgramFoldersAndValidFileNames) {
  FileFaults faults;
  const fs::path dir = qvtest::ScratchFolder();
  EXPECT_EQ(QVMakePgmDir(W(dir / "News")), W(dir / "News") + u"/");
  fs::create_directories(dir / "News1");
  EXPECT_EQ(QVMakePgmDir(W(dir / "News")), W(dir / "News2") + u"/");
  EXPECT_EQ(qvtest::Listing(dir), "News News1 News2");
  EXPECT_EQ(QVMakePgmDir(CString(u"D:\\News")), CString(u"D:\\News")) << "returned even when not made";

  const std::pair<CString, CString> cases[] = {
      {u"a/b:c d.e", u"a-b-c_d-e"}, {u"\\*\"<>|?&\r\n\t", u"-----------"}, {u"新闻\u3000联播 1", u"新闻_联播_1"}};
  for (auto [name, valid] : cases) {
    QVGetValidFileName(name);
    EXPECT_EQ(name, valid);
  }
}

TEST(CopyAllFile, CopiesTheTreeAndStopsAtAnExistingSubfolder) {
  const fs::path dir = qvtest::ScratchFolder();
  fs::create_directories(dir / "src" / "sub" / "deeper");
  qvtest::WriteFile(dir / "src" / "a.mxf", "alpha");
  qvtest::WriteFile(dir / "src" / "sub" / "b", "beta");
  qvtest::WriteFile(dir / "src" / "sub" / "deeper" / "c", "gamma");
  fs::create_directory_symlink(dir / "src", dir / "src" / "loop");

  EXPECT_EQ(QVCopyAllFile(W(dir / "src"), W(dir / "dst" / "new")), 1);
  EXPECT_EQ(qvtest::ReadFile(dir / "dst" / "new" / "a.mxf"), "alpha");
  EXPECT_EQ(qvtest::ReadFile(dir / "dst" / "new" / "sub" / "deeper" / "c"), "gamma");
  EXPECT_TRUE(fs::is_symlink(dir / "dst" / "new" / "loop"));

  // A second copy finds "sub" made already: that stops it.
  EXPECT_EQ(QVCopyAllFile(W(dir / "src") + u"/", W(dir / "dst" / "new")), 0);
  EXPECT_EQ(QVCopyAllFile(W(dir / "missing"), W(dir / "dst2")), 0);
  EXPECT_EQ(QVCopyAllFile(W(dir / "src"), W(dir / "src" / "inner")), 0) << "never into itself";
  FileFaults faults;
  faults.Fail(FileCall::kReaddir, 2, 2, EIO);
  EXPECT_EQ(QVCopyAllFile(W(dir / "src"), W(dir / "dst3")), 0) << "a listing cut short";
}

TEST(ShellOperations, CopyMoveAndAbort) {
  const fs::path dir = qvtest::ScratchFolder();
  fs::create_directories(dir / "tree" / "sub");
  qvtest::WriteSized(dir / "tree" / "big", 3 << 20);
  qvtest::WriteFile(dir / "tree" / "sub" / "s", "s");
  fs::create_directories(dir / "into");

  int aborted = -1;
  EXPECT_EQ(QVSHCopyFile(nullptr, W(dir / "tree"), W(dir / "into"), aborted), 1);
  EXPECT_EQ(aborted, 0);
  EXPECT_EQ(qvtest::ReadFile(dir / "into" / "tree" / "sub" / "s"), "s");
  EXPECT_EQ(fs::file_size(dir / "into" / "tree" / "big"), 3u << 20);

  EXPECT_EQ(QVSHMoveFile(nullptr, W(dir / "tree" / "sub" / "s"), W(dir / "moved" / "s2"), aborted), 1);
  EXPECT_FALSE(fs::exists(dir / "tree" / "sub" / "s"));
  EXPECT_EQ(qvtest::ReadFile(dir / "moved" / "s2"), "s");

  int calls = 0;
  auto previous = qvp::SetShellProgressHandler([&](const qvp::ShellProgress& p) {
    EXPECT_EQ(p.bytes_total, 3u << 20);
    return ++calls < 3;
  });
  EXPECT_EQ(QVSHCopyFile(nullptr, W(dir / "tree" / "big"), W(dir / "aborted"), aborted), 0);
  qvp::SetShellProgressHandler(previous);
  EXPECT_EQ(aborted, 1);
  EXPECT_FALSE(fs::exists(dir / "aborted")) << "the half-written file is removed";

  EXPECT_EQ(QVSHCopyFile(nullptr, W(dir / "tree" / "big"), W(dir / "tree" / "big"), aborted), 0);
  EXPECT_EQ(fs::file_size(dir / "tree" / "big"), 3u << 20) << "a file copied onto itself keeps its data";
  EXPECT_EQ(QVSHCopyFile(nullptr, W(dir / "tree"), W(dir / "tree" / "sub"), aborted), 0);
  EXPECT_FALSE(fs::exists(dir / "tree" / "sub" / "tree"));

  const CString too_long = W(dir) + u"/" + CString(u'x', 259);
  EXPECT_EQ(QVSHCopyFile(nullptr, too_long, W(dir / "t"), aborted), 0);
  EXPECT_EQ(QVSHCopyFile(nullptr, W(dir / "missing"), W(dir / "t"), aborted), 0);
  EXPECT_EQ(aborted, 0);

  // Across file systems a move is a copy and a removal.
  qvtest::SmallTmpfs other(dir / "other", "8m");
  if (!other.Mounted()) GTEST_SKIP() << "needs root to mount a tmpfs";
  EXPECT_EQ(QVSHMoveFile(nullptr, W(dir / "into" / "tree"), W(other.Path()), aborted), 1);
  EXPECT_FALSE(fs::exists(dir / "into" / "tree"));
  EXPECT_EQ(qvtest::ReadFile(other.Path() / "tree" / "sub" / "s"), "s");
  EXPECT_EQ(fs::file_size(other.Path() / "tree" / "big"), 3u << 20);
}
