// The grid row and tree node records.
#include "qv_commonclass/ui.h"

namespace qv_commonctrl {

// ---- CQVSuperGridItemInfo -------------------------------------------------------

CQVSuperGridItemInfo::CQVSuperGridItemInfo(const CQVSuperGridItemInfo& other) { CopyObjects(other); }

CQVSuperGridItemInfo& CQVSuperGridItemInfo::operator=(const CQVSuperGridItemInfo& other) {
  if (this == &other) return *this;
  FreeOwned();
  m_controlType.RemoveAll();
  m_colors.RemoveAll();
  m_strSubItems.RemoveAll();
  CopyObjects(other);
  return *this;
}

CQVSuperGridItemInfo::~CQVSuperGridItemInfo() { FreeOwned(); }

void CQVSuperGridItemInfo::FreeOwned() {
  int column = 0;
  for (POSITION pos = m_listdata.GetStartPosition(); pos;) {
    CStringList* list = nullptr;
    m_listdata.GetNextAssoc(pos, column, list);
    if (list) list->RemoveAll();
    delete list;
  }
  m_listdata.RemoveAll();
  for (POSITION pos = m_dateTime.GetStartPosition(); pos;) {
    COleDateTime* date = nullptr;
    m_dateTime.GetNextAssoc(pos, column, date);
    delete date;
  }
  m_dateTime.RemoveAll();
}

void CQVSuperGridItemInfo::AddSubItemText(const CString& text) { m_strSubItems.Add(text); }

void CQVSuperGridItemInfo::AddSubItemText(const CString& text, COLORREF colour) {
  const int column = m_strSubItems.Add(text);
  m_colors.SetAt(column, colour);
}

void CQVSuperGridItemInfo::SetSubItemText(int column, const CString& text) {
  if (column < 0) return;
  m_strSubItems.SetAtGrow(column, text);
}

void CQVSuperGridItemInfo::SetSubItemText(int column, const CString& text, COLORREF colour) {
  if (column < 0) return;
  m_strSubItems.SetAtGrow(column, text);
  m_colors.SetAt(column, colour);
}

CString CQVSuperGridItemInfo::GetSubItem(int column) const {
  if (column < 0 || column >= m_strSubItems.GetSize()) return CString();
  return m_strSubItems.GetAt(column);
}

BOOL CQVSuperGridItemInfo::GetControlType(int column, _CONTROLTYPE& type) const {
  if (m_controlType.Lookup(column, type)) return TRUE;
  type = QV_CONTROL_NONE;
  return FALSE;
}

void CQVSuperGridItemInfo::SetListData(int column, const CStringList* list) {
  if (!list) return;
  auto* copy = new CStringList(*list);
  CStringList* before = nullptr;
  if (m_listdata.Lookup(column, before) && before != copy) delete before;
  m_listdata.SetAt(column, copy);
}

BOOL CQVSuperGridItemInfo::GetListData(int column, CStringList*& list) const {
  CStringList* found = nullptr;
  if (!m_listdata.Lookup(column, found)) return FALSE;
  list = found;
  return TRUE;
}

BOOL CQVSuperGridItemInfo::GetDateTimeData(int column, COleDateTime*& date) const {
  COleDateTime* found = nullptr;
  if (!m_dateTime.Lookup(column, found)) return FALSE;
  date = found;
  return TRUE;
}

void CQVSuperGridItemInfo::SetDateTimeData(int column, const COleDateTime* date) {
  if (!date) return;
  auto* copy = new COleDateTime(*date);
  COleDateTime* before = nullptr;
  if (m_dateTime.Lookup(column, before)) delete before;
  m_dateTime.SetAt(column, copy);
}

COLORREF CQVSuperGridItemInfo::GetBkColor(int column) const {
  COLORREF colour = 0;
  return m_colors.Lookup(column, colour) ? colour : 0xFFFFFFFF;
}

void CQVSuperGridItemInfo::CopyObjects(const CQVSuperGridItemInfo& other) {
  if (this == &other) return;
  m_strItemName = other.m_strItemName;
  for (int i = 0; i < other.m_strSubItems.GetSize(); ++i) SetSubItemText(i, other.m_strSubItems.GetAt(i));
  CopyControls(other);
  CopyColors(other);
  m_nCheck = other.m_nCheck;
  m_nImage = other.m_nImage;
  m_lParam = other.m_lParam;
  m_clrItem = other.m_clrItem;
}

void CQVSuperGridItemInfo::CopyControls(const CQVSuperGridItemInfo& other) {
  for (int column = 0; column < other.GetItemCount(); ++column) {
    _CONTROLTYPE type = QV_CONTROL_NONE;
    if (!other.GetControlType(column, type)) continue;
    SetControlType(type, column);
    if (type == QV_CONTROL_LIST) {
      CStringList* list = nullptr;
      if (other.GetListData(column, list)) SetListData(column, list);
    } else if (type == QV_CONTROL_DATETIME) {
      COleDateTime* date = nullptr;
      if (other.GetDateTimeData(column, date)) SetDateTimeData(column, date);
    }
  }
}

void CQVSuperGridItemInfo::CopyColors(const CQVSuperGridItemInfo& other) {
  for (int column = 0; column < other.GetItemCount(); ++column) {
    COLORREF colour = 0;
    if (other.m_colors.Lookup(column, colour)) m_colors.SetAt(column, colour);
  }
}

// ---- CQVMLTreeItem -----------------------------------------------------------------

CQVMLTreeItem::CQVMLTreeItem(ULONG id) { lObjectID = static_cast<LONG>(id); }

CQVMLTreeItem::CQVMLTreeItem(const qv_commonclass::stu_QVObject* object) {
  // Callers hand in the object the node shows; taking its fields over is
  // what they mean, and a null object leaves the default record.
  if (object) qv_commonclass::stu_QVObject::operator=(*object);
}

CQVMLTreeItem::CQVMLTreeItem(const CQVMLTreeItem& other) : qv_commonclass::stu_QVObject(other), m_dwData(other.m_dwData) {}

CQVMLTreeItem& CQVMLTreeItem::operator=(const CQVMLTreeItem& other) {
  if (this == &other) return *this;
  qv_commonclass::stu_QVObject::operator=(other);
  m_dwData = other.m_dwData;
  return *this;
}

CQVMLTreeItem::~CQVMLTreeItem() { m_children.RemoveAll(); }

CQVMLTreeItem* CQVMLTreeItem::AppendChild(CQVMLTreeItem* child) {
  if (!child) return this;
  m_children.AddTail(child);
  child->m_pParent = this;
  return this;
}

}  // namespace qv_commonctrl
