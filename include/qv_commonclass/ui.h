// User-interface support: start-up of the product's control libraries,
// enabling a dialog's controls, clipping children out of a device context,
// finding a menu item by its text, reading dropped text from a data object,
// and the records the grid and tree controls keep per row.
#pragma once

#include "qv_commonclass/export.h"
#include "qv_commonclass/media.h"
#include "qv_platform/collections.h"
#include "qv_platform/cstring.h"
#include "qv_platform/datetime.h"
#include "qv_platform/gdi.h"
#include "qv_platform/oledata.h"
#include "qv_platform/window.h"
#include "qv_platform/wintypes.h"

namespace qv_commonclass {

// The name of the product's private clipboard format: dropped media objects
// arrive in it as wide text (an XML document with a drag header).
inline constexpr char16_t kQVClipFormatName[] = u"VeltoQVClip";

// QVInitCommonCtrl starts the common controls once per process: the first
// call starts socket support and calls ZR_InitCommonCtrl; later calls do
// nothing until QVReleaseCommonCtrl. Always 1.
QV_API int QVInitCommonCtrl();
// QVReleaseCommonCtrl calls ZR_ReleaseCommonCtrl when the common controls
// were started (after clearing the flag); otherwise does nothing. Always 1.
QV_API int QVReleaseCommonCtrl();
// QVInitExtraCtrl / QVReleaseExtraCtrl: the same for the extra controls
// (ZR_InitExtraCtrl / ZR_ReleaseExtraCtrl); the release calls the control
// library before clearing the flag. Always 1.
QV_API int QVInitExtraCtrl();
QV_API int QVReleaseExtraCtrl();

// QVEnableAllSubWindow sets the state of every descendant control of
// `window` (not the window itself), parents before their children and
// children first to last, by class name (read up to 19 characters):
//   "Edit" (any case): read-only when `enable` is 0, editable otherwise
//     (EM_SETREADONLY); its enabled state is left alone;
//   "Button" (exact case), "ComboBox" (any case), or a name with "TimePick"
//     after its first character: enabled or disabled;
//   a name with "ListView" after its first character, "Static", and every
//     other class: unchanged.
// Returns 1 after the walk; 0 when `window` is null or not a window.
QV_API int QVEnableAllSubWindow(HWND window, int enable);

// QV_SelectVaildClip selects into `dc` a clip region that is its clip box
// less every visible child of `window` (the child's window region when it
// has one, else its rectangle, in `window`'s client coordinates), so that
// painting the parent leaves its visible children untouched. Returns 1 when
// the region was selected; 0 when an argument is null or the clip box
// cannot be read (nothing is selected then).
QV_API int QV_SelectVaildClip(CWnd* window, CDC* dc);

// QVFindMenuItem: the zero-based position of the first item of `menu`
// whose text equals `text` without regard to case; an empty `text` finds
// the first item without text (a separator). -1 when nothing matches or
// `menu` is null.
QV_API int QVFindMenuItem(HMENU menu, const CString& text);

}  // namespace qv_commonclass

// GetDropData returns the text dropped in `data`: the first offered format
// that is Unicode text or whose registered name begins with "VeltoQVClip",
// read from global memory up to its first NUL (or the end of the block). An
// empty text when `data` is null, when no such format comes before the
// enumeration ends (logged at level 3 as "GetNextFormat execute failed!"),
// when the format it stopped at is not available, or when the data cannot
// be got or is not in global memory. The storage medium is released before
// returning.
QV_API CString GetDropData(COleDataObject* data);

namespace qv_commonctrl {

// The editor kind of a grid column.
enum _CONTROLTYPE : int { QV_CONTROL_NONE = 0, QV_CONTROL_LIST = 1, QV_CONTROL_DATETIME = 2 };

// CQVSuperGridItemInfo: the content of one row of the super grid. The row
// owns the choice lists and dates stored for its columns and deletes them
// when it goes; copies made by the copy constructor, the assignment and
// CopyObjects hold lists and dates of their own.
class QV_API CQVSuperGridItemInfo {
 public:
  CQVSuperGridItemInfo() = default;
  CQVSuperGridItemInfo(const CQVSuperGridItemInfo& other);
  CQVSuperGridItemInfo& operator=(const CQVSuperGridItemInfo& other);
  virtual ~CQVSuperGridItemInfo();

