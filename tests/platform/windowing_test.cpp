#include <gtest/gtest.h>

#include <string>

#include "qv_platform/oledata.h"
#include "qv_platform/window.h"

namespace {

HWND Make(HWND parent, const char16_t* cls, DWORD style, int x, int y, int w, int h) {
  return CreateWindowExW(0, cls, u"", style | (parent ? WS_CHILD : 0), x, y, w, h, parent, nullptr, nullptr,
                         nullptr);
}

}  // namespace

TEST(WindowStandIn, TreeRelationsAndDestruction) {
  HWND top = Make(nullptr, u"#32770", WS_VISIBLE, 0, 0, 50, 50);
  HWND a = Make(top, u"Button", WS_VISIBLE, 0, 0, 5, 5);
  HWND b = Make(top, u"Edit", 0, 0, 0, 5, 5);
  HWND inner = Make(a, u"Static", WS_VISIBLE, 0, 0, 1, 1);
  EXPECT_EQ(GetWindow(top, GW_CHILD), a);
  EXPECT_EQ(GetWindow(a, GW_HWNDNEXT), b);
  EXPECT_EQ(GetWindow(b, GW_HWNDNEXT), nullptr);
  EXPECT_EQ(GetWindow(b, GW_HWNDPREV), a);
  EXPECT_EQ(GetParent(inner), a);
  EXPECT_EQ(Make(nullptr, u"", 0, 0, 0, 1, 1), nullptr);
  EXPECT_EQ(CreateWindowExW(0, u"Button", u"", WS_CHILD, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr), nullptr);

  EXPECT_FALSE(IsWindowVisible(b));
  EXPECT_TRUE(IsWindowVisible(inner));
  ShowWindow(top, SW_HIDE);
  EXPECT_FALSE(IsWindowVisible(inner));  // a hidden ancestor hides it
  EXPECT_TRUE(ShowWindow(top, SW_HIDE) == FALSE);

  EXPECT_TRUE(DestroyWindow(a));
  EXPECT_FALSE(IsWindow(a));
  EXPECT_FALSE(IsWindow(inner));
  EXPECT_EQ(GetWindow(top, GW_CHILD), b);
  EXPECT_FALSE(DestroyWindow(a));
  EXPECT_EQ(GetWindow(a, GW_CHILD), nullptr);
  DestroyWindow(top);
  EXPECT_FALSE(IsWindow(b));
}

TEST(WindowStandIn, ClassNameLimitEnableAndReadOnly) {
  HWND w = Make(nullptr, u"SysDateTimePick32", WS_VISIBLE, 0, 0, 1, 1);
  char16_t buf[8] = {u'?'};
  struct Case {
    int max;
    int copied;
    std::u16string text;
  } cases[] = {{8, 7, u"SysDate"}, {1, 0, u""}, {0, 0, u"?"}, {-1, 0, u"?"}};
  for (const Case& c : cases) {
    buf[0] = u'?', buf[1] = 0;
    EXPECT_EQ(GetClassNameW(w, buf, c.max), c.copied);
    EXPECT_EQ(std::u16string(buf), c.text) << c.max;
  }
  EXPECT_FALSE(EnableWindow(w, FALSE));  // was enabled
  EXPECT_TRUE(EnableWindow(w, FALSE));   // was disabled
  EXPECT_FALSE(IsWindowEnabled(w));
  EXPECT_TRUE(EnableWindow(w, TRUE));
  EXPECT_TRUE(IsWindowEnabled(w));
  EXPECT_TRUE(SendMessageW(w, EM_SETREADONLY, TRUE, 0));
  EXPECT_TRUE(GetWindowLongW(w, GWL_STYLE) & ES_READONLY);
  SendMessageW(w, EM_SETREADONLY, FALSE, 0);
  EXPECT_FALSE(GetWindowLongW(w, GWL_STYLE) & ES_READONLY);
  DestroyWindow(w);
  EXPECT_EQ(GetClassNameW(w, buf, 8), 0);
}

TEST(WindowStandIn, RectanglesClientAreasAndRegions) {
  HWND top = Make(nullptr, u"#32770", WS_VISIBLE | WS_BORDER, 100, 200, 52, 42);
  HWND child = Make(top, u"Button", WS_VISIBLE, 5, 6, 10, 20);
  RECT r{};
  GetWindowRect(child, &r);
  EXPECT_EQ(CRect(r), CRect(106, 207, 116, 227));  // inside the 1-pixel frame
  GetClientRect(top, &r);
  EXPECT_EQ(CRect(r), CRect(0, 0, 50, 40));
  POINT p{106, 207};
  ScreenToClient(top, &p);
  EXPECT_EQ(p.x, 5);
  EXPECT_EQ(p.y, 6);
  HRGN out = CreateRectRgn(0, 0, 0, 0);
  EXPECT_EQ(GetWindowRgn(child, out), RGN_ERROR);
  SetWindowRgn(child, CreateRectRgn(1, 1, 3, 3), TRUE);
  EXPECT_EQ(GetWindowRgn(child, out), SIMPLEREGION);
  GetRgnBox(out, &r);
  EXPECT_EQ(CRect(r), CRect(1, 1, 3, 3));
  DeleteObject(out);
  DestroyWindow(top);  // frees the child's region (AddressSanitizer would see a leak)
}

