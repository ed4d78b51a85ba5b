// `qvtool timecode`: frame counts to time code text and back, for one video
// standard or the installation's default frame rate, and the standards table.
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli.h"
#include "commands.h"
#include "qv_commonclass/media.h"

namespace qvtool {

namespace {

using namespace qv_commonclass;

struct NamedStandard {
  const char* name;
  emQVVideoStandard value;
};

// The names accepted by --standard (case-insensitive), in table order.
constexpr NamedStandard kStandards[] = {
    {"default", QV_VIDEOSTANDARD_DEFAULT},      {"PAL", QV_VIDEOSTANDARD_PAL},
    {"NTSC", QV_VIDEOSTANDARD_NTSC},            {"NTSC30", QV_VIDEOSTANDARD_NTSC_30},
    {"SECAM", QV_VIDEOSTANDARD_SECAM},          {"1080i50", QV_VIDEOSTANDARD_1080I_50},
    {"1080i5994", QV_VIDEOSTANDARD_1080I_5994}, {"1080i60", QV_VIDEOSTANDARD_1080I_60},
    {"1080p2398", QV_VIDEOSTANDARD_1080P_2398}, {"1080p24", QV_VIDEOSTANDARD_1080P_24},
    {"1080p25", QV_VIDEOSTANDARD_1080P_25},     {"1080p2997", QV_VIDEOSTANDARD_1080P_2997},
    {"1080p30", QV_VIDEOSTANDARD_1080P_30},     {"720p2398", QV_VIDEOSTANDARD_720P_2398},
    {"720p24", QV_VIDEOSTANDARD_720P_24},       {"720p50", QV_VIDEOSTANDARD_720P_50},
    {"720p5994", QV_VIDEOSTANDARD_720P_5994},   {"1440i50", QV_VIDEOSTANDARD_1440I_50},
    {"1440i5994", QV_VIDEOSTANDARD_1440I_5994}, {"1440i60", QV_VIDEOSTANDARD_1440I_60},
};

bool SameNoCase(const std::string& a, const char* b) {
  std::size_t i = 0;
  for (; i < a.size() && b[i]; ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return i == a.size() && !b[i];
}

// A standard by name, or a 32-bit number in decimal or 0x hex. Numbers that
// are not rows of the table are allowed: the library counts them at 25.
std::optional<emQVVideoStandard> ParseStandard(const std::string& text) {
  for (const auto& s : kStandards)
    if (SameNoCase(text, s.name)) return s.value;
  if (text.empty()) return std::nullopt;
  errno = 0;
  char* end = nullptr;
  const long long v = std::strtoll(text.c_str(), &end, 0);
  if (errno || *end || v < INT32_MIN || v > static_cast<long long>(UINT32_MAX)) return std::nullopt;
  return static_cast<emQVVideoStandard>(static_cast<std::int32_t>(static_cast<std::uint32_t>(v)));
}

std::optional<LONG> ParseFrames(const std::string& text) {
  if (text.empty()) return std::nullopt;
  errno = 0;
  char* end = nullptr;
  const long long v = std::strtoll(text.c_str(), &end, 10);
  if (errno || *end || v < INT32_MIN || v > INT32_MAX) return std::nullopt;
  return static_cast<LONG>(v);
}

std::string NameOf(emQVVideoStandard standard) {
  for (const auto& s : kStandards)
    if (s.value == standard) return s.name;
  char buf[32];
  std::snprintf(buf, sizeof buf, "0x%" PRIX32, static_cast<std::uint32_t>(standard));
  return buf;
}

double RateOf(emQVVideoStandard standard) {
  return standard == 0 ? QVGetMediaDefaultFrameRate() : GetTimeCodeFrameRate(standard);
}

std::string Text(LONG frames, emQVVideoStandard standard) {
  return QV_GetStringFromTimeCode(frames, standard).ToUtf8();
}

struct Options {
  std::string standard = "default";
  std::vector<std::string> values;
  std::int64_t from = 0, to = -1;
  bool only_mismatches = false;
};

// Resolves --standard or reports a usage error.
std::optional<emQVVideoStandard> Standard(const Options& o) {
  auto s = ParseStandard(o.standard);
  if (!s) {
    Fail("unknown video standard '" + o.standard + "' (a name from `qvtool timecode standards` or a number)");
    ExitCode() = kExitUsage;
  }
  return s;
}

// JsonHead starts the --json document of a command working at `standard`.
nlohmann::json& JsonHead(emQVVideoStandard standard) {
  nlohmann::json& doc = JsonResult();
  doc = {{"standard", NameOf(standard)}, {"rate", RateOf(standard)}, {"results", nlohmann::json::array()}};
  return doc;
}

int ToText(const Options& o) {
  const auto standard = Standard(o);
  if (!standard) return kExitUsage;
  if (JsonWanted()) JsonHead(*standard);
  int rc = kExitOk;
  for (const auto& v : o.values) {
    const auto frames = ParseFrames(v);
    if (!frames) {
      Fail("'" + v + "' is not a frame count (a whole number from -2147483648 to 2147483647)");
      rc = kExitFailure;
      continue;
    }
    if (JsonWanted()) {
      JsonResult()["results"].push_back({{"frames", *frames}, {"text", Text(*frames, *standard)}});
    } else {
      std::printf("%" PRId32 "\t%s\n", *frames, Text(*frames, *standard).c_str());
    }
  }
  return rc;
}

int ToFrames(const Options& o) {
  const auto standard = Standard(o);
  if (!standard) return kExitUsage;
  if (JsonWanted()) JsonHead(*standard);
  int rc = kExitOk;
  for (const auto& v : o.values) {
    const CString text = CString::FromUtf8(v);
    const LONG frames = QV_FromStringToTimeCode(text, *standard);
    // 0 is also the answer for invalid text; call it invalid unless every
    // digit position holds a zero.
    if (frames == 0) {
      bool zero = text.GetLength() >= 11;
      for (int i : {0, 1, 3, 4, 6, 7, 9, 10})
        if (zero && text[i] != u'0') zero = false;
      if (!zero) {
        Fail("'" + v + "' is not valid time code at " + NameOf(*standard) + " (HH:MM:SS:FF; the library reads it as 0)");
        rc = kExitFailure;
        continue;
      }
    }
    if (JsonWanted()) {
      JsonResult()["results"].push_back({{"text", v}, {"frames", frames}});
    } else {
      std::printf("%s\t%" PRId32 "\n", v.c_str(), frames);
    }
  }
  return rc;
}

int Range(const Options& o) {
  const auto standard = Standard(o);
  if (!standard) return kExitUsage;
  if (o.from < INT32_MIN || o.to > INT32_MAX || o.from > o.to) {
    Fail("--from and --to must be 32-bit frame counts with --from <= --to");
    return kExitUsage;
  }
  std::int64_t mismatches = 0;
  if (JsonWanted()) JsonHead(*standard);
  for (std::int64_t n = o.from; n <= o.to; ++n) {
    const LONG frames = static_cast<LONG>(n);
    const CString text = QV_GetStringFromTimeCode(frames, *standard);
    const LONG back = QV_FromStringToTimeCode(text, *standard);
    const bool same = back == frames;
    if (!same) ++mismatches;
    if (o.only_mismatches && same) continue;
    if (JsonWanted()) {
      JsonResult()["results"].push_back({{"frames", frames}, {"text", text.ToUtf8()}, {"back", back}, {"same", same}});
    } else {
      std::printf("%" PRId32 "\t%s\t%" PRId32 "%s\n", frames, text.ToUtf8().c_str(), back, same ? "" : "\tMISMATCH");
    }
  }
  if (JsonWanted()) {
    JsonResult()["frames"] = o.to - o.from + 1;
    JsonResult()["mismatches"] = mismatches;
  }
  std::fprintf(stderr, "%s at %.15g fps: %" PRId64 " frames, %" PRId64 " read back differently\n",
               NameOf(*standard).c_str(), RateOf(*standard), o.to - o.from + 1, mismatches);
  return mismatches ? kExitFailure : kExitOk;
}

int Standards() {
  if (JsonWanted()) {
    nlohmann::json list = nlohmann::json::array();
    for (const auto& s : kStandards) {
      if (s.value == 0) {
        list.push_back({{"name", s.name}, {"value", 0}, {"rate", nullptr}, {"timecodeRate", QVGetMediaDefaultFrameRate()},
                        {"width", nullptr}, {"height", nullptr}});
        continue;
      }
      list.push_back({{"name", s.name}, {"value", static_cast<std::uint32_t>(s.value)},
                      {"rate", QV_GetFromVideoStandardToFrameRate(s.value)}, {"timecodeRate", GetTimeCodeFrameRate(s.value)},
                      {"width", QV_GetSysVideoWidth(s.value)}, {"height", QV_GetSysVideoHeight(s.value)}});
    }
    JsonResult() = {{"standards", list}};
    return kExitOk;
  }
  std::printf("%-10s %-8s %-8s %-20s %s\n", "name", "value", "rate", "time code rate", "frame");
  for (const auto& s : kStandards) {
    if (s.value == 0) {
      std::printf("%-10s %-8s %-8s %-20.17g (DazazuraVada.ini ADVANCE/DefaultFrameRate)\n", s.name, "0", "-",
                  QVGetMediaDefaultFrameRate());
      continue;
    }
    char value[16];
    std::snprintf(value, sizeof value, "0x%" PRIX32, static_cast<std::uint32_t>(s.value));
    std::printf("%-10s %-8s %-8.4g %-20.17g %ux%u\n", s.name, value, QV_GetFromVideoStandardToFrameRate(s.value),
                GetTimeCodeFrameRate(s.value), QV_GetSysVideoWidth(s.value), QV_GetSysVideoHeight(s.value));
  }
  return kExitOk;
}

int Demo() {
  struct Show {
    emQVVideoStandard standard;
    LONG frames;
  };
  const Show shows[] = {
      {QV_VIDEOSTANDARD_PAL, 1800},          {QV_VIDEOSTANDARD_PAL, 2160000},
      {QV_VIDEOSTANDARD_NTSC_30, 10799999},  {QV_VIDEOSTANDARD_NTSC, 1800},
      {QV_VIDEOSTANDARD_NTSC, 17981},        {QV_VIDEOSTANDARD_1080P_24, 1440},
      {QV_VIDEOSTANDARD_720P_5994, 3598},    {QV_VIDEOSTANDARD_DEFAULT, 90000},
  };
  std::printf("frames to text:\n");
  for (const auto& s : shows)
    std::printf("  %-9s %9" PRId32 " -> %s\n", NameOf(s.standard).c_str(), s.frames, Text(s.frames, s.standard).c_str());

  struct Read {
    emQVVideoStandard standard;
    const char16_t* text;
    const char* note;
  };
  const Read reads[] = {
      {QV_VIDEOSTANDARD_PAL, u"01:00:00:00", ""},
      {QV_VIDEOSTANDARD_PAL, u"00-01.02x03", "separators are not looked at"},
      {QV_VIDEOSTANDARD_NTSC, u"00:01:00:00", "a dropped frame number reads as the next existing one"},
      {QV_VIDEOSTANDARD_PAL, u"00:00:59:25", "frame out of range: 0"},
      {QV_VIDEOSTANDARD_PAL, u"-1:00:00:00", "negative field: 0"},
  };
  std::printf("text to frames:\n");
  for (const auto& r : reads)
    std::printf("  %-9s %s -> %" PRId32 "%s%s\n", NameOf(r.standard).c_str(), CString(r.text).ToUtf8().c_str(),
                QV_FromStringToTimeCode(r.text, r.standard), *r.note ? "   (" : "", *r.note ? (std::string(r.note) + ")").c_str() : "");

  // A whole day at PAL survives the trip both ways.
  LONG bad = 0;
  for (LONG n = 0; n < 25 * 86400; ++n)
    if (QV_FromStringToTimeCode(QV_GetStringFromTimeCode(n, QV_VIDEOSTANDARD_PAL), QV_VIDEOSTANDARD_PAL) != n) ++bad;
  std::printf("round trip of every frame of a day at PAL: %s\n", bad ? "FAILED" : "ok");
  return bad ? kExitFailure : kExitOk;
}

}  // namespace

void AddTimecodeCommands(CLI::App& app) {
  auto* tc = app.add_subcommand("timecode", "Convert frame counts to time code text and back");
  tc->require_subcommand(1);
  auto options = std::make_shared<Options>();
  auto standard_option = [options](CLI::App* sub) {
    sub->add_option("-s,--standard", options->standard,
                    "Video standard: a name (see `qvtool timecode standards`), a number such as 0x20, or "
                    "'default' for the installation's default frame rate")
        ->capture_default_str();
  };

  AddExamples(tc, {"qvtool timecode to-text --standard PAL 1800 90000"});
  const char* const json_results =
      "{\"standard\": name, \"rate\": frames per second, \"results\": [{\"frames\": number, \"text\": "
      "\"HH:MM:SS:FF\"}, ...]}";

  auto* to_text = tc->add_subcommand("to-text", "Print the time code text of frame counts");
  standard_option(to_text);
  to_text->add_option("FRAMES", options->values, "Frame counts (whole numbers)")->required();
  AddExamples(to_text, {"qvtool timecode to-text --standard PAL 1800 90000", "qvtool timecode to-text -s NTSC --json 17982"});
  AddListRule(to_text);
  AddJsonOutput(to_text, json_results);
  to_text->callback([options] { ExitCode() = ToText(*options); });

  auto* to_frames = tc->add_subcommand("to-frames", "Print the frame count of time code texts (HH:MM:SS:FF)");
  standard_option(to_frames);
  to_frames->add_option("TEXT", options->values, "Time code texts (HH:MM:SS:FF)")->required();
  AddExamples(to_frames, {"qvtool timecode to-frames --standard PAL 01:00:00:00", "qvtool timecode to-frames -s NTSC --json 00:10:00:00"});
  AddListRule(to_frames);
  AddJsonOutput(to_frames, json_results);
  to_frames->callback([options] { ExitCode() = ToFrames(*options); });

  auto* range = tc->add_subcommand("range",
                                   "Print frame, text and the frame read back for every frame of a range; "
                                   "fails when any frame reads back differently");
  standard_option(range);
  range->add_option("--from", options->from, "First frame")->required();
  range->add_option("--to", options->to, "Last frame (inclusive)")->required();
  range->add_flag("--only-mismatches", options->only_mismatches, "Print only the frames that read back differently");
  AddExamples(range, {"qvtool timecode range --standard NTSC --from 0 --to 107892 --only-mismatches"});
  AddJsonOutput(range, "{\"standard\": name, \"rate\": number, \"frames\": count, \"mismatches\": count, "
                       "\"results\": [{\"frames\": number, \"text\": text, \"back\": number, \"same\": true|false}, ...]}");
  range->callback([options] { ExitCode() = Range(*options); });

  auto* standards = tc->add_subcommand("standards", "List the video standards with their rates and frame sizes");
  standards->callback([] { ExitCode() = Standards(); });
  AddExamples(standards, {"qvtool timecode standards", "qvtool timecode standards --json"});
  AddJsonOutput(standards, "{\"standards\": [{\"name\": text, \"value\": number, \"rate\": number|null, "
                           "\"timecodeRate\": number, \"width\": number|null, \"height\": number|null}, ...]}");

  AddDemoSection("time code", Demo);
}

}  // namespace qvtool
