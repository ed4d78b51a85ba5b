// Load and unload of the shared object. The order matters: the lock must
// exist before any singleton can be created, and the singletons must be gone
// before the lock is deleted.
#include <string>

#include "diagnostics/library_state.h"
#include "qv_commonclass/diagnostics.h"
#include "qv_commonclass/imaging.h"
#include "qv_platform/module.h"

namespace qv_commonclass::detail {

namespace {
HMODULE g_module = nullptr;
CRITICAL_SECTION g_lock;
bool g_lock_ready = false;
}  // namespace

HMODULE LibraryModule() noexcept { return g_module; }

CRITICAL_SECTION* ProcessLock() noexcept { return g_lock_ready ? &g_lock : nullptr; }

CString LibraryFolder() {
  char16_t path[MAX_PATH + 1] = {};
  const DWORD n = GetModuleFileNameW(g_module, path, MAX_PATH);
  CString folder(path, static_cast<int>(n));
  const int slash = folder.ReverseFind(u'/');
  return slash < 0 ? CString() : folder.Left(slash);
}

namespace {

// The framework's extension-module registration has no counterpart here:
// resources are files beside the library and classes need no registration.
__attribute__((constructor)) void OnProcessAttach() {
  g_module = qvp::ModuleOfAddress(reinterpret_cast<const void*>(&OnProcessAttach));
  InitializeCriticalSection(&g_lock);
  g_lock_ready = true;
}

__attribute__((destructor)) void OnProcessDetach() {
  // The thumbnail cache goes first; it takes the configuration store with it.
  CQVBitmapCache::DestoryInstance();
  ReleaseLoggerConnection();
  g_lock_ready = false;
  DeleteCriticalSection(&g_lock);
}

}  // namespace
}  // namespace qv_commonclass::detail
