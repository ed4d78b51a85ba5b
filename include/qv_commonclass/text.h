// Text and identifiers: Base64, string conversion and escaping, word
// counting and splitting, GUIDs and host addresses.
#pragma once

#include "qv_commonclass/export.h"
#include "qv_platform/collections.h"
#include "qv_platform/cstring.h"
#include "qv_platform/guid.h"
#include "qv_platform/wintypes.h"

// ---- Base64 (global scope) --------------------------------------------------
//
// Standard alphabet ("A-Z a-z 0-9 + /"), "=" padding, no line breaks. The
// caller sizes every buffer: an encoder writes 4 * ceil(length / 3)
// characters plus a NUL, a decoder at most 3 * length / 4 bytes and no NUL.

// Base64EncodeA encodes `length` bytes of `in` into `out` and NUL-terminates
// it. Returns the characters written without the NUL (0 for length <= 0,
// when only the NUL is written). Returns 0 and writes nothing when `out` is
// null, or when `in` is null with a positive length; writes only the NUL and
// returns 0 when the encoded length would not fit in an int.
QV_API int Base64EncodeA(char* out, const BYTE* in, int length);

// Base64EncodeW is Base64EncodeA with 16-bit output characters.
QV_API int Base64EncodeW(char16_t* out, const BYTE* in, int length);

// Base64DecodeA decodes `length` characters of `in` into `out`. Returns the
// bytes written, or -1 (nothing written) when the length is not a multiple
// of 4; 0 for a length of 0 or below, or a null pointer.
// Decoding is lenient in the library's established way: a character outside
// the alphabet counts as the value 0, and a "=" in the third or fourth place
// of a group ends the whole decoding (later groups are ignored), after the
// one or two bytes of that group. A "=" in the first two places counts 64.
QV_API int Base64DecodeA(BYTE* out, const char* in, int length);

// Base64DecodeW is Base64DecodeA for 16-bit text; a unit above U+00FF is
// outside the alphabet (value 0) whatever its low byte.
QV_API int Base64DecodeW(BYTE* out, const char16_t* in, int length);

// Base64Encode returns the Base64 text of `length` bytes of `in`; empty for
// length <= 0, a null `in`, a length whose text would not fit in an int, or
// when memory runs out (never raises).
QV_API CString Base64Encode(const BYTE* in, int length);

