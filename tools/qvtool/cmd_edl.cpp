// `qvtool edl`: look into edit decision list files, tell their generation,
// and read and write a second-generation list back.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "cli.h"
#include "commands.h"
#include "edl_common.h"
#include "paths.h"
#include "qv_commonclass/edl.h"
#include "qv_commonclass/media.h"
#include "qv_platform/debug_output.h"
#include "qv_platform/unicode.h"

namespace qvtool {

namespace {

using namespace qv_commonclass;

std::u16string Wide(const std::string& s) { return qvp::Utf8ToUtf16(s); }
// The library takes absolute paths only; a bare name means the current folder.
std::u16string WidePath(const std::string& s) { return Wide(AbsolutePath(s)); }
std::string Narrow(const CString& s) { return s.ToUtf8(); }

// ReadFailure says why `file` could not be read as a list: the system's
// reason when it cannot be opened, else that its content was refused (the
// library's own lines, printed after, say where).
std::string ReadFailure(const std::string& file, const std::string& what) {
  if (std::FILE* f = std::fopen(file.c_str(), "rb")) {
    std::fclose(f);
    return file + ": " + what + ": the library refused its content";
  }
  return ErrnoText(file, what, errno);
}

// ItemJson is one track item in --json output.
nlohmann::json ItemJson(const _VEDL_ITEM_INFO_2& it) {
  return {{"begin", it.llBegin},
          {"end", it.llBegin + it.llClipEnd - it.llClipBegin},
          {"clipBegin", it.llClipBegin},
          {"clipEnd", it.llClipEnd},
          {"clipId", it.lClipId},
          {"formatId", it.uFormat.video.lId},
          {"transition", it.lTransType},
          {"clipFile", Narrow(it.strClipFile)},
          {"extFile", Narrow(it.strExtFile)}};
}

// Frames with their time code, e.g. "875 (00:00:35:00)".
std::string Position(LONGLONG frames, emQVVideoStandard standard) {
  std::string s = std::to_string(frames);
  if (frames >= 0 && frames <= INT32_MAX)
    s += " (" + Narrow(QV_GetStringFromTimeCode(static_cast<LONG>(frames), standard)) + ")";
  return s;
}

void PrintTrack(const char* title, const CVEDLItemArray2& items, emQVVideoStandard standard) {
  std::printf("%s: %d item(s)\n", title, items.GetSize());
  int i = 0;
  for (const auto& it : items) {
    std::printf("  %3d  at %s  to %s  source %s-%s  clip id %d  format %d%s\n", ++i,
                Position(it.llBegin, standard).c_str(),
                Position(it.llBegin + it.llClipEnd - it.llClipBegin, standard).c_str(),
                std::to_string(it.llClipBegin).c_str(), std::to_string(it.llClipEnd).c_str(),
                static_cast<int>(it.lClipId), static_cast<int>(it.uFormat.video.lId),
                it.lTransType >= 0 ? ("  transition " + std::to_string(it.lTransType)).c_str() : "");
    std::printf("       %s%s%s\n", Narrow(it.strClipFile).c_str(), it.strExtFile.IsEmpty() ? "" : "  + ",
                Narrow(it.strExtFile).c_str());
  }
}

int Info(const std::string& file, bool brief) {
  if (!Utf8Argument("edl info", "'" + file + "'", file)) return kExitUsage;
  Messages messages;
  const std::u16string path = WidePath(file);
  LONG version = -1;
  if (!QVGetVEDLVersion(path.c_str(), version)) {
    Fail(ReadFailure(file, "cannot read the list file"));
    messages.Print();
    return kExitFailure;
  }
  if (version != 2 && version != 3) {
    if (!JsonWanted()) return InfoV1(file, brief);
    JsonResult() = {{"file", file}, {"generation", 1}, {"version", version}};
    return kExitOk;
  }
  if (JsonWanted()) JsonResult() = {{"file", file}, {"generation", 2}, {"version", version}};
  _VEDL_INFO_2 info;
  if (!QVReadVEDLFromFile2(path.c_str(), &info)) {
    Fail(ReadFailure(file, "cannot read the second-generation list"));
    messages.Print();
    return kExitFailure;
  }
  if (JsonWanted()) {
    nlohmann::json& doc = JsonResult();
    doc.update({{"version", info.lVersion}, {"name", Narrow(info.strName)}, {"id", Narrow(info.strId)},
                {"fps", info.dFps}, {"length", info.llLength}, {"formatId", info.lFmtId}, {"maxId", info.lMaxId},
                {"extEdlFile", Narrow(info.strExtEdlFile)}, {"video", nlohmann::json::array()},
                {"audio", nlohmann::json::array()}, {"formats", nlohmann::json::array()}});
    for (const auto& it : info.arrVideo) doc["video"].push_back(ItemJson(it));
    for (int t = 0; t < _VEDL_INFO_2::kAudioTracks; ++t) {
      if (info.arrAudio[t].IsEmpty()) continue;
      nlohmann::json track = {{"track", t + 1}, {"items", nlohmann::json::array()}};
      for (const auto& it : info.arrAudio[t]) track["items"].push_back(ItemJson(it));
      doc["audio"].push_back(track);
    }
    for (const auto& [id, f] : info.mapFormat)
      doc["formats"].push_back({{"id", id}, {"width", f.video.lWidth}, {"height", f.video.lHeight},
                                {"fps", f.video.dFps}, {"coding", f.video.lVideoFmt}, {"fileFormat", f.video.lFileFmt},
                                {"bitRate", f.video.lBitrate}});
    return kExitOk;
  }
  const emQVVideoStandard standard = StandardForRate(info.dFps);
  std::printf("%s\n  generation 2 (version %d), name \"%s\", id \"%s\"\n", file.c_str(), static_cast<int>(info.lVersion),
              Narrow(info.strName).c_str(), Narrow(info.strId).c_str());
  std::printf("  frame rate %g, length %s, format id %d, highest id %d\n", info.dFps,
              Position(info.llLength, standard).c_str(), static_cast<int>(info.lFmtId), static_cast<int>(info.lMaxId));
  if (!info.strExtEdlFile.IsEmpty()) std::printf("  additional list %s\n", Narrow(info.strExtEdlFile).c_str());
  if (brief) {
    int audio = 0;
    for (const auto& t : info.arrAudio) audio += t.IsEmpty() ? 0 : 1;
    std::printf("  %d video item(s), %d audio track(s), %zu video format(s)\n", info.arrVideo.GetSize(), audio,
                info.mapFormat.size());
    return kExitOk;
  }
  PrintTrack("video", info.arrVideo, standard);
  for (int t = 0; t < _VEDL_INFO_2::kAudioTracks; ++t) {
    if (info.arrAudio[t].IsEmpty()) continue;
    PrintTrack(("audio " + std::to_string(t + 1)).c_str(), info.arrAudio[t], standard);
  }
  std::printf("video formats: %zu\n", info.mapFormat.size());
  for (const auto& [id, f] : info.mapFormat)
    std::printf("  %d: %dx%d at %g, coding %d, file format %d, bit rate %d\n", static_cast<int>(id),
                static_cast<int>(f.video.lWidth), static_cast<int>(f.video.lHeight), f.video.dFps,
                static_cast<int>(f.video.lVideoFmt), static_cast<int>(f.video.lFileFmt),
                static_cast<int>(f.video.lBitrate));
  return kExitOk;
}

int Version(const std::string& file) {
  if (!Utf8Argument("edl version", "'" + file + "'", file)) return kExitUsage;
  Messages messages;
  LONG version = 0;
  if (!QVGetVEDLVersion(WidePath(file).c_str(), version)) {
    Fail(ReadFailure(file, "cannot read the version"));
    messages.Print();
    return kExitFailure;
  }
  if (JsonWanted()) {
    JsonResult() = {{"file", file}, {"version", version}};
    return kExitOk;
  }
  std::printf("%d\n", static_cast<int>(version));
  return kExitOk;
}

// Reads a list and writes it again (a second-generation one as version 3,
// a first-generation one through its own reader and writer); then reads the
// result back and checks that every track kept its items.
int RoundTrip(const std::string& in, const std::string& out) {
  if (!Utf8Argument("edl roundtrip", "'" + in + "'", in) || !Utf8Argument("edl roundtrip", "'" + out + "'", out))
    return kExitUsage;
  // The writer takes a path without a full stop anywhere for a folder and
  // would create it instead of the file.
  if (AbsolutePath(out).find('.') == std::string::npos) {
    Fail("edl roundtrip: " + out + ": give the list file a name with an extension (e.g. " + out +
         ".xml); the library takes a path without a full stop for a folder");
    return kExitUsage;
  }
  if (LONG v = 3; QVGetVEDLVersion(WidePath(in).c_str(), v) && v != 2 && v != 3) return RoundTripV1(in, out);
  Messages messages;
  _VEDL_INFO_2 info;
  if (!QVReadVEDLFromFile2(WidePath(in).c_str(), &info)) {
    Fail(ReadFailure(in, "cannot read the second-generation list"));
    messages.Print();
    return kExitFailure;
  }
  info.lVersion = 3;
  if (!QVWriteVEDLToFile2(WidePath(out).c_str(), &info)) {
    Fail("cannot write " + out);
    messages.Print();
    return kExitFailure;
  }
  _VEDL_INFO_2 back;
  if (!QVReadVEDLFromFile2(WidePath(out).c_str(), &back)) {
    Fail("the written list " + out + " does not read back");
    messages.Print();
    return kExitFailure;
  }
  bool same = back.arrVideo.GetSize() == info.arrVideo.GetSize();
  // Only the leading non-empty audio tracks are written.
  for (int t = 0; t < _VEDL_INFO_2::kAudioTracks && !info.arrAudio[t].IsEmpty(); ++t)
    same = same && back.arrAudio[t].GetSize() == info.arrAudio[t].GetSize();
  if (JsonWanted()) {
    JsonResult() = {{"in", in}, {"out", out}, {"videoItems", back.arrVideo.GetSize()}, {"same", same}};
  } else {
    std::printf("%s -> %s: %d video item(s)%s\n", in.c_str(), out.c_str(), back.arrVideo.GetSize(),
                same ? ", every written track read back" : ", TRACKS DIFFER");
  }
  if (!same) {
    Fail("the list read back differs from the one written");
    return kExitFailure;
  }
  return kExitOk;
}

int Demo() {
  const std::filesystem::path dir = std::filesystem::path(DataDir()) / "edl";
  std::error_code ec;
  std::vector<std::filesystem::path> files;
  for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
    if (it->path().extension() == ".xml") files.push_back(it->path());
  if (files.empty()) {
    Fail("no sample lists under " + dir.string());
    return kExitFailure;
  }
  std::sort(files.begin(), files.end());
  int worst = kExitOk;
  for (const auto& f : files) {
    const int rc = Info(f.string(), true);
    if (rc != kExitOk) worst = rc;
  }
  // One list through the writer and back, as text.
  _VEDL_INFO_2 info;
  Messages messages;
  if (QVReadVEDLFromFile2(Wide((dir / "news_evening_v2.xml").string()).c_str(), &info)) {
    info.lVersion = 3;
    const CString text = QVVEDL2ToString(&info);
    _VEDL_INFO_2 back;
    const int ok = QVReadVEDL2(_bstr_t(text), &back);
    std::printf("news_evening_v2.xml written as %d characters of XML and read back: %s\n", text.GetLength(),
                ok ? "ok" : "FAILED");
    if (!ok) worst = kExitFailure;
  }
  if (const int rc = DemoV1(); rc != kExitOk) worst = rc;
  return worst;
}

}  // namespace

void AddEdlCommands(CLI::App& app) {
  auto* edl = app.add_subcommand("edl", "Edit decision list files: inspect, tell the generation, write back");
  edl->require_subcommand(1);
  AddExamples(edl, {"qvtool edl info timeline.xml"});

  auto* info = edl->add_subcommand("info", "Show a list: generation, version, name, frame rate, tracks and items");
  static std::string info_file_storage;
  auto* info_file = &info_file_storage;
  info->add_option("FILE", *info_file, "list file")->required();
  info->callback([info_file] { ExitCode() = Info(*info_file, false); });
  AddExamples(info, {"qvtool edl info timeline.xml", "qvtool edl info --json timeline.xml"});
  AddJsonOutput(info, "{\"file\", \"generation\": 1|2, \"version\", and for generation 2: \"name\", \"id\", \"fps\", "
                      "\"length\", \"formatId\", \"maxId\", \"extEdlFile\", \"video\": [ITEM, ...], \"audio\": "
                      "[{\"track\": 1-8, \"items\": [ITEM, ...]}], \"formats\": [{\"id\", \"width\", \"height\", \"fps\", "
                      "\"coding\", \"fileFormat\", \"bitRate\"}]}; ITEM = {\"begin\", \"end\", \"clipBegin\", \"clipEnd\", "
                      "\"clipId\", \"formatId\", \"transition\", \"clipFile\", \"extFile\"} (positions in frames)");

  auto* version = edl->add_subcommand("version", "Print the version attribute of a list file (1, 2 or 3)");
  static std::string version_file_storage;
  auto* version_file = &version_file_storage;
  version->add_option("FILE", *version_file, "list file")->required();
  version->callback([version_file] { ExitCode() = Version(*version_file); });
  AddExamples(version, {"qvtool edl version timeline.xml"});
  AddJsonOutput(version, "{\"file\": FILE, \"version\": number}");

  auto* roundtrip = edl->add_subcommand("roundtrip", "Read a list and write it again (second generation as version 3, first generation as it is)");
  static std::string rt_in_storage, rt_out_storage;
  auto* rt_in = &rt_in_storage;
  auto* rt_out = &rt_out_storage;
  roundtrip->add_option("IN", *rt_in, "list file to read")->required();
  roundtrip->add_option("OUT", *rt_out, "file to write (missing folders are created)")->required();
  roundtrip->callback([rt_in, rt_out] { ExitCode() = RoundTrip(*rt_in, *rt_out); });
  AddExamples(roundtrip, {"qvtool edl roundtrip timeline.xml /tmp/timeline_v3.xml"});
  AddJsonOutput(roundtrip, "{\"in\": IN, \"out\": OUT, \"videoItems\": count, \"same\": true|false}");

  AddEdlClipCommands(*edl);
  AddDemoSection("edit decision list", Demo);
}

}  // namespace qvtool
