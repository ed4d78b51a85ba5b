// The private-profile (INI file) functions with the Windows semantics:
// section and key names are case-insensitive (ASCII letters), values are
// trimmed of blanks, a value enclosed in one pair of matching quotes (' or ")
// loses them on read, and the first of duplicate sections or keys counts.
// The functions know no comments: ";k=v" is the key ";k" (callers that keep
// comments handle them themselves). Lines end at CR LF, LF or a lone CR; a
// Ctrl-Z ends the file's text and a NUL ends a value; "[S" without ']' is no
// section header; keys above the first header belong to the section "".
// A write replaces the value in place and keeps every other line byte for
// byte (blank lines and line ends included); it creates the file and the
// section when missing (a new section goes right after the last line).
//
// Files are read and written in the process's ANSI code page with CRLF line
// ends; a file that starts with a UTF-16 byte-order mark (either byte order)
// is read and written as UTF-16 and keeps its mark. A UTF-8 mark is read as
// text in the ANSI code page, as Windows reads it. Files above 64 MiB are
// refused.
//
// Writes are atomic and safe across processes and threads: the new content
// goes to a temporary file in the same folder, is flushed to disk and
// replaces the old one by rename, under an exclusive lock on the companion
// file "<file>.lock", so concurrent writers of different keys lose none of
// them and a crash never leaves a half-written file. Reads take no lock: they
// always see one whole version of the file.
#pragma once

#include "qv_platform/export.h"
#include "qv_platform/wintypes.h"

// GetPrivateProfileStringW copies the value (or `default_value` without its
// trailing blanks when the key, section or file is missing; "" for a null
// default) into `buffer` of `size` units, truncating to size - 1 units and a
// NUL, and returns the units copied without the NUL (0 and nothing written
// for a null buffer or size 0). A key present with an empty value gives "",
// not the default. With a null key it lists the keys of the section, with a
// null section the section names, each NUL-terminated with a final extra NUL;
// a list that does not fit is cut, ends in two NULs and gives size - 2. The
// last error is ERROR_FILE_NOT_FOUND when the file is missing.
QVP_API DWORD GetPrivateProfileStringW(const char16_t* section, const char16_t* key,
                                       const char16_t* default_value, char16_t* buffer, DWORD size,
                                       const char16_t* file_name);

// WritePrivateProfileStringW sets the key's value (written as "key=value");
// a null value deletes the key, a null key deletes the section with all its
// lines. Names and values are written as given (line breaks, '=' in a key,
// ']' in a section name included) less their leading blanks; names are
// matched without surrounding blanks. Returns TRUE on success (also when
// there was nothing to delete), FALSE with the last error set when the file
// cannot be written (ERROR_PATH_NOT_FOUND for a missing folder,
// ERROR_ACCESS_DENIED for a read-only file or folder or a path that is not a
// regular file; the file is then unchanged) and FALSE with
// ERROR_INVALID_PARAMETER for a null section or file name. All three of
// section, key and value null is the flush call: FALSE, as on Windows, and
// nothing is done. The folder must be writable, not only the file.
QVP_API BOOL WritePrivateProfileStringW(const char16_t* section, const char16_t* key, const char16_t* value,
                                        const char16_t* file_name);

// GetPrivateProfileIntW reads the leading decimal digits of the value (after
// blanks and an optional sign); `default_value` when the key is missing or
// empty, 0 when the value is negative or not a number; saturates at UINT_MAX.
QVP_API UINT GetPrivateProfileIntW(const char16_t* section, const char16_t* key, int default_value,
                                   const char16_t* file_name);
