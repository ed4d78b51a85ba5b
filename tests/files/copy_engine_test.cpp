#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <random>
#include <thread>
#include <tuple>

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

bool Traced(const qvtest::LoggerCapture& capture, int code) { return qvtest::HasRecord(capture, u"ZORerer", code); }

// A copy that returns 0 must leave no target behind; one that returns 1
// leaves `size` bytes. The target is then removed for the next round.
void ExpectOutcome(int result, int expected, const fs::path& target, std::uintmax_t size = 0,
                   const std::string& what = "") {
  EXPECT_EQ(result, expected) << what;
  if (result == 1) {
    EXPECT_EQ(fs::file_size(target), size) << what;
  } else {
    EXPECT_FALSE(fs::exists(target)) << what;
  }
  fs::remove(target);
}

}  // namespace

// An empty source gives one callback; exactly two 4 MiB buffers give three.
TEST(CopyEngine, EmptySourceAndExactlyTwoBuffers) {
  const fs::path dir = qvtest::ScratchFolder();
  qvtest::WriteFile(dir / "empty", "");
  Recorder empty;
  ASSERT_EQ(Copy(dir / "empty", dir / "out", &empty), 1);
  EXPECT_EQ(fs::file_size(dir / "out"), 0u);
  ASSERT_EQ(empty.calls.size(), 1u);
  EXPECT_EQ(std::tie(empty.calls[0].total, empty.calls[0].stream), std::make_tuple(LONGLONG{0}, DWORD{1}));

  qvtest::WriteSized(dir / "src", 8 * kMiB);
  Recorder rec;
  int cancel = 0;
  qvtest::LoggerCapture capture;
  ASSERT_EQ(Copy(dir / "src", dir / "dst", &rec, &cancel), 1);
  EXPECT_EQ(qvtest::ReadFile(dir / "dst"), qvtest::ReadFile(dir / "src"));
  ASSERT_EQ(rec.calls.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    const Call& c = rec.calls[i];
    const LONGLONG size = 8 * kMiB, done = i == 0 ? size / 2 : size;  // the last call repeats the total
    EXPECT_EQ(std::tie(c.stream, c.total, c.stream_size, c.transferred, c.stream_transferred, c.reason),
              std::make_tuple(DWORD(i + 1), size, size, done, done, CALLBACK_CHUNK_FINISHED));
    EXPECT_TRUE(c.source == -1 && c.target >= 0 && c.data == &rec) << i;
  }
  for (int code : {110140001, 110140008, 110140009, 110140024}) EXPECT_TRUE(Traced(capture, code)) << code;
}

// A 9 MiB copy calls back at 4, 8 and 9 MiB; the second call answers or
// raises the cancel flag.
TEST(CopyEngine, CallbackAnswersAndCancelFlag) {
  enum Flag { kClear, kSetBefore, kSetAtSecondCall, kSetDuringLastWrite };
  const struct Case {
    DWORD answer;
    Flag flag;
    std::size_t calls;
    int result;
    int codes[2];  // traced (0: none expected)
  } cases[] = {
      {PROGRESS_QUIET, kClear, 2, 1, {}},
      {PROGRESS_CANCEL, kClear, 2, 0, {110140020, 110140023}},
      {PROGRESS_STOP, kClear, 2, 0, {110140021, 110140023}},
      {PROGRESS_CONTINUE, kSetBefore, 0, 0, {110140010}},
      {PROGRESS_CONTINUE, kSetAtSecondCall, 2, 0, {}},
      // A buffer being written is flushed and reported: the copy completes.
      {PROGRESS_CONTINUE, kSetDuringLastWrite, 3, 1, {}},
  };
  const fs::path dir = qvtest::ScratchFolder();
  qvtest::WriteSized(dir / "src", 9 * kMiB);
  for (const Case& c : cases) {
    const std::string what = std::to_string(c.answer) + "/" + std::to_string(c.flag);
    qvtest::LoggerCapture capture;
    Recorder rec;
    rec.answers = {PROGRESS_CONTINUE, c.answer};
    int cancel = c.flag == kSetBefore;
    if (c.flag == kSetAtSecondCall) rec.cancel_on_call = &cancel;
    FileFaults faults;
    if (c.flag == kSetDuringLastWrite)
      FileFaults::on_write = [&](size_t n) {
        if (n < 4 * kMiB) std::atomic_ref<int>(cancel).store(1);
      };
    ExpectOutcome(Copy(dir / "src", dir / "dst", &rec, &cancel), c.result, dir / "dst", 9 * kMiB, what);
    EXPECT_EQ(rec.calls.size(), c.calls) << what;
    for (int code : c.codes) EXPECT_TRUE(code == 0 || Traced(capture, code)) << what << " " << code;
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
    EXPECT_TRUE(result == 0 || qvtest::ReadFile(dir / "dst") == source) << round;
    ExpectOutcome(result, result, dir / "dst", source.size(), std::to_string(round));
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
    EXPECT_TRUE(Traced(capture, 110140028));
    EXPECT_FALSE(Traced(capture, 110140001)) << "no thread started";
  }
  {
    qvtest::LoggerCapture capture;
    EXPECT_EQ(Copy(dir / "src", dir / "dst"), 0);
    EXPECT_EQ(FileFaults::Slept(), 80u) << "four pauses between five attempts";
    EXPECT_TRUE(Traced(capture, 110140011));
    const auto records = qvtest::RecordsOf(capture, u"ZORerer");
    const auto last = std::find_if(records.begin(), records.end(), [](auto& r) { return r.code == 110140012; });
    ASSERT_NE(last, records.end());
    EXPECT_TRUE(last->text.ends_with(u"错误码：0X50")) << CString(last->text.c_str());
  }
  {
    qvtest::LoggerCapture capture;  // a target in a missing folder: "path not found"
    EXPECT_EQ(Copy(dir / "src", dir / "missing" / "dst"), 0);
    const auto records = qvtest::RecordsOf(capture, u"ZORerer");
    EXPECT_TRUE(std::any_of(records.begin(), records.end(),
                            [](auto& r) { return r.code == 110140012 && r.text.ends_with(u"错误码：0X3"); }));
  }
  EXPECT_EQ(qvtest::ReadFile(dir / "dst"), "precious");

  // The plain copy: bit 0 refuses an existing target, else it is replaced; never onto itself.
  EXPECT_EQ(QVCopyFileEx(W(dir / "src"), W(dir / "dst"), 1), 0);
  EXPECT_EQ(qvtest::ReadFile(dir / "dst"), "precious");
  EXPECT_NE(QVCopyFileEx(W(dir / "src"), W(dir / "dst"), 0), 0);
  EXPECT_EQ(fs::file_size(dir / "dst"), kMiB);
  EXPECT_EQ(QVCopyFileEx(W(dir / "src"), W(dir / "src"), 0), 0);
  EXPECT_EQ(fs::file_size(dir / "src"), kMiB);
}

