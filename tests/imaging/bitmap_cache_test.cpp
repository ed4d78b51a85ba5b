// The thumbnail cache: common bitmaps from the sample skin, the picture
// chosen for each media object, the bound of a group, clearing, and eight
// threads asking for overlapping objects at once.
#include <algorithm>
#include <atomic>
#include <filesystem>
#include <map>
#include <memory>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "files/file_test_util.h"
#include "qv_commonclass/imaging.h"

namespace {

using namespace qv_commonclass;
namespace fs = std::filesystem;

const fs::path kGood = fs::path(QV_SOURCE_DIR) / "tests" / "imaging" / "data" / "good";

CQVBitmapCache& Cache() {
  CQVBitmapCache* cache = CQVBitmapCache::instance();
  EXPECT_NE(cache, nullptr);
  return *cache;
}

std::unique_ptr<stu_QVObject> Object(LONG id, LONG type, LONGLONG sub, LONG group, const fs::path& file = {}) {
  auto o = std::make_unique<stu_QVObject>();
  o->lObjectID = id, o->lObjectType = type, o->llObjectSubType = sub, o->lThumbnailGroup = group;
  o->lThumbnailTag = 700 + id;
  o->strThumbnailFile = CString(file.string());
  return o;
}

TEST(CQVBitmapCache, LoadsEveryCommonBitmapOfTheSkinAndReloadsAfterCleanUp) {
  CQVBitmapCache& cache = Cache();
  tagQVThumbnail* vclip = cache.GetThumbnail(5, nullptr);
  ASSERT_NE(vclip, nullptr);
  EXPECT_EQ(vclip->nWidth, 64);
  EXPECT_EQ(vclip->wBitCount, 24);
  EXPECT_NE(cache.GetThumbnail(3, nullptr), vclip);  // same file, a picture of its own
  EXPECT_EQ(cache.GetThumbnail(21, nullptr), nullptr);
  for (int value = 1; value <= 38; ++value) {
    if (value != 21) {
      EXPECT_NE(cache.GetThumbnail(value, nullptr), nullptr) << value;
    }
  }
  // The strip's icons: square, 24-bit, cut at 32-pixel steps.
  tagQVThumbnail* icon = cache.GetThumbnail(QVCB_LIST_ICON_FIRST + 1, CString());
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(icon->nWidth, 32);
  EXPECT_EQ(icon->nHeight, 32);
  EXPECT_EQ(icon->wBitCount, 24);

  cache.CleanUp();
  EXPECT_NE(cache.GetThumbnail(5, nullptr), nullptr);  // the empty cache reloads
  EXPECT_EQ(cache.GetThumbnail(5, nullptr)->nHeight, 48);
}

TEST(CQVBitmapCache, ChoosesTheCommonBitmapByTypeAndSubtype) {
  CQVBitmapCache& cache = Cache();
  struct Case {
    LONG type;
    LONGLONG sub;
    int value;
  } cases[] = {
      {16, 1, 32},     {16, 8, 25},      {16, 275, 25},    {16, 512, 29},     {16, 0, 24},      {16, 513, 24},
      {32, 16, 3},     {32, 1, 5},       {32, 4096, 5},    {32, 4, 2},        {32, 8192, 13},   {32, 16384, 15},
      {32, 32768, 14}, {32, 65536, 16},  {32, 131072, 18}, {32, 262144, 17},  {32, 1LL << 32, 10},
      {32, 3, 10},     {64, 1, 8},       {64, 2, 11},      {64, 3, 7},        {128, 0, 7},      {256, 0, 9},
      {512, 0, 6},     {16384, 0, 9},    {24576, 0, 12},   {4096, 0, 10},     {32768, 0, 10},   {7, 0, 10},
  };
  for (const Case& c : cases) {
    // Objects of the picture-file types have no file here: no_load keeps
    // the cache untouched.
    auto o = Object(1, c.type, c.sub, 900);
    EXPECT_EQ(cache.GetThumbnail(o.get(), 1, 0, 0), cache.GetThumbnail(c.value, nullptr))
        << c.type << "/" << c.sub;
  }
  EXPECT_EQ(cache.IsInCache(1, 900), 0);
  EXPECT_EQ(cache.GetThumbnail(static_cast<stu_QVObject*>(nullptr), 0, 0, 0), nullptr);
}

TEST(CQVBitmapCache, ClipThumbnailIsLoadedOnceAndAFailureIsRemembered) {
  CQVBitmapCache& cache = Cache();
  const auto dir = qvtest::ScratchFolder();
  fs::copy_file(kGood / "rgb24_bottom_up_5x3.bmp", dir / "key.bmp");
  auto clip = Object(11, 32, 1, 901, dir / "key.bmp");
  tagQVThumbnail* first = cache.GetThumbnail(clip.get(), 0, 0, 0);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->nWidth, 5);
  EXPECT_EQ(first->lTag, 711);
  EXPECT_EQ(cache.IsInCache(11, 901), 1);
  EXPECT_EQ(cache.GetThumbnail(clip.get(), 0, 0, 0), first);
  EXPECT_EQ(cache.GetThumbnailFromeCache(11, 901), first);

