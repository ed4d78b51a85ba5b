// Clip records and their conversions to and from both list generations.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include "edl/clip_units.h"
#include "qv_commonclass/edl.h"

using namespace qv_commonclass;
using namespace qv_commonclass::clip_units;

namespace {

stu_QVClipFile* File(LONG type, LONG channel, LONG begin, LONG end, LONG in, const char16_t* path = u"/m/a.mxf") {
  auto* f = new stu_QVClipFile;
  f->lClipType = type;
  f->lChannelType = channel;
  f->lBegin = begin;
  f->lEnd = end;
  f->lClipIn = in;
  f->lClipOut = in + (end - begin);
  f->strClipFile = path;
  return f;
}

using Key = std::tuple<LONG, LONG, LONG, LONG, LONG, LONG, LONG, std::u16string>;
Key KeyOf(const stu_QVClipFile& f) {
  return {f.lClipIn, f.lClipOut, f.lBegin, f.lEnd, f.lClipType, f.lChannelType, 0, f.strClipFile.str()};
}
std::vector<Key> Keys(const stu_QVClipInfo& clip) {
  std::vector<Key> keys;
  for (const stu_QVClipFile* f : clip.arrClipFile) keys.push_back(KeyOf(*f));
  std::sort(keys.begin(), keys.end());
  return keys;
}

TEST(ClipUnits, RatesAndFrameBoundaries) {
  struct Case {
    double fps;
    std::int64_t hundredths;
    std::int64_t one_frame;  // 100-nanosecond units of one frame
  };
  const Case cases[] = {{25, 2500, 400000},
                        {GetTimeCodeFrameRate(QV_VIDEOSTANDARD_NTSC), 2997, 333600},
                        {29.97, 2997, 333600},
                        {30, 3000, 333300},
                        {50, 5000, 200000},
                        {GetTimeCodeFrameRate(QV_VIDEOSTANDARD_720P_5994), 5994, 166800},
                        {GetTimeCodeFrameRate(QV_VIDEOSTANDARD_1080P_2398), 2398, 417000}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fps);
    EXPECT_EQ(RateHundredths(c.fps), c.hundredths);
    EXPECT_EQ(FramesToHns(1, c.fps), c.one_frame);
    // Every frame count comes back, across minute and hour marks and at the
    // ends of the 32-bit range.
    for (std::int64_t n : {0LL, 1LL, 2LL, 1799LL, 1800LL, 17982LL, 107892LL, 2160000LL, 2147483647LL})
      EXPECT_EQ(HnsToFrames(FramesToHns(n, c.fps), c.fps), n) << n;
    // Half a frame rounds up, just under half rounds down.
    const std::int64_t half = 10000000 * 100 / (2 * c.hundredths);
    EXPECT_EQ(HnsToFrames(half + 1, c.fps), 1);
    EXPECT_EQ(HnsToFrames(half - 1, c.fps), 0);
    // Negative positions truncate toward zero after the half is added.
    EXPECT_EQ(HnsToFrames(-(half + 1), c.fps), 0);
    EXPECT_EQ(HnsToFrames(-(3 * half + 3), c.fps), -1);
  }
  EXPECT_EQ(HnsToFrames(200000, 25), 1);  // exactly half a frame
  EXPECT_EQ(HnsToFrames(-200000, 25), 0);
  EXPECT_EQ(HnsToFrames(FramesToHns(-1, 25), 25), 0);  // -1 frame is -0.5 after the half: integer part 0
  EXPECT_EQ(HnsToFrames(std::numeric_limits<std::int64_t>::max(), 25), INT32_MIN);
  EXPECT_EQ(HnsToFrames(std::numeric_limits<std::int64_t>::min(), 59.94), INT32_MIN);
  EXPECT_EQ(RateHundredths(std::nan("")), 2500);
}

TEST(ClipUnits, StandardsAndChannelCodes) {
  const std::pair<double, LONG> rates[] = {
      {25, 0x1},     {29.97, 0x2}, {30, 0x4},     {23.98, 0x80},     {24, 0x100}, {50, 0x4000},
      {59.94, 0x1}, {60, 0x1},  {-1, 0x1},     {std::nan(""), 0x1}, {GetTimeCodeFrameRate(0x2), 0x1}};
  for (const auto& [fps, standard] : rates) EXPECT_EQ(StandardFromFps(fps), standard) << fps;
  const std::pair<LONG, LONG> codes[] = {{0, 0x1}, {1, 0x2}, {8, 0x100}, {9, 0x80000}, {10, 0}, {-1, 0}};
  for (const auto& [index, type] : codes) {
    EXPECT_EQ(FileIndexToClipType(index), type) << index;
    if (type) {
      EXPECT_EQ(static_cast<LONG>(QVClipTypeToFileIndex(static_cast<unsigned long>(type))), index);
    }
  }
}

