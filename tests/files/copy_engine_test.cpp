#include <unistd.h>

#include <atomic>
#include <random>
#include <thread>

#include <gtest/gtest.h>

#include "files/file_faults.h"
#include "files/file_test_util.h"
#include "qv_commonclass/files.h"
#include "support/logger_capture.h"

using namespace qv_commonclass;
using qvtest::FileCall;
using qvtest::FileFaults;
using qvtest::W;
namespace fs = std::filesystem;

namespace {

constexpr std::size_t kMiB = 1 << 20;

struct Call {
  LONGLONG total, transferred, stream_size, stream_transferred;
  DWORD stream, reason;
  int source, target;
  void* data;
};

// Records every callback; answers from `answers` (then PROGRESS_CONTINUE).
// Runs on the writer thread; read only after the copy returned.
struct Recorder {
  std::vector<Call> calls;
  std::vector<DWORD> answers;
  int* cancel_on_call = nullptr;  // set to 1 at the second call
  static DWORD Callback(LONGLONG total, LONGLONG transferred, LONGLONG stream_size, LONGLONG stream_transferred,
                        DWORD stream, DWORD reason, int source, int target, void* data) {
    auto* self = static_cast<Recorder*>(data);
    self->calls.push_back({total, transferred, stream_size, stream_transferred, stream, reason, source, target, data});
    if (self->cancel_on_call && self->calls.size() == 2) std::atomic_ref<int>(*self->cancel_on_call).store(1);
    const std::size_t i = self->calls.size() - 1;
    return i < self->answers.size() ? self->answers[i] : PROGRESS_CONTINUE;
  }
};

int Copy(const fs::path& from, const fs::path& to, Recorder* recorder = nullptr, int* cancel = nullptr,
         DWORD flags = 0) {
  return QVCopyFileEx(W(from), W(to), recorder ? &Recorder::Callback : nullptr, recorder, cancel, flags);
}

bool HasCode(const qvtest::LoggerCapture& capture, int code) {
  for (auto& r : capture.Records())
    if (r.code == code && r.module == u"ZORerer") return true;
  return false;
}

}  // namespace

TEST(CopyEngine, EmptySourceMakesAnEmptyTargetWithOneCallback) {
  const fs::path dir = qvtest::ScratchFolder();
  qvtest::WriteFile(dir / "empty", "");
  Recorder rec;
  ASSERT_EQ(Copy(dir / "empty", dir / "out", &rec), 1);
  EXPECT_EQ(fs::file_size(dir / "out"), 0u);
  ASSERT_EQ(rec.calls.size(), 1u);
  EXPECT_EQ(rec.calls[0].total, 0);
  EXPECT_EQ(rec.calls[0].stream, 1u);
}

TEST(CopyEngine, ExactlyTwoBuffersGiveThreeCallbacksInOrder) {
  const fs::path dir = qvtest::ScratchFolder();
  qvtest::WriteSized(dir / "src", 8 * kMiB);
  Recorder rec;
  int cancel = 0;
  qvtest::LoggerCapture capture;
  ASSERT_EQ(Copy(dir / "src", dir / "dst", &rec, &cancel), 1);
  EXPECT_EQ(qvtest::ReadFile(dir / "dst"), qvtest::ReadFile(dir / "src"));
  ASSERT_EQ(rec.calls.size(), 3u);
  const LONGLONG done[] = {4 * kMiB, 8 * kMiB, 8 * kMiB};
  for (std::size_t i = 0; i < 3; ++i) {
    const Call& c = rec.calls[i];
    EXPECT_EQ(c.stream, i + 1);
    EXPECT_EQ(c.total, static_cast<LONGLONG>(8 * kMiB));
    EXPECT_EQ(c.stream_size, c.total);
    EXPECT_EQ(c.transferred, done[i]);
    EXPECT_EQ(c.stream_transferred, done[i]);
    EXPECT_EQ(c.reason, CALLBACK_CHUNK_FINISHED);
    EXPECT_EQ(c.source, -1);
    EXPECT_GE(c.target, 0);
    EXPECT_EQ(c.data, &rec);
  }
  for (int code : {110140001, 110140008, 110140009, 110140024}) EXPECT_TRUE(HasCode(capture, code)) << code;
}

TEST(CopyEngine, QuietAnswerStopsTheCallbacksButNotTheCopy) {
  const fs::path dir = qvtest::ScratchFolder();
  qvtest::WriteSized(dir / "src", 9 * kMiB);
  Recorder rec;
  rec.answers = {PROGRESS_QUIET};
  ASSERT_EQ(Copy(dir / "src", dir / "dst", &rec), 1);
  EXPECT_EQ(rec.calls.size(), 1u);
  EXPECT_EQ(fs::file_size(dir / "dst"), 9 * kMiB);
}

