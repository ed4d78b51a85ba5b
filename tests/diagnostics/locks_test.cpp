#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
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

TEST_F(NurseTest, ClearAndSetAreIdempotent) {
  {
    CQVCriticalSectionNurse guard(&cs_);
    EXPECT_TRUE(guard.held());
    EXPECT_FALSE(FreeForOthers());
    guard.clear();
    guard.clear();
    EXPECT_FALSE(guard.held());
    EXPECT_TRUE(FreeForOthers());
    guard.set();
    guard.set();
    EXPECT_FALSE(FreeForOthers());
  }
  EXPECT_TRUE(FreeForOthers());
}

// An acquisition of the test's own underneath the guards shows up any extra
// leave: the section would become free too early.
TEST_F(NurseTest, NeverLeavesMoreThanItEntered) {
  EnterCriticalSection(&cs_);
  {
    CQVCriticalSectionNurse guard(&cs_);
    guard.clear();
    guard.clear();
  }
  {
    CQVCriticalSectionNurse outer(&cs_);
    CQVCriticalSectionNurse inner(&cs_);  // re-entrant: does not block
    CQVCriticalSectionNurse copy(outer);
    EXPECT_TRUE(copy.held());
    outer.clear();
    CQVCriticalSectionNurse assigned(&cs_);
    assigned.clear();
    assigned = copy;
    EXPECT_TRUE(assigned.held());
    copy = outer;  // not holding: copy leaves what it held
    EXPECT_FALSE(copy.held());
    assigned = assigned;
    EXPECT_TRUE(assigned.held());
  }
  EXPECT_FALSE(FreeForOthers());
  LeaveCriticalSection(&cs_);
  EXPECT_TRUE(FreeForOthers());
}

TEST_F(NurseTest, ExcludesOtherThreads) {
  long counter = 0;  // unguarded increments would race (and fail under TSan)
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 2000; ++i) {
        CQVCriticalSectionNurse guard(&cs_);
        ++counter;
        if (i % 3 == 0) {
          guard.clear();
          guard.set();
          ++counter;
        }
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(counter, 4 * (2000 + 667));
}

std::u16string UniqueName(const char* what) {
  return qvp::Utf8ToUtf16(std::string("QVTest\\") + what + "/" + std::to_string(getpid()));
}

// RunChild forks a process that creates a guard of `name`, writes its answer
// to the pipe, then waits for a byte on `go` (when given) before it exits.
pid_t RunChild(const std::u16string& name, int answer_fd, int go_fd) {
  const pid_t pid = fork();
  if (pid != 0) return pid;
  CQVLimitSingleInstance guard(name.c_str());
  const char answer = static_cast<char>('0' + guard.IsAnotherInstanceRunning());
  if (write(answer_fd, &answer, 1) != 1) _exit(2);
  char c;
  if (go_fd >= 0 && read(go_fd, &c, 1) != 1) _exit(3);
  _exit(0);
}

TEST(SingleInstanceTest, SecondProcessSeesTheFirst) {
  const std::u16string name = UniqueName("cross");
  int answer[2], go[2];
  ASSERT_EQ(pipe(answer), 0);
  ASSERT_EQ(pipe(go), 0);
  const pid_t first = RunChild(name, answer[1], go[0]);
  char c = 0;
  ASSERT_EQ(read(answer[0], &c, 1), 1);
  EXPECT_EQ(c, '0');
  {
    CQVLimitSingleInstance here(name.c_str());
    EXPECT_EQ(here.IsAnotherInstanceRunning(), 1);
  }
  ASSERT_EQ(write(go[1], "x", 1), 1);
  int status = 0;
  ASSERT_EQ(waitpid(first, &status, 0), first);
  for (int fd : {answer[0], answer[1], go[0], go[1]}) close(fd);
}

TEST(SingleInstanceTest, ProcessThatEndedHoldsNothing) {
  const std::u16string name = UniqueName("ended");
  int answer[2];
  ASSERT_EQ(pipe(answer), 0);
  const pid_t child = RunChild(name, answer[1], -1);
  char c = 0;
  ASSERT_EQ(read(answer[0], &c, 1), 1);
  EXPECT_EQ(c, '0');
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  CQVLimitSingleInstance after(name.c_str());
  EXPECT_EQ(after.IsAnotherInstanceRunning(), 0);
  close(answer[0]);
  close(answer[1]);
}

TEST(SingleInstanceTest, NameOutlivesTheGuardInItsProcess) {
  const std::u16string name = UniqueName("same");
  {
    CQVLimitSingleInstance first(name.c_str());
    EXPECT_EQ(first.IsAnotherInstanceRunning(), 0);
    CQVLimitSingleInstance copy(first);
    EXPECT_EQ(copy.IsAnotherInstanceRunning(), 0);
  }
  CQVLimitSingleInstance later(name.c_str());
  EXPECT_EQ(later.IsAnotherInstanceRunning(), 1);
  CQVLimitSingleInstance other(UniqueName("other").c_str());
  EXPECT_EQ(other.IsAnotherInstanceRunning(), 0);
}

TEST(NamedMutexTest, OwnershipAndLifetime) {
  const std::u16string name = UniqueName("mutex");
  HANDLE a = CreateMutexW(nullptr, TRUE, name.c_str());
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  HANDLE b = CreateMutexW(nullptr, TRUE, name.c_str());  // opened: no ownership
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  bool released_elsewhere = true;
  std::thread([&] { released_elsewhere = ReleaseMutex(a) != 0; }).join();
  EXPECT_FALSE(released_elsewhere);  // only the owner may release
  EXPECT_TRUE(ReleaseMutex(b));      // same object through another handle
  EXPECT_FALSE(ReleaseMutex(a));     // once only
  EXPECT_TRUE(CloseHandle(a));
  EXPECT_TRUE(CloseHandle(b));
  EXPECT_FALSE(CloseHandle(b));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  // The last handle closed: the name is gone.
  HANDLE c = CreateMutexW(nullptr, FALSE, name.c_str());
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  EXPECT_TRUE(CloseHandle(c));
}

}  // namespace
