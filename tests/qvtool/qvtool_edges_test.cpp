// qvtool at the edges: paths it cannot examine, signals during a copy,
// paths of the wrong kind, names that are not UTF-8, relative list paths and
// settings too long to read back, condition files out of range.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "files/file_test_util.h"
#include "support/qvtool_run.h"

namespace {

namespace fs = std::filesystem;

using Outcome = qvtest::QvtoolRun;
using qvtest::DescribeQvtool;

TEST(Qvtool, PathsThatCannotBeExaminedFailWithAMessage) {
  const fs::path dir = qvtest::ScratchFolder();
  fs::create_symlink("loop", dir / "loop");
  const std::string long_name(300, 'n');
  fs::create_directory(dir / "closed");
  qvtest::WriteFile(dir / "closed" / "clip.mxf", "x");
  fs::permissions(dir / "closed", fs::perms::none);
  const bool root = ::geteuid() == 0;  // root enters every folder
  const struct {
    std::vector<std::string> args;
    bool needs_non_root;
  } cases[] = {
      {{"copy", "loop", "out"}, false},
      {{"copy", long_name, "out"}, false},
      {{"copy", "closed/clip.mxf", "out"}, true},
      {{"find", "loop", "*"}, false},
      {{"find", long_name, "*"}, false},
      {{"find", "closed/sub", "*"}, true},
      {{"size", "loop"}, false},
      {{"size", long_name}, false},
      {{"mkdir", "loop/x"}, false},
  };
  for (const auto& c : cases) {
    if (c.needs_non_root && root) continue;
    const Outcome o = qvtest::RunQvtool(c.args, dir);
    EXPECT_EQ(o.code, 1) << DescribeQvtool(c.args) << "\n" << o.err;
    EXPECT_NE(o.err.find("qvtool: "), std::string::npos) << DescribeQvtool(c.args);
  }
  fs::permissions(dir / "closed", fs::perms::owner_all);
  EXPECT_FALSE(fs::exists(dir / "out"));
}

// SIGTERM and SIGHUP stop a copy as Ctrl-C does: the engine is cancelled, the
// partial target removed, and the exit code is 128 + the signal.
TEST(Qvtool, StopSignalsDuringACopyLeaveNoPartialTarget) {
  const fs::path dir = qvtest::ScratchFolder();
  {
    const int fd = ::open((dir / "big").c_str(), O_WRONLY | O_CREAT, 0600);
    ASSERT_EQ(::ftruncate(fd, off_t{1} << 30), 0);  // sparse: quick to read, slow to write and flush
    ::close(fd);
  }
  for (const int sig : {SIGTERM, SIGHUP, SIGINT}) {
    const pid_t pid = qvtest::StartQvtool({"copy", "big", "copy"}, dir, {}, -1, 2);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    std::error_code ec;
    auto written = [&] {
      const auto size = fs::file_size(dir / "copy", ec);
      return ec ? 0 : size;
    };
    while (written() < (8u << 20) && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_GE(written(), 8u << 20) << "the copy did not start";
    ::kill(pid, sig);
    const int code = qvtest::WaitQvtool(pid);
    if (code == 0) {  // the copy won the race; nothing to judge
      fs::remove(dir / "copy");
      continue;
    }
    EXPECT_EQ(code, 128 + sig) << ::strsignal(sig);
    EXPECT_FALSE(fs::exists(dir / "copy")) << ::strsignal(sig);
  }
}

TEST(Qvtool, PathsOfTheWrongKindFail) {
  const fs::path dir = qvtest::ScratchFolder();
  qvtest::WriteFile(dir / "file", "12345");
  fs::create_directory(dir / "folder");
  const struct {
    std::vector<std::string> args;
    int code;
    const char* says;
  } cases[] = {
      {{"mkdir", "file"}, 1, "not a folder"},
      {{"size", "folder"}, 1, "is a folder"},
      {{"copy", "folder", "out"}, 1, "is a folder"},
      {{"find", "file", "*"}, 1, "not a folder"},
      {{"mkdir", "folder/new"}, 0, ""},
      {{"size", "file"}, 0, ""},
  };
  for (const auto& c : cases) {
    const Outcome o = qvtest::RunQvtool(c.args, dir);
    EXPECT_EQ(o.code, c.code) << DescribeQvtool(c.args) << "\n" << o.err;
    EXPECT_NE(o.err.find(c.says), std::string::npos) << DescribeQvtool(c.args) << "\n" << o.err;
  }
  EXPECT_TRUE(fs::is_directory(dir / "folder" / "new"));
}

// A name that is not UTF-8 is refused before anything is written, never
// carried on under a name with U+FFFD in it.
TEST(Qvtool, NamesThatAreNotUtf8AreRefused) {
  const fs::path dir = qvtest::ScratchFolder();
  qvtest::WriteFile(dir / "src", "data");
  const std::string bad = "clip\xff.mxf";
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"copy", "src", bad}, {"copy", bad, "dst"}, {"mkdir", "new\xc3"}, {"rm", bad}, {"size", bad}}) {
    const Outcome o = qvtest::RunQvtool(args, dir);
    EXPECT_EQ(o.code, 2) << DescribeQvtool(args) << "\n" << o.err;
    EXPECT_NE(o.err.find("not valid UTF-8"), std::string::npos) << DescribeQvtool(args);
  }
  EXPECT_EQ(qvtest::Listing(dir), "src");
}

