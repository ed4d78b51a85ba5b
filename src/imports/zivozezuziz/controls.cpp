#include <atomic>

#include "qv_imports/controls.h"

namespace {
std::atomic<int> g_init_common{0};
std::atomic<int> g_release_common{0};
std::atomic<int> g_init_extra{0};
std::atomic<int> g_release_extra{0};
}  // namespace

void ZR_InitCommonCtrl() { ++g_init_common; }
void ZR_ReleaseCommonCtrl() { ++g_release_common; }
void ZR_InitExtraCtrl() { ++g_init_extra; }
void ZR_ReleaseExtraCtrl() { ++g_release_extra; }

ZRCallCounts ZR_GetCallCounts() {
  return ZRCallCounts{g_init_common.load(), g_release_common.load(), g_init_extra.load(), g_release_extra.load()};
}
