#include "commands.h"

namespace qvtool {

void AddFileCommands(CLI::App& /*app*/) {}

}  // namespace qvtool
