// Files and folders: the one seam through which the library reaches the file
// system and the clock, and the Windows file services written on top of it.
//
// Every file, folder and sleep call of the file services below goes through
// a table of function pointers (qvp::FileOps). The table can be replaced as a
// whole, so a test can make the Nth read, write, flush or unlink fail with a
// chosen errno, or make sleeps instant, and so prove retries, cancellation
// and clean-up deterministically. The functions keep POSIX semantics
// (-1 and errno on failure).
//
// Paths are Linux paths in UTF-16; they are handed to the system as UTF-8.
// The separator is '/'. Windows attributes are derived from the file mode:
//   directory  S_ISDIR
//   read-only  the owner has no write permission
//   hidden     the name begins with a full stop ("." and ".." excepted)
//   archive    every regular file (Windows marks new and changed files so)
//   reparse    a symbolic link (the attributes otherwise describe its target)
#pragma once

#include <dirent.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "qv_platform/export.h"
#include "qv_platform/wintypes.h"

namespace qvp {

struct FileOps {
  int (*open)(const char* path, int flags, mode_t mode);
  ssize_t (*read)(int fd, void* buffer, size_t count);
  ssize_t (*write)(int fd, const void* buffer, size_t count);
  int (*fsync)(int fd);  // flushes the file's data to the storage (fdatasync)
  int (*close)(int fd);
  int (*stat)(const char* path, struct stat* st);
  int (*lstat)(const char* path, struct stat* st);
  int (*fstat)(int fd, struct stat* st);
  int (*chmod)(const char* path, mode_t mode);
  int (*rename)(const char* from, const char* to);
  int (*unlink)(const char* path);
  int (*mkdir)(const char* path, mode_t mode);
  int (*rmdir)(const char* path);
  DIR* (*opendir)(const char* path);
  struct dirent* (*readdir)(DIR* dir);
  int (*closedir)(DIR* dir);
  void (*sleep_ms)(unsigned milliseconds);
  // Reads and writes at an offset, size changes and access checks: the
  // database engine's file calls.
  ssize_t (*pread)(int fd, void* buffer, size_t count, off_t offset);
  ssize_t (*pwrite)(int fd, const void* buffer, size_t count, off_t offset);
  int (*ftruncate)(int fd, off_t length);
  int (*access)(const char* path, int mode);
};

// SystemFileOps is the table of the real system calls.
QVP_API const FileOps& SystemFileOps() noexcept;
// Ops is the table in force (read with acquire ordering, so a table set
// before a thread starts is the one that thread uses).
QVP_API const FileOps& Ops() noexcept;
// SetFileOps puts `ops` in force (null: the system table) and returns the
// previous table. The caller keeps `ops` alive while it is in force.
QVP_API const FileOps* SetFileOps(const FileOps* ops) noexcept;

// ToNativePath converts a UTF-16 path to the UTF-8 bytes the system takes.
QVP_API std::string ToNativePath(const char16_t* path);

// One entry of a folder listing.
struct FindData {
  std::u16string name;
  DWORD attributes = 0;      // of the entry itself, FILE_ATTRIBUTE_*
  std::uint64_t size = 0;    // regular files only; 0 for folders
  bool is_link = false;      // a symbolic link (attributes then carry REPARSE_POINT)
  bool link_to_folder = false;  // a symbolic link whose target is a folder
};

// ListFolder lists `folder` (UTF-16, with or without a trailing '/'), keeping
// the names that match `pattern` with the Windows wildcard rules ('*' any
// run, '?' one character, "*.*" and "*" everything, letters compared
// without regard to ASCII case). "." and ".." come first, as the Windows
// listing gives them, the other names follow in byte order so the result is
// the same on every run. Returns false (last error set) when the folder
// cannot be opened or, as on Windows, when nothing matches. `complete`, when
// given, becomes false when reading the folder failed part-way: the names
// read until then are still listed.
QVP_API bool ListFolder(const char16_t* folder, const char16_t* pattern, std::vector<FindData>& out,
                        bool* complete = nullptr);

// CopySymbolicLink makes `target` a symbolic link with the same contents as
// the link `source` (an existing file or link named `target` is replaced).
QVP_API bool CopySymbolicLink(const char16_t* source, const char16_t* target);

// MatchWildcard applies the Windows wildcard rules above to one name.
QVP_API bool MatchWildcard(std::u16string_view pattern, std::u16string_view name) noexcept;

}  // namespace qvp

inline constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFFu;
inline constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x1;
inline constexpr DWORD FILE_ATTRIBUTE_HIDDEN = 0x2;
inline constexpr DWORD FILE_ATTRIBUTE_SYSTEM = 0x4;
inline constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
inline constexpr DWORD FILE_ATTRIBUTE_ARCHIVE = 0x20;
inline constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
inline constexpr DWORD FILE_ATTRIBUTE_REPARSE_POINT = 0x400;

// GetFileAttributesW: the attributes of the path (symbolic links followed),
// INVALID_FILE_ATTRIBUTES with the last error set when it does not exist.
QVP_API DWORD GetFileAttributesW(const char16_t* path);
// SetFileAttributesW: only the read-only bit has an effect (it clears or
// sets the owner's write permission); the other bits are accepted and
// ignored.
QVP_API BOOL SetFileAttributesW(const char16_t* path, DWORD attributes);
// DeleteFileW removes a file or a symbolic link; a folder is refused
// (ERROR_ACCESS_DENIED), as on Windows.
QVP_API BOOL DeleteFileW(const char16_t* path);
// CreateDirectoryW makes one folder (mode 0777 before the umask); fails with
// ERROR_ALREADY_EXISTS when the name exists. The attributes are ignored.
QVP_API BOOL CreateDirectoryW(const char16_t* path, void* security_attributes);
// RemoveDirectoryW removes an empty folder.
QVP_API BOOL RemoveDirectoryW(const char16_t* path);
// CopyFileW copies the contents and the permission bits of a file. With
// fail_if_exists an existing target fails with ERROR_FILE_EXISTS; otherwise
// it is replaced. Copying a file onto itself fails with
// ERROR_SHARING_VIOLATION (it would otherwise truncate the source). A target
// the copy created is removed again when the copy fails.
QVP_API BOOL CopyFileW(const char16_t* source, const char16_t* target, BOOL fail_if_exists);

// The platform's copy-progress callback form. Its arguments keep the
// Windows order; the file handles are file descriptors here (-1 for none).
using LPPROGRESS_ROUTINE = DWORD (*)(LONGLONG total_file_size, LONGLONG total_bytes_transferred,
                                     LONGLONG stream_size, LONGLONG stream_bytes_transferred,
                                     DWORD stream_number, DWORD callback_reason, int source_file,
                                     int destination_file, void* data);
inline constexpr DWORD PROGRESS_CONTINUE = 0;
inline constexpr DWORD PROGRESS_CANCEL = 1;
inline constexpr DWORD PROGRESS_STOP = 2;
inline constexpr DWORD PROGRESS_QUIET = 3;
inline constexpr DWORD CALLBACK_CHUNK_FINISHED = 0;
