// The base-control library ZIVozeZuziZ: start-up and shut-down of the
// product's common and extra controls. The stand-in has no controls to
// set up; it counts the calls so that the once-only rules of the callers
// can be seen.
#pragma once

#include "qv_imports/export.h"

// Each entry point counts its call and returns.
QVI_API void ZR_InitCommonCtrl();
QVI_API void ZR_ReleaseCommonCtrl();
QVI_API void ZR_InitExtraCtrl();
QVI_API void ZR_ReleaseExtraCtrl();

// How many times each entry point has been called in this process.
struct ZRCallCounts {
  int init_common = 0;
  int release_common = 0;
  int init_extra = 0;
  int release_extra = 0;
};
QVI_API ZRCallCounts ZR_GetCallCounts();
