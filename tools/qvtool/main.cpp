// qvtool: the command-line front of the library.
#include <cstdio>
#include <vector>

#include "cli.h"
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
  app.name("qvtool");
  app.require_subcommand(1);
  app.fallthrough();
  qvtool::SetVersion(app);
  qvtool::AddFooter(&app, "Exit codes: 0 done, 1 the operation failed, 2 bad command line, 130 cancelled (Ctrl-C).\n"
             "Environment: QV_SETTINGS_DIR (folder of the settings file), QV_LOG_DIR, QV_ANSI_CODEPAGE, "
             "QV_UI_LANGUAGE, QV_DEBUG_OUTPUT.\n\n"
             "Examples:\n  qvtool timecode to-text --standard PAL 1800\n  qvtool edl info --json clip.xml\n"
             "  qvtool help --all");
  qvtool::AddConfigCommands(app);
  qvtool::AddDiagnosticsCommands(app);
  qvtool::AddTimecodeCommands(app);
  qvtool::AddMediaCommands(app);
  qvtool::AddEdlCommands(app);
  qvtool::AddDatabaseCommands(app);
  qvtool::AddDbCommands(app);
  qvtool::AddFileCommands(app);
  qvtool::AddBitmapCommands(app);
  qvtool::AddTextCommands(app);
  qvtool::AddUiCommands(app);
  qvtool::AddDemoCommand(app);  // it runs the sections the others added
  qvtool::AddHelpCommand(app);  // last two: they walk every command
  qvtool::AddCompletionCommand(app);
  qvtool::FinishHelp(app);
  if (const int rc = qvtool::CheckCommandWords(app, argc, argv); rc >= 0) return rc;
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return qvtool::kExitUsage;
  }
  qvtool::PrintJsonResult();
  return qvtool::ExitCode();
}
