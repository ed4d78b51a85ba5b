// The second-generation list records: defaults, comparisons, assignment and
// the id lookups that let clients reuse a physical clip or format id.
#include <type_traits>

#include "qv_commonclass/edl.h"

namespace qv_commonclass {

static_assert(std::is_standard_layout_v<stu_QVEDLItemAudioFormat>);
static_assert(std::is_standard_layout_v<stu_QVEDLItemVideoFormat>);
static_assert(std::is_standard_layout_v<uniEDLClipFileFormat>);
static_assert(std::is_trivially_copyable_v<uniEDLClipFileFormat>);

void stu_QVEDLItemAudioFormat::init() noexcept {
  lId = 0;
  lFileFmt = 0;
  dFps = 0.0;
  lAudioFmt = 0;
  lChannels = 0;
  lSampleRate = 0;
  lBitsPerSample = 0;
}

int stu_QVEDLItemAudioFormat::operator==(const stu_QVEDLItemAudioFormat& o) const noexcept {
  return lFileFmt == o.lFileFmt && dFps == o.dFps && lAudioFmt == o.lAudioFmt && lChannels == o.lChannels &&
         lSampleRate == o.lSampleRate && lBitsPerSample == o.lBitsPerSample;
}

int stu_QVEDLItemAudioFormat::operator!=(const stu_QVEDLItemAudioFormat& o) const noexcept {
  return (*this == o) ? 0 : 1;
}

void stu_QVEDLItemVideoFormat::init() noexcept {
  lId = -1;
  lFileFmt = 0;
  dFps = 0.0;
  lVideoFmt = 0;
  lWidth = 0;
  lHeight = 0;
  lPixelFmt = 0;
  lBitrate = 0;
  lGopSize = 0;
  lBFrameCount = 0;
  lPFrameCount = 0;
  lBitsPerPixel = 0;
  lCompressType = 0;
}

int stu_QVEDLItemVideoFormat::operator==(const stu_QVEDLItemVideoFormat& o) const noexcept {
  return lFileFmt == o.lFileFmt && dFps == o.dFps && lVideoFmt == o.lVideoFmt && lWidth == o.lWidth &&
         lHeight == o.lHeight && lPixelFmt == o.lPixelFmt && lBitrate == o.lBitrate && lGopSize == o.lGopSize &&
         lBFrameCount == o.lBFrameCount && lPFrameCount == o.lPFrameCount && lBitsPerPixel == o.lBitsPerPixel &&
         lCompressType == o.lCompressType;
}

int stu_QVEDLItemVideoFormat::operator!=(const stu_QVEDLItemVideoFormat& o) const noexcept {
  return (*this == o) ? 0 : 1;
}

// The audio defaults (all zero) are a prefix of the video defaults except for
// lId, which the video init then sets to -1; initialising the larger view
// alone leaves the same bytes and keeps the video member the active one.
uniEDLClipFileFormat::uniEDLClipFileFormat() noexcept : video() { video.init(); }

_VEDL_INFO_2& _VEDL_INFO_2::operator=(const _VEDL_INFO_2& other) {
  // Emptying the tracks first would lose every item on self-assignment.
  if (this == &other) return *this;
  lVersion = other.lVersion;
  llLength = other.llLength;
  dFps = other.dFps;
  strName = other.strName;
  strId = other.strId;
  lFmtId = other.lFmtId;
  lMaxId = other.lMaxId;
  strExtEdlFile = other.strExtEdlFile;
  arrVideo.RemoveAll();
  for (const auto& item : other.arrVideo) arrVideo.Add(item);
  for (int t = 0; t < kAudioTracks; ++t) {
    arrAudio[t].RemoveAll();
    for (const auto& item : other.arrAudio[t]) arrAudio[t].Add(item);
  }
  return *this;
}

namespace {

const _VEDL_ITEM_INFO_2* FindSameFiles(const CVEDLItemArray2& track, const _VEDL_ITEM_INFO_2& item) {
  for (const auto& candidate : track)
    if (candidate.strExtFile == item.strExtFile && candidate.strClipFile == item.strClipFile) return &candidate;
  return nullptr;
}

}  // namespace

LONG _VEDL_INFO_2::GetSamePhysicalItemId(const _VEDL_ITEM_INFO_2& item, int bVideo) const {
  if (bVideo) {
    const auto* hit = FindSameFiles(arrVideo, item);
    return hit ? hit->lClipId : -1;
  }
  for (const auto& track : arrAudio) {
    if (const auto* hit = FindSameFiles(track, item)) return hit->lClipId;
  }
  return -1;
}

LONG _VEDL_INFO_2::GetSameAudioFormatId(const stu_QVEDLItemAudioFormat& fmt) const {
  for (const auto& track : arrAudio)
    for (const auto& item : track)
      if (item.uFormat.audio == fmt) return item.uFormat.audio.lId;
  return -1;
}

LONG _VEDL_INFO_2::GetSameVedioFormatId(const stu_QVEDLItemVideoFormat& fmt) const {
  for (const auto& item : arrVideo)
    if (item.uFormat.video == fmt) return item.uFormat.video.lId;
  return -1;
}

}  // namespace qv_commonclass
