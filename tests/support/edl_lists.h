// Item-by-item comparison of second-generation list tracks, for the tests
// that read a list two ways or write and read it back.
#pragma once

#include <gtest/gtest.h>

#include "qv_commonclass/edl.h"

namespace qvtest {

// How `got` came to be: as a copy or another read of the same text (every
// field matches), or read back from what was written from `want`, where the
// reader's rules apply: "format" is not read, and on an audio track any
// transtype reads back as 2 and the format's audio half is what counts.
enum class ItemsFrom { kSameText, kVideoReadBack, kAudioReadBack };

inline void ExpectSameItems(const qv_commonclass::CVEDLItemArray2& got, const qv_commonclass::CVEDLItemArray2& want,
                            ItemsFrom from = ItemsFrom::kSameText) {
  const bool audio_track = from == ItemsFrom::kAudioReadBack;
  ASSERT_EQ(got.GetSize(), want.GetSize());
  for (int i = 0; i < got.GetSize(); ++i) {
    const qv_commonclass::_VEDL_ITEM_INFO_2 &x = got[i], &y = want[i];
    EXPECT_EQ(x.lClipId, y.lClipId) << i;
    EXPECT_EQ(x.lFmtId, y.lFmtId) << i;
    EXPECT_EQ(x.lFormat, from == ItemsFrom::kSameText ? y.lFormat : 0) << i;
    EXPECT_EQ(x.strClipFile, y.strClipFile) << i;
    EXPECT_EQ(x.strExtFile, y.strExtFile) << i;
    EXPECT_EQ(x.llBegin, y.llBegin) << i;
    EXPECT_EQ(x.llClipBegin, y.llClipBegin) << i;
    EXPECT_EQ(x.llClipEnd, y.llClipEnd) << i;
    EXPECT_EQ(x.lClipType, y.lClipType) << i;
    EXPECT_EQ(x.lChannel, y.lChannel) << i;
    EXPECT_EQ(x.lTransType, audio_track ? 2 : y.lTransType) << i;
    EXPECT_EQ(x.uFormat.video.lId, y.uFormat.video.lId) << i;
    if (audio_track) {
      EXPECT_TRUE(x.uFormat.audio == y.uFormat.audio) << i;
    } else {
      EXPECT_TRUE(x.uFormat.video == y.uFormat.video) << i;
    }
  }
}

}  // namespace qvtest
