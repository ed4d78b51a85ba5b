// `qvtool edl` for first-generation lists and for the clip records both
// generations convert to.
#include "edl_common.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "commands.h"
#include "qv_commonclass/edl.h"
#include "qv_commonclass/media.h"
#include "qv_platform/debug_output.h"
#include "qv_platform/unicode.h"

namespace qvtool {

namespace {

using namespace qv_commonclass;

std::u16string Wide(const std::string& s) { return qvp::Utf8ToUtf16(s); }
std::string Narrow(const CString& s) { return s.ToUtf8(); }

// Source points of a first-generation list are 100-nanosecond units.
std::string Seconds(LONGLONG hns) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%.3fs", static_cast<double>(hns) / 1e7);
  return buf;
}

void PrintTrack(const char* title, const CVEDLItemArray& items) {
  std::printf("%s: %d item(s)\n", title, items.GetSize());
  int i = 0;
  for (const auto& it : items)
    std::printf("  %3d  at frame %lld  source %s-%s  type 0x%x  channel %d  %s\n", ++i,
                static_cast<long long>(it.llBegin), Seconds(it.llClipBegin).c_str(), Seconds(it.llClipEnd).c_str(),
                static_cast<unsigned>(it.lClipType), static_cast<int>(it.lChannel), Narrow(it.strClipFile).c_str());
}

int TrackCount(const _VEDL_INFO_& info) {
  int n = 0;
  for (const auto& t : info.arrAudio) n += t.IsEmpty() ? 0 : 1;
  return n;
}

}  // namespace

int InfoV1(const std::string& file, bool brief) {
  Messages messages;
  _VEDL_INFO_ info;
  if (!QVReadVEDLFromFile(Wide(file).c_str(), &info)) {
    Fail("cannot read the first-generation list " + file);
    messages.Print();
    return kExitFailure;
  }
  std::printf("%s\n  generation 1 (version %d), name \"%s\", id \"%s\"%s\n", file.c_str(),
              static_cast<int>(info.lVersion), Narrow(info.strName).c_str(), Narrow(info.strId).c_str(),
              info.bIsClipCut ? ", clip cut" : "");
  std::printf("  frame rate %g, length %lld, created %s by \"%s\" at %s\n", info.dFps,
              static_cast<long long>(info.llLength), Narrow(info.dtCreationDate.Format(u"%Y-%m-%d %H:%M:%S")).c_str(),
              Narrow(info.strCreator).c_str(), Narrow(info.strIp).c_str());
  if (brief) {
    std::printf("  %d video item(s), %d audio track(s), %d file group(s)\n", info.arrVideo.GetSize(),
                TrackCount(info), info.arrFile.GetSize());
    return kExitOk;
  }
  PrintTrack("video", info.arrVideo);
  for (int t = 0; t < _VEDL_INFO_::kAudioTracks; ++t)
    if (!info.arrAudio[t].IsEmpty()) PrintTrack(("audio " + std::to_string(t + 1)).c_str(), info.arrAudio[t]);
  for (const auto& g : info.arrFile) {
    std::printf("file group \"%s\", media \"%s\", path format \"%s\"\n", Narrow(g.strGroupType).c_str(),
                Narrow(g.strMediaType).c_str(), Narrow(g.strPathFormat).c_str());
    PrintTrack("  items", g.arrItem);
  }
  return kExitOk;
}

int RoundTripV1(const std::string& in, const std::string& out) {
  Messages messages;
  _VEDL_INFO_ info;
  if (!QVReadVEDLFromFile(Wide(in).c_str(), &info)) {
    Fail("cannot read the first-generation list " + in);
    messages.Print();
    return kExitFailure;
  }
  if (!QVWriteVEDLToFile(Wide(out).c_str(), &info)) {
    Fail("cannot write " + out);
    messages.Print();
    return kExitFailure;
  }
  _VEDL_INFO_ back;
  if (!QVReadVEDLFromFile(Wide(out).c_str(), &back)) {
    Fail("the written list " + out + " does not read back");
    messages.Print();
    return kExitFailure;
  }
  // Empty audio tracks are not written, so the filled ones close up.
  bool same = back.arrVideo.GetSize() == info.arrVideo.GetSize() && back.arrFile.GetSize() == info.arrFile.GetSize();
  int written = 0;
  for (const auto& t : info.arrAudio)
    if (!t.IsEmpty()) same = same && back.arrAudio[written++].GetSize() == t.GetSize();
  std::printf("%s -> %s: generation 1, %d video item(s), %d audio track(s), %d file group(s)%s\n", in.c_str(),
              out.c_str(), back.arrVideo.GetSize(), written, back.arrFile.GetSize(),
              same ? ", every written track read back" : ", TRACKS DIFFER");
  if (!same) {
    Fail("the list read back differs from the one written");
    return kExitFailure;
  }
  return kExitOk;
}

int DemoV1() {
  // A first-generation sample read from its file, then read again from the
  // text of the file.
  const std::filesystem::path file = std::filesystem::path(QV_DATA_DIR) / "edl" / "promo_ntsc_v1.xml";
  Messages messages;
  _VEDL_INFO_ info;
  if (!QVReadVEDLFromFile(Wide(file.string()).c_str(), &info)) {
    Fail("cannot read " + file.string());
    messages.Print();
    return kExitFailure;
  }
  std::printf("promo_ntsc_v1.xml: %d video item(s) at %g frames per second, %d audio track(s)\n",
              info.arrVideo.GetSize(), info.dFps, TrackCount(info));
  return kExitOk;
}

void AddEdlClipCommands(CLI::App& edl) { (void)edl; }

}  // namespace qvtool
