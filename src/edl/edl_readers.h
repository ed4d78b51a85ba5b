// The two routes of the list file reader (not exported): the direct scan
// of a file in the writer's form, and the document route for everything.
#pragma once

#include <string>

#include "qv_commonclass/edl.h"
#include "qv_platform/xmldom.h"

namespace qv_commonclass::edl_io {

// ReadDirect reads the list file at `path` (resolved) by the direct scan;
// false, with `info` untouched, when the document route has to read it.
bool ReadDirect(const std::string& path, _VEDL_INFO_2& info);

// ReadVEDL2Document reads a loaded document into `info`; 1 or 0, with the
// reason written to the debugger output.
int ReadVEDL2Document(const qvp::XmlDocument& doc, _VEDL_INFO_2& info);

}  // namespace qv_commonclass::edl_io
