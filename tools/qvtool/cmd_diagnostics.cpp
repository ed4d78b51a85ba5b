#include "commands.h"

namespace qvtool {

void AddDiagnosticsCommands(CLI::App& /*app*/) {}

}  // namespace qvtool
