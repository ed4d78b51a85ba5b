// System message texts (FormatMessageW) and data-file modules.
//
// The system message table holds the texts of the common Win32 error codes
// in English (United States, 0x0409) and Chinese (simplified, 0x0804), each
// with the trailing "\r\n" that the system texts carry. The system default
// and user default languages of this platform are English (United States).
//
// Any module can carry a message table of its own by exporting the symbol
// `qvp_message_table` (a QVP_MESSAGE_TABLE). The network message library
// "netmsg.dll" is such a module ("libnetmsg.so"); it is looked for first in
// the folder of this platform library (the system folder), then by the
// LoadLibraryW rules.
#pragma once

#include <cstdint>

#include "qv_platform/export.h"
#include "qv_platform/wintypes.h"

using HLOCAL = void*;
using LANGID = WORD;

inline constexpr DWORD FORMAT_MESSAGE_ALLOCATE_BUFFER = 0x00000100;
inline constexpr DWORD FORMAT_MESSAGE_IGNORE_INSERTS = 0x00000200;
inline constexpr DWORD FORMAT_MESSAGE_FROM_STRING = 0x00000400;
inline constexpr DWORD FORMAT_MESSAGE_FROM_HMODULE = 0x00000800;
inline constexpr DWORD FORMAT_MESSAGE_FROM_SYSTEM = 0x00001000;
inline constexpr DWORD FORMAT_MESSAGE_ARGUMENT_ARRAY = 0x00002000;

inline constexpr DWORD DONT_RESOLVE_DLL_REFERENCES = 0x00000001;
inline constexpr DWORD LOAD_LIBRARY_AS_DATAFILE = 0x00000002;

inline constexpr LANGID LANG_NEUTRAL_DEFAULT = 0x0000;
inline constexpr LANGID LANG_USER_DEFAULT = 0x0400;
inline constexpr LANGID LANG_SYSTEM_DEFAULT = 0x0800;
inline constexpr LANGID LANGID_ENGLISH_US = 0x0409;
inline constexpr LANGID LANGID_CHINESE_SIMPLIFIED = 0x0804;
inline constexpr LANGID LANGID_JAPANESE = 0x0411;

inline constexpr DWORD ERROR_MR_MID_NOT_FOUND = 317;
inline constexpr DWORD ERROR_RESOURCE_LANG_NOT_FOUND = 15100;

// One message of a message table: its id, language and text.
struct QVP_MESSAGE_ENTRY {
  DWORD id;
  LANGID language;
  const char16_t* text;
};

struct QVP_MESSAGE_TABLE {
  std::uint32_t count;
  const QVP_MESSAGE_ENTRY* entries;
};

// FormatMessageW looks up message `message_id` in the module `source`
// (FORMAT_MESSAGE_FROM_HMODULE) and/or the system table
// (FORMAT_MESSAGE_FROM_SYSTEM), module first, in `language_id`:
//   0       neutral: the user default language, then English (US);
//   0x0400  the user default language; 0x0800 the system default language;
//   other   exactly that language.
// The text is copied with its line breaks; "%n" becomes "\r\n", "%%" "%",
// "%0" ends the text; "%1".."%99" are replaced by `arguments[i-1]` (an
// array of const char16_t*, FORMAT_MESSAGE_ARGUMENT_ARRAY) unless
// FORMAT_MESSAGE_IGNORE_INSERTS is set, in which case they stay as written.
// With FORMAT_MESSAGE_ALLOCATE_BUFFER, `buffer` is really a char16_t** that
// receives a buffer to release with LocalFree; otherwise the text must fit
// in `size` units with its NUL.
// Returns the units written without the NUL; 0 with the last error set on
// failure: ERROR_MR_MID_NOT_FOUND (no such id), ERROR_RESOURCE_LANG_NOT_FOUND
// (the id exists only in other languages), ERROR_INSUFFICIENT_BUFFER,
// ERROR_INVALID_PARAMETER (inserts without arguments, bad flags).
QVP_API DWORD FormatMessageW(DWORD flags, LPCVOID source, DWORD message_id, DWORD language_id, char16_t* buffer,
                             DWORD size, const void* arguments);

// LocalFree releases a buffer allocated by FormatMessageW; returns null.
QVP_API HLOCAL LocalFree(HLOCAL memory);

// LoadLibraryExW loads a module. With LOAD_LIBRARY_AS_DATAFILE (or
// DONT_RESOLVE_DLL_REFERENCES) the module is mapped only for its data such
// as its message table and searched first in the system folder (the folder
// of this platform library); otherwise it behaves as LoadLibraryW. Release
// it with FreeLibrary. Null with ERROR_MOD_NOT_FOUND when not found.
QVP_API HMODULE LoadLibraryExW(const char16_t* name, HANDLE file, DWORD flags);

namespace qvp {
// SystemDefaultLanguage is the language the system texts fall back to.
QVP_API LANGID SystemDefaultLanguage() noexcept;
}  // namespace qvp
