// SQLite's file I/O through the platform's file seam (qvp::Ops()), so that
// tests can fail the database's Nth read, write or sync like any other file
// call.
//
// Two parts. SQLite's unix layer lets its system calls be replaced: open,
// close, read and write (plain and at an offset), stat, truncate, unlink,
// access, mkdir and rmdir are pointed at the seam. Locking stays the unix
// layer's own (fcntl locks and its per-inode bookkeeping), so two
// connections to one file in one process or in two processes exclude each
// other exactly as before. Syncing is not among the replaceable calls, so a
// VFS of our own ("qv-seam") wraps the unix one and flushes through the seam
// before the unix layer's own sync (then cheap: nothing is left to flush;
// it still syncs the folder of a new journal).
//
// The replaced calls serve every unix VFS in the process; with the system
// table in force they do what SQLite's own would.
#include <sqlite3.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <mutex>

#include "data/rowset.h"
#include "qv_platform/fileio.h"

namespace qvp::data {

namespace {

constexpr const char* kSeamVfs = "qv-seam";

// The descriptor of the last file the seam opened on this thread: how the
// wrapping VFS learns which descriptor the unix layer's xOpen got.
thread_local int t_last_open_fd = -1;

int SeamOpen(const char* path, int flags, int mode) {
  const int fd = Ops().open(path, flags, static_cast<mode_t>(mode));
  if (fd >= 0) t_last_open_fd = fd;
  return fd;
}
int SeamClose(int fd) { return Ops().close(fd); }
int SeamAccess(const char* path, int mode) { return Ops().access(path, mode); }
int SeamStat(const char* path, struct stat* st) { return Ops().stat(path, st); }
int SeamLstat(const char* path, struct stat* st) { return Ops().lstat(path, st); }
int SeamFstat(int fd, struct stat* st) { return Ops().fstat(fd, st); }
int SeamFtruncate(int fd, off_t length) { return Ops().ftruncate(fd, length); }
ssize_t SeamRead(int fd, void* buffer, size_t count) { return Ops().read(fd, buffer, count); }
ssize_t SeamWrite(int fd, const void* buffer, size_t count) { return Ops().write(fd, buffer, count); }
ssize_t SeamPread(int fd, void* buffer, size_t count, off_t at) { return Ops().pread(fd, buffer, count, at); }
ssize_t SeamPwrite(int fd, const void* buffer, size_t count, off_t at) { return Ops().pwrite(fd, buffer, count, at); }
int SeamUnlink(const char* path) { return Ops().unlink(path); }
int SeamMkdir(const char* path, mode_t mode) { return Ops().mkdir(path, mode); }
int SeamRmdir(const char* path) { return Ops().rmdir(path); }

// A file of the wrapping VFS: ours first, the unix layer's right after.
struct SeamFile {
  sqlite3_file base;
  int fd;
  sqlite3_file* real() { return reinterpret_cast<sqlite3_file*>(reinterpret_cast<char*>(this) + kRealAt); }
  static constexpr std::size_t kRealAt = (sizeof(sqlite3_file) + sizeof(int) + 15) & ~std::size_t{15};
};

SeamFile* Of(sqlite3_file* f) { return reinterpret_cast<SeamFile*>(f); }
sqlite3_file* Real(sqlite3_file* f) { return Of(f)->real(); }
const sqlite3_io_methods& M(sqlite3_file* f) { return *Real(f)->pMethods; }

int FileClose(sqlite3_file* f) { return M(f).xClose(Real(f)); }
int FileRead(sqlite3_file* f, void* b, int n, sqlite3_int64 at) { return M(f).xRead(Real(f), b, n, at); }
int FileWrite(sqlite3_file* f, const void* b, int n, sqlite3_int64 at) { return M(f).xWrite(Real(f), b, n, at); }
int FileTruncate(sqlite3_file* f, sqlite3_int64 size) { return M(f).xTruncate(Real(f), size); }
int FileSync(sqlite3_file* f, int flags) {
  const int fd = Of(f)->fd;
  if (fd >= 0 && Ops().fsync(fd) != 0) return SQLITE_IOERR_FSYNC;
  return M(f).xSync(Real(f), flags);
}
int FileSizeOf(sqlite3_file* f, sqlite3_int64* size) { return M(f).xFileSize(Real(f), size); }
int FileLock(sqlite3_file* f, int level) { return M(f).xLock(Real(f), level); }
int FileUnlock(sqlite3_file* f, int level) { return M(f).xUnlock(Real(f), level); }
int FileCheckReservedLock(sqlite3_file* f, int* out) { return M(f).xCheckReservedLock(Real(f), out); }
int FileControlOf(sqlite3_file* f, int op, void* arg) { return M(f).xFileControl(Real(f), op, arg); }
int FileSectorSize(sqlite3_file* f) { return M(f).xSectorSize(Real(f)); }
int FileDeviceCharacteristics(sqlite3_file* f) { return M(f).xDeviceCharacteristics(Real(f)); }
int FileShmMap(sqlite3_file* f, int region, int size, int extend, void volatile** out) {
  return M(f).xShmMap(Real(f), region, size, extend, out);
}
int FileShmLock(sqlite3_file* f, int offset, int n, int flags) { return M(f).xShmLock(Real(f), offset, n, flags); }
void FileShmBarrier(sqlite3_file* f) { M(f).xShmBarrier(Real(f)); }
int FileShmUnmap(sqlite3_file* f, int remove) { return M(f).xShmUnmap(Real(f), remove); }
int FileFetch(sqlite3_file* f, sqlite3_int64 at, int n, void** out) { return M(f).xFetch(Real(f), at, n, out); }
int FileUnfetch(sqlite3_file* f, sqlite3_int64 at, void* p) { return M(f).xUnfetch(Real(f), at, p); }

const sqlite3_io_methods kMethods = {
    3,           FileClose,      FileRead,       FileWrite,   FileTruncate,          FileSync,
    FileSizeOf, FileLock,      FileUnlock,     FileCheckReservedLock, FileControlOf, FileSectorSize,
    FileDeviceCharacteristics,   FileShmMap,     FileShmLock, FileShmBarrier,        FileShmUnmap,
    FileFetch,   FileUnfetch,
};

sqlite3_vfs g_vfs;

sqlite3_vfs* Unix() { return static_cast<sqlite3_vfs*>(g_vfs.pAppData); }

int VfsOpen(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* f, int flags, int* out_flags) {
  SeamFile* file = Of(f);
  file->base.pMethods = nullptr;
  t_last_open_fd = -1;
  const int rc = Unix()->xOpen(Unix(), name, file->real(), flags, out_flags);
  if (rc != SQLITE_OK || !file->real()->pMethods) return rc;
  // Only the file-backed methods of the unix layer are wrapped; its
  // versions below 3 have no xFetch and are not expected here.
  if (file->real()->pMethods->iVersion < 3) {
    file->real()->pMethods->xClose(file->real());
    return SQLITE_CANTOPEN;
  }
  file->fd = t_last_open_fd;
  file->base.pMethods = &kMethods;
  return SQLITE_OK;
}

int VfsDelete(sqlite3_vfs*, const char* name, int sync_dir) { return Unix()->xDelete(Unix(), name, sync_dir); }
int VfsAccess(sqlite3_vfs*, const char* name, int flags, int* out) { return Unix()->xAccess(Unix(), name, flags, out); }
int VfsFullPathname(sqlite3_vfs*, const char* name, int n, char* out) { return Unix()->xFullPathname(Unix(), name, n, out); }
void* VfsDlOpen(sqlite3_vfs*, const char* name) { return Unix()->xDlOpen(Unix(), name); }
void VfsDlError(sqlite3_vfs*, int n, char* out) { Unix()->xDlError(Unix(), n, out); }
void (*VfsDlSym(sqlite3_vfs*, void* lib, const char* sym))(void) { return Unix()->xDlSym(Unix(), lib, sym); }
void VfsDlClose(sqlite3_vfs*, void* lib) { Unix()->xDlClose(Unix(), lib); }
int VfsRandomness(sqlite3_vfs*, int n, char* out) { return Unix()->xRandomness(Unix(), n, out); }
int VfsSleep(sqlite3_vfs*, int us) { return Unix()->xSleep(Unix(), us); }
int VfsCurrentTime(sqlite3_vfs*, double* out) { return Unix()->xCurrentTime(Unix(), out); }
int VfsGetLastError(sqlite3_vfs*, int n, char* out) { return Unix()->xGetLastError(Unix(), n, out); }
int VfsCurrentTimeInt64(sqlite3_vfs*, sqlite3_int64* out) { return Unix()->xCurrentTimeInt64(Unix(), out); }

void Register() {
  sqlite3_vfs* unix_vfs = sqlite3_vfs_find("unix");
  if (!unix_vfs || unix_vfs->iVersion < 3) return;
  const struct {
    const char* name;
    sqlite3_syscall_ptr call;
  } calls[] = {
      {"open", reinterpret_cast<sqlite3_syscall_ptr>(SeamOpen)},
      {"close", reinterpret_cast<sqlite3_syscall_ptr>(SeamClose)},
      {"access", reinterpret_cast<sqlite3_syscall_ptr>(SeamAccess)},
      {"stat", reinterpret_cast<sqlite3_syscall_ptr>(SeamStat)},
      {"lstat", reinterpret_cast<sqlite3_syscall_ptr>(SeamLstat)},
      {"fstat", reinterpret_cast<sqlite3_syscall_ptr>(SeamFstat)},
      {"ftruncate", reinterpret_cast<sqlite3_syscall_ptr>(SeamFtruncate)},
      {"read", reinterpret_cast<sqlite3_syscall_ptr>(SeamRead)},
      {"write", reinterpret_cast<sqlite3_syscall_ptr>(SeamWrite)},
      {"pread", reinterpret_cast<sqlite3_syscall_ptr>(SeamPread)},
      {"pwrite", reinterpret_cast<sqlite3_syscall_ptr>(SeamPwrite)},
      {"pread64", reinterpret_cast<sqlite3_syscall_ptr>(SeamPread)},
      {"pwrite64", reinterpret_cast<sqlite3_syscall_ptr>(SeamPwrite)},
      {"unlink", reinterpret_cast<sqlite3_syscall_ptr>(SeamUnlink)},
      {"mkdir", reinterpret_cast<sqlite3_syscall_ptr>(SeamMkdir)},
      {"rmdir", reinterpret_cast<sqlite3_syscall_ptr>(SeamRmdir)},
  };
  // A name this SQLite does not know is left alone (SQLITE_NOTFOUND).
  for (const auto& c : calls) unix_vfs->xSetSystemCall(unix_vfs, c.name, c.call);
  g_vfs = *unix_vfs;
  g_vfs.iVersion = 3;
  g_vfs.szOsFile = static_cast<int>(SeamFile::kRealAt) + unix_vfs->szOsFile;
  g_vfs.pNext = nullptr;
  g_vfs.zName = kSeamVfs;
  g_vfs.pAppData = unix_vfs;
  g_vfs.xOpen = VfsOpen;
  g_vfs.xDelete = VfsDelete;
  g_vfs.xAccess = VfsAccess;
  g_vfs.xFullPathname = VfsFullPathname;
  g_vfs.xDlOpen = VfsDlOpen;
  g_vfs.xDlError = VfsDlError;
  g_vfs.xDlSym = VfsDlSym;
  g_vfs.xDlClose = VfsDlClose;
  g_vfs.xRandomness = VfsRandomness;
  g_vfs.xSleep = VfsSleep;
  g_vfs.xCurrentTime = VfsCurrentTime;
  g_vfs.xGetLastError = VfsGetLastError;
  g_vfs.xCurrentTimeInt64 = VfsCurrentTimeInt64;
  // The system-call hooks stay the unix layer's (they manage its table).
  sqlite3_vfs_register(&g_vfs, 0);
}

}  // namespace

const char* SeamVfs() noexcept {
  static std::once_flag once;
  std::call_once(once, Register);
  return sqlite3_vfs_find(kSeamVfs) ? kSeamVfs : nullptr;
}

}  // namespace qvp::data
