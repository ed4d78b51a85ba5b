// XML documents: the parser services that the library's XML readers and
// writers share (document creation, typed attribute values, error texts).
//
// The document object itself is the platform's (qv_platform/xmldom.h):
// files are UTF-8, names are case-sensitive, children keep document order,
// attributes keep the order in which they were added, and every DOM call may
// raise qvp::ComError. Each exported operation that uses the DOM catches that
// error and turns it into its own failure result and message.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "qv_commonclass/export.h"
#include "qv_platform/cstring.h"
#include "qv_platform/wintypes.h"
#include "qv_platform/xmldom.h"

namespace qv_commonclass {

// QVXmlCreateDocument creates a new, empty document for one call of a reader
// or writer. Returns null when the document cannot be created (the caller
// reports its "cannot create the component" message); the caller owns it.
QV_API std::unique_ptr<qvp::XmlDocument> QVXmlCreateDocument() noexcept;

// QVXmlErrorMessage is the system message text of a raised DOM error (the
// text that goes after the colon of the callers' "...: %s" messages).
QV_API CString QVXmlErrorMessage(const qvp::ComError& error);

// ---- Typed attribute values -------------------------------------------------
//
// The conversions below read an attribute's text the way the platform's
// variant conversion does (no locale: "." is the decimal separator):
//   - white space (space, tab, CR, LF) around the number is allowed;
//   - an optional sign, digits, an optional fraction and an optional
//     exponent ("12", "+7", "-3", "25.5", "1e3"); at least one digit;
//   - integer targets round a fraction to the nearest integer, halves to
//     even ("2.5" -> 2, "3.5" -> 4); leading zeros of any number are fine;
//   - anything else (empty text, letters, "0x10", "1,000", "inf", "nan")
//     gives kHrTypeMismatch and leaves `value` unchanged;
//   - a number outside the target's range gives kHrOverflow and leaves
//     `value` unchanged (an unsigned target refuses negative numbers except
//     a negative zero).
// Result S_OK when `value` was set. The writer's texts (decimal integers and
// the shortest text of a double, "25", "29.97", "1e+300") all read back
// exactly.

QV_API HRESULT QVXmlTextToInt32(std::string_view text, std::int32_t& value) noexcept;
QV_API HRESULT QVXmlTextToUInt32(std::string_view text, std::uint32_t& value) noexcept;
QV_API HRESULT QVXmlTextToInt64(std::string_view text, std::int64_t& value) noexcept;
QV_API HRESULT QVXmlTextToDouble(std::string_view text, double& value) noexcept;
// The same for UTF-16 text (any character outside ASCII is a mismatch).
QV_API HRESULT QVXmlTextToInt32(std::u16string_view text, std::int32_t& value) noexcept;
QV_API HRESULT QVXmlTextToUInt32(std::u16string_view text, std::uint32_t& value) noexcept;
QV_API HRESULT QVXmlTextToInt64(std::u16string_view text, std::int64_t& value) noexcept;
QV_API HRESULT QVXmlTextToDouble(std::u16string_view text, double& value) noexcept;

// QVXmlDoubleToText is the text a double-typed attribute value gets: the
// shortest decimal text that reads back to the same value ("25" for 25.0).
QV_API CString QVXmlDoubleToText(double value);

}  // namespace qv_commonclass
