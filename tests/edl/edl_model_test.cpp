#include <gtest/gtest.h>

#include <limits>

#include "qv_commonclass/edl.h"

using namespace qv_commonclass;

namespace {

_VEDL_ITEM_INFO_2 Item(const char* clip, const char* ext, LONG clipId) {
  _VEDL_ITEM_INFO_2 it;
  it.strClipFile = CString(clip);
  it.strExtFile = CString(ext);
  it.lClipId = clipId;
  return it;
}

stu_QVEDLItemVideoFormat Video(LONG id, LONG width) {
  stu_QVEDLItemVideoFormat v;
  v.init();
  v.lId = id;
  v.dFps = 25.0;
  v.lWidth = width;
  return v;
}

}  // namespace

TEST(EdlModel, DefaultsAndOverlaidViews) {
  uniEDLClipFileFormat u;
  EXPECT_EQ(u.video.lId, -1);
  EXPECT_EQ(u.video.lCompressType, 0);
  u.audio.init();  // the audio defaults reach the shared id
  EXPECT_EQ(u.video.lId, 0);

  u.audio.lAudioFmt = 11;
  u.audio.lChannels = 2;
  u.audio.lSampleRate = 48000;
  u.audio.lBitsPerSample = 24;
  u.audio.dFps = 29.97;
  EXPECT_EQ(u.video.lVideoFmt, 11);
  EXPECT_EQ(u.video.lWidth, 2);
  EXPECT_EQ(u.video.lHeight, 48000);
  EXPECT_EQ(u.video.lPixelFmt, 24);
  EXPECT_EQ(u.video.dFps, 29.97);
  u.video.lWidth = 1920;
  EXPECT_EQ(u.audio.lChannels, 1920);

  // Copies take the whole union, fields beyond the audio view included.
  u.video.lCompressType = 7;
  uniEDLClipFileFormat copy;
  copy = u;
  EXPECT_EQ(copy.video.lCompressType, 7);
  EXPECT_EQ(copy.audio.lSampleRate, 48000);

  _VEDL_INFO_2 edl;
  EXPECT_EQ(edl.lVersion, 1);
  EXPECT_EQ(edl.lFmtId, -1);
  EXPECT_EQ(edl.lMaxId, 0);
  _VEDL_ITEM_INFO_2 item;
  EXPECT_EQ(item.uFormat.video.lId, -1);
  EXPECT_TRUE(item.guidSpare == GUID_NULL);
}

TEST(EdlModel, FormatComparisonIgnoresIdAndFailsOnNaN) {
  auto a = Video(1, 720), b = Video(2, 720);
  EXPECT_TRUE(a == b);
  EXPECT_EQ(a != b, 0);
  b.lCompressType = 1;  // the last field counts too
  EXPECT_EQ(a != b, 1);

  b.lCompressType = 0;
  a.dFps = b.dFps = std::numeric_limits<double>::quiet_NaN();
  EXPECT_FALSE(a == b);
  EXPECT_FALSE(a == a);

  stu_QVEDLItemAudioFormat x, y;
  x.init();
  y.init();
  y.lId = 9;
  EXPECT_TRUE(x == y);
  y.lBitsPerSample = 16;
  EXPECT_EQ(x != y, 1);
}

TEST(EdlModel, AssignmentCopiesTracksButNotFormatTable) {
  _VEDL_INFO_2 src;
  src.lVersion = 3;
  src.llLength = 1234567890123LL;
  src.strName = CString(u"名单");
  src.lMaxId = 17;
  src.strExtEdlFile = CString("/x/ext.vedl");
  src.arrVideo.Add(Item("v.mxf", "", 1));
  for (int t = 0; t < 8; ++t)
    for (int i = 0; i <= t; ++i) src.arrAudio[t].Add(Item("a.wav", "", 100 * t + i));
  src.mapFormat[5] = uniEDLClipFileFormat();

  _VEDL_INFO_2 dst;
  dst.arrVideo.Add(Item("old", "", 99));
  dst.arrVideo.Add(Item("old", "", 98));
  dst.mapFormat[1].video.lWidth = 640;
  dst = src;

  EXPECT_EQ(dst.lVersion, 3);
  EXPECT_EQ(dst.llLength, 1234567890123LL);
  EXPECT_EQ(dst.strName, src.strName);
  EXPECT_EQ(dst.strExtEdlFile, src.strExtEdlFile);
  EXPECT_EQ(dst.lMaxId, 17);
  ASSERT_EQ(dst.arrVideo.GetSize(), 1);
  EXPECT_EQ(dst.arrVideo[0].lClipId, 1);
  for (int t = 0; t < 8; ++t) {
    ASSERT_EQ(dst.arrAudio[t].GetSize(), t + 1);
    for (int i = 0; i <= t; ++i) EXPECT_EQ(dst.arrAudio[t][i].lClipId, 100 * t + i);
  }
  ASSERT_EQ(dst.mapFormat.size(), 1u);
  EXPECT_EQ(dst.mapFormat.at(1).video.lWidth, 640);

  auto& self = dst;
  dst = self;
  EXPECT_EQ(dst.arrAudio[7].GetSize(), 8);
}

TEST(EdlModel, Lookups) {
  _VEDL_INFO_2 edl;
  edl.arrAudio[3].Add(Item("/m/A.wav", "x", 30));
  edl.arrAudio[3].Add(Item("/m/a.wav", "x", 31));
  edl.arrAudio[5].Add(Item("/m/a.wav", "x", 50));
  EXPECT_EQ(edl.GetSamePhysicalItemId(Item("/m/a.wav", "x", -1), 0), 31);  // case matters
  EXPECT_EQ(edl.GetSamePhysicalItemId(Item("/m/a.wav", "y", -1), 0), -1);  // side file differs
  EXPECT_EQ(edl.GetSamePhysicalItemId(Item("/m/a.wav", "x", -1), 1), -1);  // video track empty
  edl.arrVideo.Add(Item("/m/a.wav", "x", 7));
  EXPECT_EQ(edl.GetSamePhysicalItemId(Item("/m/a.wav", "x", -1), 1), 7);

  // An audio item whose bytes also read as the wanted video format is not
  // found by the video lookup, and the other way round.
  _VEDL_INFO_2 fmts;
  _VEDL_ITEM_INFO_2 audioItem;
  audioItem.uFormat.video = Video(3, 720);
  fmts.arrAudio[2].Add(audioItem);
  EXPECT_EQ(fmts.GetSameVedioFormatId(Video(0, 720)), -1);
  fmts.arrVideo.Add(_VEDL_ITEM_INFO_2());
  _VEDL_ITEM_INFO_2 v1, v2;
  v1.uFormat.video = Video(8, 720);
  v2.uFormat.video = Video(9, 720);
  fmts.arrVideo.Add(v1);
  fmts.arrVideo.Add(v2);
  EXPECT_EQ(fmts.GetSameVedioFormatId(Video(-5, 720)), 8);
  EXPECT_EQ(fmts.GetSameVedioFormatId(Video(-5, 1920)), -1);

  stu_QVEDLItemAudioFormat a = v1.uFormat.audio;
  _VEDL_INFO_2 videoOnly;
  videoOnly.arrVideo.Add(v1);
  EXPECT_EQ(videoOnly.GetSameAudioFormatId(a), -1);
  EXPECT_EQ(fmts.GetSameAudioFormatId(a), 3);
}
