// `qvtool config`: read and write the library's settings file.
#include <cstdio>
#include <memory>
#include <string>

#include "commands.h"
#include "qv_commonclass/diagnostics.h"
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
    std::printf("%s\n", value.ToUtf8().c_str());
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
    CString expected_line = value;
    if (!comment.IsEmpty()) expected_line.AppendFormat(u"\t\t;%s", comment.GetString());
    if (StoredLine(*store, section, key) != AsStored(expected_line)) {
      Fail("could not store " + set_opts->section + "/" + set_opts->key + " in " +
           store->GetIniFileName().ToUtf8() + " (a read-only folder or file, or a line break in the value, or a line break, ']' or '=' in a name)");
      ExitCode() = kExitFailure;
      return;
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
    std::printf("%s\n", store->GetIniFileName().ToUtf8().c_str());
    ExitCode() = kExitOk;
  });

  AddDemoSection("configuration", RunDemo);
}

}  // namespace qvtool
