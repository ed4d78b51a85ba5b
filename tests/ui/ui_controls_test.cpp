// The control classes' copy operations: exported from the shared library,
// member-wise, and never sharing what an object owns (run under ASan, a
// shared region or row shows up as a double free or a use after free).
#include "qv_commonclass/ui_controls.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

using namespace qv_commonctrl;

namespace {

// The path of the shared object that defines the library's functions.
std::string LibraryPath() {
  Dl_info info{};
  if (!dladdr(reinterpret_cast<void*>(&qv_commonclass::QVInitCommonCtrl), &info) || !info.dli_fname) return {};
  return info.dli_fname;
}

std::string DynamicSymbols(const std::string& library) {
  std::string out;
  if (FILE* p = popen(("nm -DC --defined-only '" + library + "' 2>/dev/null").c_str(), "r")) {
    char buf[4096];
    for (std::size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    pclose(p);
  }
  return out;
}

CQVSuperGridItemInfo* RowWithChoices(const char16_t* text) {
  auto row = std::make_unique<CQVSuperGridItemInfo>();
  row->SetItemText(CString(text));
  row->AddSubItemText(CString(u"a"));
  row->AddSubItemText(CString(u"b"));
  row->SetControlType(QV_CONTROL_LIST, 1);
  CStringList choices;
  choices.AddTail(CString(u"PAL"));
  choices.AddTail(CString(u"NTSC"));
  row->SetListData(1, &choices);
  return row.release();
}

}  // namespace

TEST(ControlClasses, CopyOperationsAreExportedFromTheSharedLibrary) {
  const std::string library = LibraryPath();
  ASSERT_NE(library.find("DIZudazaZuvodA"), std::string::npos) << library;
  const std::string symbols = DynamicSymbols(library);
  if (symbols.empty()) GTEST_SKIP() << "nm could not list " << library;
  for (const std::string cls :
       {"CZRDialog", "CZRMenuEx", "CZRTimeLine", "qv_commonctrl::CQVGUIStyleHelper", "qv_commonctrl::CQVRoundCorner",
        "qv_commonctrl::CQVInplaceCtrlInfo", "qv_commonctrl::CQVOleDataSource",
        "qv_commonctrl::CQVOleDataSource::XDataObj", "qv_commonctrl::CQVAutoFitDlg", "qv_commonctrl::CQVFileDialog",
        "qv_commonctrl::CQVFilePathDialog", "qv_commonctrl::CQVSuperGridCtrl"}) {
    const std::string name = cls.substr(cls.rfind(':') + 1);
    for (const std::string& member : {cls + "::" + name + "()", cls + "::" + name + "(" + cls + " const&)",
                                     cls + "::operator=(" + cls + " const&)"})
      EXPECT_NE(symbols.find(" " + member), std::string::npos) << member;
  }
  EXPECT_NE(symbols.find(" qv_commonctrl::CQVFileDialog::GetPathName() const"), std::string::npos);
}

TEST(ControlClasses, MemberWiseCopiesShareLentHandles) {
  const HMENU menu = CreatePopupMenu();
  CZRMenuEx m;
  m.m_hMenu = menu;
  m.m_clrHighlight = RGB(1, 2, 3);
  CZRMenuEx m2(m);
  EXPECT_EQ(m2.GetSafeHmenu(), menu);
  EXPECT_EQ(m2.GetHighlightColor(), RGB(1, 2, 3));

  CWnd parent;
  CQVFileDialog open;
  open.m_hWnd = reinterpret_cast<HWND>(0x10);
  open.m_pParentWnd = &parent;
  open.m_strPathName = CString(u"/media/clip.mxf");
  open.m_dwFlags = 6;
  CQVFileDialog save;
  save.m_bOpenFileDialog = FALSE;
  save = open;
  EXPECT_TRUE(save.IsOpenDialog());
  EXPECT_EQ(save.GetPathName(), CString(u"/media/clip.mxf"));
  EXPECT_EQ(save.GetFlags(), 6u);
  EXPECT_EQ(save.GetSafeHwnd(), open.GetSafeHwnd());
  EXPECT_EQ(save.GetParentWnd(), &parent);

  CQVAutoFitDlg fit;
  fit.SetAutoFit(FALSE);
  fit.m_rcDesign = CRect(0, 0, 320, 200);
  const CQVAutoFitDlg fit2(fit);
  EXPECT_FALSE(fit2.IsAutoFit());
  EXPECT_EQ(fit2.GetDesignRect(), CRect(0, 0, 320, 200));
  EXPECT_TRUE(DestroyMenu(menu));  // neither menu object destroyed it
}

TEST(ControlClasses, RoundCornerCopiesOwnTheirRegion) {
  CQVRoundCorner a;
  a.SetRadius(8);
  a.SetRgn(CreateRectRgn(0, 0, 40, 30));
  auto b = std::make_unique<CQVRoundCorner>(a);
  EXPECT_EQ(b->GetRadius(), 8);
  ASSERT_NE(b->GetRgn(), nullptr);
  EXPECT_NE(b->GetRgn(), a.GetRgn());
  EXPECT_TRUE(EqualRgn(b->GetRgn(), a.GetRgn()));

  CQVRoundCorner c;
  c.SetRgn(CreateRectRgn(5, 5, 6, 6));
  c = a;                                      // the old region goes
  c = static_cast<const CQVRoundCorner&>(c);  // self-assignment keeps it
  EXPECT_TRUE(EqualRgn(c.GetRgn(), a.GetRgn()));
  a.SetRgn(nullptr);
  b.reset();
  EXPECT_TRUE(PtInRegion(c.GetRgn(), 39, 29));
  c = a;  // from an object without a region
  EXPECT_EQ(c.GetRgn(), nullptr);
}

TEST(ControlClasses, GridCopiesOwnTheirRows) {
  auto grid = std::make_unique<CQVSuperGridCtrl>();
  EXPECT_EQ(grid->AddItem(nullptr), -1);
  EXPECT_EQ(grid->AddItem(RowWithChoices(u"one")), 0);
  EXPECT_EQ(grid->AddItem(RowWithChoices(u"two")), 1);
  grid->GetStyle().m_clrBk = RGB(9, 9, 9);

  CQVSuperGridCtrl copy(*grid);
  CQVSuperGridCtrl assigned;
  assigned.AddItem(RowWithChoices(u"old"));
  assigned = *grid;
  assigned = static_cast<const CQVSuperGridCtrl&>(assigned);
  grid.reset();  // the copies' rows and their lists must survive

  for (CQVSuperGridCtrl* g : {&copy, &assigned}) {
    ASSERT_EQ(g->GetItemCount(), 2);
    EXPECT_EQ(g->GetItemInfo(1)->GetItemText(), CString(u"two"));
    EXPECT_EQ(g->GetItemInfo(2), nullptr);
    EXPECT_EQ(g->GetItemInfo(-1), nullptr);
    CStringList* list = nullptr;
    ASSERT_TRUE(g->GetItemInfo(0)->GetListData(1, list));
    EXPECT_EQ(list->GetTail(), CString(u"NTSC"));
    EXPECT_EQ(g->GetStyle().GetBkColor(), RGB(9, 9, 9));
  }
  EXPECT_NE(copy.GetItemInfo(0), assigned.GetItemInfo(0));
}

TEST(ControlClasses, DataSourceInterfacePointsAtItsOwnSource) {
  auto source = std::make_unique<CQVOleDataSource>();
  source->SetClipData(CString(u"<QVObjects/>"));
  source->SetClipFormat(0xC001);
  EXPECT_EQ(source->GetDataObj()->GetOuter(), source.get());

  CQVOleDataSource copy(*source);
  CQVOleDataSource assigned;
  assigned = *source;
  const CQVOleDataSource::XDataObj loose(*source->GetDataObj());
  EXPECT_EQ(loose.GetOuter(),
            source.get());  // an interface alone copies as it is
  source.reset();

  for (CQVOleDataSource* s : {&copy, &assigned}) {
    EXPECT_EQ(s->GetDataObj()->GetOuter(), s);
    EXPECT_EQ(s->GetClipData(), CString(u"<QVObjects/>"));
    EXPECT_EQ(s->GetClipFormat(), 0xC001);
  }
}
