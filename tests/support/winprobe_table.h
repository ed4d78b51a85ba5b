// The recorded Windows behaviour under tests/data/winprobes/: tables of
// tab-separated rows printed by the probes in tests/winprobes/ (recorded
// with scripts/winprobe.sh), which the platform tests compare with the
// stand-ins.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qvtest {

using ProbeRow = std::vector<std::string>;

// LoadProbeTable reads tests/data/winprobes/`name`.tsv; an empty list when
// the file is missing (the caller's assertions then fail on the count).
std::vector<ProbeRow> LoadProbeTable(const std::string& name);

// HexBytes turns "41E9" into the bytes "\x41\xE9"; "-" is empty.
std::string HexBytes(std::string_view hex);

// HexUnits turns "0041 00E9" (or "004100E9") into UTF-16 units; "-" is empty.
std::u16string HexUnits(std::string_view hex);

// ToHex prints bytes as upper-case hex pairs, "-" when empty, for messages.
std::string ToHex(std::string_view bytes);
std::string ToHex(std::u16string_view units);

}  // namespace qvtest
