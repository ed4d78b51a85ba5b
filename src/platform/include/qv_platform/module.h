// Modules (shared objects), the current directory and run-time loading with
// the Windows search rules.
//
// A Windows library name "name.dll" is the shared object "libname.so" here
// (a name without ".dll" is taken as it stands). LoadLibraryW with a bare
// name searches, in order, the current directory, the folder of the
// executable and then the system's loader path, which is where Windows finds
// a library beside the caller after the caller has made that folder current.
#pragma once

#include <string>

#include "qv_platform/export.h"
#include "qv_platform/wintypes.h"

// GetModuleFileNameW writes the full path of the module (null: the
// executable) into `buffer`, truncated to `size` units with a NUL; returns
// the units written without the NUL, 0 on failure.
QVP_API DWORD GetModuleFileNameW(HMODULE module, char16_t* buffer, DWORD size);
QVP_API HMODULE LoadLibraryW(const char16_t* name);
QVP_API void* GetProcAddress(HMODULE module, const char* name);
QVP_API BOOL FreeLibrary(HMODULE module);
// GetModuleHandleW finds an already loaded module by Windows name; null when
// it is not loaded.
QVP_API HMODULE GetModuleHandleW(const char16_t* name);
QVP_API DWORD GetCurrentDirectoryW(DWORD size, char16_t* buffer);
QVP_API BOOL SetCurrentDirectoryW(const char16_t* path);

namespace qvp {

// ModuleOfAddress returns the handle of the loaded module that holds `addr`
// (for finding a library's own folder at run time), null when none does.
QVP_API HMODULE ModuleOfAddress(const void* addr);

// SharedObjectName maps a Windows library name to the file name used here.
QVP_API std::string SharedObjectName(const std::string& windows_name);

}  // namespace qvp
