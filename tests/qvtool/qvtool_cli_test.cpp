// qvtool's commands through the built binary: version, command words, help
// texts, the --json documents parsed back, settings and error messages. Each
// test runs in a scratch folder of its own, which is also the settings and
// log folder.
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "files/file_test_util.h"
#include "qv_commonclass/version.h"
#include "support/qvtool_run.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using qvtest::ReadFile;
using Outcome = qvtest::QvtoolRun;

class QvtoolTest : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = qvtest::ScratchFolder(); }

  Outcome Qvtool(const std::vector<std::string>& args, const std::string& env = "") {
    std::vector<std::string> vars{"QV_SETTINGS_DIR=" + dir_.string(), "QV_LOG_DIR=" + dir_.string()};
    if (!env.empty()) vars.push_back(env);
    return qvtest::RunQvtool(args, dir_, vars);
  }

  // QvtoolJson runs a command with --json and parses its whole standard
  // output as one document (parse fails on anything after it).
  json QvtoolJson(std::vector<std::string> args, int expected_exit = 0) {
    args.push_back("--json");
    const Outcome r = Qvtool(args);
    EXPECT_EQ(r.code, expected_exit) << r.err;
    try {
      return json::parse(r.out);
    } catch (const json::exception& e) {
      ADD_FAILURE() << "not one JSON document: " << e.what() << "\n" << r.out;
      return json();
    }
  }

  fs::path dir_;
};

std::string Data(const std::string& name) { return std::string(QV_SOURCE_DIR) + "/data/" + name; }

TEST_F(QvtoolTest, VersionIsTheProjectVersion) {
  for (const char* flag : {"--version", "-V"}) {
    const Outcome r = Qvtool({flag});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, std::string("qvtool (DIZudazaZuvodA) ") + QV_VERSION_STRING + "\n");
  }
}

TEST_F(QvtoolTest, CommandWordsThatAreNoCommandNameThemselvesAndTheValidOnes) {
  struct Case {
    std::vector<std::string> args;
    std::string message, lists;
  };
  const Case cases[] = {
      {{"frobnicate"}, "'frobnicate' is not a qvtool command", "timecode"},
      {{"timecode", "to-txt", "25"}, "'to-txt' is not a 'qvtool timecode' command", "to-text, to-frames"},
      {{"timecode"}, "'qvtool timecode' needs a command", "to-text, to-frames, range, standards"},
      {{}, "'qvtool' needs a command", "config"},
      {{"help", "nothing"}, "no help for 'nothing'", "timecode"},
  };
  for (const auto& c : cases) {
    const Outcome r = Qvtool(c.args);
    EXPECT_EQ(r.code, 2) << c.message;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(c.lists), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
  }
}

// Every command's help shows an example, every command that offers --json
// documents its fields, and the completion script knows every command.
TEST_F(QvtoolTest, EveryCommandsHelpHasAnExampleAndTheCompletionKnowsIt) {
  const Outcome r = Qvtool({"help", "--all"});
  ASSERT_EQ(r.code, 0);
  const std::string completion = ReadFile(QV_COMPLETION_SCRIPT);
  ASSERT_NE(completion.find("complete -o default -F _qvtool qvtool"), std::string::npos);
  std::istringstream in(r.out);
  std::string line, command, block;
  int commands = 0;
  auto check = [&] {
    if (command.empty()) return;
    ++commands;
    EXPECT_NE(block.find("Example"), std::string::npos) << command << " has no example";
    if (block.find("\n  --json ") != std::string::npos) {
      EXPECT_NE(block.find("JSON (--json): {"), std::string::npos) << command << " does not document its JSON";
    }
    std::string key;  // "qvtool timecode to-text" -> "/timecode/to-text"
    for (char c : command.substr(6)) key += c == ' ' ? '/' : c;
    if (!key.empty()) {
      EXPECT_NE(completion.find("\"" + key + "\")"), std::string::npos) << key;
    }
  };
  while (std::getline(in, line)) {
    if (line.rfind("=== ", 0) == 0) {
      check();
      command = line.substr(4, line.size() - 8);
      block.clear();
    } else {
      block += line + "\n";
    }
  }
  check();
  EXPECT_GE(commands, 35);
}

