// qvtool's command registry. Each command family lives in its own file and
// adds its subcommands (and, optionally, a section of `qvtool demo`).
#pragma once

#include <functional>
#include <string>

#include <CLI/CLI.hpp>

namespace qvtool {

// Exit codes shared by every subcommand.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;  // the operation reported failure
inline constexpr int kExitUsage = 2;    // bad arguments
inline constexpr int kExitCancelled = 130;

// Subcommand callbacks set the exit code through this.
int& ExitCode();

// A demo section prints what it shows and returns an exit code.
void AddDemoSection(std::string name, std::function<int()> run);

// Prints an error line "qvtool: <what>" to standard error.
void Fail(const std::string& what);

void AddConfigCommands(CLI::App& app);
void AddDemoCommand(CLI::App& app);
void AddTimecodeCommands(CLI::App& app);
void AddEdlCommands(CLI::App& app);
void AddDatabaseCommands(CLI::App& app);
void AddDbCommands(CLI::App& app);
void AddFileCommands(CLI::App& app);
void AddBitmapCommands(CLI::App& app);
void AddTextCommands(CLI::App& app);
void AddDiagnosticsCommands(CLI::App& app);
void AddMediaCommands(CLI::App& app);
void AddUiCommands(CLI::App& app);

}  // namespace qvtool
