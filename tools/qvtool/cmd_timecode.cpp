#include "commands.h"

namespace qvtool {

void AddTimecodeCommands(CLI::App& /*app*/) {}

}  // namespace qvtool
