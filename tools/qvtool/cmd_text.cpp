#include "commands.h"

namespace qvtool {

void AddTextCommands(CLI::App& /*app*/) {}

}  // namespace qvtool
