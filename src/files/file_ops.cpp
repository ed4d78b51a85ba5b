// Folder creation and search, tree copy and delete, media deletion with side
// files, file size, program folder names, file-name cleaning and the shell's
// copy and move.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <climits>
#include <string>

#include "qv_commonclass/diagnostics.h"
#include "qv_commonclass/files.h"
#include "qv_platform/fileio.h"
#include "qv_platform/module.h"
#include "qv_platform/mounts.h"
#include "qv_platform/paths.h"
#include "qv_platform/retry.h"
#include "qv_platform/shell_fileop.h"
#include "qv_platform/system.h"
#include "qv_platform/unicode.h"

namespace qv_commonclass {
namespace {

constexpr char16_t kSep = u'/';

// The retries of the file work, each failed try followed by its pause:
// existence checks 3 times 10 ms, folder creation 3 tries a level 10 ms,
// the lookup before a deletion 5 times 100 ms.
constexpr qvp::RetryRule kExistenceCheck{3, 10, true};
constexpr qvp::RetryRule kFolderCreation{3, 10, true};
constexpr qvp::RetryRule kDeletionLookup{5, 100, true};

bool Exists(const CString& path) { return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES; }

// The entry itself, symbolic links not followed.
bool EntryExists(const CString& path) {
  struct stat st {};
  const std::string p = path.ToUtf8();
  return !p.empty() && qvp::Ops().lstat(p.c_str(), &st) == 0;
}

bool EndsWithSep(const CString& s) { return !s.IsEmpty() && s[s.GetLength() - 1] == kSep; }

CString Join(const CString& folder, const CString& name) { return CString(qvp::paths::Join(folder.view(), name.view())); }

// The path as an absolute path (relative ones are taken from the current
// folder), so that it can be compared with mount points.
CString Absolute(const CString& path) {
  if (!path.IsEmpty() && path[0] == kSep) return path;
  char cwd[PATH_MAX];
  if (!::getcwd(cwd, sizeof cwd)) return path;
  return Join(CString(cwd), path);
}

// Where the walk over a path's folders starts: right at the end of its mount
// point, so that the mount point and the folders above it are never made.
int WalkStart(const CString& path, const std::u16string& mount_point) {
  const int n = static_cast<int>(mount_point.size());
  if (n <= 1) return 1;
  if (path.GetLength() >= n && path.view().substr(0, n) == mount_point &&
      (path.GetLength() == n || path[n] == kSep))
    return n;
  return 1;
}

// The root that QVDeleteFile watches while it waits for a file: the share's
// mount point on a network drive, the first-level folder (mount point plus
// the first folder below it) on a fixed one, empty when the file lies right
// in the mount point or its text does not start with the mount point. An
// unusable drive gives false.
bool DeletionRoot(const CString& path, CString& root) {
  root.Empty();
  const UINT type = qvp::GetPathDriveType(path);
  if (type != DRIVE_FIXED && type != DRIVE_REMOTE) return false;
  const CString abs = Absolute(path);
  const CString mount(qvp::MountPointOf(abs).c_str());
  if (type == DRIVE_REMOTE) {
    root = mount;
    return true;
  }
  const int start = WalkStart(abs, mount.str());
  if (start == 1 && mount.GetLength() > 1) return true;  // does not start with its mount point
  const int first = abs.Find(kSep, start + 1);
  if (first > start + 1) root = abs.Left(first);
  return true;
}

// The file name of the client's executable, at most 260 characters.
CString ExecutableName() {
  char16_t buffer[4096] = {};
  const DWORD n = GetModuleFileNameW(nullptr, buffer, 4096);
  CString path(buffer, static_cast<int>(n));
  CString name = path.Mid(path.ReverseFind(kSep) + 1);
  return name.Left(static_cast<int>(MAX_PATH));
}

// Deleting never needs write permission on Linux, but the read-only mark is
// cleared as on Windows, so a file that survives a failed deletion is
// writable. A symbolic link is left alone (the mode is its target's).
void ClearReadOnly(const CString& path) {
  struct stat st {};
  const std::string p = path.ToUtf8();
  if (qvp::Ops().lstat(p.c_str(), &st) != 0 || S_ISLNK(st.st_mode)) return;
  const DWORD a = GetFileAttributesW(path);
  if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_READONLY))
    SetFileAttributesW(path, a & ~FILE_ATTRIBUTE_READONLY);
}

