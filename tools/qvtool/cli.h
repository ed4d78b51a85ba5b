// Conventions every qvtool command shares: the --json document, help footers
// (examples, JSON fields, the rule for lists of inputs), the version, the
// check of command words, `qvtool help` and `qvtool completion`, and where
// the sample data is.
//
// A command plugs in with one call each:
//   auto* cmd = parent->add_subcommand("size", "...");
//   AddExamples(cmd, {"qvtool size clip.mxf"});
//   AddJsonOutput(cmd, "{\"file\": path, \"size\": bytes}");
// and in its callback fills JsonResult() instead of printing when
// JsonWanted(); main prints the document once the command has run.
#pragma once

#include <initializer_list>
#include <string>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

namespace qvtool {

// AddJsonOutput gives `cmd` a --json flag and states the document's fields in
// its help (`fields` is a sketch of the document, e.g. {"path": text}).
void AddJsonOutput(CLI::App* cmd, const std::string& fields);
// JsonWanted is true when the running command was given --json.
bool JsonWanted();
// JsonResult is the document printed on standard output after the command;
// nothing is printed while it is null (a command that failed outright).
nlohmann::json& JsonResult();
// PrintJsonResult prints the document (once) when --json was given.
void PrintJsonResult();

// AddFooter appends a paragraph to `cmd`'s help; FinishHelp puts every
// command's paragraphs in place once all commands exist.
void AddFooter(CLI::App* cmd, const std::string& text);
void FinishHelp(CLI::App& app);

// AddExamples appends an "Examples:" block to `cmd`'s help.
void AddExamples(CLI::App* cmd, std::initializer_list<const char*> examples);
// AddListRule states in `cmd`'s help how a list of inputs with bad items is
// handled, the same for every command that takes one: every good result is
// printed, each bad item is reported on standard error, exit code 1.
void AddListRule(CLI::App* cmd);

// SetVersion adds -V/--version, printing "qvtool (DIZudazaZuvodA) X.Y.Z".
void SetVersion(CLI::App& app);

// CheckCommandWords looks at the command words before the first option and
// reports, with exit code 2, a word that is not a command where one is
// expected ("'x' is not a qvtool command; commands: ...") or a command
// family given without its command. Returns -1 when the words are fine.
int CheckCommandWords(CLI::App& app, int argc, char** argv);

// AddHelpCommand adds `qvtool help [COMMAND...]` and `qvtool help --all`;
// AddCompletionCommand adds `qvtool completion bash`. Both walk the command
// tree when run, so they are added once, after the other commands.
void AddHelpCommand(CLI::App& app);
void AddCompletionCommand(CLI::App& app);

// DataDir is the folder of the sample data, found relative to qvtool's own
// folder (bin/../share/DIZudazaZuvodA/data, in the build tree and installed).
std::string DataDir();

// ErrnoText is "PATH: WHAT: REASON", REASON being strerror(err).
std::string ErrnoText(const std::string& path, const std::string& what, int err);

}  // namespace qvtool
