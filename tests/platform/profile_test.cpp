#include "qv_platform/profile.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "files/file_faults.h"
#include "qv_platform/system.h"
#include "qv_platform/unicode.h"
#include "support/scratch.h"
#include "support/winprobe_table.h"

namespace {

// List is names as the list reads give them: each followed by a NUL.
std::u16string List(std::initializer_list<std::u16string_view> names) {
  std::u16string out;
  for (auto n : names) (out += n) += u'\0';
  return out;
}

class ProfileTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(tmp_.path.empty()); }

  void Put(const std::string& bytes) { qvtest::WriteFile(path_, bytes); }
  std::string Bytes() const { return qvtest::ReadFile(path_); }
  std::u16string Get(const char16_t* section, const char16_t* key, const char16_t* def = u"dflt") {
    char16_t buf[256];
    return std::u16string(buf, GetPrivateProfileStringW(section, key, def, buf, 256, wpath_.c_str()));
  }
  BOOL Set(const char16_t* section, const char16_t* key, const char16_t* value, const std::string& file = "") {
    const std::u16string path = file.empty() ? wpath_ : qvp::Utf8ToUtf16(file);
    return WritePrivateProfileStringW(section, key, value, path.c_str());
  }

  qvtest::TempDir tmp_;
  std::string dir_ = tmp_.path.string(), path_ = dir_ + "/settings.ini";
  std::u16string wpath_ = qvp::Utf8ToUtf16(path_);
};

TEST_F(ProfileTest, CreatesFileAndSectionsWithCrlfLines) {
  ASSERT_TRUE(Set(u"Debug", u"DebugDetail", u"0\t\t;comment"));
  EXPECT_EQ(Bytes(), "[Debug]\r\nDebugDetail=0\t\t;comment\r\n");
  std::ofstream(path_ + ".tmp999.0") << "left by a writer that died";
  ASSERT_TRUE(Set(u"ADVANCE", u"DefaultFrameRate", u"2500"));
  ASSERT_TRUE(Set(u"debug", u"Other", u"x"));  // goes after the last key of the existing section
  // A new section follows the last line directly, as on Windows.
  EXPECT_EQ(Bytes(),
            "[Debug]\r\nDebugDetail=0\t\t;comment\r\nOther=x\r\n"
            "[ADVANCE]\r\nDefaultFrameRate=2500\r\n");
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
  // A new key lands after the section's last line that is not blank (the
  // profile functions know no comments); a last line without a terminator
  // gets one before something follows it.
  ASSERT_TRUE(Set(u"Sec", u"added", u"1"));
  ASSERT_TRUE(Set(u"Next", u"k3", u"3"));
  EXPECT_EQ(Bytes(),
            "; leading comment\n[Sec]\nKey=new\nodd line\n; trailing comment\nadded=1\r\n\n[Next]\nkey=2\r\nk3=3\r\n");
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

  // A UTF-16 file (either byte order) is read and written as UTF-16.
  Put(std::string("\xFF\xFE[\0S\0]\0\r\0\n\0k\0=\0\xE9\0", 18));
  EXPECT_EQ(Get(u"S", u"k"), u"é");
  ASSERT_TRUE(Set(u"S", u"n", u"中"));
  EXPECT_EQ(Bytes(), std::string("\xFF\xFE[\0S\0]\0\r\0\n\0k\0=\0\xE9\0\r\0\n\0n\0=\0\x2D\x4E\r\0\n\0", 32));
  Put(std::string("\xFE\xFF\0[\0S\0]\0\n\0k\0=\x4E\x2D", 16));
  EXPECT_EQ(Get(u"S", u"k"), u"中");

  // A UTF-8 mark means nothing to Windows: its bytes are GBK text that
  // swallows the '[' of the first line (EF BB, then BF 5B).
  Put("\xEF\xBB\xBF[S]\r\nk=v\r\n");
  EXPECT_EQ(Get(u"S", u"k"), u"dflt");
}

