// Copy operations, default constructors and accessors of the control
// classes. Defined here, out of line, so that they are the library's
// exported symbols rather than code inlined into each client. `= default`
// where member-wise is exactly right; written out where a member owns
// something or points back at its owner.
#include <memory>
#include <vector>

#include "qv_commonclass/ui_controls.h"

// The default constructor, copy constructor, copy assignment and destructor
// of `Class` (whose unqualified name is `Name`), each member-wise.
#define QV_MEMBERWISE(Class, Name)                       \
  Class::Name() = default;                               \
  Class::Name(const Class& other) = default;             \
  Class& Class::operator=(const Class& other) = default; \
  Class::~Name() = default;

// ---- CZRDialog --------------------------------------------------------------

QV_MEMBERWISE(CZRDialog, CZRDialog)
UINT CZRDialog::GetTemplateID() const noexcept { return m_nIDTemplate; }
CWnd* CZRDialog::GetParentWnd() const noexcept { return m_pParentWnd; }

// ---- CZRMenuEx -------------------------------------------------------------

QV_MEMBERWISE(CZRMenuEx, CZRMenuEx)
HMENU CZRMenuEx::GetSafeHmenu() const noexcept { return m_hMenu; }
int CZRMenuEx::GetItemHeight() const noexcept { return m_nItemHeight; }
COLORREF CZRMenuEx::GetHighlightColor() const noexcept { return m_clrHighlight; }

// ---- CZRTimeLine -----------------------------------------------------------

QV_MEMBERWISE(CZRTimeLine, CZRTimeLine)
LONG CZRTimeLine::GetRangeStart() const noexcept { return m_lStart; }
LONG CZRTimeLine::GetRangeEnd() const noexcept { return m_lEnd; }
LONG CZRTimeLine::GetPos() const noexcept { return m_lPos; }
double CZRTimeLine::GetFrameRate() const noexcept { return m_dFrameRate; }