  auto broken = Object(12, 32, 1, 901, dir / "broken.bmp");
  qvtest::WriteFile(dir / "broken.bmp", "BM not a picture");
  EXPECT_EQ(cache.GetThumbnail(broken.get(), 0, 0, 0), cache.GetThumbnail(5, nullptr));
  EXPECT_EQ(cache.IsInCache(12, 901), 1);
  EXPECT_EQ(cache.GetThumbnailFromeCache(12, 901), nullptr);
  fs::copy_file(kGood / "rgb24_bottom_up_5x3.bmp", dir / "broken.bmp", fs::copy_options::overwrite_existing);
  EXPECT_EQ(cache.GetThumbnail(broken.get(), 0, 0, 0), cache.GetThumbnail(5, nullptr));  // not tried again
  cache.DeleteClipThumbnail(12, 901);
  tagQVThumbnail* now = cache.GetThumbnail(broken.get(), 0, 0, 0);
  ASSERT_NE(now, nullptr);
  EXPECT_EQ(now->nWidth, 5);

  // Type 32768: loaded each time, owned by the caller, never cached.
  auto still = Object(13, 32768, 0, 901, dir / "key.bmp");
  std::unique_ptr<tagQVThumbnail> a(cache.GetThumbnail(still.get(), 0, 0, 0)), b(cache.GetThumbnail(still.get(), 0, 0, 0));
  ASSERT_NE(a, nullptr);
  EXPECT_NE(a, b);
  EXPECT_EQ(a->lTag, 713);
  EXPECT_EQ(cache.IsInCache(13, 901), 0);
  still->strThumbnailFile = CString((dir / "broken2.bmp").string());
  qvtest::WriteFile(dir / "broken2.bmp", "x");
  EXPECT_EQ(cache.GetThumbnail(still.get(), 0, 0, 0), cache.GetThumbnail(10, nullptr));
}

TEST(CQVBitmapCache, BoundRemovesAnOlderEntryOfTheSameGroupOnly) {
  CQVBitmapCache& cache = Cache();
  cache.SetMaximumCount(2);
  cache.AddClipThumbnail(1, 902, new tagQVThumbnail(1, 1));
  cache.AddClipThumbnail(2, 902, new tagQVThumbnail(1, 1));
  cache.AddClipThumbnail(1, 903, new tagQVThumbnail(1, 1));
  cache.AddClipThumbnail(3, 902, nullptr);
  EXPECT_EQ(cache.IsInCache(3, 902), 1);  // never the new one
  EXPECT_EQ(cache.IsInCache(1, 902) + cache.IsInCache(2, 902), 1);
  EXPECT_EQ(cache.IsInCache(1, 903), 1);
  cache.SetMaximumCount(5000);
}

TEST(CQVBitmapCache, ReleaseClearsOnlyWhenAskedAndUnreferenced) {
  CQVBitmapCache& cache = Cache();
  cache.AddRef();
  cache.AddClipThumbnail(1, 904, new tagQVThumbnail(1, 1));
  cache.AddRef();
  cache.Release(true);  // count 1: stays
  EXPECT_EQ(cache.IsInCache(1, 904), 1);
  cache.Release(false);  // count 0, but not asked
  EXPECT_EQ(cache.IsInCache(1, 904), 1);
  cache.AddRef();
  cache.Release(true);
  EXPECT_EQ(cache.IsInCache(1, 904), 0);
  EXPECT_NE(cache.GetThumbnail(1, nullptr), nullptr);  // common pictures come back on demand
}

TEST(CQVBitmapCache, EightThreadsAskingForOverlappingObjectsGetOnePictureEach) {
  CQVBitmapCache& cache = Cache();
  const auto dir = qvtest::ScratchFolder();
  constexpr int kObjects = 48, kThreads = 8;
  std::vector<std::unique_ptr<stu_QVObject>> objects;
  for (int i = 0; i < kObjects; ++i) {
    // Two of three have a key frame; the rest fall back to common bitmaps.
    const fs::path file = dir / ("k" + std::to_string(i) + ".bmp");
    if (i % 3 != 2) fs::copy_file(kGood / (i % 2 ? "rgb555_3x2.bmp" : "rgb24_top_down_5x3.bmp"), file);
    objects.push_back(Object(i, i % 5 == 4 ? 64 : 32, 1, 905, i % 3 != 2 ? file : fs::path()));
  }
  std::vector<std::vector<tagQVThumbnail*>> seen(kThreads, std::vector<tagQVThumbnail*>(kObjects));
  std::atomic<int> ready{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      ++ready;
      while (ready < kThreads) std::this_thread::yield();
      for (int round = 0; round < 3; ++round) {
        for (int k = 0; k < kObjects; ++k) {
          const int i = (k * 7 + t * 5) % kObjects;  // each thread in its own order
          tagQVThumbnail* p = cache.GetThumbnail(objects[static_cast<std::size_t>(i)].get(), 0, 0, 0);
          tagQVThumbnail*& mine = seen[static_cast<std::size_t>(t)][static_cast<std::size_t>(i)];
          if (round == 0) {
            mine = p;
          } else if (mine != p) {
            ADD_FAILURE() << i;
          }
          cache.GetThumbnail(static_cast<int>(QVCB_CLIP_BK_NORMAL), nullptr);
        }
      }
    });
  }
  for (auto& th : threads) th.join();
  for (int i = 0; i < kObjects; ++i) {
    ASSERT_NE(seen[0][static_cast<std::size_t>(i)], nullptr) << i;
    for (int t = 1; t < kThreads; ++t)
      EXPECT_EQ(seen[static_cast<std::size_t>(t)][static_cast<std::size_t>(i)], seen[0][static_cast<std::size_t>(i)]) << i;
    const bool own = objects[static_cast<std::size_t>(i)]->lObjectType == 32 && i % 3 != 2;
    EXPECT_EQ(seen[0][static_cast<std::size_t>(i)]->nWidth == 64, !own) << i;
  }
}

}  // namespace
