#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "qv_commonclass/ui.h"
#include "qv_imports/controls.h"
#include "support/logger_capture.h"

using namespace qv_commonclass;

namespace {

HWND Child(HWND parent, const char16_t* cls, DWORD style = WS_VISIBLE, RECT r = {0, 0, 10, 10}) {
  return CreateWindowExW(0, cls, u"", WS_CHILD | style, r.left, r.top, r.right - r.left, r.bottom - r.top, parent,
                         nullptr, nullptr, nullptr);
}

struct Dialog {
  HWND top = CreateWindowExW(0, u"#32770", u"dialog", WS_VISIBLE, 100, 50, 200, 100, nullptr, nullptr, nullptr,
                             nullptr);
  ~Dialog() { DestroyWindow(top); }
};

bool ReadOnly(HWND w) { return (GetWindowLongW(w, GWL_STYLE) & ES_READONLY) != 0; }

}  // namespace

TEST(QVInitCommonCtrl, StartsTheControlLibrariesOnceAndReleasesOnlyWhatWasStarted) {
  const ZRCallCounts before = ZR_GetCallCounts();
  EXPECT_EQ(QVReleaseCommonCtrl(), 1);  // never started: nothing to release
  EXPECT_EQ(QVReleaseExtraCtrl(), 1);
  EXPECT_EQ(QVInitCommonCtrl(), 1);
  EXPECT_EQ(QVInitCommonCtrl(), 1);
  EXPECT_EQ(QVInitExtraCtrl(), 1);
  EXPECT_EQ(QVInitExtraCtrl(), 1);
  EXPECT_EQ(QVReleaseCommonCtrl(), 1);
  EXPECT_EQ(QVReleaseCommonCtrl(), 1);
  EXPECT_EQ(QVReleaseExtraCtrl(), 1);
  EXPECT_EQ(QVInitCommonCtrl(), 1);  // started again after a release
  EXPECT_EQ(QVReleaseCommonCtrl(), 1);
  const ZRCallCounts after = ZR_GetCallCounts();
  EXPECT_EQ(after.init_common - before.init_common, 2);
  EXPECT_EQ(after.release_common - before.release_common, 2);
  EXPECT_EQ(after.init_extra - before.init_extra, 1);
  EXPECT_EQ(after.release_extra - before.release_extra, 1);
}

TEST(QVEnableAllSubWindow, ClassRulesDecideWhatChanges) {
  struct Case {
    const char16_t* cls;
    bool disabled_after;  // after a walk with enable = 0
    bool read_only_after;
  } cases[] = {
      {u"Button", true, false},
      {u"button", false, false},  // Button is compared with case
      {u"COMBOBOX", true, false},
      {u"ComboBoxEx32", false, false},
      {u"SysDateTimePick32", true, false},
      {u"TimePick", false, false},          // must come after the first character
      {u"XXXXXXXXXXXXTimePick", false, false},  // cut off by the 19-character read
      {u"EDIT", false, true},
      {u"Static", false, false},
      {u"SysListView32", false, false},
      {u"XListViewButton", false, false},  // the list view rule comes first
      {u"msctls_trackbar32", false, false},
  };
  for (const Case& c : cases) {
    Dialog d;
    HWND w = Child(d.top, c.cls);
    EXPECT_EQ(QVEnableAllSubWindow(d.top, 0), 1);
    EXPECT_EQ(!IsWindowEnabled(w), c.disabled_after) << std::u16string(c.cls).size();
    EXPECT_EQ(ReadOnly(w), c.read_only_after);
    EXPECT_EQ(QVEnableAllSubWindow(d.top, 1), 1);
    EXPECT_TRUE(IsWindowEnabled(w));
    EXPECT_FALSE(ReadOnly(w));
  }
}

TEST(QVEnableAllSubWindow, WalksEveryDescendantParentsFirstAndLeavesTheWindowItselfAndItsSiblings) {
  HWND owner = CreateWindowExW(0, u"#32770", u"", WS_VISIBLE, 0, 0, 300, 300, nullptr, nullptr, nullptr, nullptr);
  HWND sibling = Child(owner, u"Button");
  HWND dialog = Child(owner, u"Button");  // classified only if the walk were wrong
  HWND b1 = Child(dialog, u"Button");
  HWND group = Child(dialog, u"ComboBox");
  HWND g_edit = Child(group, u"Edit");
  HWND g_inner = Child(group, u"#32770");
  HWND deep = Child(g_inner, u"Button");
  HWND b2 = Child(dialog, u"Button");
  HWND after = Child(owner, u"Button");
  qvp::ClearMessageJournal();
  EXPECT_EQ(QVEnableAllSubWindow(dialog, 0), 1);
  std::vector<HWND> order;
  for (const qvp::SentMessage& m : qvp::MessageJournal()) order.push_back(m.window);
  EXPECT_EQ(order, (std::vector<HWND>{b1, group, g_edit, deep, b2}));
  EXPECT_TRUE(IsWindowEnabled(dialog));
  EXPECT_TRUE(IsWindowEnabled(sibling));
  EXPECT_TRUE(IsWindowEnabled(after));
  EXPECT_TRUE(IsWindowEnabled(g_edit));
  EXPECT_TRUE(ReadOnly(g_edit));
  DestroyWindow(owner);
}

