// Process-wide state of the library: its own module handle and the one lock
// that guards the lazy creation of the singletons (logger connection,
// configuration store, thumbnail cache). Set up when the shared object is
// loaded and torn down when it is unloaded.
#pragma once

#include "qv_platform/cstring.h"
#include "qv_platform/sync.h"
#include "qv_platform/wintypes.h"

namespace qv_commonclass::detail {

// LibraryModule is the handle of this library's own shared object.
HMODULE LibraryModule() noexcept;

// ProcessLock guards only the creation of the singletons.
CRITICAL_SECTION* ProcessLock() noexcept;

// LibraryFolder is the folder of this library, without a trailing '/'.
CString LibraryFolder();

// ReleaseLoggerConnection unloads the logger and frees the connection.
void ReleaseLoggerConnection();

}  // namespace qv_commonclass::detail