TEST(CopyEngine, CancelAndStopAnswersLeaveNoTarget) {
  const fs::path dir = qvtest::ScratchFolder();
  qvtest::WriteSized(dir / "src", 9 * kMiB);
  for (DWORD answer : {PROGRESS_CANCEL, PROGRESS_STOP}) {
    qvtest::LoggerCapture capture;
    Recorder rec;
    rec.answers = {PROGRESS_CONTINUE, answer};
    EXPECT_EQ(Copy(dir / "src", dir / "dst", &rec), 0) << answer;
    EXPECT_FALSE(fs::exists(dir / "dst")) << answer;
    EXPECT_EQ(rec.calls.size(), 2u);
    EXPECT_TRUE(HasCode(capture, answer == PROGRESS_CANCEL ? 110140020 : 110140021));
    EXPECT_TRUE(HasCode(capture, 110140023));
  }
}

TEST(CopyEngine, CancelFlagBeforeAndDuringTheCopy) {
  const fs::path dir = qvtest::ScratchFolder();
  qvtest::WriteSized(dir / "src", 13 * kMiB);
  {
    int cancel = 1;
    Recorder rec;
    qvtest::LoggerCapture capture;
    EXPECT_EQ(Copy(dir / "src", dir / "dst", &rec, &cancel), 0);
    EXPECT_FALSE(fs::exists(dir / "dst"));
    EXPECT_TRUE(rec.calls.empty());
    EXPECT_TRUE(HasCode(capture, 110140010));
  }
  {
    int cancel = 0;
    Recorder rec;
    rec.cancel_on_call = &cancel;
    EXPECT_EQ(Copy(dir / "src", dir / "dst", &rec, &cancel), 0);
    EXPECT_FALSE(fs::exists(dir / "dst"));
    EXPECT_EQ(rec.calls.size(), 2u);
  }
}

TEST(CopyEngine, CancelAtARandomMomentLeavesAWholeCopyOrNothing) {
  const fs::path dir = qvtest::ScratchFolder();
  qvtest::WriteSized(dir / "src", 6 * kMiB);
  const std::string source = qvtest::ReadFile(dir / "src");
  std::mt19937 random(12345);
  for (int round = 0; round < 8; ++round) {
    int cancel = 0;
    const auto delay = std::chrono::microseconds(random() % 30000);
    std::thread canceller([&] {
      std::this_thread::sleep_for(delay);
      std::atomic_ref<int>(cancel).store(1);
    });
    const int result = Copy(dir / "src", dir / "dst", nullptr, &cancel);
    canceller.join();
    if (result == 1) {
      EXPECT_EQ(qvtest::ReadFile(dir / "dst"), source) << round;
      fs::remove(dir / "dst");
    } else {
      EXPECT_FALSE(fs::exists(dir / "dst")) << round;
    }
  }
}

TEST(CopyEngine, ExistingTargetIsNeverTouched) {
  const fs::path dir = qvtest::ScratchFolder();
  qvtest::WriteSized(dir / "src", kMiB);
  qvtest::WriteFile(dir / "dst", "precious");
  FileFaults faults;
  {
    qvtest::LoggerCapture capture;
    EXPECT_EQ(Copy(dir / "src", dir / "dst", nullptr, nullptr, 1), 0);
    EXPECT_EQ(FileFaults::Slept(), 0u) << "refused at once";
    EXPECT_TRUE(HasCode(capture, 110140028));
    EXPECT_FALSE(HasCode(capture, 110140001)) << "no thread started";
  }
  {
    qvtest::LoggerCapture capture;
    EXPECT_EQ(Copy(dir / "src", dir / "dst"), 0);
    EXPECT_EQ(FileFaults::Slept(), 80u) << "four pauses between five attempts";
    EXPECT_TRUE(HasCode(capture, 110140011));
    EXPECT_TRUE(HasCode(capture, 110140012));
  }
  EXPECT_EQ(qvtest::ReadFile(dir / "dst"), "precious");
}

TEST(CopyEngine, MissingSourceIsCheckedFourTimes) {
  const fs::path dir = qvtest::ScratchFolder();
  FileFaults faults;
  qvtest::LoggerCapture capture;
  EXPECT_EQ(Copy(dir / "missing", dir / "dst"), 0);
  EXPECT_EQ(FileFaults::Slept(), 300u);
  EXPECT_TRUE(HasCode(capture, 110140027));
  EXPECT_FALSE(fs::exists(dir / "dst"));
  EXPECT_EQ(QVCopyFileEx(nullptr, nullptr, nullptr, nullptr, nullptr, 0), 0);
  EXPECT_EQ(QVCopyFileEx(u"C:\\media\\x.mxf", W(dir / "dst"), nullptr, nullptr, nullptr, 0), 0);
}

