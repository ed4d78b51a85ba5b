#include "qv_platform/system.h"

#include <cerrno>
#include <chrono>
#include <thread>

#include <sys/syscall.h>
#include <unistd.h>

namespace {
thread_local DWORD t_last_error = 0;
}

DWORD GetLastError() noexcept { return t_last_error; }
void SetLastError(DWORD code) noexcept { t_last_error = code; }

DWORD GetCurrentThreadId() noexcept {
  thread_local const DWORD id = static_cast<DWORD>(::syscall(SYS_gettid));
  return id;
}

void Sleep(DWORD milliseconds) noexcept {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

namespace qvp {

DWORD ErrnoToWin32(int err) noexcept {
  switch (err) {
    case 0: return ERROR_SUCCESS;
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR: return ERROR_ACCESS_DENIED;
    case EBADF: return ERROR_INVALID_HANDLE;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EBUSY:
    case ETXTBSY: return ERROR_SHARING_VIOLATION;
    case EEXIST: return ERROR_ALREADY_EXISTS;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    case ENOSPC:
    case EDQUOT: return ERROR_DISK_FULL;
    case ENAMETOOLONG: return ERROR_INVALID_NAME;
    case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
    case ECANCELED: return ERROR_CANCELLED;
    default: return ERROR_INVALID_PARAMETER;
  }
}

}  // namespace qvp
