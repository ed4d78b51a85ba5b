// The INI engine over arbitrary file bytes. Besides "no crash": every listed
// section and key reads, and a write of one key reads back as written while
// every other key of the file keeps the value it had (a write replaces one
// line in place and keeps the others byte for byte).
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "fuzz_check.h"
#include "qv_platform/profile.h"
#include "qv_platform/unicode.h"

namespace {

const std::u16string& ScratchFile() {
  static const std::u16string path =
      qvp::Utf8ToUtf16("/dev/shm/qv_fuzz_ini_" + std::to_string(::getpid()) + ".ini");
  return path;
}

bool WriteAll(const std::u16string& path, const std::uint8_t* data, std::size_t size) {
  std::FILE* f = std::fopen(qvp::Utf16ToUtf8(path).c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(data, 1, size, f) == size;
  return std::fclose(f) == 0 && ok;
}

// A NUL-separated list as GetPrivateProfileStringW gives it.
std::vector<std::u16string> List(const char16_t* section, const char16_t* file) {
  std::vector<char16_t> buffer(1 << 16);
  const DWORD n = GetPrivateProfileStringW(section, nullptr, u"", buffer.data(), static_cast<DWORD>(buffer.size()), file);
  std::vector<std::u16string> out;
  for (DWORD i = 0; i < n;) {
    std::u16string item(buffer.data() + i);
    i += static_cast<DWORD>(item.size()) + 1;
    out.push_back(std::move(item));
  }
  return out;
}

// Names compare without regard to ASCII case, as the engine compares them.
bool SameName(const std::u16string& a, const std::u16string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto fold = [](char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; };
    if (fold(a[i]) != fold(b[i])) return false;
  }
  return true;
}

using Values = std::map<std::pair<std::u16string, std::u16string>, std::u16string>;

Values ReadAll(const char16_t* file) {
  Values values;
  for (const auto& section : List(nullptr, file)) {
    for (const auto& key : List(section.c_str(), file)) {
      char16_t buffer[4096] = {};
      GetPrivateProfileStringW(section.c_str(), key.c_str(), u"(default)", buffer, 4096, file);
      values.emplace(std::make_pair(section, key), buffer);  // the first of duplicates counts
    }
  }
  return values;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > (1u << 16)) return 0;
  const std::u16string& file = ScratchFile();
  if (!WriteAll(file, data, size)) return 0;
  const Values before = ReadAll(file.c_str());

  // Write into the file's first section (or a new one) a key that may or may
  // not exist yet.
  const auto sections = List(nullptr, file.c_str());
  const std::u16string section = sections.empty() ? u"Fuzz" : sections.front();
  const std::u16string key = size % 2 ? u"QvFuzzKey" : (before.empty() ? u"k" : before.begin()->first.second);
  const std::u16string value = u"written ;kept 值";
  if (!WritePrivateProfileStringW(section.c_str(), key.c_str(), value.c_str(), file.c_str())) return 0;

  char16_t buffer[4096] = {};
  GetPrivateProfileStringW(section.c_str(), key.c_str(), u"(missing)", buffer, 4096, file.c_str());
  QV_FUZZ_CHECK(std::u16string(buffer) == value);
  // A NUL byte ends the text of its line, as on Windows, so two different
  // lines can read under one name and which of them a later read finds is
  // not a property of the write; such files are only checked for the
  // written key and for crashes.
  if (std::memchr(data, 0, size)) return 0;
  const Values after = ReadAll(file.c_str());
  for (const auto& [name, old_value] : before) {
    const bool written = SameName(name.first, section) && SameName(name.second, key);
    if (written) continue;
    const auto it = after.find(name);
    QV_FUZZ_CHECK(it != after.end());
    QV_FUZZ_CHECK(it->second == old_value);
  }
  return 0;
}
