#include "support/winprobe_table.h"

#include <cstdio>
#include <fstream>
#include <sstream>

namespace qvtest {

std::vector<ProbeRow> LoadProbeTable(const std::string& name) {
  std::vector<ProbeRow> rows;
  std::ifstream in(std::string(QV_SOURCE_DIR) + "/tests/data/winprobes/" + name + ".tsv");
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    ProbeRow row;
    std::size_t start = 0;
    for (;;) {
      const std::size_t tab = line.find('\t', start);
      row.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
      if (tab == std::string::npos) break;
      start = tab + 1;
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

std::string HexBytes(std::string_view hex) {
  std::string out;
  if (hex == "-") return out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    out.push_back(static_cast<char>(std::stoul(std::string(hex.substr(i, 2)), nullptr, 16)));
  }
  return out;
}

std::u16string HexUnits(std::string_view hex) {
  std::u16string out;
  if (hex == "-") return out;
  std::string digits;
  for (char c : hex) {
    if (c != ' ') digits.push_back(c);
  }
  for (std::size_t i = 0; i + 3 < digits.size(); i += 4) {
    out.push_back(static_cast<char16_t>(std::stoul(digits.substr(i, 4), nullptr, 16)));
  }
  return out;
}

std::string ToHex(std::string_view bytes) {
  if (bytes.empty()) return "-";
  std::string out;
  char buf[4];
  for (unsigned char c : bytes) {
    std::snprintf(buf, sizeof buf, "%02X", c);
    out += buf;
  }
  return out;
}

std::string ToHex(std::u16string_view units) {
  if (units.empty()) return "-";
  std::string out;
  char buf[8];
  for (char16_t u : units) {
    std::snprintf(buf, sizeof buf, "%s%04X", out.empty() ? "" : " ", static_cast<unsigned>(u));
    out += buf;
  }
  return out;
}

}  // namespace qvtest