TEST(ClipConvert, FirstGenerationExamples) {
  stu_QVClipInfo clip;
  clip.emVideoStandard = QV_VIDEOSTANDARD_1080I_50;
  clip.arrClipFile.Add(File(1, 0x1, 100, 150, 10));
  clip.arrClipFile.Add(File(4, 0x8, 0, 40, 5, u"/m/a.wav"));
  clip.arrClipFile.Add(nullptr);                        // null entries are passed over
  clip.arrClipFile.Add(File(4, 0x80000, 0, 40, 5));     // a channel outside the eight tracks
  clip.arrClipFile.Add(File(0x200, 0x2, 0, 40, 5));     // no track type at all
  _VEDL_INFO_ info;
  info.llLength = 99;
  EXPECT_EQ(QVClipInfo2VEDLInfo(&clip, info), 1);
  EXPECT_EQ(info.lVersion, -1);
  EXPECT_EQ(info.lAudioCount, -1);
  EXPECT_EQ(info.strName, u"0");
  EXPECT_EQ(info.strCreator, u"0");
  EXPECT_EQ(info.dFps, -1.0);
  EXPECT_EQ(info.dtCreationDate.GetStatus(), COleDateTime::valid);
  ASSERT_EQ(info.arrVideo.GetSize(), 1);
  const _VEDL_ITEM_INFO_& v = info.arrVideo[0];
  EXPECT_EQ(v.llBegin, 100);
  EXPECT_EQ(v.llClipBegin, 4000000);
  EXPECT_EQ(v.llClipEnd, 24000000);
  EXPECT_EQ(v.lChannel, 0);
  EXPECT_EQ(info.llLength, 24000000);
  ASSERT_EQ(info.arrAudio[2].GetSize(), 1);
  EXPECT_EQ(info.arrAudio[2][0].lChannel, 3);
  EXPECT_EQ(info.arrAudio[2][0].lClipType, 4);
  for (int t : {0, 1, 3, 4, 5, 6, 7}) EXPECT_TRUE(info.arrAudio[t].IsEmpty()) << t;

  stu_QVClipInfo back;
  info.dFps = 25;
  EXPECT_EQ(QVVEDLToClipInfo(&back, info), 1);
  EXPECT_EQ(back.emVideoStandard, QV_VIDEOSTANDARD_PAL);
  ASSERT_EQ(back.arrClipFile.GetSize(), 2);
  const stu_QVClipFile& f = *back.arrClipFile[1];  // in point 10 sorts after 5
  EXPECT_EQ(f.lClipIn, 10);
  EXPECT_EQ(f.lClipOut, 60);
  EXPECT_EQ(f.lBegin, 100);
  EXPECT_EQ(f.lEnd, 150);
  EXPECT_EQ(f.lChannelType, 0x1);

  info.dFps = 60;  // a rate no standard has converts at 25
  stu_QVClipInfo sixty;
  sixty.emVideoStandard = QV_VIDEOSTANDARD_720P_5994;
  EXPECT_EQ(QVVEDLToClipInfo(&sixty, info), 1);
  EXPECT_EQ(sixty.emVideoStandard, QV_VIDEOSTANDARD_PAL);
  EXPECT_EQ(sixty.arrClipFile[1]->lClipOut, 60);

  // A clip-cut list converts its video track only; nothing at all gives 0.
  info.bIsClipCut = 1;
  info.arrVideo.RemoveAll();
  stu_QVClipInfo none;
  EXPECT_EQ(QVVEDLToClipInfo(&none, info), 0);
  EXPECT_EQ(QVVEDLToClipInfo(nullptr, info), 0);
}

