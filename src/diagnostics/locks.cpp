// Lock guard over a caller's critical section, and the single-instance guard
// over a named mutex.
#include "qv_commonclass/diagnostics.h"
#include "qv_platform/system.h"

namespace qv_commonclass {

// ---- CQVCriticalSectionNurse ------------------------------------------------
//
// Copies: a copy of a holding guard enters the section once more (critical
// sections are re-entrant for the owning thread), so every guard that
// believes it holds has made its own acquisition and leaves exactly that one.
// The section is therefore never left more often than it was entered,
// whichever copies are cleared or destroyed and in whatever order. A copy
// made on another thread waits until the section is free, as any entry does.

CQVCriticalSectionNurse::CQVCriticalSectionNurse(CRITICAL_SECTION* section) : section_(section) { set(); }

CQVCriticalSectionNurse::CQVCriticalSectionNurse(const CQVCriticalSectionNurse& other) : section_(other.section_) {
  if (other.held_) set();
}

CQVCriticalSectionNurse& CQVCriticalSectionNurse::operator=(const CQVCriticalSectionNurse& other) {
  if (this == &other) return *this;
  // Enter for the new state before leaving the old one, so that assigning a
  // guard of the same section never opens a gap in the protection.
  const bool take = other.held_ && other.section_;
  if (take) EnterCriticalSection(other.section_);
  clear();
  section_ = other.section_;
  held_ = take;
  return *this;
}

CQVCriticalSectionNurse::~CQVCriticalSectionNurse() { clear(); }

void CQVCriticalSectionNurse::set() {
  if (held_ || !section_) return;
  EnterCriticalSection(section_);
  held_ = true;
}

void CQVCriticalSectionNurse::clear() {
  if (!held_) return;
  held_ = false;
  LeaveCriticalSection(section_);
}

int CQVCriticalSectionNurse::Initialize(CRITICAL_SECTION* section) {
  InitializeCriticalSection(section);
  return 1;
}

int CQVCriticalSectionNurse::Finalize(CRITICAL_SECTION* section) {
  DeleteCriticalSection(section);
  return 1;
}

// ---- CQVLimitSingleInstance ---------------------------------------------------
//
// The handle is never closed: the name stays in existence until the process
// ends, so any later guard of the same name, in this process or another one,
// reports another instance. Copies share the handle; each destructor releases
// ownership, and a release by a guard that no longer owns it (a copy after
// the original, or a guard on a thread other than the creator's) is refused
// by the mutex and changes nothing.

CQVLimitSingleInstance::CQVLimitSingleInstance(const char16_t* mutex_name) {
  mutex_ = CreateMutexW(nullptr, TRUE, mutex_name);
  last_error_ = GetLastError();
}

CQVLimitSingleInstance::CQVLimitSingleInstance(const CQVLimitSingleInstance& other)
    : last_error_(other.last_error_), mutex_(other.mutex_) {}

CQVLimitSingleInstance& CQVLimitSingleInstance::operator=(const CQVLimitSingleInstance& other) {
  if (mutex_ && mutex_ != other.mutex_) {
    const DWORD saved = GetLastError();
    ReleaseMutex(mutex_);  // the old handle stays open, as in the destructor
    SetLastError(saved);
  }
  last_error_ = other.last_error_;
  mutex_ = other.mutex_;
  return *this;
}

CQVLimitSingleInstance::~CQVLimitSingleInstance() {
  if (mutex_) {
    const DWORD saved = GetLastError();
    ReleaseMutex(mutex_);
    SetLastError(saved);
    mutex_ = nullptr;
  }
}

int CQVLimitSingleInstance::IsAnotherInstanceRunning() const noexcept {
  return last_error_ == ERROR_ALREADY_EXISTS ? 1 : 0;
}

}  // namespace qv_commonclass
