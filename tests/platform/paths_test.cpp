// The path module and the retry helper of the platform layer.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "files/file_faults.h"
#include "qv_platform/paths.h"
#include "qv_platform/retry.h"
#include "support/scratch.h"

namespace fs = std::filesystem;
namespace paths = qvp::paths;
using qvtest::FileCall;
using qvtest::FileFaults;

TEST(Paths, JoinAndSplit) {
  const struct {
    const char *folder, *name, *joined;
  } joins[] = {{"", "a", "a"}, {"/", "a", "/a"}, {"/x", "a", "/x/a"}, {"/x/", "a", "/x/a"}, {"x", "", "x/"}};
  for (const auto& j : joins) EXPECT_EQ(paths::Join(j.folder, j.name), j.joined) << j.folder << " + " << j.name;
  EXPECT_EQ(paths::Join(u"/x", u"\u5a92\u4f53"), u"/x/\u5a92\u4f53");
  const auto parts = paths::Split("//a/b\\c//d/");
  EXPECT_EQ(parts, (std::vector<std::string_view>{"a", "b\\c", "d"}));
  EXPECT_TRUE(paths::Split("/").empty());
}

TEST(Paths, LookupWithoutRegardToCase) {
  const qvtest::TempDir tmp;
  const fs::path& dir = tmp.path;
  fs::create_directories(dir / "Media" / "EDL");
  fs::create_directories(dir / "media2");
  const std::string base = dir.string();
  const struct {
    std::string in, out;
  } cases[] = {
      {base + "/MEDIA/edl", base + "/Media/EDL"},
      {base + "/media/edl/new/x.xml", base + "/Media/EDL/new/x.xml"},  // missing part kept as given
      {base + "/media/missing/", base + "/Media/missing/"},
      {base + "/Media/EDL", base + "/Media/EDL"},
  };
  for (const auto& c : cases) EXPECT_EQ(paths::ResolveNoCase(c.in), c.out) << c.in;
  EXPECT_EQ(paths::FindNoCase(base, "MEDIA2"), base + "/media2");
  EXPECT_EQ(paths::FindNoCase(base, "media3"), "");
  EXPECT_EQ(paths::KindOf(base + "/Media"), paths::Kind::kFolder);
  EXPECT_EQ(paths::KindOf(base + "/none"), paths::Kind::kMissing);

  // A file in the way of a chain stops it; the levels before it stay.
  std::ofstream(dir / "file") << "x";
  paths::FolderChainRule rule;
  rule.existing = base.size();
  EXPECT_FALSE(paths::MakeFolderChain(base + "/file/sub", rule));
  rule.ignore_case = true;
  EXPECT_TRUE(paths::MakeFolderChain(base + "/media/edl/new/", rule));
  EXPECT_TRUE(fs::is_directory(dir / "Media" / "EDL" / "NEW"));
}

TEST(Retry, TriesPausesThroughTheSeamAndStops) {
  FileFaults faults;  // sleeps are only added up
  const struct {
    qvp::RetryRule rule;
    int succeed_on;  // 0: never
    bool result;
    int tries;
    unsigned slept;
  } cases[] = {
      {{3, 10, false}, 0, false, 3, 20},  {{3, 10, true}, 0, false, 3, 30}, {{3, 10, true}, 2, true, 2, 10},
      {{5, 20, false}, 1, true, 1, 0},    {{0, 10, false}, 0, false, 1, 0}, {{4, 100, false}, 4, true, 4, 300},
  };
  for (const auto& c : cases) {
    FileFaults::slept_ms = 0;
    int tries = 0;
    const bool r = qvp::Retry(c.rule, [&](int n) {
      tries = n;
      return n == c.succeed_on;
    });
    EXPECT_EQ(r, c.result);
    EXPECT_EQ(tries, c.tries);
    EXPECT_EQ(FileFaults::Slept(), c.slept);
  }
  // Stop ends at once, without a pause.
  FileFaults::slept_ms = 0;
  int tries = 0;
  EXPECT_FALSE(qvp::Retry({5, 10, true}, [&](int n) {
    tries = n;
    return n == 2 ? qvp::TryResult::kStop : qvp::TryResult::kAgain;
  }));
  EXPECT_EQ(tries, 2);
  EXPECT_EQ(FileFaults::Slept(), 10u);
}