constexpr int Code(unsigned int code) { return static_cast<int>(code); }

void TraceDeletion(const CString& exe, const char16_t* format, const CString& path, unsigned int code) {
  CString text;
  text.Format(format, exe, path);
  QV_Trace0Ex2(u"QVDeleteFile", exe, kTraceLevelDeletion, Code(code), text);
}

bool HasNoSideFiles(const CString& path) {
  static constexpr std::array<std::u16string_view, 10> kNoSideFiles = {
      u".tga", u".bmp", u".tld", u"ntld", u"tedl", u".jpg", u".tif", u".gif", u".pcx", u".xml"};
  CString tail = path.Right(4);
  tail.MakeLower();
  for (auto s : kNoSideFiles)
    if (tail.view() == s) return true;
  return false;
}

// The path without its extension, or empty when its file name has none. A
// leading full stop (a hidden file's name) does not start an extension.
CString WithoutExtension(const CString& path) {
  const int slash = path.ReverseFind(kSep);
  const int dot = path.ReverseFind(u'.');
  if (dot <= slash + 1) return CString();
  return path.Left(dot);
}

bool IsMountPoint(const CString& folder) {
  struct stat self {}, parent {};
  const std::string p = folder.ToUtf8();
  if (qvp::Ops().stat(p.c_str(), &self) != 0) return false;
  const std::string up = p + (p.back() == '/' ? ".." : "/..");
  if (qvp::Ops().stat(up.c_str(), &parent) != 0) return false;
  return self.st_dev != parent.st_dev || self.st_ino == parent.st_ino;
}

int ShellOperation(UINT func, HWND parent, const char16_t* source, const char16_t* target, int& aborted) {
  aborted = 0;
  if (!source || !target) return 0;
  // The shell takes one-item lists in buffers of 260 characters ending in
  // two NULs.
  const std::size_t ns = qvp::WideLength(source), nt = qvp::WideLength(target);
  if (ns > MAX_PATH - 2 || nt > MAX_PATH - 2) return 0;
  char16_t from[MAX_PATH] = {}, to[MAX_PATH] = {};
  std::copy(source, source + ns, from);
  std::copy(target, target + nt, to);
  SHFILEOPSTRUCTW op;
  op.hwnd = parent;
  op.wFunc = func;
  op.pFrom = from;
  op.pTo = to;
  op.fFlags = FOF_NOCONFIRMATION;
  const int result = SHFileOperationW(&op);
  if (op.fAnyOperationsAborted) {
    aborted = 1;
    return 0;
  }
  return result == 0 ? 1 : 0;
}

}  // namespace

int QVCanFindDir(const CString& path) {
  return qvp::Retry(kExistenceCheck, [&path](int) { return Exists(path); }) ? 1 : 0;
}

