// Text forms of the first-generation list's root values that the reader
// and the writer share (not exported).
#pragma once

#include <string>
#include <string_view>

#include "qv_commonclass/edl.h"
#include "qv_platform/datetime.h"
#include "qv_platform/wintypes.h"

namespace qv_commonclass::edl_v1 {

// DateToText is the "creationdate" text: "%Y-%m-%d %H:%M:%S", empty for the
// null date (and the framework's "Invalid DateTime" for an invalid one).
std::string DateToText(const COleDateTime& date);
// TextToDate reads a date as the variant conversion does (ISO order, the
// product's locale); false, with `date` unchanged, when it does not convert.
bool TextToDate(std::string_view text, COleDateTime& date);
// TextToBool reads a boolean as the variant conversion does: "true" or
// "false" in any case, or a number (non-zero is true); true is stored as -1,
// false as 0. False, with `value` unchanged, when the text is neither.
bool TextToBool(std::string_view text, BOOL& value);

// What one attribute of a "ref" or of the root means; both routes of the
// reader apply attributes through these. `v` of a "ref" is NUL-terminated.
// Texts that do not convert leave the field as it was.
void ApplyRefAttribute(_VEDL_ITEM_INFO_& item, std::string_view n, const char* v);
void ApplyRootAttribute(_VEDL_INFO_& info, std::string_view n, std::string_view v);
// One attribute of a "file" group.
void ApplyFileAttribute(_VEDL_FILE_INFO_& group, std::string_view n, std::string_view v);

}  // namespace qv_commonclass::edl_v1
