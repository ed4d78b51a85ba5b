// The buffered copy engine: a reader thread fills a ring of ten 4 MiB
// buffers from the source, a writer thread empties them into a new target,
// flushing every buffer to the storage, reporting progress and honouring the
// caller's cancel flag. A copy that does not complete deletes its target.
//
// Mapping of the Windows primitives:
//   events    ManualEvent below (manual reset, initially clear); the 1 ms
//             waits on the exit event are timed condition-variable waits
//   threads   std::thread; the caller waits for the "finished" events the
//             threads set, joins the reader and a writer that completed the
//             copy, and hands the writer of a failed copy, which may still be
//             releasing the blocks of the removed target, to a list that is
//             joined later (closing a Windows thread handle does not wait for
//             the thread either)
//   handles   file descriptors (the progress callback gets -1 for the
//             source and the target's descriptor)
//   flush     fdatasync, the data of the file reaches the storage; the
//             flushed pages are then dropped from the page cache
// The slot states are std::atomic<int>: the reader stores data and length,
// then publishes the state with release; the writer loads the state with
// acquire before it touches the data, and hands the slot back with release.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "qv_commonclass/diagnostics.h"
#include "qv_commonclass/files.h"
#include "qv_platform/fileio.h"
#include "qv_platform/retry.h"
#include "qv_platform/system.h"

namespace qv_commonclass {
namespace {

constexpr const char16_t* kModule = u"ZORerer";
constexpr const char16_t* kReader = u"CQVCopyFileManage::ReadDataThread";
constexpr const char16_t* kWriter = u"CQVCopyFileManage::WriteDataThread";
constexpr const char16_t* kCopy = u"CQVCopyFileManage::CopyFile";
constexpr int kFailure = kTraceLevelFailure;
constexpr int kThread = kTraceLevelThread;

// The source is looked for 4 times 100 ms apart before a copy; each file is
// opened in up to 5 tries 20 ms apart; a partial target is unlinked in up to
// 3 tries, each failed one followed by 20 ms.
constexpr qvp::RetryRule kSourceCheck{4, 100, false};
constexpr qvp::RetryRule kOpen{5, 20, false};
constexpr qvp::RetryRule kUnlink{3, 20, true};

// TraceOpenFailure traces a failed open of `path`: code `retry_code` while
// tries remain, the next code after the last one.
void TraceOpenFailure(const char16_t* function, int retry_code, int attempt, const CString& path, DWORD err) {
  if (attempt < kOpen.tries)
    QV_TraceEx2(kModule, function, kFailure, retry_code, u"第%d次打开文件[%s]失败！正在重试！错误码：0X%X", attempt, path,
                err);
  else
    QV_TraceEx2(kModule, function, kFailure, retry_code + 1,
                u"第%d次打开文件[%s]失败！已经超过最大从试次数了！错误码：0X%X", attempt, path, err);
}

class ManualEvent {
 public:
  // Set notifies under the lock: a waiter cannot return (and destroy the
  // event) before the setter is done with it.
  void Set() {
    std::lock_guard lock(mutex_);
    set_.store(true, std::memory_order_release);
    cv_.notify_all();
  }
  bool IsSet() const noexcept { return set_.load(std::memory_order_acquire); }
  // Wait: true when the event is (or becomes) set within `ms`.
  bool Wait(std::chrono::milliseconds ms) {
    if (IsSet()) return true;
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, ms, [this] { return set_.load(std::memory_order_acquire); });
  }
  void WaitForever() {
    std::unique_lock lock(mutex_);
    cv_.wait(lock, [this] { return set_.load(std::memory_order_acquire); });
  }

 private:
  std::atomic<bool> set_{false};
  std::mutex mutex_;
  std::condition_variable cv_;
};

DWORD LastErrorFrom(int err) { return qvp::ErrnoToWin32(err); }

// Writers of failed copies that may still be closing (and so freeing) their
// removed targets after the copy has returned. They are joined as soon as a
// later copy finds them done, and at the latest when the library is
// unloaded or the process ends, so no thread of the library outlives it.
class PendingWriters {
 public:
  struct Entry {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
  };
  static PendingWriters& Instance() {
    static PendingWriters pending;
    return pending;
  }
  void Adopt(std::thread thread, std::shared_ptr<std::atomic<bool>> done) noexcept {
    std::vector<Entry> finished;
    {
      std::lock_guard lock(mutex_);
      try {
        entries_.reserve(entries_.size() + 1);
      } catch (...) {
        thread.join();  // no room to keep it: wait for it here instead
        return;
      }
      for (auto it = entries_.begin(); it != entries_.end();) {
        if (it->done->load(std::memory_order_acquire)) {
          finished.push_back(std::move(*it));
          it = entries_.erase(it);
        } else {
          ++it;
        }
      }
      entries_.push_back({std::move(thread), std::move(done)});
    }
    for (auto& e : finished) e.thread.join();
  }
  ~PendingWriters() {
    for (auto& e : entries_)
      if (e.thread.joinable()) e.thread.join();
  }

