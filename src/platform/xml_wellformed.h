// Well-formedness of XML text, checked before the text is handed to pugixml.
//
// pugixml is a lenient parser: it accepts repeated attributes, '<' in
// attribute values, unknown entity references (kept as written), characters
// that XML does not allow, "]]>" in text, "--" in comments, bytes that are
// not UTF-8 and text outside the document element. The parser of the
// Windows clients refuses all of these, and a document that one side
// refuses must not load on the other, so every load runs this check first.
//
// Internal to the platform library.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "qv_platform/wintypes.h"

namespace qvp::xml_detail {

struct WellFormedFault {
  std::size_t offset = 0;  // byte offset of the fault in the checked text
  HRESULT code = S_OK;     // one of the kXmlError* codes of xmldom.h
  std::u16string reason;
};

// CheckWellFormed scans `text` (UTF-8, without a byte order mark) once and
// returns true when it is a well-formed XML 1.0 document; otherwise false
// with the first fault in document order. A DOCTYPE is checked only for
// where it stands and for its characters, and is otherwise skipped: no
// entity it declares is known, so only the five predefined entities and
// character references may be referred to.
bool CheckWellFormed(std::string_view text, WellFormedFault& fault);

// ToUtf8KeepingSurrogates converts UTF-16 as Utf16ToUtf8 does, except that an
// unpaired surrogate is written as its own three-byte form instead of being
// replaced, so that the check above can refuse it where it stands.
std::string ToUtf8KeepingSurrogates(std::u16string_view text);

// DecodeToUtf8 turns the bytes of a file into UTF-8 the way pugixml would
// guess their encoding (byte order mark, the first characters in UTF-16 or
// UTF-32, a Latin-1 declaration). Returns false when the bytes are already
// UTF-8 (then `out` is untouched). A unit that is no character (an unpaired
// surrogate, a UTF-32 value above U+10FFFF, an odd last byte) becomes bytes
// that the check refuses.
bool DecodeToUtf8(std::string_view bytes, std::string& out);

}  // namespace qvp::xml_detail
