// Files and folders: folder and file operations, media deletion with side
// files, the shell's copy and move, and the buffered copy engine.
//
// Paths are Linux paths ('/' separates folders) in UTF-16. Where Windows
// tells a drive letter from a network share, the mount the path lies on
// decides (qv_platform/mounts.h): a local disk is a fixed drive, NFS, SMB,
// CIFS, sshfs and the like are network drives, and removable, optical and
// RAM-disk (tmpfs, ramfs) mounts are refused where a removable, optical or
// RAM drive is refused. A path in the Windows form ("D:\..." or
// "\\server\share") lies on no drive and gets the documented failure result.
//
// "Root" and "first-level folder" of a path: a network path's root is the
// mount point of its share; a local path's drive root is its mount point and
// its first-level folder is the mount point plus the first folder below it.
//
// No operation here throws, except the six-argument QVCopyFileEx, which lets
// std::bad_alloc through when its 40 MiB of buffers cannot be allocated.
#pragma once

#include <cstdint>

#include "qv_commonclass/export.h"
#include "qv_platform/collections.h"
#include "qv_platform/cstring.h"
#include "qv_platform/fileio.h"
#include "qv_platform/wintypes.h"

namespace qv_commonclass {

// ---- File and folder operations ---------------------------------------------

// QVGetFileSize: the size in bytes of a file (of a device: its size when
// opened); 0 for a folder, a missing path or one that cannot be opened.
QV_API std::int64_t QVGetFileSize(const CString& path);

// QVCanFindDir: 1 when the file or folder exists (symbolic links followed).
// Tries 3 times, 10 ms apart, before it gives 0.
QV_API int QVCanFindDir(const CString& path);

// QVMakeDir creates every missing folder of `path` (3 tries per level). An
// empty path gives 0; an existing one gives 1 at once, unchanged. Otherwise
// the path must lie on a fixed or network drive (else 0, nothing created),
// gets a trailing '/' and the result is 1 when the whole chain exists.
QV_API int QVMakeDir(CString& path);

// QVCopyAllFile copies the tree under `source` into `target` (made with
// QVMakeDir), replacing existing files. 0 at the first file that cannot be
// copied or subfolder that cannot be created (an existing one included);
// what was copied stays. The result of a subfolder's copy is not looked at.
// A symbolic link to a folder is copied as a link, never followed.
QV_API int QVCopyAllFile(const CString& source, const CString& target);

// QVDeleteFile deletes a file and, unless its name ends in one of the
// picture or list extensions, its side files (path+".idx", path+".otc",
// path with extension ".mgx", path with extension ".xml"), tracing each
// outcome at level 4 under the module tag "QVDeleteFile". 1 on success or
// when the file is not there (after 5 looks 100 ms apart); 0 when the path's
// drive is refused, when its root vanishes while waiting, or when the file
// itself cannot be deleted. Paths shorter than 3 characters give 1.
QV_API int QVDeleteFile(const CString& path);
// Deletes each path in order; always 1.
QV_API int QVDeleteFile(const CStringArray& paths);

// QVDelDir deletes a folder tree: files with QVDeleteFile (side files go
// too), subfolders recursively, then the folder itself; non-zero when the
// folder was removed. Refused (0, nothing listed): a folder of 3 characters
// or fewer once trimmed, and a mount point (the drive root of its storage).
// Symbolic links inside the tree are deleted as links, never followed.
QV_API int QVDelDir(CString folder);
// Deletes each folder in order; always 1.
QV_API int QVDelDir(const CStringArray& folders);

// QVFullPathToFolder: a path naming an existing plain folder (no hidden or
// read-only mark) stays; anything else is cut before its last '/'.
QV_API void QVFullPathToFolder(CString& path);

// QVFindFile appends to `out` folder+name of every entry of `folder`
// matching the wildcard `pattern` (Windows rules, see ListFolder): folders
// whose names do not begin with a full stop when `want_folders` is non-zero,
// else everything that is not a folder. Does not descend.
QV_API void QVFindFile(const CString& folder, const CString& pattern, int want_folders, CStringArray& out);

// QVMakePgmDir makes a new program folder: `base`, or when that exists the
// first free base+"1", base+"2", ... Returns the name (with the trailing '/'
// QVMakeDir adds on creation), whether the creation succeeded or not.
QV_API CString QVMakePgmDir(CString base);

// QVGetValidFileName replaces \ / : * " < > | . CR LF TAB ? & by '-' and
// spaces (also U+3000) by '_', in place.
QV_API void QVGetValidFileName(CString& name);

// QVSHCopyFile / QVSHMoveFile copy or move a file or a folder tree with the
// platform's shell operation (qv_platform/shell_fileop.h): no questions,
// existing files replaced, progress to the shell progress handler. 1 on
// success. `aborted` becomes 1 when the progress handler aborted (result 0).
// A path longer than 258 characters gives 0. The window is not used.
QV_API int QVSHCopyFile(HWND parent, const char16_t* source, const char16_t* target, int& aborted);
QV_API int QVSHMoveFile(HWND parent, const char16_t* source, const char16_t* target, int& aborted);

// ---- Buffered copy engine ---------------------------------------------------

// QVCopyFileEx (three arguments) is the platform's plain copy (CopyFileW):
// non-zero on success.
QV_API int QVCopyFileEx(const char16_t* source, const char16_t* target, int fail_if_exists);

// QVCopyFileEx (six arguments) copies one file with a reader and a writer
// thread through a ring of ten 4 MiB buffers, flushing every buffer to the
// storage. 1 when the whole file was copied; 0 otherwise, and then no target
// file is left (an existing target is never touched).
//
//  progress  called on the writer thread after every buffer with (total
//            size, bytes written, total size, bytes written, buffer number
//            from 1, 0, -1, target descriptor, data); answers
//            PROGRESS_CONTINUE, PROGRESS_CANCEL or PROGRESS_STOP (both
//            cancel), PROGRESS_QUIET (no more calls). May be null.
//  cancel    read (never written) by the writer thread, before each open of
//            the target, while it waits for a buffer and before each write;
//            non-zero cancels. May be null. Another thread should set it
//            with an atomic store.
//  flags     bit 0: fail at once when the target exists.
// Throws std::bad_alloc when the buffers cannot be allocated.
QV_API int QVCopyFileEx(const char16_t* source, const char16_t* target, LPPROGRESS_ROUTINE progress,
                        void* data, int* cancel, DWORD flags);

}  // namespace qv_commonclass