 private:
  PendingWriters() = default;
  std::mutex mutex_;
  std::vector<Entry> entries_;
};

class CQVCopyFileManage {
 public:
  CQVCopyFileManage() : buffers_(std::make_shared<Buffers>()) {
    // Plain new: the pages are touched only as the ring fills, so a small
    // copy does not cost 40 MiB of memory.
    for (int i = 0; i < kSlots; ++i) {
      buffers_->block[i].reset(new char[kBufferSize]);
      ring_[i].data = buffers_->block[i].get();
    }
  }
  CQVCopyFileManage(const CQVCopyFileManage&) = delete;
  CQVCopyFileManage& operator=(const CQVCopyFileManage&) = delete;

  int CopyFile(const char16_t* source, const char16_t* target, LPPROGRESS_ROUTINE progress, void* data,
               int* cancel, DWORD flags);

 private:
  static constexpr std::uint32_t kBufferSize = 0x400000;
  static constexpr int kSlots = 10;
  static constexpr std::uint32_t kReadPiece = 0x100000;
  enum State : int { kEmpty = 0, kFull = 1, kLast = 2 };
  // The buffers are shared with the writer: after a failed copy it may
  // outlive the engine, and then releasing the 40 MiB (a few milliseconds)
  // is its job rather than the returning caller's.
  struct Buffers {
    std::unique_ptr<char[]> block[kSlots];
  };
  struct Slot {
    char* data = nullptr;
    std::uint32_t length = 0;
    std::atomic<int> state{kEmpty};
  };

  bool Cancelled() const noexcept {
    return cancel_ && std::atomic_ref<int>(*cancel_).load(std::memory_order_acquire) != 0;
  }
  void ReadDataThread() noexcept;
  void WriteDataThread() noexcept;
  // Write: the slot's bytes in one write call (repeated only when a signal
  // interrupted it before anything was written); -1 and errno on failure.
  static ssize_t WriteSlot(int fd, const Slot& slot);

