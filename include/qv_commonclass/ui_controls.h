// Copy operations, default constructors and simple accessors of the
// product's control classes.
//
// The classes belong to the control libraries (the product's common
// controls in qv_commonctrl, the base controls at global scope, like the
// base-control library's ZR_ entry points); what the controls do is theirs.
// Their copy constructors, copy assignments, default constructors and
// one-line accessors are compiled into this library and exported from it,
// so that every client copies a control object the same way whichever
// control library made it. A class can be declared only once, so the
// declarations live here, in the library that defines these members; the
// data members are the ones those members read and copy.
//
// Copies are member-wise, with one rule on top: a member that owns
// something (a region handle, heap rows) is duplicated, never shared, so
// the copy and the original can each be destroyed on their own. Handles
// that a class only lends (a window, a menu, a parent window) are copied as
// they are: neither object ever destroys them.
#pragma once

#include "qv_commonclass/export.h"
#include "qv_commonclass/ui.h"
#include "qv_platform/collections.h"
#include "qv_platform/cstring.h"
#include "qv_platform/gdi.h"
#include "qv_platform/oledata.h"
#include "qv_platform/window.h"

// ---- Base controls ----------------------------------------------------------

// CZRDialog: the base dialog. The window handle (from CWnd) and the parent
// are lent, never destroyed by the dialog object, so a copy shares them.
class QV_API CZRDialog : public CWnd {
 public:
  // No window, template 0, no parent.
  CZRDialog();
  CZRDialog(const CZRDialog& other);
  CZRDialog& operator=(const CZRDialog& other);
  virtual ~CZRDialog();

  UINT GetTemplateID() const noexcept;
  CWnd* GetParentWnd() const noexcept;

  UINT m_nIDTemplate = 0;        // the dialog's resource template
  CWnd* m_pParentWnd = nullptr;  // lent
};

// CZRMenuEx: an owner-drawn menu. The menu handle is lent: the window the
// menu is set on, or whoever created it, destroys it. Copies share it.
class QV_API CZRMenuEx {
 public:
  // No menu, item height 0, colours 0xFFFFFFFF (the system's).
  CZRMenuEx();
  CZRMenuEx(const CZRMenuEx& other);
  CZRMenuEx& operator=(const CZRMenuEx& other);
  ~CZRMenuEx();

  HMENU GetSafeHmenu() const noexcept;
  int GetItemHeight() const noexcept;
  COLORREF GetHighlightColor() const noexcept;

  HMENU m_hMenu = nullptr;  // lent
  int m_nItemHeight = 0;
  COLORREF m_clrText = 0xFFFFFFFF;
  COLORREF m_clrHighlight = 0xFFFFFFFF;
};

// CZRTimeLine: a time line control over a range of frames.
class QV_API CZRTimeLine : public CWnd {
 public:
  // No window, empty range at 0, 25 frames a second.
  CZRTimeLine();
  CZRTimeLine(const CZRTimeLine& other);
  CZRTimeLine& operator=(const CZRTimeLine& other);
  virtual ~CZRTimeLine();

  LONG GetRangeStart() const noexcept;
  LONG GetRangeEnd() const noexcept;
  LONG GetPos() const noexcept;
  double GetFrameRate() const noexcept;

  LONG m_lStart = 0;
  LONG m_lEnd = 0;
  LONG m_lPos = 0;
  double m_dFrameRate = 25.0;
};

namespace qv_commonctrl {

// ---- Common controls --------------------------------------------------------

// CQVGUIStyleHelper: the colours and border a control paints with.
class QV_API CQVGUIStyleHelper {
 public:
  // Every colour 0xFFFFFFFF (the system's), border width 1.
  CQVGUIStyleHelper();
  CQVGUIStyleHelper(const CQVGUIStyleHelper& other);
  CQVGUIStyleHelper& operator=(const CQVGUIStyleHelper& other);
  ~CQVGUIStyleHelper();

  COLORREF GetBkColor() const noexcept;
  COLORREF GetTextColor() const noexcept;
  COLORREF GetBorderColor() const noexcept;
  int GetBorderWidth() const noexcept;

  COLORREF m_clrBk = 0xFFFFFFFF;
  COLORREF m_clrText = 0xFFFFFFFF;
  COLORREF m_clrBorder = 0xFFFFFFFF;
  int m_nBorderWidth = 1;
};

// CQVRoundCorner: the rounded outline of a window, kept as a region that
// the object owns and deletes. A copy holds a region of its own with the
// same shape.
class QV_API CQVRoundCorner {
 public:
  // Radius 0, no region.
  CQVRoundCorner();
  // Copies the radius and duplicates the region (none when the copy of
  // the region cannot be made).
  CQVRoundCorner(const CQVRoundCorner& other);
  CQVRoundCorner& operator=(const CQVRoundCorner& other);
  ~CQVRoundCorner();

  int GetRadius() const noexcept;
  void SetRadius(int radius) noexcept;
  // GetRgn: the region, still owned by this object (null when none).
  HRGN GetRgn() const noexcept;
  // SetRgn takes ownership of `region` (null for none) and deletes the
  // region held before.
  void SetRgn(HRGN region) noexcept;

 private:
  int m_nRadius = 0;
  HRGN m_hRgn = nullptr;  // owned
};

// CQVInplaceCtrlInfo: where a grid cell's in-place editor sits. The editor
// window is lent by the grid, so copies share it.
class QV_API CQVInplaceCtrlInfo {
 public:
  // Item and column -1 (no cell), no editor, empty rectangle.
  CQVInplaceCtrlInfo();
  CQVInplaceCtrlInfo(const CQVInplaceCtrlInfo& other);
  CQVInplaceCtrlInfo& operator=(const CQVInplaceCtrlInfo& other);
  ~CQVInplaceCtrlInfo();

