// Helpers shared by the media tests.
#pragma once

#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

namespace qvtest {

// The library's settings file, beside the built library.
inline const std::string kIni = std::string(QV_BIN_DIR) + "/DazazuraVada.ini";

// The settings file's bytes; nothing when it is missing.
inline std::optional<std::string> IniBytes() {
  std::ifstream in(kIni, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

// Puts the settings file back as it was (or removes it) so that other tests
// sharing the library's folder see no trace of these.
class IniRestore {
 public:
  ~IniRestore() {
    if (saved_) {
      std::ofstream(kIni, std::ios::binary | std::ios::trunc) << *saved_;
    } else {
      std::remove(kIni.c_str());
    }
  }

 private:
  std::optional<std::string> saved_ = IniBytes();
};

}  // namespace qvtest
