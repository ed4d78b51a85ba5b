#include "qv_platform/profile.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "files/file_faults.h"
#include "qv_platform/system.h"
#include "qv_platform/unicode.h"

namespace {

// List is names as the list reads give them: each followed by a NUL.
std::u16string List(std::initializer_list<std::u16string_view> names) {
  std::u16string out;
  for (auto n : names) (out += n) += u'\0';
  return out;
}

class ProfileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(mkdtemp(dir_.data()), nullptr);
    path_ = dir_ + "/settings.ini";
    wpath_ = qvp::Utf8ToUtf16(path_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  void Put(const std::string& bytes) { std::ofstream(path_, std::ios::binary) << bytes; }
  std::string Bytes() const {
    std::ifstream in(path_, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  std::u16string Get(const char16_t* section, const char16_t* key, const char16_t* def = u"dflt") {
    char16_t buf[256];
    return std::u16string(buf, GetPrivateProfileStringW(section, key, def, buf, 256, wpath_.c_str()));
  }
  BOOL Set(const char16_t* section, const char16_t* key, const char16_t* value, const std::string& file = "") {
    const std::u16string path = file.empty() ? wpath_ : qvp::Utf8ToUtf16(file);
    return WritePrivateProfileStringW(section, key, value, path.c_str());
  }

  std::string dir_ = "/tmp/qv-profile-XXXXXX", path_;
  std::u16string wpath_;
};

TEST_F(ProfileTest, CreatesFileAndSectionsWithCrlfLines) {
  ASSERT_TRUE(Set(u"Debug", u"DebugDetail", u"0\t\t;comment"));
  EXPECT_EQ(Bytes(), "[Debug]\r\nDebugDetail=0\t\t;comment\r\n");
  std::ofstream(path_ + ".tmp999.0") << "left by a writer that died";
  ASSERT_TRUE(Set(u"ADVANCE", u"DefaultFrameRate", u"2500"));
  ASSERT_TRUE(Set(u"debug", u"Other", u"x"));  // goes after the last key of the existing section
  EXPECT_EQ(Bytes(),
            "[Debug]\r\nDebugDetail=0\t\t;comment\r\nOther=x\r\n"
            "\r\n[ADVANCE]\r\nDefaultFrameRate=2500\r\n");
  // Only the INI file and its writers' lock remain: no temporary, stale or new.
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir_)) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"settings.ini", "settings.ini.lock"}));
}

TEST_F(ProfileTest, ReplacesInPlaceKeepingEverythingElse) {
  Put("; leading comment\n[Sec]\n  Key = old value ;note\nodd line\n; trailing comment\n\n[Next]\nkey=2");
  ASSERT_TRUE(Set(u"SEC", u"key", u"new"));
  EXPECT_EQ(Bytes(), "; leading comment\n[Sec]\nKey=new\nodd line\n; trailing comment\n\n[Next]\nkey=2");
  // A new key lands after the section's last key line, before its comments;
  // a last line without a terminator gets one before something follows it.
  ASSERT_TRUE(Set(u"Sec", u"added", u"1"));
  ASSERT_TRUE(Set(u"Next", u"k3", u"3"));
  EXPECT_EQ(Bytes(),
            "; leading comment\n[Sec]\nKey=new\nodd line\nadded=1\r\n; trailing comment\n\n[Next]\nkey=2\r\nk3=3\r\n");
}

TEST_F(ProfileTest, ReadRules) {
  Put("[Sec]\r\n  Name  =  \t spaced value \t\r\nquoted=\"in quotes\"\r\nsingle='x'\r\nmixed=\"x'\r\n"
      "inline=25 ; comment kept\r\nempty=\r\n[sec]\r\nName=duplicate section\r\n");
  // Names match without case and the first of duplicate sections wins; an
  // empty value is not the default, and the default loses trailing blanks.
  const std::tuple<const char16_t*, const char16_t*, const char16_t*, std::u16string> cases[] = {
      {u"sec", u"NAME", u"", u"spaced value"},      {u"Sec", u"quoted", u"", u"in quotes"},
      {u"Sec", u"single", u"", u"x"},               {u"Sec", u"mixed", u"", u"\"x'"},
      {u"Sec", u"inline", u"", u"25 ; comment kept"}, {u"Sec", u"empty", u"dflt", u""},
      {u"Sec", u"missing", u"def  ", u"def"},       {u"Nope", u"Name", nullptr, u""},
      {u"Sec", nullptr, u"", List({u"Name", u"quoted", u"single", u"mixed", u"inline", u"empty"})},
      {nullptr, nullptr, u"", List({u"Sec", u"sec"})},
  };
  for (const auto& [section, key, def, expected] : cases) EXPECT_EQ(Get(section, key, def), expected);
}

TEST_F(ProfileTest, NeverWritesMoreThanTheBufferHolds) {
  Put("[S]\r\nk=abcdef\r\n");
  const std::tuple<DWORD, const char16_t*, std::u16string> cases[] = {
      {7, u"k", u"abcdef"}, {6, u"k", u"abcde"},  {1, u"k", u""},
      {3, u"missing", u"de"},                                         // the default is cut the same way
      {5, nullptr, std::u16string(u"k\0", 2)},                        // the list fits
      {2, nullptr, std::u16string()},                                 // size - 2 when it does not
  };
  for (const auto& [size, key, expected] : cases) {
    std::vector<char16_t> buf(size + 2, u'#');
    const DWORD n = GetPrivateProfileStringW(u"S", key, u"def", buf.data(), size, wpath_.c_str());
    EXPECT_EQ(std::u16string(buf.data(), n), expected) << size;
    EXPECT_EQ(buf[n], 0) << size;
    EXPECT_EQ(buf[size], u'#') << "wrote past the buffer, size " << size;
  }
  char16_t untouched = u'#';
  EXPECT_EQ(GetPrivateProfileStringW(u"S", u"k", u"", &untouched, 0, wpath_.c_str()), 0u);
  EXPECT_EQ(untouched, u'#');
}

