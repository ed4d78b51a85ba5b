#include "commands.h"

namespace qvtool {

void AddDatabaseCommands(CLI::App& /*app*/) {}

}  // namespace qvtool
