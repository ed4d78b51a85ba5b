#include "qv_platform/module.h"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <string>

#include "qv_platform/system.h"
#include "qv_platform/unicode.h"

namespace {

std::string ExecutableDir() {
  char buf[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return {};
  std::string path(buf, static_cast<std::size_t>(n));
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

bool FileExists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

DWORD CopyOut(const std::u16string& text, char16_t* buffer, DWORD size) {
  if (!buffer || size == 0) return 0;
  const DWORD n = static_cast<DWORD>(text.size() < size ? text.size() : size - 1);
  std::memcpy(buffer, text.data(), n * sizeof(char16_t));
  buffer[n] = 0;
  if (n < text.size()) SetLastError(ERROR_INSUFFICIENT_BUFFER);
  return n;
}

}  // namespace

namespace qvp {

std::string SharedObjectName(const std::string& windows_name) {
  std::string name = windows_name;
  const auto slash = name.find_last_of("/\\");
  const std::string dir = slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
  std::string base = slash == std::string::npos ? name : name.substr(slash + 1);
  if (base.size() > 4 && strcasecmp(base.c_str() + base.size() - 4, ".dll") == 0)
    base = "lib" + base.substr(0, base.size() - 4) + ".so";
  return dir + base;
}

HMODULE ModuleOfAddress(const void* addr) {
  Dl_info info{};
  if (!::dladdr(addr, &info) || !info.dli_fname) return nullptr;
  // RTLD_NOLOAD gives the existing handle; drop the extra reference at once,
  // the module stays loaded because `addr` lies in it.
  void* h = ::dlopen(info.dli_fname, RTLD_LAZY | RTLD_NOLOAD);
  if (h) ::dlclose(h);
  return h;
}

}  // namespace qvp

DWORD GetModuleFileNameW(HMODULE module, char16_t* buffer, DWORD size) {
  std::string path;
  if (!module) {
    char buf[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return 0;
    path.assign(buf, static_cast<std::size_t>(n));
  } else {
    link_map* map = nullptr;
    if (::dlinfo(module, RTLD_DI_LINKMAP, &map) != 0 || !map || !map->l_name) return 0;
    path = map->l_name;
    if (path.empty()) return GetModuleFileNameW(nullptr, buffer, size);
    // The loader records the path as it was searched ("$ORIGIN/../lib/...");
    // callers want the file's own folder, so give the canonical path.
    char real[PATH_MAX];
    if (::realpath(path.c_str(), real)) path = real;
  }
  return CopyOut(qvp::Utf8ToUtf16(path), buffer, size);
}

HMODULE LoadLibraryW(const char16_t* name) {
  if (!name || !*name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const std::string file = qvp::SharedObjectName(qvp::Utf16ToUtf8(name));
  void* h = nullptr;
  if (file.find('/') != std::string::npos) {
    h = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  } else {
    char cwd[PATH_MAX];
    for (const std::string& dir : {std::string(::getcwd(cwd, sizeof cwd) ? cwd : ""), ExecutableDir()}) {
      if (dir.empty()) continue;
      const std::string candidate = dir + "/" + file;
      if (FileExists(candidate) && (h = ::dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL))) break;
    }
    if (!h) h = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  }
  if (!h) SetLastError(ERROR_MOD_NOT_FOUND);
  return h;
}

void* GetProcAddress(HMODULE module, const char* name) {
  if (!module || !name) return nullptr;
  void* p = ::dlsym(module, name);
  if (!p) SetLastError(ERROR_PROC_NOT_FOUND);
  return p;
}

BOOL FreeLibrary(HMODULE module) { return module && ::dlclose(module) == 0 ? TRUE : FALSE; }

HMODULE GetModuleHandleW(const char16_t* name) {
  if (!name) return nullptr;
  const std::string file = qvp::SharedObjectName(qvp::Utf16ToUtf8(name));
  void* h = ::dlopen(file.c_str(), RTLD_LAZY | RTLD_NOLOAD);
  if (!h) {
    // Loaded from a folder: match on the base name among the loaded objects.
    struct Ctx { std::string base; std::string found; } ctx{file.substr(file.rfind('/') + 1), {}};
    ::dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) {
          auto* c = static_cast<Ctx*>(data);
          const std::string n = info->dlpi_name ? info->dlpi_name : "";
          const auto s = n.rfind('/');
          if (n.substr(s == std::string::npos ? 0 : s + 1) == c->base) {
            c->found = n;
            return 1;
          }
          return 0;
        },
        &ctx);
    if (!ctx.found.empty()) h = ::dlopen(ctx.found.c_str(), RTLD_LAZY | RTLD_NOLOAD);
  }
  if (h) ::dlclose(h);
  return h;
}

DWORD GetCurrentDirectoryW(DWORD size, char16_t* buffer) {
  char cwd[PATH_MAX];
  if (!::getcwd(cwd, sizeof cwd)) return 0;
  const std::u16string w = qvp::Utf8ToUtf16(cwd);
  if (!buffer || size <= w.size()) return static_cast<DWORD>(w.size() + 1);
  return CopyOut(w, buffer, size);
}

BOOL SetCurrentDirectoryW(const char16_t* path) {
  if (!path) return FALSE;
  if (::chdir(qvp::Utf16ToUtf8(path).c_str()) != 0) {
    SetLastError(qvp::ErrnoToWin32(errno));
    return FALSE;
  }
  return TRUE;
}
