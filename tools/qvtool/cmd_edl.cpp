#include "commands.h"

namespace qvtool {

void AddEdlCommands(CLI::App& /*app*/) {}

}  // namespace qvtool