TEST(ClipConvert, RoundTripsAreExactAtEveryRate) {
  const emQVVideoStandard standards[] = {QV_VIDEOSTANDARD_1080I_50,  QV_VIDEOSTANDARD_NTSC,
                                         QV_VIDEOSTANDARD_1080I_5994, QV_VIDEOSTANDARD_NTSC_30,
                                         QV_VIDEOSTANDARD_720P_50,   QV_VIDEOSTANDARD_720P_5994};
  for (const emQVVideoStandard standard : standards) {
    SCOPED_TRACE(standard);
    stu_QVClipInfo clip;
    clip.emVideoStandard = standard;
    LONG pos = 0;
    for (LONG i = 0; i < 300; ++i) {
      const LONG len = 1 + (i * 37) % 1799;
      const LONG in = (i * 7919) % 107893;
      if (i % 3 == 0) {
        clip.arrClipFile.Add(File(1, 0x1, pos, pos + len, in));
        pos += len;
      } else {
        const LONG t = i % 8;
        clip.arrClipFile.Add(File(2 << t, 2 << t, i * 11, i * 11 + len, in, u"/m/音频.wav"));
      }
    }
    const std::vector<Key> want = Keys(clip);

    // Through the first generation the caller records the rate in dFps, as
    // a client does. No standard answers to 59.94 there, so such a list is
    // read at 25: the round trip holds at every other rate.
    _VEDL_INFO_ v1;
    ASSERT_EQ(QVClipInfo2VEDLInfo(&clip, v1), 1);
    v1.dFps = static_cast<double>(RateHundredths(GetTimeCodeFrameRate(standard))) / 100.0;
    stu_QVClipInfo from_v1;
    ASSERT_EQ(QVVEDLToClipInfo(&from_v1, v1), 1);
    if (standard == QV_VIDEOSTANDARD_720P_5994) {
      EXPECT_EQ(from_v1.emVideoStandard, QV_VIDEOSTANDARD_PAL);
    } else {
      EXPECT_EQ(Keys(from_v1), want);
      EXPECT_EQ(RateHundredths(GetTimeCodeFrameRate(from_v1.emVideoStandard)),
                RateHundredths(GetTimeCodeFrameRate(standard)));
    }
    for (int i = 1; i < from_v1.arrClipFile.GetSize(); ++i)
      EXPECT_LE(from_v1.arrClipFile[i - 1]->lClipIn, from_v1.arrClipFile[i]->lClipIn);

    _VEDL_INFO_2 v2;
    ASSERT_EQ(QVClipInfo2VEDLInfo2(&clip, v2), 1);
    stu_QVClipInfo from_v2;
    ASSERT_EQ(QVVEDL2ToClipInfo(&from_v2, &v2, 77), 1);
    EXPECT_EQ(Keys(from_v2), want);
    EXPECT_EQ(from_v2.lLength, pos);
    EXPECT_EQ(from_v2.lOutPoint, pos);
  }
}

TEST(ClipConvert, SecondGenerationRules) {
  _VEDL_INFO_2 info;
  stu_QVClipInfo clip;
  std::memset(&clip.guidSource, 0xAB, sizeof clip.guidSource);
  EXPECT_EQ(QVVEDL2ToClipInfo(&clip, &info, 1), 0);  // version 1
  EXPECT_NE(std::memcmp(&clip.guidObject, &clip.guidSource, sizeof clip.guidSource), 0);
  info.lVersion = 2;
  EXPECT_EQ(QVVEDL2ToClipInfo(&clip, &info, 1), 0);  // empty: the identifier is copied all the same
  EXPECT_EQ(std::memcmp(&clip.guidObject, &clip.guidSource, sizeof clip.guidSource), 0);
  EXPECT_EQ(QVVEDL2ToClipInfo(nullptr, &info, 1), 0);
  EXPECT_EQ(QVVEDL2ToClipInfo(&clip, nullptr, 1), 0);

  auto item = [](LONGLONG begin, LONGLONG in, LONGLONG out, LONG channel) {
    _VEDL_ITEM_INFO_2 it;
    it.llBegin = begin, it.llClipBegin = in, it.llClipEnd = out, it.lChannel = channel;
    it.strClipFile = u"/m/x";
    return it;
  };
  info.arrVideo.Add(item(10, 500, 600, 0));
  info.arrVideo.Add(item(0, 40, 90, 0));  // no place of its own: follows the item before
  info.arrAudio[3].Add(item(0, 7, 9, 0));
  info.arrAudio[3].Add(item(5, 1, 3, 12));
  info.arrAudio[3].Add(item(5, 1, 3, 3));
  ASSERT_EQ(QVVEDL2ToClipInfo(&clip, &info, 42), 1);
  ASSERT_EQ(clip.arrClipFile.GetSize(), 5);
  // Ascending in points; the two audio items with in point 1 keep their order.
  const stu_QVClipFile& a1 = *clip.arrClipFile[0];
  const stu_QVClipFile& a2 = *clip.arrClipFile[1];
  EXPECT_EQ(a1.lChannelType, 0x2);  // channel 12 is none of the eight
  EXPECT_EQ(a2.lChannelType, 0x8);
  EXPECT_EQ(a1.lClipType, 0x10);
  EXPECT_EQ(clip.arrClipFile[2]->lChannelType, 0x2);  // channel 0
  const stu_QVClipFile& placed = *clip.arrClipFile[3];
  EXPECT_EQ(placed.lClipIn, 40);
  EXPECT_EQ(placed.lBegin, 110);
  EXPECT_EQ(placed.lEnd, 160);
  EXPECT_EQ(placed.lDuration, 50);
  EXPECT_EQ(placed.dwTag, 42u);
  EXPECT_EQ(placed.lClipType, 1);
  EXPECT_EQ(placed.lChannelType, 1);
  EXPECT_EQ(clip.lInPoint, 0);  // the lowest in point starts at 0
  EXPECT_EQ(clip.lOutPoint, 160);
  EXPECT_EQ(clip.lLength, 160);
}