TEST(QVEnableAllSubWindow, RefusesANullOrDestroyedWindow) {
  EXPECT_EQ(QVEnableAllSubWindow(nullptr, 1), 0);
  HWND w = CreateWindowExW(0, u"#32770", u"", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  DestroyWindow(w);
  EXPECT_EQ(QVEnableAllSubWindow(w, 1), 0);
}

TEST(QV_SelectVaildClip, PaintingTheParentLeavesVisibleChildrenAlone) {
  // A bordered parent: children's rectangles are moved into its client area.
  HWND parent = CreateWindowExW(0, u"#32770", u"", WS_VISIBLE | WS_BORDER, 30, 40, 102, 82, nullptr, nullptr,
                                nullptr, nullptr);
  Child(parent, u"Button", WS_VISIBLE, {10, 10, 40, 30});
  Child(parent, u"Button", WS_VISIBLE, {30, 20, 60, 50});  // overlaps the first
  Child(parent, u"Edit", 0, {70, 10, 90, 30});             // hidden: painted over
  HWND round = Child(parent, u"Static", WS_VISIBLE, {10, 60, 30, 80});
  // The round child's own region: only its top-left quarter (window coordinates).
  SetWindowRgn(round, CreateRectRgn(0, 0, 10, 10), TRUE);

  qvp::MemoryCanvas canvas(100, 80);
  ASSERT_TRUE(canvas.ok());
  CWnd wnd(parent);
  ASSERT_EQ(QV_SelectVaildClip(&wnd, &canvas.dc), 1);
  canvas.dc.PatBlt(0, 0, 100, 80, WHITENESS);
  canvas.dc.SelectClipRgn(nullptr);  // read every pixel back

  struct Probe {
    int x, y;
    bool painted;
  } probes[] = {
      {5, 5, true},   {10, 10, false}, {39, 29, false}, {45, 25, false}, {59, 49, false}, {60, 49, true},
      {35, 45, false}, {25, 45, true},  {75, 15, true},  {15, 65, false}, {25, 65, true},  {15, 75, true},
      {99, 79, true},
  };
  for (const Probe& p : probes) {
    const COLORREF c = canvas.dc.GetPixel(p.x, p.y);
    EXPECT_EQ(c, p.painted ? RGB(255, 255, 255) : RGB(0, 0, 0)) << p.x << "," << p.y;
  }
  DestroyWindow(parent);
}

TEST(QV_SelectVaildClip, NullArgumentsSelectNothing) {
  qvp::MemoryCanvas canvas(10, 10);
  HWND w = CreateWindowExW(0, u"#32770", u"", WS_VISIBLE, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  Child(w, u"Button", WS_VISIBLE, {0, 0, 5, 5});
  CWnd wnd(w);
  EXPECT_EQ(QV_SelectVaildClip(&wnd, nullptr), 0);
  EXPECT_EQ(QV_SelectVaildClip(nullptr, &canvas.dc), 0);
  RECT box{};
  EXPECT_EQ(canvas.dc.GetClipBox(&box), SIMPLEREGION);
  EXPECT_EQ(CRect(box), CRect(0, 0, 10, 10));
  CDC empty;  // no context: its clip box cannot be read
  EXPECT_EQ(QV_SelectVaildClip(&wnd, &empty), 0);
  DestroyWindow(w);
}

TEST(QVFindMenuItem, FindsByTextWithoutCaseAndTheFirstSeparatorForEmptyText) {
  HMENU menu = CreatePopupMenu();
  HMENU sub = CreatePopupMenu();
  AppendMenuW(sub, MF_STRING, 9, u"Deep");
  AppendMenuW(menu, MF_STRING, 1, u"&Open");
  AppendMenuW(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(sub), u"Recent");
  AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(menu, MF_STRING, 2, u"导出素材");
  AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  struct Case {
    const char16_t* text;
    int expected;
  } cases[] = {{u"&open", 0}, {u"RECENT", 1}, {u"", 2}, {u"导出素材", 3}, {u"Deep", -1}, {u"Open", -1}};
  for (const Case& c : cases) EXPECT_EQ(QVFindMenuItem(menu, CString(c.text)), c.expected);
  EXPECT_EQ(QVFindMenuItem(nullptr, CString(u"&Open")), -1);
  DestroyMenu(menu);
  EXPECT_FALSE(IsMenu(sub));
}

namespace {

HGLOBAL WideBlock(const std::u16string& text, std::size_t extra_units = 1) {
  HGLOBAL h = GlobalAlloc(GHND, (text.size() + extra_units) * sizeof(char16_t));
  auto* p = static_cast<char16_t*>(GlobalLock(h));
  std::copy(text.begin(), text.end(), p);
  GlobalUnlock(h);
  return h;
}

STGMEDIUM BitmapMedium() {
  STGMEDIUM m;
  m.tymed = TYMED_GDI;
  m.hBitmap = CreateCompatibleBitmap(nullptr, 4, 4);
  return m;
}

// Dropped: what GetDropData reads from a data object over a source that
// `offer` filled.
template <class Offer>
CString Dropped(Offer offer) {
  COleDataSource source;
  offer(source);
  COleDataObject data;
  data.Attach(&source);
  return GetDropData(&data);
}

}  // namespace

TEST(GetDropData, TakesTheFirstTextOrClipFormatAndReleasesWhatItGot) {
  const CLIPFORMAT clip = static_cast<CLIPFORMAT>(RegisterClipboardFormatW(u"VeltoQVClip"));
  const CLIPFORMAT clip_v2 = static_cast<CLIPFORMAT>(RegisterClipboardFormatW(u"VeltoQVClipV2"));
  const CLIPFORMAT other = static_cast<CLIPFORMAT>(RegisterClipboardFormatW(u"veltoqvclip-lower"));
  const int alive = qvp::GlobalBlocksAlive();
  EXPECT_EQ(Dropped([&](COleDataSource& s) {
              s.CacheData(CF_BITMAP, BitmapMedium());
              s.CacheGlobalData(other, WideBlock(u"not ours"));
              s.CacheGlobalData(clip, WideBlock(u"<DragHeader/>"));
              s.CacheGlobalData(CF_UNICODETEXT, WideBlock(u"plain"));
            }),
            CString(u"<DragHeader/>"));
  EXPECT_EQ(qvp::GlobalBlocksLocked(), 0);
  EXPECT_EQ(qvp::GlobalBlocksAlive(), alive);  // the copy it got went too
  // A name that begins with the format's name counts.
  EXPECT_EQ(Dropped([&](COleDataSource& s) {
              s.CacheGlobalData(clip_v2, WideBlock(u"v2"));
              s.CacheGlobalData(CF_UNICODETEXT, WideBlock(u"plain"));
            }),
            CString(u"v2"));
  // No NUL at all: the whole block is the text; otherwise it ends at the first.
  EXPECT_EQ(Dropped([](COleDataSource& s) { s.CacheGlobalData(CF_UNICODETEXT, WideBlock(u"ab", 0)); }), CString(u"ab"));
  EXPECT_EQ(
      Dropped([](COleDataSource& s) { s.CacheGlobalData(CF_UNICODETEXT, WideBlock(std::u16string(u"cut\0rest", 8))); }),
      CString(u"cut"));
  EXPECT_EQ(qvp::GlobalBlocksAlive(), alive);
}

TEST(GetDropData, FailuresGiveAnEmptyTextAndTheEnumerationFailureIsLogged) {
  const CLIPFORMAT clip = static_cast<CLIPFORMAT>(RegisterClipboardFormatW(u"VeltoQVClip"));
  qvtest::LoggerCapture log;
  EXPECT_EQ(GetDropData(nullptr), CString());
  // Only a bitmap: the enumeration runs out.
  EXPECT_EQ(Dropped([](COleDataSource& s) { s.CacheData(CF_BITMAP, BitmapMedium()); }), CString());
  const auto records = log.Records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_FALSE(records[0].ex2);
  EXPECT_EQ(records[0].module, u"ZORerer");
  EXPECT_EQ(records[0].level, 3);
  EXPECT_EQ(records[0].text, u"GetNextFormat execute failed!");
  log.Clear();

  // Listed but not available: the search stops there and the read fails.
  EXPECT_EQ(Dropped([](COleDataSource& s) {
              s.CacheData(CF_BITMAP, BitmapMedium());
              s.SetUnavailable(CF_BITMAP, true);
              s.CacheGlobalData(CF_UNICODETEXT, WideBlock(u"never read"));
            }),
            CString());
  // The data cannot be got.
  EXPECT_EQ(Dropped([&](COleDataSource& s) {
              s.CacheGlobalData(clip, WideBlock(u"x"));
              s.SetGetDataFails(clip, true);
            }),
            CString());
  // Text in a medium other than global memory.
  EXPECT_EQ(Dropped([](COleDataSource& s) { s.CacheData(CF_UNICODETEXT, BitmapMedium()); }), CString());
  EXPECT_TRUE(log.Records().empty());
  EXPECT_EQ(qvp::GlobalBlocksLocked(), 0);
}
