#include "commands.h"

namespace qvtool {

void AddConfigCommands(CLI::App& /*app*/) {}

}  // namespace qvtool
