#include "paths.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "commands.h"
#include "qv_platform/fileio.h"
#include "qv_platform/unicode.h"

namespace qvtool {

bool Utf8Argument(const std::string& command, const std::string& what, const std::string& value) {
  if (qvp::Utf16ToUtf8(qvp::Utf8ToUtf16(value)) == value) return true;
  Fail(command + ": " + what + " is not valid UTF-8; the library keeps names as Unicode text and would use a "
       "different name (rename it, or run in a UTF-8 locale)");
  return false;
}

std::string AbsolutePath(const std::string& path) {
  if (path.empty() || path.front() == '/') return path;
  std::string cwd(4096, '\0');
  if (::getcwd(cwd.data(), cwd.size()) == nullptr) return path;
  cwd.resize(std::strlen(cwd.c_str()));
  if (cwd.back() != '/') cwd += '/';
  return cwd + path;
}

std::optional<struct stat> Examine(const std::string& path, std::string& reason) {
  struct stat st {};
  if (qvp::Ops().stat(path.c_str(), &st) == 0) return st;
  reason = std::strerror(errno);
  return std::nullopt;
}

}  // namespace qvtool
