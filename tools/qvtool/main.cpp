// qvtool: the command-line front of the library.
#include <cstdio>
#include <vector>

#include "commands.h"

namespace qvtool {

int& ExitCode() {
  static int code = kExitOk;
  return code;
}

void Fail(const std::string& what) { std::fprintf(stderr, "qvtool: %s\n", what.c_str()); }

}  // namespace qvtool

int main(int argc, char** argv) {
  CLI::App app{"qvtool: media-asset library tools (EDL, time code, SQL conditions, files, text, settings)"};
  app.require_subcommand(1);
  app.fallthrough();
  qvtool::AddConfigCommands(app);
  qvtool::AddDiagnosticsCommands(app);
  qvtool::AddTimecodeCommands(app);
  qvtool::AddMediaCommands(app);
  qvtool::AddEdlCommands(app);
  qvtool::AddDatabaseCommands(app);
  qvtool::AddFileCommands(app);
  qvtool::AddBitmapCommands(app);
  qvtool::AddTextCommands(app);
  qvtool::AddUiCommands(app);
  qvtool::AddDemoCommand(app);  // last: it runs the sections the others added
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return qvtool::kExitUsage;
  }
  return qvtool::ExitCode();
}