// Every way a copy can fail part-way: the result is 0 and no target is left.
TEST(CopyEngine, FailuresPartWayLeaveNoTarget) {
  struct Case {
    const char* what;
    FileCall call;
    int first, last, err;
    int code;
  } cases[] = {
      {"source cannot be opened", FileCall::kOpen, 1, 5, EACCES, 110140003},
      {"second read fails", FileCall::kRead, 2, 2, EIO, 110140007},
      {"first write fails", FileCall::kWrite, 1, 1, ENOSPC, 110140018},
      {"second flush fails", FileCall::kFsync, 2, 2, EIO, 110140018},
  };
  const fs::path dir = qvtest::ScratchFolder();
  qvtest::WriteSized(dir / "src", 9 * kMiB);
  for (const Case& c : cases) {
    FileFaults faults;
    FileFaults::sources_only = true;
    faults.Fail(c.call, c.first, c.last, c.err);
    qvtest::LoggerCapture capture;
    EXPECT_EQ(Copy(dir / "src", dir / "dst"), 0) << c.what;
    EXPECT_FALSE(fs::exists(dir / "dst")) << c.what;
    EXPECT_TRUE(HasCode(capture, c.code)) << c.what;
  }
  {
    FileFaults faults;
    FileFaults::short_write = true;
    qvtest::LoggerCapture capture;
    EXPECT_EQ(Copy(dir / "src", dir / "dst"), 0);
    EXPECT_FALSE(fs::exists(dir / "dst"));
    EXPECT_TRUE(HasCode(capture, 110140019));
  }
  {
    // The first removal of the partial target fails: it is tried again.
    FileFaults faults;
    faults.Fail(FileCall::kWrite, 2, 2, EIO);
    faults.Fail(FileCall::kUnlink, 1, 1, EBUSY);
    EXPECT_EQ(Copy(dir / "src", dir / "dst"), 0);
    EXPECT_FALSE(fs::exists(dir / "dst"));
  }
  {
    // Opens that fail a few times and then succeed are only retried. The
    // reader and the writer open in parallel, so allow for both.
    FileFaults faults;
    faults.Fail(FileCall::kOpen, 1, 3, EBUSY);
    EXPECT_EQ(Copy(dir / "src", dir / "dst"), 1);
    EXPECT_EQ(fs::file_size(dir / "dst"), 9 * kMiB);
  }
}

TEST(CopyEngine, SourceThatShrinksOrVanishesWhileRead) {
  const fs::path dir = qvtest::ScratchFolder();
  for (bool vanish : {false, true}) {
    qvtest::WriteSized(dir / "src", 10 * kMiB);
    FileFaults faults;
    std::atomic<int> reads{0};
    const std::string src = (dir / "src").string();
    FileFaults::on_read = [&](int) {
      if (++reads != 2) return;
      if (vanish) ::unlink(src.c_str());
      else ASSERT_EQ(::truncate(src.c_str(), 5 * kMiB), 0);
    };
    const int result = Copy(dir / "src", dir / "dst");
    FileFaults::on_read = nullptr;
    if (result == 0) {
      EXPECT_FALSE(fs::exists(dir / "dst"));
    } else {
      // What the reader saw is copied whole: up to the new end, or all of
      // a removed file (still open for reading).
      EXPECT_EQ(fs::file_size(dir / "dst"), vanish ? 10 * kMiB : 5 * kMiB);
    }
    fs::remove(dir / "dst");
  }
}

TEST(CopyEngine, FullTargetFileSystemLeavesNoTarget) {
  const fs::path dir = qvtest::ScratchFolder();
  qvtest::SmallTmpfs small(dir / "small", "1m");
  if (!small.Mounted()) GTEST_SKIP() << "needs root to mount a tmpfs";
  qvtest::WriteSized(dir / "src", 3 * kMiB);
  EXPECT_EQ(Copy(dir / "src", small.Path() / "dst"), 0);
  EXPECT_FALSE(fs::exists(small.Path() / "dst"));
}

TEST(CopyEngine, PlainCopyHonoursFailIfExists) {
  const fs::path dir = qvtest::ScratchFolder();
  qvtest::WriteFile(dir / "a", "new");
  qvtest::WriteFile(dir / "b", "old");
  EXPECT_EQ(QVCopyFileEx(W(dir / "a"), W(dir / "b"), 1), 0);
  EXPECT_EQ(qvtest::ReadFile(dir / "b"), "old");
  EXPECT_NE(QVCopyFileEx(W(dir / "a"), W(dir / "b"), 0), 0);
  EXPECT_EQ(qvtest::ReadFile(dir / "b"), "new");
  EXPECT_EQ(QVCopyFileEx(W(dir / "a"), W(dir / "a"), 0), 0) << "never onto itself";
  EXPECT_EQ(qvtest::ReadFile(dir / "a"), "new");
}
