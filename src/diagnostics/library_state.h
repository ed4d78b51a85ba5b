// Process-wide state of the library: its own module handle and the one lock
// that guards the lazy creation of the singletons (logger connection,
// configuration store, thumbnail cache). Set up when the shared object is
// loaded and torn down when it is unloaded.
#pragma once

#include <atomic>

#include "qv_platform/cstring.h"
#include "qv_platform/sync.h"
#include "qv_platform/wintypes.h"

namespace qv_commonclass::detail {

// LibraryModule is the handle of this library's own shared object.
HMODULE LibraryModule() noexcept;

// ProcessLock guards only the creation of the singletons.
CRITICAL_SECTION* ProcessLock() noexcept;

// CreateUnderProcessLock creates a singleton on first use: when `slot` is
// null it takes the process-wide lock, tests `slot` again and stores what
// `make` returns. False when `make` raised (the slot stays null and the next
// call tries again); the caller traces then, outside the lock, since a trace
// may itself create the logger connection under it.
template <typename T, typename Make>
bool CreateUnderProcessLock(std::atomic<T*>& slot, Make make) {
  if (slot.load(std::memory_order_acquire)) return true;
  bool created = true;
  CRITICAL_SECTION* lock = ProcessLock();
  if (lock) EnterCriticalSection(lock);
  try {
    if (!slot.load(std::memory_order_relaxed)) slot.store(make(), std::memory_order_release);
  } catch (...) {
    created = false;
  }
  if (lock) LeaveCriticalSection(lock);
  return created;
}

// LibraryFolder is the folder of this library, without a trailing '/'.
CString LibraryFolder();

// SettingsFile is the path of the settings file `name`: in the folder named
// by QV_SETTINGS_DIR when it is set and not empty (read once per process, a
// relative folder taken from the current folder of that moment), else in
// `default_folder` (the name alone when that is empty). Every settings file
// of the library is found by this one rule.
CString SettingsFile(const CString& default_folder, const char16_t* name);

// ReleaseLoggerConnection unloads the logger and frees the connection.
void ReleaseLoggerConnection();

}  // namespace qv_commonclass::detail
