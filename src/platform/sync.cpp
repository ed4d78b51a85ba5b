#include "qv_platform/sync.h"

#include <mutex>

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