TEST(Qvtool, ListPathsRelativeToTheCurrentFolder) {
  const fs::path dir = qvtest::ScratchFolder();
  const std::string list = std::string(QV_SOURCE_DIR) + "/data/edl/news_evening_v2.xml";
  const struct {
    std::string out;
    int code;
    const char* made;  // what the folder holds afterwards
  } cases[] = {
      {"out.xml", 0, "out.xml"},
      {"./dot.xml", 0, "dot.xml"},
      {"sub/deeper.xml", 0, "SUB"},  // new folders get upper-case names
  };
  for (const auto& c : cases) {
    fs::remove_all(dir);
    fs::create_directories(dir);
    const Outcome o = qvtest::RunQvtool({"edl", "roundtrip", list, c.out}, dir);
    EXPECT_EQ(o.code, c.code) << c.out << "\n" << o.err;
    EXPECT_EQ(qvtest::Listing(dir), c.made) << c.out;
  }
  qvtest::WriteFile(dir / "in.xml", qvtest::ReadFile(list));
  EXPECT_EQ(qvtest::RunQvtool({"edl", "info", "in.xml"}, dir).code, 0);
}

// A setting longer than the store reads back is refused with the limit,
// before anything is written.
TEST(Qvtool, SettingsLongerThanTheStoreReadsAreRefused) {
  const fs::path dir = qvtest::ScratchFolder();
  const struct {
    std::string value, comment;
  } cases[] = {{std::string(131000, 'v'), ""}, {std::string(1024, 'v'), ""}, {std::string(1000, 'v'), std::string(30, 'c')}};
  for (const auto& c : cases) {
    std::vector<std::string> args{"config", "set", "QvtoolTest", "Long", c.value};
    if (!c.comment.empty()) args.insert(args.end(), {"--comment", c.comment});
    const Outcome o = qvtest::RunQvtool(args, dir);
    EXPECT_EQ(o.code, 2) << o.err;
    EXPECT_NE(o.err.find("at most 1023 characters"), std::string::npos) << o.err;
  }
}

// Condition files the JSON reader refuses in ways other than a syntax error
// (found by fuzzing: a number beyond the range of a double aborted the tool).
TEST(Qvtool, ConditionFilesOutOfRangeFailWithAMessage) {
  const fs::path dir = qvtest::ScratchFolder();
  for (const char* text : {R"([{"kind":"plain","field":"F","operator":"=","value":4e353}])",
                           R"([{"kind":1e400,"field":"F","operator":"=","value":1}])"}) {
    qvtest::WriteFile(dir / "c.json", text);
    const Outcome o = qvtest::RunQvtool({"sql-where", "c.json", "--dialect", "oracle"}, dir);
    EXPECT_EQ(o.code, 1) << text << "\n" << o.err;
    EXPECT_NE(o.err.find("c.json: not valid JSON"), std::string::npos) << o.err;
  }
}

}  // namespace
