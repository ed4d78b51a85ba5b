// Helpers shared by the media tests.
#pragma once

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace qvtest {

// The library's settings file, beside the built library.
inline const std::string kIni = std::string(QV_BIN_DIR) + "/DazazuraVada.ini";

// Puts the settings file back as it was (or removes it) so that other tests
// sharing the library's folder see no trace of these.
class IniRestore {
 public:
  IniRestore() {
    std::ifstream in(kIni, std::ios::binary);
    existed_ = static_cast<bool>(in);
    std::stringstream ss;
    ss << in.rdbuf();
    saved_ = ss.str();
  }
  ~IniRestore() {
    if (!existed_) {
      std::remove(kIni.c_str());
      return;
    }
    std::ofstream out(kIni, std::ios::binary | std::ios::trunc);
    out << saved_;
  }

 private:
  bool existed_ = false;
  std::string saved_;
};

}  // namespace qvtest