TEST(ClipConvert, ConversionsOnlyAppendAndSortWhatIsThere) {
  stu_QVClipInfo clip;
  stu_QVClipFile* kept = File(1, 0x1, 0, 10, 1000);
  clip.arrClipFile.Add(kept);
  clip.arrClipFile.Add(nullptr);  // a hole the caller left: sorted first, not touched
  _VEDL_INFO_ info;
  info.dFps = 25;
  _VEDL_ITEM_INFO_ it;
  it.llClipBegin = 400000;
  it.llClipEnd = 800000;
  it.lClipType = 1;
  info.arrVideo.Add(it);
  info.arrVideo.Add(it);
  ASSERT_EQ(QVVEDLToClipInfo(&clip, info), 1);
  ASSERT_EQ(clip.arrClipFile.GetSize(), 4);
  EXPECT_EQ(clip.arrClipFile[0], nullptr);
  EXPECT_EQ(clip.arrClipFile[3], kept);  // the record that was there is sorted, not freed
  EXPECT_EQ(clip.arrClipFile[1]->lClipIn, 1);
  // Huge and negative positions convert without fault.
  info.arrVideo[0].llClipEnd = std::numeric_limits<LONGLONG>::max();
  info.arrVideo[1].llBegin = -5;
  info.arrVideo[1].llClipBegin = std::numeric_limits<LONGLONG>::min();
  stu_QVClipInfo odd;
  EXPECT_EQ(QVVEDLToClipInfo(&odd, info), 1);
  EXPECT_EQ(odd.arrClipFile[0]->lClipIn, INT32_MIN);
}

// Long lists take the radix sort: the order must be the same stable order.
TEST(ClipConvert, LongListsSortStably) {
  _VEDL_INFO_2 info;
  info.lVersion = 3;
  for (int i = 0; i < 5000; ++i) {
    _VEDL_ITEM_INFO_2 it;
    it.llClipBegin = (i * 7919) % 1000 - 500 + (i % 3 == 0 ? -3000000000LL : 0);  // negative and wrapped in points too
    it.llClipEnd = it.llClipBegin + 10;
    it.llBegin = 1 + i;
    it.strClipFile = CString(std::to_string(i));
    info.arrVideo.Add(it);
  }
  stu_QVClipInfo clip;
  ASSERT_EQ(QVVEDL2ToClipInfo(&clip, &info, 0), 1);
  std::vector<std::pair<LONG, int>> want;
  for (int i = 0; i < 5000; ++i) want.emplace_back(static_cast<LONG>(static_cast<std::uint32_t>(info.arrVideo[i].llClipBegin)), i);
  std::stable_sort(want.begin(), want.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  for (int i = 0; i < 5000; ++i) {
    EXPECT_EQ(clip.arrClipFile[i]->lClipIn, want[i].first);
    EXPECT_EQ(clip.arrClipFile[i]->strClipFile, CString(std::to_string(want[i].second)));
  }
}

}  // namespace