TEST_F(ProfileTest, DeletesKeysAndSections) {
  Put("[A]\r\nx=1\r\ny=2\r\n; about B\r\n[B]\r\nz=3\r\n");
  ASSERT_TRUE(Set(u"A", u"X", nullptr));
  ASSERT_TRUE(Set(u"B", nullptr, nullptr));
  ASSERT_TRUE(Set(u"Missing", nullptr, nullptr));
  EXPECT_EQ(Bytes(), "[A]\r\ny=2\r\n; about B\r\n");
}

TEST_F(ProfileTest, CodePages) {
  ASSERT_TRUE(Set(u"媒体", u"名称", u"中文"));
  EXPECT_EQ(Bytes(), "[\xC3\xBD\xCC\xE5]\r\n\xC3\xFB\xB3\xC6=\xD6\xD0\xCE\xC4\r\n");  // the ANSI code page (GBK)
  EXPECT_EQ(Get(u"媒体", u"名称"), u"中文");

  Put("\xEF\xBB\xBF[S]\r\nk=\xC3\xA9t\xC3\xA9\r\n");  // a UTF-8 file stays UTF-8
  EXPECT_EQ(Get(u"S", u"k"), u"été");
  ASSERT_TRUE(Set(u"S", u"n", u"中"));
  EXPECT_EQ(Bytes(), "\xEF\xBB\xBF[S]\r\nk=\xC3\xA9t\xC3\xA9\r\nn=\xE4\xB8\xAD\r\n");
}

TEST_F(ProfileTest, RefusesWhatCannotBeStoredAndKeepsTheFile) {
  Put("[S]\r\nk=1\r\n");
  EXPECT_FALSE(Set(u"S", u"k", u"two\r\nlines"));  // would make two lines of one value
  EXPECT_FALSE(Set(u"S]", u"k", u"v"));
  EXPECT_FALSE(Set(u"S", u"a=b", u"v"));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(Set(u"S", u"k", u"v", dir_ + "/no/such/x.ini"));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  chmod(path_.c_str(), 0444);
  EXPECT_FALSE(Set(u"S", u"k", u"v"));  // read-only, though the folder is writable
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(Bytes(), "[S]\r\nk=1\r\n");

  // A write through a link replaces the target and keeps the link and the
  // target's permissions.
  chmod(path_.c_str(), 0640);
  const std::string link = dir_ + "/link.ini";
  ASSERT_EQ(symlink(path_.c_str(), link.c_str()), 0);
  ASSERT_TRUE(Set(u"S", u"k", u"2", link));
  struct stat st {};
  ASSERT_EQ(lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  ASSERT_EQ(stat(path_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_EQ(Bytes(), "[S]\r\nk=2\r\n");
}

TEST_F(ProfileTest, ConcurrentProcessesLoseNoKey) {
  constexpr int kProcesses = 4, kKeysEach = 25;
  auto key = [](int p, int k) { return qvp::Utf8ToUtf16("p" + std::to_string(p) + "k" + std::to_string(k)); };
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {  // two threads per process: even and odd keys
      std::atomic<bool> ok{true};
      auto writer = [&](int first) {
        for (int k = first; k < kKeysEach; k += 2)
          if (!Set(k % 2 ? u"Odd" : u"Even", key(p, k).c_str(), key(p, k).c_str())) ok = false;
      };
      std::thread odd(writer, 1);
      writer(0);
      odd.join();
      _exit(ok ? 0 : 1);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  for (int p = 0; p < kProcesses; ++p)
    for (int k = 0; k < kKeysEach; ++k) EXPECT_EQ(Get(k % 2 ? u"odd" : u"EVEN", key(p, k).c_str()), key(p, k));
}

}  // namespace

// The rename that puts a new file in place fails: the old file stays whole
// and readable, and the temporary is gone.
TEST_F(ProfileTest, WriteWhoseRenameFailsKeepsTheOldFile) {
  const std::string before = "; kept\r\n[a]\r\nk=old\r\n";
  Put(before);
  {
    qvtest::FileFaults faults;
    faults.Fail(qvtest::FileCall::kRename, 1, 1, EIO);
    EXPECT_EQ(Set(u"a", u"k", u"new"), FALSE);
    EXPECT_EQ(GetLastError(), qvp::ErrnoToWin32(EIO));
    EXPECT_EQ(qvtest::FileFaults::Calls(qvtest::FileCall::kRename), 1);
  }
  EXPECT_EQ(Bytes(), before);
  EXPECT_EQ(Get(u"a", u"k"), u"old");
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir_)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"settings.ini", "settings.ini.lock"}));
  EXPECT_EQ(Set(u"a", u"k", u"new"), TRUE) << "the next write lands";
  EXPECT_EQ(Get(u"a", u"k"), u"new");
}
