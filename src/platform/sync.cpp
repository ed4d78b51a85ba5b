#include "qv_platform/sync.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "qv_platform/system.h"
#include "qv_platform/unicode.h"

void InitializeCriticalSection(CRITICAL_SECTION* cs) {
  if (cs) cs->impl = new std::recursive_mutex;
}

void EnterCriticalSection(CRITICAL_SECTION* cs) { static_cast<std::recursive_mutex*>(cs->impl)->lock(); }

BOOL TryEnterCriticalSection(CRITICAL_SECTION* cs) {
  return static_cast<std::recursive_mutex*>(cs->impl)->try_lock() ? TRUE : FALSE;
}

void LeaveCriticalSection(CRITICAL_SECTION* cs) { static_cast<std::recursive_mutex*>(cs->impl)->unlock(); }

void DeleteCriticalSection(CRITICAL_SECTION* cs) {
  if (!cs) return;
  delete static_cast<std::recursive_mutex*>(cs->impl);
  cs->impl = nullptr;
}

// ---- Named mutexes ---------------------------------------------------------
//
// Existence across processes: every process that has the name open holds a
// shared fcntl() lock on byte 0 of the name's lock file. A creator first
// takes an exclusive lock without waiting; if that works, nobody else has the
// name open and the process is the creator, and it turns the lock into a
// shared one (fcntl converts atomically, so no other process can slip in
// between). If the exclusive lock is refused, the name exists: the process
// waits for a shared lock (which only waits out another creator's conversion)
// and reports ERROR_ALREADY_EXISTS. The system drops the locks of a process
// that dies, so a crashed holder never blocks a new start. fcntl() locks
// belong to the process, which is why one process keeps exactly one object
// (and one descriptor) per name. Lock files are never removed; an unlocked
// file means nothing.
//
// Ownership is tracked within the process only (owning thread and count):
// nothing here waits on a mutex, so no other process can observe it.

namespace {

constexpr DWORD kErrorNotOwner = 288;  // ERROR_NOT_OWNER

struct MutexObject {
  std::u16string name;  // empty for an unnamed mutex
  int fd = -1;          // lock file holding the shared lock; -1 when unnamed
  DWORD owner = 0;      // owning thread, 0 when free
  unsigned count = 0;   // recursion count of the owner
  unsigned handles = 0;
};

struct MutexHandle {
  MutexObject* object;
};

struct Registry {
  std::mutex lock;
  std::map<std::u16string, MutexObject*> by_name;
  std::set<MutexHandle*> handles;
};

Registry& Mutexes() {
  static Registry* registry = new Registry;  // never destroyed: handles may outlive static destruction
  return *registry;
}

// RuntimeFolder is a folder private to the user: $XDG_RUNTIME_DIR, else
// /tmp/qv-<uid> (created 0700, and refused when someone else owns it).
bool RuntimeFolder(std::string& folder) {
  if (const char* xdg = std::getenv("XDG_RUNTIME_DIR"); xdg && *xdg) {
    folder = xdg;
    return true;
  }
  folder = "/tmp/qv-" + std::to_string(::getuid());
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
  struct stat st {};
  if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid()) {
    errno = EACCES;
    return false;
  }
  return true;
}

// LockFileName keeps letters, digits, '.', '_' and '-' and writes every other
// byte of the UTF-8 name as %XX, so that any name (with '\' or '/' in it)
// maps to one file name; very long names end in a hash of the whole name.
std::string LockFileName(const std::u16string& name) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out = "qv-mutex-";
  for (unsigned char c : qvp::Utf16ToUtf8(name)) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '_' ||
        c == '-') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  if (out.size() > 200) {
    std::uint64_t h = 1469598103934665603ull;  // FNV-1a
    for (char16_t ch : name) h = (h ^ ch) * 1099511628211ull;
    out = out.substr(0, 180) + "~" + std::to_string(h);
  }
  return out + ".lock";
}

bool SetLock(int fd, short type, bool wait) {
  struct flock fl {};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = 0;
  fl.l_len = 1;
  for (;;) {
    if (::fcntl(fd, wait ? F_SETLKW : F_SETLK, &fl) == 0) return true;
    if (errno != EINTR) return false;
  }
}

// OpenSystemName joins the cross-process name; sets `existed`. Returns the
// descriptor holding the shared lock, -1 with errno set on failure.
int OpenSystemName(const std::u16string& name, bool& existed) {
  std::string folder;
  if (!RuntimeFolder(folder)) return -1;
  const std::string path = folder + "/" + LockFileName(name);
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return -1;
  if (SetLock(fd, F_WRLCK, false)) {
    existed = false;
    if (SetLock(fd, F_RDLCK, false)) return fd;
  } else if (errno == EAGAIN || errno == EACCES) {
    existed = true;
    if (SetLock(fd, F_RDLCK, true)) return fd;
  }
  const int err = errno;
  ::close(fd);
  errno = err;
  return -1;
}

MutexHandle* NewHandle(Registry& r, MutexObject* object) {
  auto* handle = new MutexHandle{object};
  ++object->handles;
  r.handles.insert(handle);
  return handle;
}

}  // namespace

HANDLE CreateMutexW(SECURITY_ATTRIBUTES* /*attributes*/, BOOL initial_owner, const char16_t* name) {
  Registry& r = Mutexes();
  std::lock_guard<std::mutex> guard(r.lock);
  std::u16string key = name ? std::u16string(name) : std::u16string();
  // "Local\" names the session's namespace, which is also where a name
  // without a prefix lives: both spellings are one object.
  if (constexpr std::u16string_view local = u"Local\\"; key.starts_with(local) && key.size() > local.size())
    key.erase(0, local.size());
  if (!key.empty()) {
    if (auto it = r.by_name.find(key); it != r.by_name.end()) {
      // Opening an existing mutex never grants ownership.
      MutexHandle* handle = NewHandle(r, it->second);
      SetLastError(ERROR_ALREADY_EXISTS);
      return handle;
    }
  }
  auto object = std::make_unique<MutexObject>();
  bool existed = false;
  if (!key.empty()) {
    object->name = key;
    object->fd = OpenSystemName(key, existed);
    if (object->fd < 0) {
      SetLastError(qvp::ErrnoToWin32(errno));
      return nullptr;
    }
    r.by_name.emplace(key, object.get());
  }
  if (initial_owner && !existed) {
    object->owner = GetCurrentThreadId();
    object->count = 1;
  }
  MutexHandle* handle = NewHandle(r, object.release());
  SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return handle;
}

BOOL ReleaseMutex(HANDLE mutex) {
  Registry& r = Mutexes();
  std::lock_guard<std::mutex> guard(r.lock);
  auto* handle = static_cast<MutexHandle*>(mutex);
  if (!r.handles.count(handle)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  MutexObject* object = handle->object;
  if (object->count == 0 || object->owner != GetCurrentThreadId()) {
    SetLastError(kErrorNotOwner);
    return FALSE;
  }
  if (--object->count == 0) object->owner = 0;
  return TRUE;
}

BOOL CloseHandle(HANDLE handle_value) {
  Registry& r = Mutexes();
  std::lock_guard<std::mutex> guard(r.lock);
  auto* handle = static_cast<MutexHandle*>(handle_value);
  if (!r.handles.erase(handle)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  MutexObject* object = handle->object;
  delete handle;
  if (--object->handles == 0) {
    // The last handle: the name ceases to exist for this process, and closing
    // the descriptor drops its lock.
    if (!object->name.empty()) r.by_name.erase(object->name);
    if (object->fd >= 0) ::close(object->fd);
    delete object;
  }
  return TRUE;
}