namespace qv_commonclass {

// ---- Conversions --------------------------------------------------------------

// QVConvertStringToChar converts `text` (up to its first NUL) into the ANSI
// code page, NUL-terminated, in a new array the caller frees with
// `delete[]`. An empty text gives a one-byte empty string. Raises
// _com_error: E_OUTOFMEMORY when the array cannot be allocated, or the
// conversion's Win32 error as an HRESULT (0x8007xxxx) when it fails. Never
// returns null.
QV_API char* QVConvertStringToChar(CString text);

// QVConvertToUTF8 converts `text` to UTF-8 (unpaired surrogates become
// U+FFFD) in a new NUL-terminated buffer the caller frees with `free`.
// Never raises. An empty text gives a buffer holding one NUL (not null);
// when memory runs out the result is such an empty string too, and null
// only if not even one byte can be allocated.
QV_API char* QVConvertToUTF8(CString text);

// QVConvertUTF8ToString converts NUL-terminated UTF-8 to a wide string.
// Ill-formed sequences become U+FFFD (one per maximal ill-formed part),
// never an error; reading stops at the NUL. A null pointer gives "", and
// so does running out of memory (never raises).
QV_API CString QVConvertUTF8ToString(const char* utf8);

// QVGetStringLengthForB estimates the storage of `text` in bytes: 4 per
// 16-bit unit of value 0x80 or above (surrogate halves included), 1 per
// other unit.
QV_API int QVGetStringLengthForB(CString text);

// ---- Escaping -------------------------------------------------------------------

// XmlConv escapes "&", "<", ">" and "'" (in that order; the double quote is
// left as it is). Existing references are escaped again.
QV_API CString XmlConv(CString text);

// HtmlConv escapes "&", "<" and ">" (quotes are left as they are).
QV_API CString HtmlConv(const CString& text);

// QV_ConvHtmlContent replaces the named references &amp; &lt; &gt; &quot;
// &apos; &nbsp; (a plain space) &tilde; &ndash; &mdash; &lsquo; &rsquo;
// &sbquo; (a plain comma) &ldquo; &rdquo; &hellip; &Prime; by their
// characters, one name after the other over the whole text in that order,
// case-sensitively. Because "&amp;" goes first, "&amp;lt;" ends as "<".
// Other references are left unchanged.
QV_API CString QV_ConvHtmlContent(CString text);

// ---- Words and splitting -----------------------------------------------------

// QV_GetWordsFromText counts words for display in mixed Chinese and Latin
// text: every non-ASCII letter (a Chinese character, a full-width letter)
// is one word; a run of ASCII letters is one word, a run of digits (full-
// width ones included) another; the marks ! , . : ; ? and the Chinese full
// stop and full-width ! , : ; ? count one each unless they directly end a
// word or number. Spaces and other symbols count nothing.
QV_API unsigned long QV_GetWordsFromText(CString text);

// QV_SeparateStringToArray empties `out`, then appends the pieces of
// `source` between occurrences of `separator`: each piece before a
// separator trimmed of white space and only if not empty, and the rest
// after the last separator untrimmed if not empty. After a match the
// search resumes one character past the match's start, so with a longer
// separator its remaining characters begin the next piece. An empty
// separator appends the whole source (if not empty) untrimmed.
QV_API void QV_SeparateStringToArray(CString source, CStringArray& out, CString separator);

// ---- GUIDs ----------------------------------------------------------------------
//
// The compact text of a GUID is its 32 hexadecimal digits in lower case in
// the order of the registry form "{8-4-4-4-12}", without braces and hyphens.

// QV_CreateGUID stores a new random GUID: 1, or 0 (guid untouched) when the
// platform could not create one.
QV_API int QV_CreateGUID(GUID& guid);

// QV_CreateGUID stores the compact text of a new GUID: 1, or 0 (`text`
// untouched) when the platform could not create one.
QV_API int QV_CreateGUID(CString& text);

// QV_FromGUIDToString stores the compact text of `guid` and returns 1.
QV_API int QV_FromGUIDToString(const GUID& guid, CString& text);

// QV_FromStringToGUID parses the compact text or the hyphenated text
// without braces (digits of either case) and always returns 1. Hyphens are
// removed, the rest is cut after 8, 12, 16 and 20 digits and parsed as the
// registry form; for text that does not make a valid GUID that way (empty,
// too short or long, a non-hexadecimal digit) `guid` holds what the parser
// read before the error (CLSIDFromString), as on Windows.
QV_API int QV_FromStringToGUID(GUID& guid, const CString& text);

// ---- Host name and addresses ------------------------------------------------
//
// Failures are traced (module "ZORerer", the function's name, level 1) with
// a Chinese message and code, and reported as 0.

// QV_GetLocalHostName stores the local host name: 1, or 0 (`name`
// untouched) when the sockets library cannot start (code 110040010) or the
// name cannot be read (110040011).
QV_API int QV_GetLocalHostName(CString& name);

// QV_GetLocalHostIP appends the local host's IPv4 addresses in dotted-
// decimal form, in the resolver's order, to `addresses` (existing entries
// are kept): 1, or 0 when the sockets library cannot start (110040012), the
// name cannot be read (110040013) or resolves to no IPv4 address
// (110040014); `addresses` is untouched then.
QV_API int QV_GetLocalHostIP(CStringArray& addresses);

// QVGetMaxMatchedIP returns the candidate sharing the longest leading text
// with `target` (compared character by character, case-sensitively; a text
// prefix, not a network prefix). Ties go to the earliest candidate, so a
// non-empty list always yields one of its entries. Empty when the list or
// the target is empty.
QV_API CString QVGetMaxMatchedIP(const CStringArray& candidates, const CString& target);

// QVGetMaxMatchedIPEx picks the pair (one entry of each list) with the
// longest common leading text, the first such pair in the order outer
// loop `first`, inner loop `second`, and stores it in `best_first` and
// `best_second`. Returns 1 when both stored entries are non-empty, else 0;
// when either list is empty returns 0 and leaves both outputs untouched.
QV_API int QVGetMaxMatchedIPEx(const CStringArray& first, const CStringArray& second, CString& best_first,
                               CString& best_second);

}  // namespace qv_commonclass
