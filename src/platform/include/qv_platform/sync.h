// Locks and named mutexes.
//
// CRITICAL_SECTION is a recursive mutex: the owning thread may enter it
// again, and must leave it as often as it entered.
//
// A named mutex is process-wide and cross-process: the name maps to a lock
// file in the runtime folder ($XDG_RUNTIME_DIR, else /tmp), held with an
// advisory lock that the system releases when the holding process dies.
// Within one process the name maps to one shared object, so a second
// CreateMutexW of an existing name reports ERROR_ALREADY_EXISTS whether the
// first creator was this process or another one.
#pragma once

#include "qv_platform/export.h"
#include "qv_platform/wintypes.h"

struct QVP_API CRITICAL_SECTION {
  void* impl = nullptr;  // owned std::recursive_mutex, made by InitializeCriticalSection
};
using LPCRITICAL_SECTION = CRITICAL_SECTION*;

QVP_API void InitializeCriticalSection(CRITICAL_SECTION* cs);
QVP_API void EnterCriticalSection(CRITICAL_SECTION* cs);
QVP_API BOOL TryEnterCriticalSection(CRITICAL_SECTION* cs);
QVP_API void LeaveCriticalSection(CRITICAL_SECTION* cs);
QVP_API void DeleteCriticalSection(CRITICAL_SECTION* cs);

struct SECURITY_ATTRIBUTES;

// CreateMutexW creates or opens the named mutex (a null name makes an
// unnamed one). The last error is ERROR_ALREADY_EXISTS when the name existed
// already (in this or another process), else ERROR_SUCCESS. Initial
// ownership is granted only to the creator. Every call returns a new handle;
// the name exists (for this process) until its last handle is closed.
// Returns null with the last error set when the runtime folder cannot hold
// the name's lock file. Security attributes are ignored. "Local\X" and "X"
// name the same mutex.
QVP_API HANDLE CreateMutexW(SECURITY_ATTRIBUTES* attributes, BOOL initial_owner, const char16_t* name);
// ReleaseMutex gives up one level of ownership of the calling thread; FALSE
// with ERROR_NOT_OWNER (288) when that thread does not own the mutex, FALSE
// with ERROR_INVALID_HANDLE for an unknown handle.
QVP_API BOOL ReleaseMutex(HANDLE mutex);
// CloseHandle closes a handle of this platform layer (mutexes); FALSE with
// ERROR_INVALID_HANDLE for a handle that is not open.
QVP_API BOOL CloseHandle(HANDLE handle);
