// Resource texts by key. The file is read once, at the first lookup; a
// missing or unreadable file leaves every key without a text.
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>

#include "../common/log_folder.h"
#include "qv_imports/resources.h"
#include "qv_platform/file_content.h"

namespace {

using Section = std::map<std::string, std::string>;

std::string Trimmed(const std::string& s) {
  const auto first = s.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  const auto last = s.find_last_not_of(" \t\r\n");
  return s.substr(first, last - first + 1);
}

std::map<std::string, Section> ReadResources() {
  std::map<std::string, Section> sections;
  const std::string folder = qv_imports::FolderOf(reinterpret_cast<const void*>(&ReadResources));
  std::string text;
  qvp::ReadWholeFile(folder + "/qv_resources.ini", text);  // a missing file: no texts
  std::istringstream in(text);
  std::string line;
  std::string current;
  bool first = true;
  while (std::getline(in, line)) {
    if (first && line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);  // UTF-8 mark
    first = false;
    line = Trimmed(line);
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line.front() == '[' && line.back() == ']') {
      current = Trimmed(line.substr(1, line.size() - 2));
      continue;
    }
    const auto eq = line.find('=');
    if (eq == std::string::npos || current.empty()) continue;
    sections[current][Trimmed(line.substr(0, eq))] = Trimmed(line.substr(eq + 1));
  }
  return sections;
}

const std::map<std::string, Section>& Resources() {
  static const std::map<std::string, Section> resources = ReadResources();
  return resources;
}

}  // namespace

CString RMLoadString(const char16_t* key) {
  if (!key) return CString();
  const std::string k = qv_imports::Utf16ToUtf8(key);
  const char* env = std::getenv("QV_UI_LANGUAGE");
  const std::string language = env && *env ? env : "zh-CN";
  for (const std::string& lang : {language, std::string("zh-CN")}) {
    const auto section = Resources().find(lang);
    if (section == Resources().end()) continue;
    const auto text = section->second.find(k);
    if (text != section->second.end()) return CString(qv_imports::Utf8ToUtf16(text->second));
  }
  return CString(key);
}