  int result_ = 0;
  int* cancel_ = nullptr;
  void* data_ = nullptr;
  std::atomic<std::int64_t> file_size_{0};
  CString source_, target_;
  std::uint32_t buffer_size_ = kBufferSize;
  LPPROGRESS_ROUTINE progress_ = nullptr;
  std::shared_ptr<Buffers> buffers_;
  // Set by the writer as the very last thing it does (it outlives the engine).
  std::shared_ptr<std::atomic<bool>> writer_done_ = std::make_shared<std::atomic<bool>>(false);
  Slot ring_[kSlots];
  ManualEvent reader_finished_, writer_finished_, exit_;
};

int CQVCopyFileManage::CopyFile(const char16_t* source, const char16_t* target, LPPROGRESS_ROUTINE progress,
                                void* data, int* cancel, DWORD flags) {
  try {
    source_ = source ? source : u"";
    target_ = target ? target : u"";
    progress_ = progress;
    data_ = data;
    cancel_ = cancel;
    const qvp::FileOps& ops = qvp::Ops();
    const std::string src = source_.ToUtf8(), dst = target_.ToUtf8();
    struct stat st {};
    if (!qvp::Retry(kSourceCheck, [&](int) { return !src.empty() && ops.stat(src.c_str(), &st) == 0; })) {
      QV_TraceEx2(kModule, kCopy, kFailure, 110140027, u"由于文件[%s]无法访问，所以复制失败！", source_);
      return 0;
    }
    if ((flags & 1u) && ops.lstat(dst.c_str(), &st) == 0) {
      QV_TraceEx2(kModule, kCopy, kFailure, 110140028, u"由于目标文件[%s]已经存在，所以复制失败！", target_);
      return 0;
    }
    std::thread reader(&CQVCopyFileManage::ReadDataThread, this);
    std::thread writer;
    try {
      writer = std::thread(&CQVCopyFileManage::WriteDataThread, this);
    } catch (...) {
      // Without a writer the copy cannot complete: stop the reader and fail.
      exit_.Set();
      reader.join();
      throw;
    }
    reader_finished_.WaitForever();
    writer_finished_.WaitForever();
    reader.join();
    // As with the Windows thread handles, the caller waits for the finished
    // events, not for the threads' ends: after a failed copy the writer may
    // still be releasing the blocks of the removed target, and is joined
    // later.
    const int result = result_;
    if (result == 1) writer.join();
    else PendingWriters::Instance().Adopt(std::move(writer), writer_done_);
    return result;
  } catch (...) {
    QV_TraceEx2(kModule, kCopy, kFailure, 110140026, u"发生未知异常");
    return 0;
  }
}

void CQVCopyFileManage::ReadDataThread() noexcept {
  const qvp::FileOps& ops = qvp::Ops();
  int fd = -1;
  try {
    QV_TraceEx2(kModule, kReader, kThread, 110140001, u"进入复制函数的读取线程，文件名[%s]", source_);
    const std::string src = source_.ToUtf8();
    const bool opened = qvp::Retry(kOpen, [&](int attempt) {
      // Opened without blocking, then switched back: a source that is a
      // pipe nobody writes to would otherwise hold the reader in the open,
      // where neither the exit event nor the cancel flag can reach it, and
      // the copy would never return.
      fd = ops.open(src.c_str(), O_RDONLY | O_NONBLOCK, 0);
      // A folder opens on Linux but is refused as a file on Windows.
      if (struct stat st {}; fd >= 0 && ops.fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ops.close(fd);
        fd = -1;
        errno = EACCES;
      }
      if (fd >= 0) {
        if (const int fl = ::fcntl(fd, F_GETFL); fl != -1) ::fcntl(fd, F_SETFL, fl & ~O_NONBLOCK);
        return true;
      }
      TraceOpenFailure(kReader, 110140002, attempt, source_, LastErrorFrom(errno));
      return false;
    });
    if (!opened) exit_.Set();
    if (fd >= 0) {
      struct stat st {};
      if (ops.fstat(fd, &st) == 0) file_size_.store(st.st_size, std::memory_order_relaxed);
      ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
      for (int i = 0;; i = (i + 1) % kSlots) {
        Slot& slot = ring_[i];
        while (slot.state.load(std::memory_order_acquire) != kEmpty) {
          if (exit_.Wait(std::chrono::milliseconds(1))) {
            QV_TraceEx2(kModule, kReader, kFailure, 110140004, u"复制文件[%s]过程中收到退出事件！", source_);
            break;
          }
        }
        if (slot.state.load(std::memory_order_acquire) != kEmpty) {
          QV_TraceEx2(kModule, kReader, kFailure, 110140005, u"复制文件[%s]过程中没取到空Buffer，应该是收到了退出事件！",
                      source_);
          break;
        }
        // One more look at the exit event before the next read; a look, not
        // a 1 ms wait, which would only slow every buffer down.
        if (exit_.IsSet()) {
          QV_TraceEx2(kModule, kReader, kFailure, 110140006, u"复制文件[%s]过程中收到退出事件！", source_);
          break;
        }
        // Read up to a full buffer, in pieces of 1 MiB with a look at the
        // exit event between them, so that a stop is not held up by a slow
        // source for a whole buffer. The system may also hand a regular file
        // over in shorter pieces (network and fuse file systems do); only
        // the end of the file makes a short buffer, which ends the copy.
        slot.length = 0;
        std::uint32_t got = 0;
        int read_error = 0;
        bool stopped = false;
        while (got < buffer_size_) {
          if (got > 0 && exit_.IsSet()) {
            QV_TraceEx2(kModule, kReader, kFailure, 110140006, u"复制文件[%s]过程中收到退出事件！", source_);
            stopped = true;
            break;
          }
          const std::uint32_t piece = std::min<std::uint32_t>(kReadPiece, buffer_size_ - got);
          const ssize_t n = ops.read(fd, slot.data + got, piece);
          if (n < 0 && errno == EINTR) continue;
          if (n < 0) read_error = errno;
          if (n <= 0) break;
          got += static_cast<std::uint32_t>(n);
        }
        if (stopped) break;
        if (read_error) {
          QV_TraceEx2(kModule, kReader, kFailure, 110140007, u"读取文件[%s]的数据失败！错误码：0X%X", source_,
                      LastErrorFrom(read_error));
          break;
        }
        slot.length = got;
        if (got < buffer_size_) {
          slot.state.store(kLast, std::memory_order_release);
          ops.close(fd);
          fd = -1;
          break;
        }
        slot.state.store(kFull, std::memory_order_release);
      }
    }
  } catch (...) {
    QV_TraceEx2(kModule, kReader, kFailure, 110140025, u"发生未知异常");
  }
  if (fd >= 0) {
    ops.close(fd);
    exit_.Set();
  }
  reader_finished_.Set();
  try {
    QV_TraceEx2(kModule, kReader, kThread, 110140008, u"退出复制函数的读取线程，文件名[%s]", source_);
  } catch (...) {
  }
}

ssize_t CQVCopyFileManage::WriteSlot(int fd, const Slot& slot) {
  for (;;) {
    const ssize_t n = qvp::Ops().write(fd, slot.data, slot.length);
    if (n < 0 && errno == EINTR) continue;
    return n;
  }
}

void CQVCopyFileManage::WriteDataThread() noexcept {
  const qvp::FileOps& ops = qvp::Ops();
  const std::string dst = target_.ToUtf8();
  int fd = -1;
  bool complete = false;
  try {
    QV_TraceEx2(kModule, kWriter, kThread, 110140009, u"进入复制函数的写入线程，文件名[%s]", target_);
    const bool opened = qvp::Retry(kOpen, [&](int attempt) {
      if (Cancelled()) {
        QV_TraceEx2(kModule, kWriter, kFailure, 110140010, u"打开文件[%s]前取消标志为TRUE！", target_);
        return qvp::TryResult::kStop;
      }
      // A new file only: an existing target is never opened, let alone
      // truncated.
      fd = ops.open(dst.c_str(), O_RDWR | O_CREAT | O_EXCL, 0666);
      if (fd >= 0) return qvp::TryResult::kDone;
      // Creating a new file over an existing name is "file exists" on
      // Windows, not the "already exists" that EEXIST maps to for folders;
      // and as the open creates the file, ENOENT can only mean a missing
      // folder ("path not found").
      const DWORD err = errno == EEXIST   ? ERROR_FILE_EXISTS
                        : errno == ENOENT ? ERROR_PATH_NOT_FOUND
                                          : LastErrorFrom(errno);
      TraceOpenFailure(kWriter, 110140011, attempt, target_, err);
      return qvp::TryResult::kAgain;
    });
    if (!opened) exit_.Set();
    if (fd >= 0) {
      std::int64_t total = 0, transferred = 0;
      DWORD stream = 0;
      bool quiet = false;
      bool stop = false;
      for (int i = 0; !complete && !stop; i = (i + 1) % kSlots) {
        Slot& slot = ring_[i];
        while (slot.state.load(std::memory_order_acquire) == kEmpty) {
          if (exit_.Wait(std::chrono::milliseconds(1))) {
            QV_TraceEx2(kModule, kWriter, kFailure, 110140013, u"复制文件[%s]过程中收到退出事件！", target_);
            break;
          }
          if (Cancelled()) {
            QV_TraceEx2(kModule, kWriter, kFailure, 110140014, u"复制文件[%s]过程中取消标志为TRUE！", target_);
            break;
          }
        }
        const int state = slot.state.load(std::memory_order_acquire);
        if (state == kEmpty) {
          QV_TraceEx2(kModule, kWriter, kFailure, 110140015,
                      u"复制文件[%s]过程中没取到非空Buffer，应该是收到了退出事件！", target_);
          stop = true;
          break;
        }
        if (total == 0) total = file_size_.load(std::memory_order_relaxed);
        if (exit_.IsSet()) {
          QV_TraceEx2(kModule, kWriter, kFailure, 110140016, u"复制文件[%s]过程中收到退出事件！", target_);
          stop = true;
          break;
        }
        if (Cancelled()) {
          QV_TraceEx2(kModule, kWriter, kFailure, 110140017, u"复制文件[%s]过程中取消标志为TRUE！", target_);
          stop = true;
          break;
        }
        // The cancel flag is looked at before a buffer is written, never
        // between its write and flush: a buffer once written is flushed and
        // reported, and a cancel that comes during the last one's write
        // leaves a complete copy.
        ssize_t written = WriteSlot(fd, slot);
        // A failed flush loses data as surely as a failed write.
        if (written >= 0 && ops.fsync(fd) != 0) written = -1;
        if (written < 0) {
          QV_TraceEx2(kModule, kWriter, kFailure, 110140018, u"写入文件[%s]的数据失败！错误码：0X%X", target_,
                      LastErrorFrom(errno));
          stop = true;
          break;
        }
        if (static_cast<std::uint32_t>(written) < slot.length) {
          QV_TraceEx2(kModule, kWriter, kFailure, 110140019,
                      u"写入文件[%s]的数据长度不正确！正确大小：0X%X，实际写入：0X%X", target_, slot.length,
                      static_cast<std::uint32_t>(written));
          stop = true;
          break;
        }
        // The flushed data is not read back by the copy: dropping its clean
        // pages keeps a large copy from flooding the page cache, and the
        // next buffer's write reuses the pages just released instead of
        // taking fresh ones, which is markedly faster.
        ::posix_fadvise(fd, transferred, written, POSIX_FADV_DONTNEED);
        transferred += written;
        ++stream;
        if (state == kLast) {
          if (progress_ && !quiet)
            progress_(total, transferred, total, transferred, stream, CALLBACK_CHUNK_FINISHED, -1, fd, data_);
          ops.close(fd);
          fd = -1;
          complete = true;
          break;
        }
        if (progress_ && !quiet) {
          const DWORD answer =
              progress_(total, transferred, total, transferred, stream, CALLBACK_CHUNK_FINISHED, -1, fd, data_);
          if (answer == PROGRESS_CANCEL) {
            QV_TraceEx2(kModule, kWriter, kFailure, 110140020, u"写入文件[%s]时回调用户函数时收到取消返回值！", target_);
            stop = true;
            break;
          }
          if (answer == PROGRESS_STOP) {
            QV_TraceEx2(kModule, kWriter, kFailure, 110140021,
                        u"写入文件[%s]时回调用户函数时收到停止返回值，目前当取消处理！", target_);
            stop = true;
            break;
          }
          if (answer == PROGRESS_QUIET) {
            QV_TraceEx2(kModule, kWriter, kFailure, 110140022, u"写入文件[%s]时回调用户函数时收到停止返回进度回调值！",
                        target_);
            quiet = true;
          }
        }
        slot.state.store(kEmpty, std::memory_order_release);
      }
      if (stop) exit_.Set();
    }
  } catch (...) {
    try {
      QV_TraceEx2(kModule, kWriter, kFailure, 110140026, u"发生未知异常");
    } catch (...) {
    }
    exit_.Set();
  }
  int doomed = -1;
  if (fd >= 0) {
    try {
      QV_TraceEx2(kModule, kWriter, kFailure, 110140023, u"由于异常中止文件[%s]写入函数，现在删除这个文件！", target_);
    } catch (...) {
    }
    // The name goes first, while the file is still open: that is quick, and
    // the partial target is gone before the copy returns. The blocks are
    // freed by the close below, which is the slow part of removing a large
    // file and runs after the caller has been released. A failed removal is
    // tried again a few times.
    qvp::Retry(kUnlink, [&](int) { return ops.unlink(dst.c_str()) == 0 || errno == ENOENT; });
    doomed = fd;
  }
  if (complete) result_ = 1;
  try {
    QV_TraceEx2(kModule, kWriter, kThread, 110140024, u"退出复制函数的写入线程，文件名[%s]", target_);
  } catch (...) {
  }
  // Once the finished event is set the engine may be destroyed and, after a
  // failed copy, the caller may even have left the process: the rest of the
  // thread touches nothing but the descriptor of the removed target.
  const auto close_file = ops.close;
  const auto done = writer_done_;
  std::shared_ptr<Buffers> buffers = buffers_;
  writer_finished_.Set();
  if (doomed >= 0) close_file(doomed);
  buffers.reset();
  done->store(true, std::memory_order_release);
}

}  // namespace

int QVCopyFileEx(const char16_t* source, const char16_t* target, LPPROGRESS_ROUTINE progress, void* data,
                 int* cancel, DWORD flags) {
  // The allocation happens outside any handler: std::bad_alloc reaches the
  // caller before a thread starts.
  auto engine = std::make_unique<CQVCopyFileManage>();
  return engine->CopyFile(source, target, progress, data, cancel, flags);
}

}  // namespace qv_commonclass