namespace qv_commonctrl {

// ---- CQVGUIStyleHelper -----------------------------------------------------

QV_MEMBERWISE(CQVGUIStyleHelper, CQVGUIStyleHelper)
COLORREF CQVGUIStyleHelper::GetBkColor() const noexcept { return m_clrBk; }
COLORREF CQVGUIStyleHelper::GetTextColor() const noexcept { return m_clrText; }
COLORREF CQVGUIStyleHelper::GetBorderColor() const noexcept { return m_clrBorder; }
int CQVGUIStyleHelper::GetBorderWidth() const noexcept { return m_nBorderWidth; }

// ---- CQVRoundCorner --------------------------------------------------------

namespace {

// A new region with the shape of `region`; null for null or when the copy
// cannot be made.
HRGN DuplicateRgn(HRGN region) {
  if (!region) return nullptr;
  HRGN copy = ::CreateRectRgn(0, 0, 0, 0);
  if (copy && ::CombineRgn(copy, region, nullptr, RGN_COPY) == RGN_ERROR) {
    ::DeleteObject(copy);
    copy = nullptr;
  }
  return copy;
}

}  // namespace

CQVRoundCorner::CQVRoundCorner() = default;

CQVRoundCorner::CQVRoundCorner(const CQVRoundCorner& other)
    : m_nRadius(other.m_nRadius), m_hRgn(DuplicateRgn(other.m_hRgn)) {}

CQVRoundCorner& CQVRoundCorner::operator=(const CQVRoundCorner& other) {
  if (this != &other) {
    m_nRadius = other.m_nRadius;
    SetRgn(DuplicateRgn(other.m_hRgn));
  }
  return *this;
}

CQVRoundCorner::~CQVRoundCorner() { SetRgn(nullptr); }

int CQVRoundCorner::GetRadius() const noexcept { return m_nRadius; }
void CQVRoundCorner::SetRadius(int radius) noexcept { m_nRadius = radius; }
HRGN CQVRoundCorner::GetRgn() const noexcept { return m_hRgn; }

void CQVRoundCorner::SetRgn(HRGN region) noexcept {
  if (m_hRgn && m_hRgn != region) ::DeleteObject(m_hRgn);
  m_hRgn = region;
}

// ---- CQVInplaceCtrlInfo ----------------------------------------------------

QV_MEMBERWISE(CQVInplaceCtrlInfo, CQVInplaceCtrlInfo)
int CQVInplaceCtrlInfo::GetItem() const noexcept { return m_nItem; }
int CQVInplaceCtrlInfo::GetSubItem() const noexcept { return m_nSubItem; }
_CONTROLTYPE CQVInplaceCtrlInfo::GetControlType() const noexcept { return m_type; }
const CRect& CQVInplaceCtrlInfo::GetRect() const noexcept { return m_rect; }
HWND CQVInplaceCtrlInfo::GetCtrlHwnd() const noexcept { return m_hWndCtrl; }

// ---- CQVOleDataSource ------------------------------------------------------

QV_MEMBERWISE(CQVOleDataSource::XDataObj, XDataObj)
CQVOleDataSource* CQVOleDataSource::XDataObj::GetOuter() const noexcept { return m_pOuter; }

CQVOleDataSource::CQVOleDataSource() { m_xDataObj.m_pOuter = this; }

CQVOleDataSource::CQVOleDataSource(const CQVOleDataSource& other)
    : m_strClipData(other.m_strClipData), m_cfClip(other.m_cfClip) {
  m_xDataObj.m_pOuter = this;
}

CQVOleDataSource& CQVOleDataSource::operator=(const CQVOleDataSource& other) {
  m_strClipData = other.m_strClipData;
  m_cfClip = other.m_cfClip;
  return *this;
}

CQVOleDataSource::~CQVOleDataSource() = default;
const CString& CQVOleDataSource::GetClipData() const noexcept { return m_strClipData; }
void CQVOleDataSource::SetClipData(const CString& text) { m_strClipData = text; }
CLIPFORMAT CQVOleDataSource::GetClipFormat() const noexcept { return m_cfClip; }
void CQVOleDataSource::SetClipFormat(CLIPFORMAT format) noexcept { m_cfClip = format; }
CQVOleDataSource::XDataObj* CQVOleDataSource::GetDataObj() noexcept { return &m_xDataObj; }

// ---- Dialogs ---------------------------------------------------------------

QV_MEMBERWISE(CQVAutoFitDlg, CQVAutoFitDlg)
BOOL CQVAutoFitDlg::IsAutoFit() const noexcept { return m_bAutoFit; }
void CQVAutoFitDlg::SetAutoFit(BOOL fit) noexcept { m_bAutoFit = fit; }
const CRect& CQVAutoFitDlg::GetDesignRect() const noexcept { return m_rcDesign; }

QV_MEMBERWISE(CQVFileDialog, CQVFileDialog)
BOOL CQVFileDialog::IsOpenDialog() const noexcept { return m_bOpenFileDialog; }
const CString& CQVFileDialog::GetPathName() const noexcept { return m_strPathName; }
const CString& CQVFileDialog::GetFilter() const noexcept { return m_strFilter; }
const CString& CQVFileDialog::GetDefExt() const noexcept { return m_strDefExt; }
DWORD CQVFileDialog::GetFlags() const noexcept { return m_dwFlags; }

QV_MEMBERWISE(CQVFilePathDialog, CQVFilePathDialog)
const CString& CQVFilePathDialog::GetTitle() const noexcept { return m_strTitle; }
const CString& CQVFilePathDialog::GetPath() const noexcept { return m_strPath; }

// ---- CQVSuperGridCtrl ------------------------------------------------------

namespace {

// Copies of every row of `rows`, owned by the returned holders until the
// caller takes them, so that a copy failing half-way frees what it made.
std::vector<std::unique_ptr<CQVSuperGridItemInfo>> CopyRows(
    const CArray<CQVSuperGridItemInfo*, CQVSuperGridItemInfo*>& rows) {
  std::vector<std::unique_ptr<CQVSuperGridItemInfo>> copies;
  copies.reserve(static_cast<std::size_t>(rows.GetSize()));
  for (const CQVSuperGridItemInfo* row : rows) copies.push_back(std::make_unique<CQVSuperGridItemInfo>(*row));
  return copies;
}

}  // namespace

CQVSuperGridCtrl::CQVSuperGridCtrl() = default;

CQVSuperGridCtrl::CQVSuperGridCtrl(const CQVSuperGridCtrl& other) : CWnd(other), m_style(other.m_style) {
  auto copies = CopyRows(other.m_rows);
  m_rows.std_vector().reserve(copies.size());
  for (auto& row : copies) m_rows.Add(row.release());
}

CQVSuperGridCtrl& CQVSuperGridCtrl::operator=(const CQVSuperGridCtrl& other) {
  if (this == &other) return *this;
  auto copies = CopyRows(other.m_rows);
  m_rows.std_vector().reserve(copies.size());  // may throw: nothing changed yet
  DeleteRows();
  for (auto& row : copies) m_rows.Add(row.release());
  CWnd::operator=(other);
  m_style = other.m_style;
  return *this;
}

CQVSuperGridCtrl::~CQVSuperGridCtrl() { DeleteRows(); }

void CQVSuperGridCtrl::DeleteRows() noexcept {
  for (CQVSuperGridItemInfo* row : m_rows) delete row;
  m_rows.RemoveAll();
}

int CQVSuperGridCtrl::GetItemCount() const noexcept { return m_rows.GetSize(); }

CQVSuperGridItemInfo* CQVSuperGridCtrl::GetItemInfo(int index) const noexcept {
  return index >= 0 && index < m_rows.GetSize() ? m_rows.GetData()[index] : nullptr;
}

int CQVSuperGridCtrl::AddItem(CQVSuperGridItemInfo* row) { return row ? m_rows.Add(row) : -1; }

CQVGUIStyleHelper& CQVSuperGridCtrl::GetStyle() noexcept { return m_style; }

}  // namespace qv_commonctrl