TEST(CopyEngine, MissingSourceIsCheckedFourTimes) {
  const fs::path dir = qvtest::ScratchFolder();
  FileFaults faults;
  qvtest::LoggerCapture capture;
  ExpectOutcome(Copy(dir / "missing", dir / "dst"), 0, dir / "dst");
  EXPECT_EQ(FileFaults::Slept(), 300u);
  EXPECT_TRUE(Traced(capture, 110140027));
  EXPECT_EQ(QVCopyFileEx(nullptr, nullptr, nullptr, nullptr, nullptr, 0), 0);
  ExpectOutcome(QVCopyFileEx(u"C:\\media\\x.mxf", W(dir / "dst"), nullptr, nullptr, nullptr, 0), 0, dir / "dst");
  // A pipe that nobody writes to is read as empty instead of holding the copy forever.
  ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
  ExpectOutcome(Copy(dir / "pipe", dir / "dst"), 1, dir / "dst", 0);
  // A folder exists but cannot be opened as a file.
  ExpectOutcome(Copy(dir, dir / "dst"), 0, dir / "dst");
  EXPECT_TRUE(Traced(capture, 110140003));
}

// Faults injected at the Nth call of a file service. Failures part-way give 0
// and leave no target; faults that clear within the retries are only retried.
TEST(CopyEngine, InjectedFaults) {
  struct Fault {
    FileCall call;
    int first, last, err;
  };
  const struct Case {
    const char* what;
    std::vector<Fault> faults;
    bool short_write;
    int result, code;
  } cases[] = {
      {"source cannot be opened", {{FileCall::kOpen, 1, 5, EACCES}}, false, 0, 110140003},
      {"second read fails", {{FileCall::kRead, 2, 2, EIO}}, false, 0, 110140007},
      {"first write fails", {{FileCall::kWrite, 1, 1, ENOSPC}}, false, 0, 110140018},
      {"second flush fails", {{FileCall::kFsync, 2, 2, EIO}}, false, 0, 110140018},
      {"short write", {}, true, 0, 110140019},
      {"first removal of the partial target fails",
       {{FileCall::kWrite, 2, 2, EIO}, {FileCall::kUnlink, 1, 1, EBUSY}}, false, 0, 0},
      // Counted over the reader's and the writer's opens, which run in parallel.
      {"opens fail three times", {{FileCall::kOpen, 1, 3, EBUSY}}, false, 1, 0},
  };
  const fs::path dir = qvtest::ScratchFolder();
  qvtest::WriteSized(dir / "src", 9 * kMiB);
  for (const Case& c : cases) {
    FileFaults faults;
    for (const Fault& f : c.faults) faults.Fail(f.call, f.first, f.last, f.err);
    FileFaults::sources_only = c.result == 0;  // a failing open is the source's
    FileFaults::short_write = c.short_write;
    qvtest::LoggerCapture capture;
    ExpectOutcome(Copy(dir / "src", dir / "dst"), c.result, dir / "dst", 9 * kMiB, c.what);
    EXPECT_TRUE(c.code == 0 || Traced(capture, c.code)) << c.what;
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
    // Either nothing, or what the reader saw copied whole: up to the new
    // end, or all of a removed file (still open for reading).
    ExpectOutcome(result, result, dir / "dst", vanish ? 10 * kMiB : 5 * kMiB);
  }
}

TEST(CopyEngine, FullTargetFileSystemLeavesNoTarget) {
  const fs::path dir = qvtest::ScratchFolder();
  qvtest::SmallTmpfs small(dir / "small", "1m");
  if (!small.Mounted()) GTEST_SKIP() << "needs root to mount a tmpfs";
  qvtest::WriteSized(dir / "src", 3 * kMiB);
  ExpectOutcome(Copy(dir / "src", small.Path() / "dst"), 0, small.Path() / "dst");
}