TEST(MenuStandIn, CountsStringsAndSubMenus) {
  HMENU m = CreateMenu();
  HMENU sub = CreatePopupMenu();
  AppendMenuW(sub, MF_STRING, 7, u"Inner");
  EXPECT_TRUE(AppendMenuW(m, MF_STRING, 1, u"File"));
  EXPECT_TRUE(AppendMenuW(m, MF_SEPARATOR, 0, nullptr));
  EXPECT_TRUE(AppendMenuW(m, MF_POPUP, reinterpret_cast<UINT_PTR>(sub), u"More"));
  EXPECT_FALSE(AppendMenuW(m, MF_POPUP, reinterpret_cast<UINT_PTR>(sub), u"Twice"));
  EXPECT_EQ(GetMenuItemCount(m), 3);
  EXPECT_EQ(GetMenuItemCount(nullptr), -1);
  char16_t buf[4];
  EXPECT_EQ(GetMenuStringW(m, 0, nullptr, 0, MF_BYPOSITION), 4);
  EXPECT_EQ(GetMenuStringW(m, 0, buf, 4, MF_BYPOSITION), 3);
  EXPECT_EQ(std::u16string(buf), u"Fil");
  EXPECT_EQ(GetMenuStringW(m, 1, buf, 4, MF_BYPOSITION), 0);
  EXPECT_EQ(GetMenuStringW(m, 9, buf, 4, MF_BYPOSITION), 0);
  EXPECT_EQ(GetMenuStringW(m, 7, nullptr, 0, MF_BYCOMMAND), 5);
  EXPECT_EQ(GetSubMenu(m, 2), sub);
  EXPECT_TRUE(DestroyMenu(m));
  EXPECT_FALSE(IsMenu(sub));
}

TEST(DataTransferStandIn, FormatsGlobalMemoryAndEnumeration) {
  const UINT f = RegisterClipboardFormatW(u"QVTest.Format");
  EXPECT_GE(f, 0xC000u);
  EXPECT_EQ(RegisterClipboardFormatW(u"qvtest.FORMAT"), f);
  EXPECT_EQ(RegisterClipboardFormatW(u""), 0u);
  char16_t name[8];
  EXPECT_EQ(GetClipboardFormatNameW(f, name, 8), 7);
  EXPECT_EQ(std::u16string(name), u"QVTest.");
  EXPECT_EQ(GetClipboardFormatNameW(CF_UNICODETEXT, name, 8), 0);

  const int alive = qvp::GlobalBlocksAlive();
  {
    COleDataSource source;
    HGLOBAL h = GlobalAlloc(GHND, 6);
    EXPECT_EQ(GlobalSize(h), 6u);
    source.CacheGlobalData(static_cast<CLIPFORMAT>(f), h);
    source.CacheGlobalData(CF_UNICODETEXT, GlobalAlloc(GHND, 2));
    source.CacheGlobalData(static_cast<CLIPFORMAT>(f), GlobalAlloc(GHND, 8));  // replaces in place
    COleDataObject data;
    data.Attach(&source);
    FORMATETC etc;
    ASSERT_TRUE(data.GetNextFormat(&etc));
    EXPECT_EQ(etc.cfFormat, f);
    ASSERT_TRUE(data.GetNextFormat(&etc));
    EXPECT_EQ(etc.cfFormat, CF_UNICODETEXT);
    EXPECT_FALSE(data.GetNextFormat(&etc));
    STGMEDIUM m;
    ASSERT_TRUE(data.GetData(static_cast<CLIPFORMAT>(f), &m));
    EXPECT_EQ(GlobalSize(m.hGlobal), 8u);
    EXPECT_TRUE(GlobalLock(m.hGlobal) != nullptr);
    EXPECT_EQ(qvp::GlobalBlocksLocked(), 1);
    EXPECT_FALSE(GlobalUnlock(m.hGlobal));
    ReleaseStgMedium(&m);
    EXPECT_EQ(m.hGlobal, nullptr);
    EXPECT_FALSE(data.GetData(CF_BITMAP, &m));
  }
  EXPECT_EQ(qvp::GlobalBlocksAlive(), alive);
}