struct JsonCase {
  std::vector<std::string> args;
  std::string pointer;  // a JSON pointer into the document
  json expected;
};

TEST_F(QvtoolTest, JsonDocumentsParseBackWithTheirDocumentedFields) {
  const std::string edl = Data("edl/news_evening_v2.xml");
  const JsonCase cases[] = {
      {{"timecode", "to-text", "-s", "PAL", "1800", "90000"}, "/results/1/text", "01:00:00:00"},
      {{"timecode", "to-text", "-s", "PAL", "1800"}, "/rate", 25.0},
      {{"timecode", "to-frames", "-s", "NTSC", "00:01:00:02"}, "/results/0/frames", 1800},
      {{"timecode", "range", "-s", "PAL", "--from", "0", "--to", "9"}, "/mismatches", 0},
      {{"timecode", "range", "-s", "PAL", "--from", "0", "--to", "9"}, "/results/9/text", "00:00:00:09"},
      {{"timecode", "standards"}, "/standards/1/name", "PAL"},
      {{"timecode", "standards"}, "/standards/1/width", 720},
      {{"edl", "version", edl}, "/version", 3},
      {{"edl", "info", edl}, "/generation", 2},
      {{"edl", "info", edl}, "/fps", 25.0},
      {{"sql-where", "-d", "oracle", Data("sql/conditions.json")}, "/dialect", "oracle"},
      {{"date", "45352.354166666664", "--pattern", "%Y-%m-%d %H:%M"}, "/text", "2024-03-01 08:30"},
      {{"date", "45352.354166666664"}, "/date", "2024-03-01"},
      {{"date", "45352.354166666664", "-d", "db2"}, "/dialects/db2/dateTime", "TIMESTAMP('2024-03-01 08:30:00.000000')"},
      {{"find", Data("edl"), "*_v2.xml"}, "/entries/0", Data("edl/news_evening_v2.xml")},
      {{"size", Data("sql/conditions.json")}, "/size", static_cast<std::int64_t>(fs::file_size(Data("sql/conditions.json")))},
      {{"guid", "parse", "{6B29FC40-CA47-1067-B31D-00DD010662DA}"}, "/results/0/compact", "6b29fc40ca471067b31d00dd010662da"},
      {{"text", "words", "two words"}, "/words", 2},
      {{"text", "xml", "a<b"}, "/result", "a&lt;b"},
      {{"text", "html", "a&b"}, "/result", "a&amp;b"},
      {{"text", "unescape", "&amp;"}, "/result", "&"},
      {{"text", "split", "a,b"}, "/pieces/1", "b"},
      {{"error", "text", "2", "--language", "2"}, "/code", 2},
      {{"config", "get", "S", "K", "--default", "d", "--no-write"}, "/value", "d"},
  };
  for (const auto& c : cases) {
    std::string name;
    for (const auto& a : c.args) name += a + " ";
    const json doc = QvtoolJson(c.args);
    const json::json_pointer pointer(c.pointer);
    ASSERT_TRUE(doc.contains(pointer)) << name << c.pointer << " in " << doc.dump();
    EXPECT_EQ(doc[pointer], c.expected) << name << c.pointer;
  }
}

TEST_F(QvtoolTest, JsonOfAListWithABadItemHoldsEveryGoodResultAndFails) {
  struct Case {
    std::vector<std::string> args;
    std::size_t good;
    std::string bad;
  };
  const Case cases[] = {
      {{"timecode", "to-text", "1800", "x", "25"}, 2, "'x'"},
      {{"timecode", "to-frames", "-s", "PAL", "00:00:01:00", "99:99"}, 1, "'99:99'"},
      {{"guid", "parse", "zz", "6b29fc40ca471067b31d00dd010662da"}, 1, "'zz'"},
  };
  for (const auto& c : cases) {
    auto args = c.args;
    args.push_back("--json");
    const Outcome r = Qvtool(args);
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find(c.bad), std::string::npos) << r.err;
    EXPECT_EQ(json::parse(r.out)["results"].size(), c.good) << r.out;
  }
}

