#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "qv_commonclass/diagnostics.h"
#include "qv_platform/system.h"
#include "qv_platform/unicode.h"

namespace {

using qv_commonclass::CQVCriticalSectionNurse;
using qv_commonclass::CQVLimitSingleInstance;

class NurseTest : public ::testing::Test {
 protected:
  void SetUp() override { CQVCriticalSectionNurse::Initialize(&cs_); }
  void TearDown() override { CQVCriticalSectionNurse::Finalize(&cs_); }

  // FreeForOthers tells whether another thread can enter the section now.
  bool FreeForOthers() {
    bool entered = false;
    std::thread([&] {
      entered = TryEnterCriticalSection(&cs_) != 0;
      if (entered) LeaveCriticalSection(&cs_);
    }).join();
    return entered;
  }

  CRITICAL_SECTION cs_;
};

// An acquisition of the test's own underneath the guards shows up any extra
// leave: the section would become free too early.
TEST_F(NurseTest, NeverLeavesMoreThanItEntered) {
  EnterCriticalSection(&cs_);
  {
    CQVCriticalSectionNurse guard(&cs_);
    guard.clear();
    guard.clear();  // a second clear must not leave again,
    guard.set();
    guard.set();    // nor a second set enter again
    CQVCriticalSectionNurse inner(&cs_), copy(guard);  // re-entrant: does not block
    guard.clear();
    CQVCriticalSectionNurse assigned(&cs_);
    assigned.clear();
    assigned = copy;  // takes the section again, as copy holds it
    copy = guard;     // from a guard not holding: copy leaves what it held
    EXPECT_TRUE(assigned.held() && !copy.held());
  }
  EXPECT_FALSE(FreeForOthers());
  LeaveCriticalSection(&cs_);
  EXPECT_TRUE(FreeForOthers());
}

TEST_F(NurseTest, SetAfterClearExcludesOtherThreadsAgain) {
  {
    CQVCriticalSectionNurse guard(&cs_);
    EXPECT_FALSE(FreeForOthers());
    guard.clear();
    EXPECT_TRUE(FreeForOthers());
    guard.set();
    EXPECT_FALSE(FreeForOthers());
  }
  EXPECT_TRUE(FreeForOthers());

  long counter = 0;  // unguarded increments would race (and fail under TSan)
  auto work = [&] {
    for (int i = 0; i < 1000; ++i) {
      CQVCriticalSectionNurse guard(&cs_);
      ++counter;
      guard.clear();
      guard.set();
      ++counter;
    }
  };
  std::thread threads[] = {std::thread(work), std::thread(work), std::thread(work), std::thread(work)};
  for (auto& t : threads) t.join();
  EXPECT_EQ(counter, 8000);
}

// Named mutexes of these tests live in a runtime folder of their own, removed
// afterwards, so that their lock files do not pile up.
class NamedTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = std::getenv("XDG_RUNTIME_DIR");
    saved_ = old ? old : "";
    ASSERT_NE(mkdtemp(dir_.data()), nullptr);
    setenv("XDG_RUNTIME_DIR", dir_.c_str(), 1);
  }
  void TearDown() override {
    saved_.empty() ? unsetenv("XDG_RUNTIME_DIR") : setenv("XDG_RUNTIME_DIR", saved_.c_str(), 1);
    std::filesystem::remove_all(dir_);
  }
  std::string saved_, dir_ = "/tmp/qv-run-XXXXXX";
};

std::u16string UniqueName(const char* what) {
  return qvp::Utf8ToUtf16(std::string("QVTest\\") + what + "/" + std::to_string(getpid()));
}

// The child creates a guard of `name`, reports IsAnotherInstanceRunning on
// `answer` and, when `go` is given, waits for a byte on it before it ends.
pid_t RunChild(const std::u16string& name, int answer, int go) {
  const pid_t pid = fork();
  if (pid != 0) return pid;
  CQVLimitSingleInstance guard(name.c_str());
  const char c = static_cast<char>('0' + guard.IsAnotherInstanceRunning());
  char ignored;
  _exit(write(answer, &c, 1) == 1 && (go < 0 || read(go, &ignored, 1) == 1) ? 0 : 1);
}

TEST_F(NamedTest, SingleInstanceAcrossProcesses) {
  const std::u16string held = UniqueName("held"), ended = UniqueName("ended");
  int answer[2], go[2];
  ASSERT_EQ(pipe(answer), 0);
  ASSERT_EQ(pipe(go), 0);
  char c[2] = {};
  const pid_t first = RunChild(held, answer[1], go[0]);
  ASSERT_EQ(read(answer[0], &c[0], 1), 1);
  CQVLimitSingleInstance second(held.c_str());
  EXPECT_EQ(second.IsAnotherInstanceRunning(), 1);
  ASSERT_EQ(write(go[1], "x", 1), 1);
  ASSERT_EQ(waitpid(first, nullptr, 0), first);

  // The system drops what a process held when it ends.
  const pid_t gone = RunChild(ended, answer[1], -1);
  ASSERT_EQ(read(answer[0], &c[1], 1), 1);
  ASSERT_EQ(waitpid(gone, nullptr, 0), gone);
  EXPECT_EQ(std::string(c, 2), "00");  // each child was the first of its name
  CQVLimitSingleInstance after(ended.c_str());
  EXPECT_EQ(after.IsAnotherInstanceRunning(), 0);
  for (int fd : {answer[0], answer[1], go[0], go[1]}) close(fd);
}

TEST_F(NamedTest, SingleInstanceNameOutlivesTheGuardInItsProcess) {
  const std::u16string name = UniqueName("same");
  {
    CQVLimitSingleInstance first(name.c_str());
    EXPECT_EQ(first.IsAnotherInstanceRunning(), 0);
    CQVLimitSingleInstance copy(first);
    EXPECT_EQ(copy.IsAnotherInstanceRunning(), 0);
  }
  CQVLimitSingleInstance later(name.c_str());
  EXPECT_EQ(later.IsAnotherInstanceRunning(), 1);
  CQVLimitSingleInstance session((u"Local\\" + name).c_str());  // the same name in the session namespace
  EXPECT_EQ(session.IsAnotherInstanceRunning(), 1);
}

TEST_F(NamedTest, MutexOnlyTheOwnerReleasesAndTheLastCloseEndsTheName) {
  const std::u16string name = UniqueName("mutex");
  HANDLE a = CreateMutexW(nullptr, TRUE, name.c_str());
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  HANDLE b = CreateMutexW(nullptr, TRUE, name.c_str());  // opened: no ownership
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  bool released_elsewhere = true;
  std::thread([&] { released_elsewhere = ReleaseMutex(a) != 0; }).join();
  EXPECT_FALSE(released_elsewhere);
  EXPECT_TRUE(ReleaseMutex(b) && !ReleaseMutex(a));  // one object whichever handle; owned once
  EXPECT_TRUE(CloseHandle(a) && CloseHandle(b) && !CloseHandle(b));
  HANDLE c = CreateMutexW(nullptr, FALSE, name.c_str());
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  CloseHandle(c);
}

}  // namespace