TEST_F(ProfileTest, StoresWhatIsGivenAndRefusesUnwritableFiles) {
  // Windows writes line breaks, '=' in a key and ']' in a section as given.
  Put("[S]\r\nk=1\r\n");
  ASSERT_TRUE(Set(u"S", u"k", u"two\r\nlines"));
  ASSERT_TRUE(Set(u"S", u"a=b", u"v"));
  ASSERT_TRUE(Set(u"S]", u"k", u"v"));
  EXPECT_EQ(Bytes(), "[S]\r\nk=two\r\nlines\r\na=b=v\r\n[S]]\r\nk=v\r\n");
  EXPECT_FALSE(WritePrivateProfileStringW(nullptr, nullptr, nullptr, wpath_.c_str()));  // the flush call

  // What follows a Ctrl-Z is no text and stays as it is, behind new lines.
  Put("[S]\r\nk=1\r\n\x1A[T]\r\nx=0");
  ASSERT_TRUE(Set(u"S", u"k", u"2"));
  ASSERT_TRUE(Set(u"T", u"x", u"1"));
  EXPECT_EQ(Bytes(), "[S]\r\nk=2\r\n[T]\r\nx=1\r\n\x1A[T]\r\nx=0");
  Put(std::string("\xFF\xFE[\0S\0]\0\n\0k\0=\0" "1\0\x1A\0z", 19));  // and half a unit at the end
  ASSERT_TRUE(Set(u"S", u"k", u"2"));
  EXPECT_EQ(Bytes(), std::string("\xFF\xFE[\0S\0]\0\n\0k\0=\0" "2\0\x1A\0z", 19));

  Put("[S]\r\nk=1\r\n");
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

// Where Windows differs from the recording (made under Wine): keyed by the
// row's file, section, key (and value for writes), the result Windows gives.
struct WindowsRead {
  const char* file;
  const char* section;
  const char* key;
  std::u16string value;
};
const WindowsRead kReadsWindowsOverWine[] = {
    // A Ctrl-Z ends the file's text on Windows; Wine reads on.
    {"5B535D0D0A6B3D310D0A1A0D0A6A3D320D0A", "0053", "006A", u"dflt"},
    {"5B535D0D0A6B3D611A620D0A", "0053", "006B", u"a"},
    // Windows reads a UTF-8 mark as ANSI text (here GBK characters that take
    // the '[' with them, or a line of its own); Wine decodes the file as UTF-8.
    {"EFBBBF5B535D0D0A6B3D760D0A", "0053", "006B", u"dflt"},
    {"EFBBBF0D0A5B535D0D0A6B3DC3A90D0A", "0053", "006B", u"\u8305"},
    // Not known from Windows; a judgement: Wine answers the key list of a
    // section holding an empty key name with the default (its list starts
    // with the empty name and so reads as no list). Here the list leaves the
    // empty name out, as it leaves out names starting with ';'.
    {"5B535D0D0A3D760D0A6B3D310D0A", "0053", "(null)", std::u16string(u"k\0", 2)},
};
// Windows appends to the file in place and keeps its blank last line; Wine
// rewrites the whole file without it.
const std::pair<const char*, const char*> kWritesWindowsOverWine[] = {
    {"5B415D0D0A423D320D0A0D0A", "5B415D0D0A423D320D0A0D0A5B414456414E43455D0D0A6B3D760D0A"},
};

std::u16string ProbeText(const std::string& field) {
  return field == "-" ? std::u16string() : qvtest::HexUnits(field);
}

// Every recorded read and write, on files of the recorded bytes, in code
// page 936.
TEST_F(ProfileTest, MatchesTheRecording) {
  const auto rows = qvtest::LoadProbeTable("profile");
  ASSERT_GT(rows.size(), 50u);
  int reads = 0, writes = 0;
  for (const auto& r : rows) {
    auto text = [&](std::size_t i, std::u16string& storage) -> const char16_t* {
      if (r[i] == "(null)") return nullptr;
      storage = ProbeText(r[i]);
      return storage.c_str();
    };
    std::u16string section, key, value;
    if (r[0] == "read") {
      ++reads;
      Put(qvtest::HexBytes(r[1]));
      std::u16string want = qvtest::HexUnits(r[5]);
      for (const auto& w : kReadsWindowsOverWine) {
        if (r[1] == w.file && r[2] == w.section && r[3] == w.key) want = w.value;
      }
      EXPECT_EQ(qvtest::ToHex(Get(text(2, section), text(3, key))), qvtest::ToHex(want))
          << "file " << r[1] << " section " << r[2] << " key " << r[3];
    } else if (r[0] == "write") {
      ++writes;
      std::filesystem::remove(path_);
      if (r[1] != "-") Put(qvtest::HexBytes(r[1]));
      std::string want = r[6];
      for (const auto& [file, after] : kWritesWindowsOverWine) {
        if (r[1] == file) want = after;
      }
      const BOOL ok = Set(text(2, section), text(3, key), text(4, value));
      EXPECT_EQ(ok, std::stoi(r[5])) << r[1] << " " << r[2] << " " << r[3] << " " << r[4];
      const std::string after = std::filesystem::exists(path_) ? qvtest::ToHex(Bytes()) : "-";
      EXPECT_EQ(after, want) << r[1] << " " << r[2] << " " << r[3] << " " << r[4];
    }
  }
  EXPECT_GT(reads, 30);
  EXPECT_GT(writes, 20);
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