TEST_F(QvtoolTest, GuidParseTakesEveryFormThatGuidNewPrints) {
  const json made = QvtoolJson({"guid", "new", "-n", "3"});
  ASSERT_EQ(made["guids"].size(), 3u);
  for (const auto& g : made["guids"]) {
    const std::string compact = g["compact"], registry = g["registry"];
    const std::string hyphenated = registry.substr(1, 36);
    for (const std::string& form : {compact, registry, hyphenated}) {
      const json back = QvtoolJson({"guid", "parse", form});
      EXPECT_EQ(back["results"][0]["compact"], compact) << form;
      EXPECT_EQ(back["results"][0]["registry"], registry) << form;
    }
  }
  // The plain forms too: "compact {registry}" per line.
  const Outcome r = Qvtool({"guid", "new", "--registry"});
  const std::string compact = r.out.substr(0, 32), registry = r.out.substr(33, 38);
  EXPECT_EQ(Qvtool({"guid", "parse", registry}).out, compact + " " + registry + "\n");
}

TEST_F(QvtoolTest, SettingsFolderComesFromTheEnvironment) {
  const json path = QvtoolJson({"config", "path"});
  EXPECT_EQ(path["path"], (dir_ / "DazazuraVada.ini").string());
  ASSERT_EQ(Qvtool({"config", "set", "Clip", "Rate", "25", "--comment", "frames"}).code, 0);
  EXPECT_NE(ReadFile(dir_ / "DazazuraVada.ini").find("Rate=25\t\t;frames"), std::string::npos);
  const json got = QvtoolJson({"config", "get", "Clip", "Rate"});
  EXPECT_EQ(got["value"], "25");
  EXPECT_EQ(got["file"], (dir_ / "DazazuraVada.ini").string());
  // A trailing '/' names the same folder; a relative folder is taken from
  // the current folder (each run starts in dir_).
  const Outcome r = Qvtool({"config", "path"}, "QV_SETTINGS_DIR=" + dir_.string() + "//");
  EXPECT_EQ(r.out, (dir_ / "DazazuraVada.ini").string() + "\n");
  const Outcome relative = Qvtool({"config", "path"}, "QV_SETTINGS_DIR=sub/");
  EXPECT_EQ(relative.out, (dir_ / "sub" / "DazazuraVada.ini").string() + "\n");
}

TEST_F(QvtoolTest, ConfigSetOutsideTheAnsiCodePageSaysWhatTheFileHolds) {
  // Code page 1252 has no CJK characters: Windows stores '?' for them.
  const Outcome r = Qvtool({"config", "set", "Text", "Title", "News 新闻"}, "QV_ANSI_CODEPAGE=1252");
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.err.find("News ??"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("1252"), std::string::npos) << r.err;
  const Outcome got = Qvtool({"config", "get", "Text", "Title"}, "QV_ANSI_CODEPAGE=1252");
  EXPECT_EQ(got.out, "News ??\n");
}

TEST_F(QvtoolTest, ErrorsNameThePathAndTheSystemsReason) {
  const std::string missing = (dir_ / "missing.xml").string();
  struct Case {
    std::vector<std::string> args;
    std::string text;
  };
  const Case cases[] = {
      {{"edl", "info", missing}, missing + ": cannot read the list file: No such file or directory"},
      {{"size", missing}, missing + ": "},
      {{"copy", missing, (dir_ / "b").string()}, missing + ": cannot copy: No such file or directory"},
      {{"sql-where", "-d", "oracle", missing}, missing + ": cannot read the condition file: No such file or directory"},
      {{"base64", "encode", missing}, missing + ": cannot open: No such file or directory"},
  };
  for (const auto& c : cases) {
    const Outcome r = Qvtool(c.args);
    EXPECT_EQ(r.code, 1) << c.text;
    EXPECT_NE(r.err.find(c.text), std::string::npos) << r.err;
  }
}

}  // namespace
