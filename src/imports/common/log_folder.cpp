#include "log_folder.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

namespace qv_imports {

std::string FolderOf(const void* address) {
  Dl_info info{};
  if (!::dladdr(address, &info) || !info.dli_fname) return {};
  std::string path = info.dli_fname;
  if (!path.empty() && path[0] != '/') {
    char real[PATH_MAX];
    if (::realpath(path.c_str(), real)) path = real;
  }
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::vector<std::string> LogFolderCandidates(const void* anchor) {
  std::vector<std::string> out;
  if (const char* dir = std::getenv("QV_LOG_DIR"); dir && *dir) out.emplace_back(dir);
  if (std::string beside = FolderOf(anchor); !beside.empty()) out.push_back(beside + "/logs");
  if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state) {
    out.push_back(std::string(state) + "/DIZudazaZuvodA/logs");
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    out.push_back(std::string(home) + "/.local/state/DIZudazaZuvodA/logs");
  }
  const char* tmp = std::getenv("TMPDIR");
  out.push_back(std::string(tmp && *tmp ? tmp : "/tmp") + "/DIZudazaZuvodA-logs-" + std::to_string(::getuid()));
  return out;
}

std::string ExecutableBaseName() {
  char buf[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return "program";
  const std::string path(buf, static_cast<std::size_t>(n));
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::string Utf16ToUtf8(const char16_t* text) {
  if (!text) return {};
  std::size_t n = 0;
  while (text[n]) ++n;
  return Utf16ToUtf8(std::u16string_view(text, n));
}

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const auto b = static_cast<unsigned char>(text[i]);
    int extra = b < 0x80 ? 0 : (b >> 5) == 0x6 ? 1 : (b >> 4) == 0xE ? 2 : (b >> 3) == 0x1E ? 3 : -1;
    char32_t c = extra == 0 ? b : extra == 1 ? (b & 0x1F) : extra == 2 ? (b & 0x0F) : (b & 0x07);
    bool ok = extra >= 0 && i + static_cast<std::size_t>(extra) < text.size() + (extra == 0 ? 1 : 0);
    for (int k = 1; ok && k <= extra; ++k) {
      const auto cb = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
      if ((cb & 0xC0) != 0x80) ok = false;
      else c = (c << 6) | (cb & 0x3F);
    }
    if (!ok || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
      out += u'\uFFFD';
      ++i;
      continue;
    }
    i += static_cast<std::size_t>(extra) + 1;
    if (c >= 0x10000) {
      c -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (c >> 10));
      out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
  }
  return out;
}

}  // namespace qv_imports
