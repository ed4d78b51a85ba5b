// Conversions between clip records and both generations of lists.
//
// Clip file positions are frames. The first generation keeps source points
// in 100-nanosecond units and timeline positions in frames; the second
// keeps everything in frames, copied as it is. The frame rate of a
// conversion is the time code rate of the clip's video standard (the
// installation's default rate for standard 0), counted in whole hundredths
// of a frame per second, so that both forms of 29.97 (the standard's
// single-precision rate and a default rate of 2997) convert alike.
//
// Every conversion is one pass over the items plus one stable radix sort of
// the clip files: linear in the number of items.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>
#include <new>

#include "edl/clip_units.h"
#include "qv_commonclass/edl.h"

namespace qv_commonclass {


namespace {

using namespace clip_units;

// Low 32 bits of a 64-bit value, without the undefined overflow of signed
// arithmetic.
LONG Low32(std::uint64_t v) noexcept { return static_cast<LONG>(static_cast<std::uint32_t>(v)); }

// The list rate written for a clip: the rate in hundredths, so that it finds
// its standard again when the list is read back.
double ListRate(double fps) noexcept { return static_cast<double>(RateHundredths(fps)) / 100.0; }

// SortClipFiles puts the files in ascending lClipIn order; files with equal
// in points keep the order they had, and null entries a caller left in the
// array come first. A stable radix sort on the in points, copied next to the
// pointers once, keeps the sort linear and its memory reads sequential.
void SortClipFiles(CArray<stu_QVClipFile*, stu_QVClipFile*>& files) {
  std::vector<stu_QVClipFile*>& v = files.std_vector();
  struct Entry {
    std::uint32_t key;  // the in point with its sign bit flipped: unsigned order is signed order
    stu_QVClipFile* file;
  };
  std::vector<Entry> a(v.size()), b(v.size());
  for (std::size_t i = 0; i < v.size(); ++i)
    a[i] = {v[i] ? static_cast<std::uint32_t>(v[i]->lClipIn) ^ 0x80000000u : 0u, v[i]};
  if (v.size() < 256) {
    std::stable_sort(a.begin(), a.end(), [](const Entry& x, const Entry& y) { return x.key < y.key; });
  } else {
    // Two passes of 16 bits, low half first; each pass is stable.
    for (const unsigned shift : {0u, 16u}) {
      std::vector<std::size_t> start(65537, 0);
      for (const Entry& e : a) ++start[((e.key >> shift) & 0xFFFFu) + 1];
      for (std::size_t k = 1; k < start.size(); ++k) start[k] += start[k - 1];
      for (const Entry& e : a) b[start[(e.key >> shift) & 0xFFFFu]++] = e;
      a.swap(b);
    }
  }
  for (std::size_t i = 0; i < v.size(); ++i) v[i] = a[i].file;
}

// Audio track of a clip file (0 to 7), or -1 when its channel is not one of
// the eight audio channels.
int AudioTrackOf(const stu_QVClipFile& file) noexcept {
  const unsigned long index = QVClipTypeToFileIndex(static_cast<unsigned long>(static_cast<std::uint32_t>(file.lChannelType)));
  return index >= 1 && index <= 8 ? static_cast<int>(index) - 1 : -1;
}

bool IsAudioType(LONG type) noexcept { return type >= 2 && type <= 256; }

}  // namespace

int QVClipInfo2VEDLInfo(stu_QVClipInfo* clip, _VEDL_INFO_& info) {
  if (!clip) return 1;  // the caller's duty; refused rather than crashed on
  info.lVersion = -1;
  info.lAudioCount = -1;
  info.strName = info.strIp = info.strCreator = info.strId = u"0";
  info.dtCreationDate = COleDateTime::GetCurrentTime();
  const double fps = ClipFrameRate(clip->emVideoStandard);
  // The list does not record the clip's rate: the caller sets dFps before
  // converting the list back if it is not to be read at 25.
  info.dFps = -1.0;
  for (const stu_QVClipFile* file : clip->arrClipFile) {
    if (!file) continue;
    const bool video = file->lClipType == 1;
    const int track = IsAudioType(file->lClipType) ? AudioTrackOf(*file) : -1;
    if (!video && track < 0) continue;  // another type, or an audio channel outside the eight tracks
    _VEDL_ITEM_INFO_ item;
    item.strClipFile = file->strClipFile;
    item.llClipBegin = FramesToHns(file->lClipIn, fps);
    item.llClipEnd =
        FramesToHns(static_cast<std::int64_t>(file->lEnd) - file->lBegin + file->lClipIn, fps);
    item.llBegin = file->lBegin;
    item.lChannel = static_cast<LONG>(QVClipTypeToFileIndex(static_cast<std::uint32_t>(file->lChannelType)));
    item.lClipType = video ? 1 : file->lClipType;
    (video ? info.arrVideo : info.arrAudio[track]).std_vector().push_back(std::move(item));
  }
  if (!info.arrVideo.IsEmpty()) info.llLength = info.arrVideo.std_vector().back().llClipEnd;
  return 1;
}

int QVVEDLToClipInfo(stu_QVClipInfo* clip, _VEDL_INFO_& info) {
  if (!clip) return 0;
  clip->emVideoStandard = StandardFromFps(info.dFps);
  const double fps = ClipFrameRate(clip->emVideoStandard);
  auto convert = [&](const CVEDLItemArray& items) {
    clip->arrClipFile.std_vector().reserve(clip->arrClipFile.std_vector().size() + items.std_vector().size());
    for (const _VEDL_ITEM_INFO_& item : items) {
      stu_QVClipFile* file = new (std::nothrow) stu_QVClipFile;
      if (!file) continue;
      file->strClipFile = item.strClipFile;
      file->lClipIn = HnsToFrames(item.llClipBegin, fps);
      file->lClipOut = HnsToFrames(item.llClipEnd, fps);
      file->lBegin = Low32(static_cast<std::uint64_t>(item.llBegin));
      file->lEnd = Low32(static_cast<std::uint64_t>(item.llBegin) + static_cast<std::uint64_t>(file->lClipOut) -
                         static_cast<std::uint64_t>(file->lClipIn));
      file->lChannelType = FileIndexToClipType(item.lChannel);
      file->lClipType = item.lClipType;
      clip->arrClipFile.std_vector().push_back(file);
    }
  };
  convert(info.arrVideo);
  if (!info.bIsClipCut)
    for (const CVEDLItemArray& track : info.arrAudio) convert(track);
  if (clip->arrClipFile.IsEmpty()) return 0;
  SortClipFiles(clip->arrClipFile);
  return 1;
}

int QVVEDL2ToClipInfo(stu_QVClipInfo* clip, _VEDL_INFO_2* info, unsigned long dwTag) {
  if (!clip || !info || (info->lVersion != 2 && info->lVersion != 3)) return 0;
  std::memcpy(&clip->guidObject, &clip->guidSource, sizeof clip->guidObject);
  std::int64_t lowest_in = 0, highest_out = 0;
  // One track: items without a place of their own (begin 0 after the first)
  // follow the item before them.
  auto convert = [&](const CVEDLItemArray2& items, bool video, int track) {
    std::int64_t running = 0;
    clip->arrClipFile.std_vector().reserve(clip->arrClipFile.std_vector().size() + items.std_vector().size());
    for (const _VEDL_ITEM_INFO_2& item : items) {
      stu_QVClipFile* file = new (std::nothrow) stu_QVClipFile;
      if (!file) continue;
      file->lClipIn = Low32(static_cast<std::uint64_t>(item.llClipBegin));
      file->lClipOut = Low32(static_cast<std::uint64_t>(item.llClipEnd));
      file->strClipFile = item.strClipFile;
      file->lBegin = Low32(static_cast<std::uint64_t>(item.llBegin));
      file->lEnd = Low32(static_cast<std::uint64_t>(item.llBegin) + static_cast<std::uint64_t>(item.llClipEnd) -
                         static_cast<std::uint64_t>(item.llClipBegin));
      file->lDuration = Low32(static_cast<std::uint64_t>(file->lClipOut) - static_cast<std::uint64_t>(file->lClipIn));
      if (running >= 1 && file->lBegin == 0) {
        file->lBegin = Low32(static_cast<std::uint64_t>(running));
        file->lEnd = Low32(static_cast<std::uint64_t>(file->lEnd) + static_cast<std::uint64_t>(running));
      }
      running = file->lEnd;
      if (video) {
        file->lClipType = 1;
        file->lChannelType = 1;
        lowest_in = std::min<std::int64_t>(lowest_in, file->lBegin);
        highest_out = std::max<std::int64_t>(highest_out, file->lEnd);
      } else {
        file->lClipType = LONG{2} << track;
        const std::uint32_t shift = static_cast<std::uint32_t>(item.lChannel - std::uint32_t{1}) & 31u;
        const std::uint32_t channel = std::uint32_t{2} << shift;
        file->lChannelType = (channel & 0x1FEu) ? static_cast<LONG>(channel) : 0x2;
      }
      file->dwTag = static_cast<ULONG>(dwTag);
      clip->arrClipFile.std_vector().push_back(file);
    }
  };
  convert(info->arrVideo, true, 0);
  for (int t = 0; t < _VEDL_INFO_2::kAudioTracks; ++t) convert(info->arrAudio[t], false, t);
  if (clip->arrClipFile.IsEmpty()) return 0;
  clip->lInPoint = Low32(static_cast<std::uint64_t>(lowest_in));
  clip->lOutPoint = Low32(static_cast<std::uint64_t>(highest_out));
  clip->lLength = Low32(static_cast<std::uint64_t>(highest_out - lowest_in));
  SortClipFiles(clip->arrClipFile);
  return 1;
}

int QVClipInfo2VEDLInfo2(stu_QVClipInfo* clip, _VEDL_INFO_2& info) {
  if (!clip) return 0;
  info.lVersion = 3;
  info.dFps = ListRate(ClipFrameRate(clip->emVideoStandard));
  std::size_t added = 0;
  for (const stu_QVClipFile* file : clip->arrClipFile) {
    if (!file) continue;
    // The reading side gives an audio file the type of its track (2 << t)
    // and the channel of its item, so the track is chosen by type here.
    const bool video = file->lClipType == 1;
    int track = -1;
    for (int t = 0; t < _VEDL_INFO_2::kAudioTracks; ++t)
      if (file->lClipType == (LONG{2} << t)) track = t;
    if (!video && track < 0) continue;
    _VEDL_ITEM_INFO_2 item;
    item.strClipFile = file->strClipFile;
    item.llBegin = file->lBegin;
    item.llClipBegin = file->lClipIn;
    item.llClipEnd = static_cast<std::int64_t>(file->lEnd) - file->lBegin + file->lClipIn;
    item.lClipType = file->lClipType;
    item.lChannel = static_cast<LONG>(QVClipTypeToFileIndex(static_cast<std::uint32_t>(file->lChannelType)));
    (video ? info.arrVideo : info.arrAudio[track]).std_vector().push_back(std::move(item));
    ++added;
  }
  if (!info.arrVideo.IsEmpty()) {
    const _VEDL_ITEM_INFO_2& last = info.arrVideo.std_vector().back();
    info.llLength = last.llBegin + last.llClipEnd - last.llClipBegin;
  }
  return added ? 1 : 0;
}

}  // namespace qv_commonclass
