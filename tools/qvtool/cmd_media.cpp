// `qvtool media`: the media object tables and texts, drag headers and
// archive notes.
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "commands.h"
#include "qv_commonclass/media.h"
#include "qv_platform/fileio.h"

namespace qvtool {

namespace {

using namespace qv_commonclass;

// A 32-bit code in decimal or 0x hexadecimal; negative decimals allowed.
std::optional<std::int64_t> ParseCode(const std::string& text) {
  if (text.empty()) return std::nullopt;
  errno = 0;
  char* end = nullptr;
  const long long v = std::strtoll(text.c_str(), &end, 0);
  if (errno || *end || v < INT32_MIN || v > static_cast<long long>(UINT32_MAX)) return std::nullopt;
  return v;
}

// Reads the CODE argument or reports a usage error.
std::optional<std::int64_t> Code(const std::string& text) {
  auto code = ParseCode(text);
  if (!code) {
    Fail("'" + text + "' is not a 32-bit code (decimal, or hexadecimal with 0x)");
    ExitCode() = kExitUsage;
  }
  return code;
}

std::string Utf8(const CString& s) { return s.ToUtf8(); }

void PrintDragHeader(const stu_QVDragHeaderDef& h) {
  std::printf("VERSION\t%" PRId32 "\nTYPE\t%" PRId32 "\nSOURCE\t%" PRId32 "\nUSERCODE\t%s\nIPADDRESS\t%s\nSITEID\t%" PRId32
              "\n",
              h.lVersion, h.lType, h.lSource, Utf8(h.strUserCode).c_str(), Utf8(h.strIpAddress).c_str(), h.lSiteId);
}

int DragHeader(const std::string& path) {
  const CString wide = CString::FromUtf8(path);
  if (GetFileAttributesW(wide) == INVALID_FILE_ATTRIBUTES) {
    Fail("'" + path + "' does not exist");
    return kExitFailure;
  }
  CQVXmlDomDocument doc;
  if (!doc.Load(wide)) {
    std::string reason = "not a well-formed XML document";
    if (const qvp::XmlDocument* d = doc.GetDocumentPtr()) {
      const qvp::XmlParseError& e = d->ParseError();
      reason = CString(e.reason).ToUtf8() + " (line " + std::to_string(e.line) + ", column " +
               std::to_string(e.linepos) + ")";
    }
    Fail("cannot load '" + path + "': " + reason);
    return kExitFailure;
  }
  stu_QVDragHeaderDef header;
  QVGetDragHeader(doc, header);
  PrintDragHeader(header);
  return kExitOk;
}

int Demo() {
  std::printf("clip type -> file index:");
  for (ULONG type : {0x1u, 0x2u, 0x6u, 0x100u, 0x80000u, 0x80001u, 0u})
    std::printf("  0x%" PRIX32 "->%" PRIu32, type, QVClipTypeToFileIndex(type));
  std::printf("\nmedia types:");
  for (ULONG bit = 0; bit <= 8; ++bit) {
    CString name;
    QVGetMediaTypeStr(ULONG{1} << bit, name);
    std::printf(" %s", Utf8(name).c_str());
  }
  std::printf("\ntechnical check: 1 %s, 6 %s, 258 %s, 99 %s\n", Utf8(QVTechTypeToString(1)).c_str(),
              Utf8(QVTechTypeToString(6)).c_str(), Utf8(QVTechTypeToString(258)).c_str(),
              Utf8(QVTechTypeToString(99)).c_str());
  std::printf("archive state 2: %s; 0x13: %s; 5: %s\n", Utf8(QVGetArchiveFlagString(2)).c_str(),
              Utf8(QVGetArchiveFlagString(0x13)).c_str(), Utf8(QVGetArchiveFlagString(5)).c_str());
  std::printf("capture state 0x80: %s; 0x3: %s\n", Utf8(QVGetCaptureFlagString(0x80)).c_str(),
              Utf8(QVGetCaptureFlagString(0x3)).c_str());
  CString search = u"news -sport a/+b";
  std::printf("search text '%s' -> '%s'\n", Utf8(search).c_str(), Utf8(QVGetValidSearchCondition(search)).c_str());

  stu_QVObject object;
  QVSetElementToArchiveNote(&object, u"Tape", u"A-0042");
  QVSetElementToArchiveNote(&object, u"Shelf", u"7");
  QVSetElementToArchiveNote(&object, u"Tape", u"A-0043");
  CString tape;
  const int got = QVGetElementFromArchiveNote(&object, u"Tape", tape);
  std::printf("archive note: %s", Utf8(object.strArchiveNote).c_str());
  std::printf("  Tape -> %s (%d)\n", Utf8(tape).c_str(), got);

  const std::string sample = std::string(QV_DATA_DIR) + "/media/drag_header.xml";
  std::printf("drag header %s:\n", sample.c_str());
  if (DragHeader(sample) != kExitOk) return kExitFailure;
  return tape == u"A-0043" ? kExitOk : kExitFailure;
}

}  // namespace

void AddMediaCommands(CLI::App& app) {
  auto* media = app.add_subcommand("media", "Media object tables, status texts, drag headers and archive notes");
  media->require_subcommand(1);
  auto code = std::make_shared<std::string>();
  auto add_code = [code](CLI::App* sub) {
    sub->add_option("code", *code, "The code: decimal, or hexadecimal with 0x")->required();
  };

  auto* clip_type = media->add_subcommand("clip-type", "Print the file index (0-9) of a clip type mask");
  clip_type->footer("Example: qvtool media clip-type 0x6    (prints 1: the lowest known bit decides)");
  add_code(clip_type);
  clip_type->callback([code] {
    if (auto c = Code(*code)) std::printf("%" PRIu32 "\n", QVClipTypeToFileIndex(static_cast<ULONG>(*c)));
  });

  auto* media_type = media->add_subcommand("media-type", "Print the name of a media type bit (video, Audio1-Audio8)");
  media_type->footer("Example: qvtool media media-type 0x4    (prints Audio2)");
  add_code(media_type);
  media_type->callback([code] {
    auto c = Code(*code);
    if (!c) return;
    CString name;
    if (!QVGetMediaTypeStr(static_cast<ULONG>(*c), name)) {
      Fail("'" + *code + "' is not a media type (one of the bits 0x1 to 0x100)");
      ExitCode() = kExitFailure;
      return;
    }
    std::printf("%s\n", Utf8(name).c_str());
  });

  auto* tech_type = media->add_subcommand("tech-type", "Print the name of a technical-check segment type");
  tech_type->footer("Example: qvtool media tech-type 256    (prints 音频静音, audio silence; unknown codes print UnKown)");
  add_code(tech_type);
  tech_type->callback([code] {
    if (auto c = Code(*code)) std::printf("%s\n", Utf8(QVTechTypeToString(static_cast<LONG>(*c))).c_str());
  });

  // The archive and capture states: the text, and with --key the key.
  auto add_flag = [media, add_code](const char* name, const char* help, const char* example,
                                    CString (*text)(LONG), const char16_t* (*key)(LONG)) {
    auto* sub = media->add_subcommand(name, help);
    sub->footer(example);
    add_code(sub);
    auto show_key = std::make_shared<bool>(false);
    sub->add_flag("--key", *show_key, "Print the resource key after the text");
    sub->callback([show_key, text, key, sub] {
      auto c = Code(sub->get_option("code")->as<std::string>());
      if (!c) return;
      const LONG flag = static_cast<LONG>(*c);
      std::printf("%s", Utf8(text(flag)).c_str());
      if (*show_key) std::printf("\t%s", CString(key(flag)).ToUtf8().c_str());
      std::printf("\n");
    });
  };
  add_flag("archive-flag", "Print the text of an archive state (QV_UI_LANGUAGE chooses the language)",
           "Example: QV_UI_LANGUAGE=en-US qvtool media archive-flag 0x12 --key", QVGetArchiveFlagString,
           QVArchiveFlagKey);
  add_flag("capture-flag",
           "Print the text of a capture or processing state (exact values; combinations give the normal state)",
           "Example: qvtool media capture-flag 0x80    (prints 转码中, transcoding)", QVGetCaptureFlagString,
           QVCaptureFlagKey);

  auto text = std::make_shared<std::string>();
  auto* search = media->add_subcommand("search-condition", "Rewrite a search text for the full-text search");
  search->footer("Example: qvtool media search-condition 'news -sport a/+b'    (prints news+ sport+ab)");
  search->add_option("text", *text, "UTF-8 search text")->required();
  search->callback([text] {
    CString condition = CString::FromUtf8(*text);
    std::printf("%s\n", Utf8(QVGetValidSearchCondition(condition)).c_str());
  });

  auto* drag = media->add_subcommand("drag-header", "Read a drag-and-drop header document");
  drag->footer("Example: qvtool media drag-header data/media/drag_header.xml");
  drag->add_option("file", *text, "XML file whose root holds VERSION, TYPE, SOURCE, USERCODE, IPADDRESS, SITEID")
      ->required();
  drag->callback([text] { ExitCode() = DragHeader(*text); });

  auto* note = media->add_subcommand("archive-note", "Read or set a value in an archive note given as text");
  note->require_subcommand(1);
  auto name = std::make_shared<std::string>();
  auto value = std::make_shared<std::string>();
  auto* get = note->add_subcommand("get", "Print the value NAME of the note (empty when it has none)");
  get->footer("Example: qvtool media archive-note get '<Reserved4><Tape>A-0042</Tape></Reserved4>' Tape");
  get->add_option("note", *text, "The note: <Reserved4> XML text")->required();
  get->add_option("name", *name, "The value's element name")->required();
  get->callback([text, name] {
    stu_QVObject object;
    object.strArchiveNote = CString::FromUtf8(*text);
    CString v;
    if (!QVGetElementFromArchiveNote(&object, CString::FromUtf8(*name), v)) {
      Fail("the note is empty or not well-formed XML");
      ExitCode() = kExitFailure;
      return;
    }
    std::printf("%s\n", Utf8(v).c_str());
  });
  auto* set = note->add_subcommand("set", "Set the value NAME in the note and print the new note");
  set->footer("Example: qvtool media archive-note set '' Tape A-0042    (prints <Reserved4><Tape>A-0042</Tape></Reserved4>)");
  set->add_option("note", *text, "The note: <Reserved4> XML text, or '' for a new one")->required();
  set->add_option("name", *name, "The value's element name")->required();
  set->add_option("value", *value, "The value")->required();
  set->callback([text, name, value] {
    stu_QVObject object;
    object.strArchiveNote = CString::FromUtf8(*text);
    if (!QVSetElementToArchiveNote(&object, CString::FromUtf8(*name), CString::FromUtf8(*value))) {
      Fail("the note is empty after the change");
      ExitCode() = kExitFailure;
      return;
    }
    std::string out = Utf8(object.strArchiveNote);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    std::printf("%s\n", out.c_str());
  });

  AddDemoSection("media objects", Demo);
}

}  // namespace qvtool
