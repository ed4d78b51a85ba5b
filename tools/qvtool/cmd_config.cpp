// `qvtool config`: read and write the library's settings file.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <cstring>
#include <string>

#include "cli.h"
#include "commands.h"
#include "qv_commonclass/diagnostics.h"
#include "qv_platform/codepage.h"
#include "qv_platform/profile.h"

namespace qvtool {

namespace {

using qv_commonclass::CQVConfigureManage;

CString Wide(const std::string& utf8) { return CString::FromUtf8(utf8); }

// The store's read buffer, in UTF-16 units, terminating NUL included.
constexpr int kReadBufferChars = 1024;

CQVConfigureManage* Store() {
  CQVConfigureManage* store = CQVConfigureManage::instance();
  if (!store) Fail("the configuration store could not be created");
  return store;
}

// StoredLine is the key's whole line as the file holds it (value and
// comment); empty when the key is missing.
CString StoredLine(const CQVConfigureManage& store, const char16_t* section, const char16_t* key) {
  char16_t buffer[kReadBufferChars] = {};
  const DWORD n = GetPrivateProfileStringW(section, key, u"", buffer, kReadBufferChars, store.GetIniFileName());
  return CString(buffer, static_cast<int>(n));
}

// AsStored is how the file gives back a line that was written: trimmed, and
// without one pair of surrounding quotes.
CString AsStored(CString line) {
  line.Trim(u" \t");
  const int n = line.GetLength();
  if (n >= 2 && (line[0] == u'"' || line[0] == u'\'') && line[n - 1] == line[0]) line = line.Mid(1, n - 2);
  return line;
}

// InAnsi is `text` as the ANSI code page can hold it: what the settings file
// keeps, with '?' for the characters the code page lacks, as on Windows.
CString InAnsi(const CString& text) {
  return CString(qvp::ToWide(qvp::FromWide(std::u16string_view(text.GetString(), text.GetLength()))).c_str());
}

// WriteRefusal is the system's reason why the settings file cannot be
// written, or empty when nothing stands in the way.
std::string WriteRefusal(const std::string& file) {
  const std::string folder = file.substr(0, file.rfind('/') + 1);
  if (::access(file.c_str(), F_OK) == 0 ? ::access(file.c_str(), W_OK) != 0
                                         : ::access(folder.empty() ? "." : folder.c_str(), W_OK) != 0)
    return std::strerror(errno);
  return {};
}

int RunDemo() {
  CQVConfigureManage* store = Store();
  if (!store) return kExitFailure;
  std::printf("settings file: %s\n", store->GetIniFileName().ToUtf8().c_str());
  const int rate = qv_commonclass::QVReadConfigParamValue(u"ADVANCE", u"DefaultFrameRate", 2500, u"默认帧率", 1);
  std::printf("ADVANCE/DefaultFrameRate reads %d (default 2500, written back when missing)\n", rate);
  std::printf("  stored line: DefaultFrameRate=%s\n",
              StoredLine(*store, u"ADVANCE", u"DefaultFrameRate").ToUtf8().c_str());
  std::printf("Debug/DebugDetail reads %d\n", qv_commonclass::QVDebugDetail());
  std::printf("  stored line: DebugDetail=%s\n", StoredLine(*store, u"Debug", u"DebugDetail").ToUtf8().c_str());
  return kExitOk;
}

}  // namespace

void AddConfigCommands(CLI::App& app) {
  auto* config = app.add_subcommand("config", "Read and write the library's settings file (DazazuraVada.ini)");
  config->require_subcommand(1);
  AddExamples(config, {"qvtool config get Debug DebugDetail", "qvtool config path"});
  AddFooter(config, "The settings file is DazazuraVada.ini beside the library, or in the folder QV_SETTINGS_DIR "
                    "names.");

  struct GetOptions {
    std::string section, key, default_value, comment;
    bool no_write = false;
  };
  auto get_opts = std::make_shared<GetOptions>();
  auto* get = config->add_subcommand("get", "Print a setting; a missing key reads as --default, which is written "
                                            "back with --comment unless --no-write");
  get->add_option("SECTION", get_opts->section, "Section name")->required();
  get->add_option("KEY", get_opts->key, "Key name")->required();
  get->add_option("--default", get_opts->default_value, "Value when the key is missing or empty");
  get->add_option("--comment", get_opts->comment, "Comment stored after the default when it is written back");
  get->add_flag("--no-write", get_opts->no_write, "Never write the default back");
  AddExamples(get, {"qvtool config get ADVANCE DefaultFrameRate --default 2500 --comment 默认帧率",
                    "qvtool config get Debug DebugDetail --json"});
  AddJsonOutput(get, "{\"section\": SECTION, \"key\": KEY, \"value\": text, \"file\": the settings file}");
  get->callback([get_opts] {
    CQVConfigureManage* store = Store();
    if (!store) {
      ExitCode() = kExitFailure;
      return;
    }
    const CString section = Wide(get_opts->section), key = Wide(get_opts->key);
    const CString value = store->ReadString(section, key, Wide(get_opts->default_value), Wide(get_opts->comment),
                                            get_opts->no_write ? 0 : 1);
    if (value.IsEmpty() && get_opts->default_value.empty()) {
      Fail("no value for " + get_opts->section + "/" + get_opts->key + " in " + store->GetIniFileName().ToUtf8());
      ExitCode() = kExitFailure;
      return;
    }
    if (JsonWanted()) {
      JsonResult() = {{"section", get_opts->section}, {"key", get_opts->key}, {"value", value.ToUtf8()},
                      {"file", store->GetIniFileName().ToUtf8()}};
    } else {
      std::printf("%s\n", value.ToUtf8().c_str());
    }
    ExitCode() = kExitOk;
  });

  struct SetOptions {
    std::string section, key, value, comment;
  };
  auto set_opts = std::make_shared<SetOptions>();
  auto* set = config->add_subcommand("set", "Store a setting (with an optional comment after it)");
  set->add_option("SECTION", set_opts->section, "Section name")->required();
  set->add_option("KEY", set_opts->key, "Key name")->required();
  set->add_option("VALUE", set_opts->value, "Value to store")->required();
  set->add_option("--comment", set_opts->comment, "Comment stored after the value");
  AddExamples(set, {"qvtool config set ADVANCE DefaultFrameRate 2500 --comment 默认帧率",
                    "QV_SETTINGS_DIR=~/.config/qv qvtool config set Debug DebugDetail 1"});
  AddFooter(set, "Characters outside the ANSI code page (QV_ANSI_CODEPAGE, 936 by default) are stored as '?', as "
                 "Windows stores them; a warning then shows the stored text.");
  set->callback([set_opts] {
    CQVConfigureManage* store = Store();
    if (!store) {
      ExitCode() = kExitFailure;
      return;
    }
    const CString section = Wide(set_opts->section), key = Wide(set_opts->key), value = Wide(set_opts->value);
    const CString comment = Wide(set_opts->comment);
    if (value.IsEmpty() && comment.IsEmpty()) {
      Fail("nothing to store: the value and the comment are both empty");
      ExitCode() = kExitUsage;
      return;
    }
    // The store reads a setting through a buffer of kReadBufferChars
    // characters: a longer line would be stored but read back cut short, so
    // it is refused before anything is written.
    const int line_length = value.GetLength() + (comment.IsEmpty() ? 0 : 3 + comment.GetLength());
    if (line_length >= kReadBufferChars) {
      Fail("the stored line would hold " + std::to_string(line_length) + " characters (value" +
           (comment.IsEmpty() ? std::string() : ", two tabs, ';' and comment") + "); the library reads at most " +
           std::to_string(kReadBufferChars - 1) + " characters of a setting, so a longer value would read back cut "
           "short. Store long data in a file and put its path in the setting.");
      ExitCode() = kExitUsage;
      return;
    }
    store->WriteString(section, key, value, comment);
    // The store does not report refused writes; check that the value landed.
    // The file is in the ANSI code page: characters it lacks are stored as
    // '?', as on Windows, and the user is told what the file now holds.
    CString expected_line = InAnsi(value);
    if (!comment.IsEmpty()) expected_line.AppendFormat(u"\t\t;%s", InAnsi(comment).GetString());
    if (StoredLine(*store, section, key) != AsStored(expected_line)) {
      const std::string file = store->GetIniFileName().ToUtf8(), refusal = WriteRefusal(file);
      if (!refusal.empty()) {
        Fail(file + ": cannot store " + set_opts->section + "/" + set_opts->key + ": " + refusal +
             " (QV_SETTINGS_DIR names another folder for the settings)");
        ExitCode() = kExitFailure;
        return;
      }
      Fail("could not store " + set_opts->section + "/" + set_opts->key + " in " +
           store->GetIniFileName().ToUtf8() + " (a read-only folder or file, or a line break in the value, or a line break, ']' or '=' in a name)");
      ExitCode() = kExitFailure;
      return;
    }
    if (InAnsi(value) != value || InAnsi(comment) != comment) {
      std::fprintf(stderr,
                   "qvtool: warning: code page %u lacks some characters of the value or comment; stored as '%s', "
                   "with '?' for them as Windows stores them\n",
                   static_cast<unsigned>(GetACP()), expected_line.ToUtf8().c_str());
    }
    ExitCode() = kExitOk;
  });

  auto* path = config->add_subcommand("path", "Print the full path of the settings file");
  path->callback([] {
    CQVConfigureManage* store = Store();
    if (!store) {
      ExitCode() = kExitFailure;
      return;
    }
    if (JsonWanted()) {
      JsonResult() = {{"path", store->GetIniFileName().ToUtf8()}};
    } else {
      std::printf("%s\n", store->GetIniFileName().ToUtf8().c_str());
    }
    ExitCode() = kExitOk;
  });
  AddExamples(path, {"qvtool config path", "QV_SETTINGS_DIR=/tmp/qv qvtool config path --json"});
  AddJsonOutput(path, "{\"path\": the settings file}");

  AddDemoSection("configuration", RunDemo);
}

}  // namespace qvtool
