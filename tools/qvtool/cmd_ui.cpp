// `qvtool ui`: the dialog walk, the menu look-up and reading a drop, on
// window trees, menus and payloads described in files.
#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli.h"
#include "commands.h"
#include "qv_commonclass/media.h"
#include "qv_commonclass/ui.h"
#include "qv_commonclass/xml.h"
#include "qv_platform/file_content.h"

namespace qvtool {
namespace {

using namespace qv_commonclass;
using nlohmann::json;

// Reads and parses a JSON description; prints why not and returns null.
std::unique_ptr<json> ReadJson(const std::string& path) {
  std::string text;
  if (const int err = qvp::ReadWholeFile(path, text)) {
    Fail("cannot read '" + path + "': " + std::strerror(err));
    return nullptr;
  }
  auto parsed = std::make_unique<json>(json::parse(text, nullptr, false));
  if (parsed->is_discarded()) {
    Fail("'" + path + "' is not valid JSON");
    return nullptr;
  }
  return parsed;
}

// ---- enable-walk ------------------------------------------------------------------

// Builds the window of `node` under `parent` (top level when null) and its
// children. A node: {"class": "Edit", "text": "...", "visible": true,
// "enabled": true, "readonly": false, "children": [...]}. Null and a message
// on a bad node.
HWND BuildWindow(const json& node, HWND parent, std::string& error) {
  if (!node.is_object() || !node.contains("class") || !node["class"].is_string()) {
    error = "every window needs a \"class\" text";
    return nullptr;
  }
  DWORD style = parent ? WS_CHILD : 0;
  if (node.value("visible", true)) style |= WS_VISIBLE;
  if (!node.value("enabled", true)) style |= WS_DISABLED;
  if (node.value("readonly", false)) style |= ES_READONLY;
  const CString cls = CString::FromUtf8(node["class"].get<std::string>());
  const CString text = CString::FromUtf8(node.value("text", std::string()));
  HWND w = CreateWindowExW(0, cls, text, style, 0, 0, 10, 10, parent, nullptr, nullptr, nullptr);
  if (!w) {
    error = "cannot create a window of class '" + node["class"].get<std::string>() + "'";
    return nullptr;
  }
  if (node.contains("children")) {
    bool ok = node["children"].is_array();
    if (!ok) error = "\"children\" must be a list";
    for (std::size_t i = 0; ok && i < node["children"].size(); ++i) ok = BuildWindow(node["children"][i], w, error);
    if (!ok) {
      DestroyWindow(w);  // and whatever was built below it
      return nullptr;
    }
  }
  return w;
}

void PrintTree(HWND w, const json& node, int depth) {
  char16_t cls[64] = {};
  GetClassNameW(w, cls, 64);
  const LONG style = GetWindowLongW(w, GWL_STYLE);
  std::printf("%*s%s \"%s\": %s%s\n", depth * 2, "", CString(cls).ToUtf8().c_str(),
              node.value("text", std::string()).c_str(), IsWindowEnabled(w) ? "enabled" : "disabled",
              (style & ES_READONLY) ? ", read-only" : "");
  int i = 0;
  for (HWND c = GetWindow(w, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) PrintTree(c, node["children"][i++], depth + 1);
}

int EnableWalk(const std::string& path, int enable) {
  auto tree = ReadJson(path);
  if (!tree) return kExitFailure;
  std::string error;
  HWND top = BuildWindow(*tree, nullptr, error);
  if (!top) {
    Fail("'" + path + "': " + error);
    return kExitFailure;
  }
  qvp::ClearMessageJournal();
  QVEnableAllSubWindow(top, enable);
  std::printf("after QVEnableAllSubWindow(..., %d), %zu message(s) sent:\n", enable, qvp::MessageJournal().size());
  PrintTree(top, *tree, 0);
  DestroyWindow(top);
  return kExitOk;
}

// ---- find-menu ----------------------------------------------------------------------

// Builds a menu from a list: "-" is a separator, a text an item, and
// {"text": "...", "items": [...]} an item opening a sub-menu.
bool BuildMenu(const json& items, HMENU menu, std::string& error) {
  if (!items.is_array()) {
    error = "a menu is a list of items";
    return false;
  }
  UINT id = 1;
  for (const json& item : items) {
    if (item.is_string() && item.get<std::string>() == "-") {
      AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    } else if (item.is_string()) {
      AppendMenuW(menu, MF_STRING, id++, CString::FromUtf8(item.get<std::string>()));
    } else if (item.is_object() && item.contains("items")) {
      HMENU sub = CreatePopupMenu();
      AppendMenuW(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(sub), CString::FromUtf8(item.value("text", std::string())));
      if (!BuildMenu(item["items"], sub, error)) return false;
    } else {
      error = "a menu item is a text, \"-\" or {\"text\", \"items\"}";
      return false;
    }
  }
  return true;
}

int FindMenu(const std::string& text, const std::string& path) {
  auto items = ReadJson(path);
  if (!items) return kExitFailure;
  HMENU menu = CreatePopupMenu();
  std::string error;
  if (!BuildMenu(*items, menu, error)) {
    DestroyMenu(menu);
    Fail("'" + path + "': " + error);
    return kExitFailure;
  }
  const int position = QVFindMenuItem(menu, CString::FromUtf8(text));
  DestroyMenu(menu);
  if (position < 0) {
    std::printf("\"%s\": not in the menu (-1)\n", text.c_str());
    return kExitFailure;
  }
  std::printf("\"%s\": position %d\n", text.c_str(), position);
  return kExitOk;
}

// ---- drop -----------------------------------------------------------------------------

// Offers `payload` as a drop would: a bitmap first, then the text in the
// chosen format, and reads it back through GetDropData.
int Drop(const std::string& path, const std::string& as) {
  std::string bytes;
  if (const int err = qvp::ReadWholeFile(path, bytes)) {
    Fail("cannot read '" + path + "': " + std::strerror(err));
    return kExitFailure;
  }
  const CString text = CString::FromUtf8(bytes);
  COleDataSource source;
  STGMEDIUM bitmap;
  bitmap.tymed = TYMED_GDI;
  bitmap.hBitmap = CreateCompatibleBitmap(nullptr, 16, 16);
  source.CacheData(CF_BITMAP, bitmap);
  if (as != "bitmap") {
    const CLIPFORMAT format =
        as == "text" ? CF_UNICODETEXT : static_cast<CLIPFORMAT>(RegisterClipboardFormatW(kQVClipFormatName));
    HGLOBAL block = GlobalAlloc(GHND, (static_cast<std::size_t>(text.GetLength()) + 1) * sizeof(char16_t));
    if (!block) {
      Fail("out of memory");
      return kExitFailure;
    }
    auto* to = static_cast<char16_t*>(GlobalLock(block));
    std::copy_n(text.GetString(), text.GetLength(), to);
    GlobalUnlock(block);
    source.CacheGlobalData(format, block);
  }
  COleDataObject data;
  data.Attach(&source);
  const CString dropped = GetDropData(&data);
  std::printf("offered: bitmap%s\n", as == "bitmap" ? " only" : as == "text" ? ", Unicode text" : ", VeltoQVClip");
  if (dropped.IsEmpty()) {
    Fail("nothing dropped: GetDropData found no text (see the trace log)");
    return kExitFailure;
  }
  std::printf("dropped text: %d characters\n", dropped.GetLength());
  CQVXmlDomDocument doc;
  if (!doc.LoadXml(dropped)) {
    Fail("the dropped text is not an XML document");
    return kExitFailure;
  }
  stu_QVDragHeaderDef h;
  QVGetDragHeader(doc, h);
  std::printf("drag header: version %" PRId32 ", type %" PRId32 ", source %" PRId32 ", user \"%s\", address %s, site %" PRId32
              "\n",
              h.lVersion, h.lType, h.lSource, h.strUserCode.ToUtf8().c_str(), h.strIpAddress.ToUtf8().c_str(),
              h.lSiteId);
  return kExitOk;
}

int Demo() {
  const std::string dir = DataDir() + "/ui/";
  std::printf("-- a dialog disabled: buttons, combo boxes and date pickers are disabled, edits read-only\n");
  int rc = EnableWalk(dir + "dialog.json", 0);
  std::printf("-- menu look-up without regard to case, and the first separator for an empty text\n");
  rc |= FindMenu("&EXPORT...", dir + "menu.json");
  rc |= FindMenu("", dir + "menu.json");
  std::printf("-- a drop in the product's format, read with its drag header\n");
  rc |= Drop(DataDir() + "/media/drag_header.xml", "clip");
  return rc ? kExitFailure : kExitOk;
}

}  // namespace

void AddUiCommands(CLI::App& app) {
  auto* ui = app.add_subcommand("ui", "Dialog, menu and drag-and-drop functions on described windows");
  ui->require_subcommand(1);
  AddExamples(ui, {"qvtool ui find-menu '&export...' --menu data/ui/menu.json"});

  auto path = std::make_shared<std::string>();
  auto enable = std::make_shared<int>(0);
  auto* walk = ui->add_subcommand("enable-walk", "Enable or disable the controls of a window tree, print each state");
  AddExamples(walk, {"qvtool ui enable-walk data/ui/dialog.json --enable 0"});
  AddFooter(walk, "FILE: {\"class\": \"#32770\", \"children\": [{\"class\": \"Edit\", \"text\": \"Title\"}, ...]}");
  walk->add_option("FILE", *path, "JSON window tree")->required();
  walk->add_option("--enable", *enable, "1 to enable, 0 to disable")->check(CLI::Range(0, 1));
  walk->callback([path, enable] { ExitCode() = EnableWalk(*path, *enable); });

  auto text = std::make_shared<std::string>();
  auto menu = std::make_shared<std::string>();
  auto* find = ui->add_subcommand("find-menu", "Find a menu item's position by its text (case ignored)");
  AddExamples(find, {"qvtool ui find-menu '&export...' --menu data/ui/menu.json"});
  AddFooter(find, "FILE: [\"&Open\", \"-\", {\"text\": \"Recent\", \"items\": [...]}]; exit 1 when not found");
  find->add_option("TEXT", *text, "Item text; '' finds the first separator")->required();
  find->add_option("--menu", *menu, "JSON menu description")->required();
  find->callback([text, menu] { ExitCode() = FindMenu(*text, *menu); });

  auto as = std::make_shared<std::string>("clip");
  auto* drop = ui->add_subcommand("drop", "Drop a file's text as a data object and read it with its drag header");
  AddExamples(drop, {"qvtool ui drop data/media/drag_header.xml --as clip"});
  drop->add_option("FILE", *path, "UTF-8 payload, the product's XML drag document")->required();
  drop->add_option("--as", *as, "Offer it as 'clip' (VeltoQVClip), 'text' (Unicode text), or 'bitmap' (no text)")
      ->check(CLI::IsMember({"clip", "text", "bitmap"}));
  drop->callback([path, as] { ExitCode() = Drop(*path, *as); });

  AddDemoSection("user interface", Demo);
}

}  // namespace qvtool
