// The whole exported interface of the library.
#pragma once

#include "qv_commonclass/database.h"
#include "qv_commonclass/diagnostics.h"
#include "qv_commonclass/edl.h"
#include "qv_commonclass/files.h"
#include "qv_commonclass/imaging.h"
#include "qv_commonclass/media.h"
#include "qv_commonclass/text.h"
#include "qv_commonclass/ui.h"
#include "qv_commonclass/ui_controls.h"
#include "qv_commonclass/version.h"
#include "qv_commonclass/xml.h"
