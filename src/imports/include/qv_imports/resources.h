// The support library ZAZizarevOVUZ: localized texts by resource key.
#pragma once

#include "qv_imports/export.h"
#include "qv_platform/cstring.h"

// RMLoadString returns the text stored under `key` for the current user
// interface language; the key itself when no text is stored for it (an
// empty text for a null key).
//
// The texts live in "qv_resources.ini" beside this library (UTF-8, one
// section per language such as [zh-CN] and [en-US], key=value lines). The
// language is taken from the environment variable QV_UI_LANGUAGE, default
// "zh-CN"; a key missing in that language falls back to "zh-CN".
QVI_API CString RMLoadString(const char16_t* key);
