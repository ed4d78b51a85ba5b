// The private-profile (INI file) functions with the Windows semantics:
// section and key names are case-insensitive, values are trimmed of blanks,
// a value enclosed in one pair of matching quotes loses them, a write
// replaces the value in place and keeps every other line and comment, and
// creates the file and the section when missing. Files are read and written
// in the process's ANSI code page with CRLF line ends.
//
// Writes are atomic and safe across processes: the new content goes to a
// temporary file that replaces the old one by rename, under an advisory
// lock on a companion lock file, so concurrent writers of different keys
// lose none of them and a crash never leaves a half-written file.
#pragma once

#include "qv_platform/export.h"
#include "qv_platform/wintypes.h"

// GetPrivateProfileStringW copies the value (or `default_value` when the
// key is missing) into `buffer` of `size` units, truncating so that the text
// and its NUL always fit, and returns the units copied without the NUL.
// With a null key it lists the keys of the section, with a null section the
// section names, each NUL-terminated with a final extra NUL.
QVP_API DWORD GetPrivateProfileStringW(const char16_t* section, const char16_t* key,
                                       const char16_t* default_value, char16_t* buffer, DWORD size,
                                       const char16_t* file_name);

// WritePrivateProfileStringW sets the key's value; a null value deletes the
// key, a null key deletes the section. Returns TRUE on success, FALSE (with
// the last error set) when the file cannot be written.
QVP_API BOOL WritePrivateProfileStringW(const char16_t* section, const char16_t* key, const char16_t* value,
                                        const char16_t* file_name);

QVP_API UINT GetPrivateProfileIntW(const char16_t* section, const char16_t* key, int default_value,
                                   const char16_t* file_name);