std::int64_t QVGetFileSize(const CString& path) {
  const std::string p = path.ToUtf8();
  if (p.empty()) return 0;
  struct stat st {};
  std::int64_t size = 0;
  if (qvp::Ops().stat(p.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return 0;  // a folder has no size, as in a Windows listing
    if (S_ISREG(st.st_mode)) size = st.st_size;
  }
  if (size == 0 && Exists(path)) {
    const int fd = qvp::Ops().open(p.c_str(), O_RDONLY, 0);
    if (fd < 0) return 0;
    const off_t end = ::lseek(fd, 0, SEEK_END);
    qvp::Ops().close(fd);
    size = end > 0 ? end : 0;
  }
  return size;
}

int QVMakeDir(CString& path) {
  if (path.IsEmpty()) return 0;
  if (Exists(path)) return 1;
  const UINT type = qvp::GetPathDriveType(path);
  if (type != DRIVE_FIXED && type != DRIVE_REMOTE) return 0;
  const int start = WalkStart(path, qvp::MountPointOf(path));
  if (!EndsWithSep(path)) path += kSep;
  // Every level is looked for with QVCanFindDir (three looks, 10 ms apart),
  // before and after it is made; whatever it finds counts as there.
  qvp::paths::FolderChainRule rule;
  rule.existing = qvp::Utf16ToUtf8(path.view().substr(0, static_cast<std::size_t>(start))).size();
  rule.create = kFolderCreation;
  rule.look = [](const std::string& level) {
    return QVCanFindDir(CString(qvp::Utf8ToUtf16(level))) ? qvp::paths::Kind::kFolder : qvp::paths::Kind::kMissing;
  };
  return qvp::paths::MakeFolderChain(path.ToUtf8(), rule) ? 1 : 0;
}

int QVCopyAllFile(const CString& source, const CString& target) {
  CString made = target;
  if (!QVMakeDir(made)) return 0;
  // A target inside the source would be copied into itself over and over.
  if (qvp::IsInsideFolder(target.ToUtf8(), source.ToUtf8())) return 0;
  std::vector<qvp::FindData> entries;
  // A listing cut short by an error still has its entries copied, but the
  // copy is not reported whole.
  bool complete = true;
  if (!qvp::ListFolder(source, u"*.*", entries, &complete)) return 0;
  for (const auto& e : entries) {
    if (e.name == u"." || e.name == u"..") continue;
    const CString name(e.name.c_str());
    const CString from = Join(source, name), to = Join(target, name);
    if (e.is_link && (e.link_to_folder || e.attributes == FILE_ATTRIBUTE_REPARSE_POINT)) {
      // A link to a folder (or to nothing) is copied as a link: following it
      // could copy a tree into itself.
      if (!qvp::CopySymbolicLink(from, to)) return 0;
    } else if (!(e.attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      if (!CopyFileW(from, to, FALSE)) return 0;
    } else {
      if (!CreateDirectoryW(to, nullptr)) return 0;
      QVCopyAllFile(from + kSep, to + kSep);
    }
  }
  return complete ? 1 : 0;
}

int QVDeleteFile(const CString& path) {
  if (path.GetLength() < 3) return 1;
  CString root;
  if (!DeletionRoot(path, root)) return 0;
  // The file is looked for five times, 100 ms apart; between the looks the
  // root must stay reachable.
  bool root_lost = false;
  const bool found = qvp::Retry(kDeletionLookup, [&](int look) {
    if (look > 1 && !root.IsEmpty() && !QVCanFindDir(root)) {
      root_lost = true;
      return qvp::TryResult::kStop;
    }
    return EntryExists(path) ? qvp::TryResult::kDone : qvp::TryResult::kAgain;
  });
  if (root_lost) return 0;
  if (!found) return 1;
  ClearReadOnly(path);
  const CString exe = ExecutableName();
  if (!DeleteFileW(path)) {
    TraceDeletion(exe, u"模块[%s]尝试删除文件: %s 失败!", path, 2302650016u);
    return 0;
  }
  TraceDeletion(exe, u"模块[%s]尝试删除文件: %s 成功!", path, 2302650017u);
  if (HasNoSideFiles(path)) return 1;

  struct SideFile {
    CString path;
    const char16_t* failed;
    const char16_t* deleted;
    unsigned int failed_code;
  };
  const CString stem = WithoutExtension(path);
  const SideFile sides[] = {
      {path + u".idx", u"模块[%s]尝试删除.idx文件: %s 失败!", u"模块[%s]尝试删除.idx文件: %s 成功!", 2302650018u},
      {path + u".otc", u"模块[%s]尝试删除.otc文件: %s 失败!", u"模块[%s]尝试删除.otc文件: %s 成功!", 2302650020u},
      {stem.IsEmpty() ? CString() : stem + u".mgx", u"模块[%s]尝试删除.mgx文件: %s 失败!",
       u"模块[%s]尝试删除.mgx文件: %s 成功!", 2302650022u},
      {stem.IsEmpty() ? CString() : stem + u".xml", u"模块[%s]尝试删除.xml文件: %s 失败!",
       u"模块[%s]尝试删除.xml文件: %s 成功!", 2302650024u},
  };
  for (const SideFile& side : sides) {
    if (side.path.IsEmpty() || !EntryExists(side.path)) continue;
    ClearReadOnly(side.path);
    if (DeleteFileW(side.path))
      TraceDeletion(exe, side.deleted, side.path, side.failed_code + 1);
    else
      TraceDeletion(exe, side.failed, side.path, side.failed_code);
  }
  return 1;
}

int QVDeleteFile(const CStringArray& paths) {
  for (int i = 0; i < paths.GetSize(); ++i) QVDeleteFile(paths[i]);
  return 1;
}

int QVDelDir(CString folder) {
  CString trimmed = folder;
  trimmed.Trim();
  if (trimmed.GetLength() <= 3) return 0;
  // A mount point is what a drive root is on Windows: never emptied.
  if (IsMountPoint(folder)) return 0;
  if (!EndsWithSep(folder)) folder += kSep;
  std::vector<qvp::FindData> entries;
  if (!qvp::ListFolder(folder, u"*", entries)) return 0;
  CStringArray files, folders;
  for (std::size_t i = 1; i < entries.size(); ++i) {  // the first is the folder's own "."
    const auto& e = entries[i];
    const bool is_folder = (e.attributes & FILE_ATTRIBUTE_DIRECTORY) && !e.is_link;
    if (is_folder) {
      if (e.name != u"..") folders.Add(folder + CString(e.name.c_str()) + kSep);
    } else {
      files.Add(folder + CString(e.name.c_str()));
    }
  }
  for (int i = 0; i < files.GetSize(); ++i) QVDeleteFile(files[i]);
  for (int i = 0; i < folders.GetSize(); ++i) QVDelDir(folders[i]);
  return RemoveDirectoryW(folder);
}

int QVDelDir(const CStringArray& folders) {
  for (int i = 0; i < folders.GetSize(); ++i) QVDelDir(folders[i]);
  return 1;
}

void QVFullPathToFolder(CString& path) {
  const DWORD a = GetFileAttributesW(path);
  if (a != INVALID_FILE_ATTRIBUTES && (a & 0xFF) == FILE_ATTRIBUTE_DIRECTORY) return;
  const int slash = path.ReverseFind(kSep);
  if (slash < 0) return;
  path = slash == 0 ? CString(u"/") : path.Left(slash);  // the root folder keeps its '/'
}

void QVFindFile(const CString& folder, const CString& pattern, int want_folders, CStringArray& out) {
  CString base = folder;
  if (!EndsWithSep(base)) base += kSep;
  // A pattern may name a subfolder ("sub/*.mxf"); the names found are still
  // added to the folder itself, as the Windows search reports bare names.
  CString where = base, name_pattern = pattern;
  if (const int slash = pattern.ReverseFind(kSep); slash >= 0) {
    where = base + pattern.Left(slash + 1);
    name_pattern = pattern.Mid(slash + 1);
  }
  std::vector<qvp::FindData> entries;
  if (!qvp::ListFolder(where, name_pattern, entries)) return;
  for (const auto& e : entries) {
    const bool is_folder = (e.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (want_folders ? (is_folder && !e.name.empty() && e.name[0] != u'.') : !is_folder)
      out.Add(base + CString(e.name.c_str()));
  }
}

CString QVMakePgmDir(CString base) {
  CString result = base;
  if (QVCanFindDir(base)) {
    for (int n = 1; n < INT_MAX; ++n) {
      CString candidate;
      candidate.Format(u"%s%d", base, n);
      if (!QVCanFindDir(candidate)) {
        result = candidate;
        break;
      }
    }
  }
  QVMakeDir(result);
  return result;
}

void QVGetValidFileName(CString& name) {
  std::u16string& s = name.str();
  for (char16_t& c : s) {
    switch (c) {
      case u'\\': case u'/': case u':': case u'*': case u'"': case u'<': case u'>': case u'|':
      case u'.': case u'\r': case u'\n': case u'\t': case u'?': case u'&':
        c = u'-';
        break;
      case u' ': case u'\u3000':
        c = u'_';
        break;
      default:
        break;
    }
  }
}

int QVSHCopyFile(HWND parent, const char16_t* source, const char16_t* target, int& aborted) {
  return ShellOperation(FO_COPY, parent, source, target, aborted);
}

int QVSHMoveFile(HWND parent, const char16_t* source, const char16_t* target, int& aborted) {
  return ShellOperation(FO_MOVE, parent, source, target, aborted);
}

int QVCopyFileEx(const char16_t* source, const char16_t* target, int fail_if_exists) {
  if (!source || !target) return 0;
  return CopyFileW(source, target, fail_if_exists);
}

}  // namespace qv_commonclass
