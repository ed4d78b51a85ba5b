// `qvtool edl` for first-generation lists and for the clip records both
// generations convert to.
#include "edl_common.h"
#include "paths.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "cli.h"
#include "commands.h"
#include "progress.h"
#include "qv_commonclass/edl.h"
#include "qv_commonclass/media.h"
#include "qv_platform/debug_output.h"
#include "qv_platform/unicode.h"

namespace qvtool {

namespace {

using namespace qv_commonclass;

// Paths given on the command line, relative ones taken from the current
// folder (the library refuses relative paths).
std::u16string Wide(const std::string& s) { return qvp::Utf8ToUtf16(AbsolutePath(s)); }
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

// A clip record read from a list of either generation; false after saying
// why not. `generation` tells which one the file was.
bool ClipFromFile(const std::string& file, stu_QVClipInfo& clip, int& generation) {
  Messages messages;
  const std::u16string path = Wide(file);
  LONG version = 1;
  if (!QVGetVEDLVersion(path.c_str(), version)) {
    Fail("cannot read the list file " + file);
    messages.Print();
    return false;
  }
  generation = version == 2 || version == 3 ? 2 : 1;
  int ok = 0;
  if (generation == 2) {
    _VEDL_INFO_2 info;
    ok = QVReadVEDLFromFile2(path.c_str(), &info) ? 1 : -1;
    if (ok > 0) ok = QVVEDL2ToClipInfo(&clip, &info, 0);
    // The second generation's conversion leaves the standard to the caller:
    // the one of the list's frame rate.
    clip.emVideoStandard = StandardForRate(info.dFps);
  } else {
    _VEDL_INFO_ info;
    ok = QVReadVEDLFromFile(path.c_str(), &info) ? 1 : -1;
    if (ok > 0) ok = QVVEDLToClipInfo(&clip, info);
  }
  if (ok < 0) {
    Fail("cannot read the generation " + std::to_string(generation) + " list " + file);
    messages.Print();
    return false;
  }
  if (ok == 0) {
    Fail(file + " gives no clip file (no item on a track the clip record takes)");
    return false;
  }
  return true;
}

std::string TimeCode(LONG frames, emQVVideoStandard standard) {
  return std::to_string(frames) + " (" + Narrow(QV_GetStringFromTimeCode(frames, standard)) + ")";
}

int Clip(const std::string& file) {
  stu_QVClipInfo clip;
  int generation = 0;
  if (!ClipFromFile(file, clip, generation)) return kExitFailure;
  const emQVVideoStandard standard = clip.emVideoStandard;
  std::printf("%s (generation %d)\n  video standard 0x%x, %g frames per second (time code rate)\n", file.c_str(),
              generation, static_cast<unsigned>(standard),
              standard ? GetTimeCodeFrameRate(standard) : QVGetMediaDefaultFrameRate());
  if (generation == 2)
    std::printf("  in %s  out %s  length %s\n", TimeCode(clip.lInPoint, standard).c_str(),
                TimeCode(clip.lOutPoint, standard).c_str(), TimeCode(clip.lLength, standard).c_str());
  std::printf("  %d clip file(s), in ascending source in point:\n", clip.arrClipFile.GetSize());
  int i = 0;
  for (const stu_QVClipFile* f : clip.arrClipFile) {
    CString track;
    QVGetMediaTypeStr(static_cast<unsigned long>(static_cast<std::uint32_t>(f->lClipType)), track);
    CString channel;
    QVGetMediaTypeStr(static_cast<unsigned long>(static_cast<std::uint32_t>(f->lChannelType)), channel);
    std::printf("  %3d  %-7s channel %-7s timeline %s - %s  source %s - %s\n       %s\n", ++i,
                track.IsEmpty() ? ("0x" + std::to_string(f->lClipType)).c_str() : Narrow(track).c_str(),
                channel.IsEmpty() ? "?" : Narrow(channel).c_str(), TimeCode(f->lBegin, standard).c_str(),
                TimeCode(f->lEnd, standard).c_str(), TimeCode(f->lClipIn, standard).c_str(),
                TimeCode(f->lClipOut, standard).c_str(), Narrow(f->strClipFile).c_str());
  }
  return kExitOk;
}

int Convert(const std::string& in, const std::string& out, int to) {
  ProgressBar bar("convert");
  stu_QVClipInfo clip;
  int generation = 0;
  if (!ClipFromFile(in, clip, generation)) return kExitFailure;
  bar.Update(1, 3);
  Messages messages;
  int written = 0;
  int items = 0;
  if (to == 1) {
    _VEDL_INFO_ info;
    QVClipInfo2VEDLInfo(&clip, info);
    // The conversion leaves the list's rate unset (-1); record the clip's, so
    // that the list reads back at it (59.94 has no standard there: 25).
    const double rate = clip.emVideoStandard ? GetTimeCodeFrameRate(clip.emVideoStandard) : QVGetMediaDefaultFrameRate();
    info.dFps = std::floor(rate * 100.0 + 0.5) / 100.0;
    items = info.arrVideo.GetSize();
    for (const auto& t : info.arrAudio) items += t.GetSize();
    bar.Update(2, 3);
    written = QVWriteVEDLToFile(Wide(out).c_str(), &info);
  } else {
    _VEDL_INFO_2 info;
    if (!QVClipInfo2VEDLInfo2(&clip, info)) {
      Fail("the clip record of " + in + " has no clip file a second-generation list can hold");
      return kExitFailure;
    }
    items = info.arrVideo.GetSize();
    for (const auto& t : info.arrAudio) items += t.GetSize();
    bar.Update(2, 3);
    written = QVWriteVEDLToFile2(Wide(out).c_str(), &info);
  }
  if (!written) {
    Fail("cannot write " + out);
    messages.Print();
    return kExitFailure;
  }
  bar.Update(3, 3);
  bar.Finish();
  std::printf("%s (generation %d) -> %s (generation %d): %d clip file(s), %d item(s) written\n", in.c_str(),
              generation, out.c_str(), to, clip.arrClipFile.GetSize(), items);
  return kExitOk;
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
  const std::filesystem::path file = std::filesystem::path(DataDir()) / "edl" / "promo_ntsc_v1.xml";
  Messages messages;
  _VEDL_INFO_ info;
  if (!QVReadVEDLFromFile(Wide(file.string()).c_str(), &info)) {
    Fail("cannot read " + file.string());
    messages.Print();
    return kExitFailure;
  }
  std::printf("promo_ntsc_v1.xml: %d video item(s) at %g frames per second, %d audio track(s)\n",
              info.arrVideo.GetSize(), info.dFps, TrackCount(info));
  // Through a clip record to the second generation and back.
  stu_QVClipInfo clip;
  _VEDL_INFO_2 second;
  stu_QVClipInfo again;
  const bool ok = QVVEDLToClipInfo(&clip, info) && QVClipInfo2VEDLInfo2(&clip, second) &&
                  QVVEDL2ToClipInfo(&again, &second, 0) && again.arrClipFile.GetSize() == clip.arrClipFile.GetSize();
  std::printf("promo_ntsc_v1.xml as a clip record: %d clip file(s), standard 0x%x; as a second-generation list and "
              "back: %s\n",
              clip.arrClipFile.GetSize(), static_cast<unsigned>(clip.emVideoStandard), ok ? "ok" : "FAILED");
  return ok ? kExitOk : kExitFailure;
}

void AddEdlClipCommands(CLI::App& edl) {
  auto* convert = edl.add_subcommand(
      "convert", "Convert a list of either generation to the generation given, through a clip record");
  static std::string in_storage, out_storage;
  static int to_storage = 2;
  auto* in = &in_storage;
  auto* out = &out_storage;
  auto* to = &to_storage;
  convert->add_option("IN", *in, "list file to read (generation 1, 2 or 3 by its version)")->required();
  convert->add_option("OUT", *out, "list file to write (missing folders are created)")->required();
  convert->add_option("--to", *to, "generation to write: 1 or 2")->required()->check(CLI::IsMember({1, 2}));
  AddExamples(convert, {"qvtool edl convert data/edl/promo_ntsc_v1.xml /tmp/promo_v2.xml --to 2"});
  AddFooter(convert,
      "Source points of a first-generation list are 100-nanosecond units; clip records and second-generation\n"
      "lists count frames at the rate of the clip's video standard.");
  convert->callback([in, out, to] { ExitCode() = Convert(*in, *out, *to); });

  auto* clip = edl.add_subcommand("clip", "Print the clip record a list gives: tracks, channels, in and out points");
  static std::string clip_file_storage;
  auto* clip_file = &clip_file_storage;
  clip->add_option("FILE", *clip_file, "list file (either generation)")->required();
  AddExamples(clip, {"qvtool edl clip data/edl/archive_v1.xml"});
  AddFooter(clip, "Positions are printed in frames and as time code of the clip's video standard.");
  clip->callback([clip_file] { ExitCode() = Clip(*clip_file); });
}

}  // namespace qvtool