  void SetItemText(const CString& text) { m_strItemName = text; }
  // Also sets the item text colour.
  void SetItemText(const CString& text, COLORREF colour) {
    m_strItemName = text;
    m_clrItem = colour;
  }
  // AddSubItemText appends a column; the form with a colour also sets the
  // new column's background colour.
  void AddSubItemText(const CString& text);
  void AddSubItemText(const CString& text, COLORREF colour);
  // SetSubItemText stores the text at `column`, growing the columns; a
  // negative column is ignored.
  void SetSubItemText(int column, const CString& text);
  void SetSubItemText(int column, const CString& text, COLORREF colour);
  const CString& GetItemText() const noexcept { return m_strItemName; }
  // GetSubItem: a copy of the column's text; "" when the column is not
  // below GetItemCount().
  CString GetSubItem(int column) const;
  // GetItemCount: the number of sub-item columns.
  int GetItemCount() const noexcept { return m_strSubItems.GetSize(); }

  void SetControlType(_CONTROLTYPE type, int column) { m_controlType.SetAt(column, type); }
  // GetControlType: 1 and the column's type, or 0 and type 0 when none was
  // set.
  BOOL GetControlType(int column, _CONTROLTYPE& type) const;
  // SetListData stores a new list holding copies of `list`'s strings for
  // the column (the caller keeps `list`), deleting the list stored before.
  // A null `list` is ignored.
  void SetListData(int column, const CStringList* list);
  // GetListData / GetDateTimeData: 1 and the stored pointer (still owned
  // by the row), or 0 and the pointer unchanged.
  BOOL GetListData(int column, CStringList*& list) const;
  BOOL GetDateTimeData(int column, COleDateTime*& date) const;
  // SetDateTimeData stores a copy of *date for the column (deleting the one
  // stored before); a null `date` is ignored.
  void SetDateTimeData(int column, const COleDateTime* date);

  void SetCheck(int check) noexcept { m_nCheck = check; }
  int GetCheck() const noexcept { return m_nCheck; }
  void SetImage(int image) noexcept { m_nImage = image; }
  int GetImage() const noexcept { return m_nImage; }
  COLORREF GetItemClr() const noexcept { return m_clrItem; }
  // GetBkColor: the column's background colour, 0xFFFFFFFF when none.
  COLORREF GetBkColor(int column) const;

  // CopyObjects copies the texts, the control types with their data, the
  // colours, the check state, the image, the tag and the item colour of
  // `other` into this row (what this row had for a column is replaced).
  void CopyObjects(const CQVSuperGridItemInfo& other);
  // CopyControls copies, for each column below other's sub-item count that
  // has a control type, the type and its choice list or date as new ones.
  void CopyControls(const CQVSuperGridItemInfo& other);
  // CopyColors copies, for each column below other's sub-item count, its
  // background colour when it has one.
  void CopyColors(const CQVSuperGridItemInfo& other);

  DWORD m_lParam = 0;  // the owning control's item tag

 private:
  void FreeOwned();

  CMap<int, int, _CONTROLTYPE, _CONTROLTYPE> m_controlType;
  CMap<int, int, COLORREF, COLORREF> m_colors;
  CMap<int, int, CStringList*, CStringList*> m_listdata;
  CMap<int, int, COleDateTime*, COleDateTime*> m_dateTime;
  CString m_strItemName;
  CStringArray m_strSubItems;
  int m_nCheck = 0;
  int m_nImage = -1;
  COLORREF m_clrItem = 0xFFFFFFFF;
};

// CQVMLTreeItem: a node of the media-library tree, itself a media object
// record whose object ID is the node's ID. The children list does not own
// the children: whoever built the tree deletes every node.
class QV_API CQVMLTreeItem : public qv_commonclass::stu_QVObject {
 public:
  // A default record with lObjectID = `id`, no parent, no children.
  explicit CQVMLTreeItem(ULONG id = 0);
  // A copy of *object's fields (a default record when `object` is null),
  // no parent, no children.
  explicit CQVMLTreeItem(const qv_commonclass::stu_QVObject* object);
  // Copies take the record and the tag, not the links: a copy has no
  // parent and no children.
  CQVMLTreeItem(const CQVMLTreeItem& other);
  CQVMLTreeItem& operator=(const CQVMLTreeItem& other);
  ~CQVMLTreeItem() override;

  // AppendChild appends `child` at the end of the children, sets its parent
  // to this node and returns this node. A null child is ignored.
  CQVMLTreeItem* AppendChild(CQVMLTreeItem* child);
  LONG GetObjectID() const noexcept { return lObjectID; }

  CQVMLTreeItem* m_pParent = nullptr;
  CList<CQVMLTreeItem*, CQVMLTreeItem*> m_children;  // insertion order, not owned
  DWORD m_dwData = 0;
};

}  // namespace qv_commonctrl
