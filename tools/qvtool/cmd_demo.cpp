// `qvtool demo`: shows the library working end to end on bundled data.
#include <cstdio>
#include <utility>
#include <vector>

#include "cli.h"
#include "commands.h"

namespace qvtool {

namespace {
std::vector<std::pair<std::string, std::function<int()>>>& Sections() {
  static std::vector<std::pair<std::string, std::function<int()>>> sections;
  return sections;
}
}  // namespace

void AddDemoSection(std::string name, std::function<int()> run) {
  Sections().emplace_back(std::move(name), std::move(run));
}

void AddDemoCommand(CLI::App& app) {
  auto* demo = app.add_subcommand("demo", "Show the library working end to end on the bundled sample data");
  AddExamples(demo, {"qvtool demo", "qvtool demo | less"});
  AddFooter(demo, "The sample data is read from " QV_DATA_RELDIR " beside qvtool's folder.");
  demo->callback([] {
    int worst = kExitOk;
    for (auto& [name, run] : Sections()) {
      std::printf("== %s ==\n", name.c_str());
      const int rc = run();
      if (rc != kExitOk) {
        Fail("demo section '" + name + "' failed");
        worst = rc;
      }
      std::printf("\n");
    }
    ExitCode() = worst;
  });
}

}  // namespace qvtool