  int GetItem() const noexcept;
  int GetSubItem() const noexcept;
  _CONTROLTYPE GetControlType() const noexcept;
  const CRect& GetRect() const noexcept;
  HWND GetCtrlHwnd() const noexcept;

  int m_nItem = -1;
  int m_nSubItem = -1;
  _CONTROLTYPE m_type = QV_CONTROL_NONE;
  CRect m_rect;
  HWND m_hWndCtrl = nullptr;  // lent
};

// CQVOleDataSource: the data offered when media objects are dragged: the
// text in the product's clipboard format. Its data-object interface is the
// nested XDataObj, which points back at the source that holds it; a copied
// source's interface points at the copy, never at the original.
class QV_API CQVOleDataSource {
 public:
  class QV_API XDataObj {
   public:
    // Not attached to a source.
    XDataObj();
    // Member-wise: an interface copied on its own points at the same
    // source. Inside a source, the source's copy operations re-point it.
    XDataObj(const XDataObj& other);
    XDataObj& operator=(const XDataObj& other);
    ~XDataObj();

    CQVOleDataSource* GetOuter() const noexcept;

    CQVOleDataSource* m_pOuter = nullptr;  // the source holding this interface
  };

  // No text, format 0 (not yet registered); the interface points here.
  CQVOleDataSource();
  // Copies the text and format; the copy's interface points at the copy.
  CQVOleDataSource(const CQVOleDataSource& other);
  // Copies the text and format; this source's interface keeps pointing
  // here.
  CQVOleDataSource& operator=(const CQVOleDataSource& other);
  ~CQVOleDataSource();

  const CString& GetClipData() const noexcept;
  void SetClipData(const CString& text);
  CLIPFORMAT GetClipFormat() const noexcept;
  void SetClipFormat(CLIPFORMAT format) noexcept;
  XDataObj* GetDataObj() noexcept;

 private:
  CString m_strClipData;
  CLIPFORMAT m_cfClip = 0;
  XDataObj m_xDataObj;
};

// CQVAutoFitDlg: a dialog that lays its controls out again when resized,
// from the client rectangle it was designed at.
class QV_API CQVAutoFitDlg : public CZRDialog {
 public:
  // Auto-fit on, empty design rectangle.
  CQVAutoFitDlg();
  CQVAutoFitDlg(const CQVAutoFitDlg& other);
  CQVAutoFitDlg& operator=(const CQVAutoFitDlg& other);
  ~CQVAutoFitDlg() override;

  BOOL IsAutoFit() const noexcept;
  void SetAutoFit(BOOL fit) noexcept;
  const CRect& GetDesignRect() const noexcept;

  BOOL m_bAutoFit = TRUE;
  CRect m_rcDesign;
};

// CQVFileDialog: the product's file open and save dialog.
class QV_API CQVFileDialog : public CZRDialog {
 public:
  // An open dialog, no filter, extension, name or flags.
  CQVFileDialog();
  CQVFileDialog(const CQVFileDialog& other);
  CQVFileDialog& operator=(const CQVFileDialog& other);
  ~CQVFileDialog() override;

  BOOL IsOpenDialog() const noexcept;
  const CString& GetPathName() const noexcept;
  const CString& GetFilter() const noexcept;
  const CString& GetDefExt() const noexcept;
  DWORD GetFlags() const noexcept;

  BOOL m_bOpenFileDialog = TRUE;
  CString m_strFilter;
  CString m_strDefExt;
  CString m_strPathName;
  DWORD m_dwFlags = 0;
};

// CQVFilePathDialog: the product's folder chooser.
class QV_API CQVFilePathDialog : public CZRDialog {
 public:
  // No title, no folder.
  CQVFilePathDialog();
  CQVFilePathDialog(const CQVFilePathDialog& other);
  CQVFilePathDialog& operator=(const CQVFilePathDialog& other);
  ~CQVFilePathDialog() override;

  const CString& GetTitle() const noexcept;
  const CString& GetPath() const noexcept;

  CString m_strTitle;
  CString m_strPath;
};

// CQVSuperGridCtrl: the multi-column grid. It owns its rows: a copy holds
// copies of them (each a CQVSuperGridItemInfo copy, lists and dates
// included); the window handle is lent and shared.
class QV_API CQVSuperGridCtrl : public CWnd {
 public:
  // No window, no rows, default style.
  CQVSuperGridCtrl();
  CQVSuperGridCtrl(const CQVSuperGridCtrl& other);
  // Copies other's rows first; this grid's rows go only once the copy is
  // complete (a failed copy leaves this grid as it was).
  CQVSuperGridCtrl& operator=(const CQVSuperGridCtrl& other);
  virtual ~CQVSuperGridCtrl();

  int GetItemCount() const noexcept;
  // GetItemInfo: the row at `index`, still owned by the grid; null when
  // there is none.
  CQVSuperGridItemInfo* GetItemInfo(int index) const noexcept;
  // AddItem appends `row`, taking ownership, and returns its index; -1
  // (and the row is not taken) when `row` is null.
  int AddItem(CQVSuperGridItemInfo* row);
  CQVGUIStyleHelper& GetStyle() noexcept;

 private:
  void DeleteRows() noexcept;

  CQVGUIStyleHelper m_style;
  CArray<CQVSuperGridItemInfo*, CQVSuperGridItemInfo*> m_rows;  // owned
};

}  // namespace qv_commonctrl
