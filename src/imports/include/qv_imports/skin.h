// The common-control library ROVevadaDudiR: where the user-interface skin
// (the bitmaps of the clients' controls) lies.
#pragma once

#include "qv_imports/export.h"
#include "qv_platform/cstring.h"

namespace qv_commonctrl {

// QV_GetSkinPath returns the skin folder, without a trailing '/': the
// environment variable QV_SKIN_DIR when it is set and not empty, else the
// folder "skin" beside this library when it exists (the build and the
// installation put the sample skin there), else an empty text. `reserved`
// is not used.
QVI_API CString QV_GetSkinPath(int reserved);

}  // namespace qv_commonctrl
