#include <gtest/gtest.h>

#include <memory>

#include "qv_commonclass/ui.h"

using namespace qv_commonctrl;

namespace {

CStringList Choices(std::initializer_list<const char16_t*> items) {
  CStringList list;
  for (const char16_t* i : items) list.AddTail(CString(i));
  return list;
}

CString Head(const CStringList& list) { return list.GetHead(); }

}  // namespace

TEST(CQVSuperGridItemInfo, NewRowAndItsDefaults) {
  CQVSuperGridItemInfo row;
  EXPECT_EQ(row.GetImage(), -1);
  EXPECT_EQ(row.GetItemClr(), 0xFFFFFFFFu);
  EXPECT_EQ(row.GetCheck(), 0);
  EXPECT_EQ(row.GetItemCount(), 0);
  EXPECT_EQ(row.GetSubItem(0), CString());
  EXPECT_EQ(row.GetSubItem(-1), CString());
  EXPECT_EQ(row.GetBkColor(3), 0xFFFFFFFFu);
  _CONTROLTYPE type = QV_CONTROL_LIST;
  EXPECT_FALSE(row.GetControlType(0, type));
  EXPECT_EQ(type, QV_CONTROL_NONE);
  CStringList* list = nullptr;
  EXPECT_FALSE(row.GetListData(0, list));
  EXPECT_EQ(list, nullptr);
}

TEST(CQVSuperGridItemInfo, TextsColoursAndGrowingColumns) {
  CQVSuperGridItemInfo row;
  row.SetItemText(CString(u"clip"), RGB(1, 2, 3));
  row.AddSubItemText(CString(u"a"));
  row.AddSubItemText(CString(u"b"), RGB(9, 9, 9));
  row.SetSubItemText(4, CString(u"e"), RGB(4, 4, 4));
  row.SetSubItemText(-1, CString(u"ignored"));
  EXPECT_EQ(row.GetItemText(), CString(u"clip"));
  EXPECT_EQ(row.GetItemClr(), RGB(1, 2, 3));
  EXPECT_EQ(row.GetItemCount(), 5);
  EXPECT_EQ(row.GetSubItem(1), CString(u"b"));
  EXPECT_EQ(row.GetSubItem(2), CString());
  EXPECT_EQ(row.GetSubItem(4), CString(u"e"));
  EXPECT_EQ(row.GetBkColor(1), RGB(9, 9, 9));
  EXPECT_EQ(row.GetBkColor(0), 0xFFFFFFFFu);
  EXPECT_EQ(row.GetBkColor(4), RGB(4, 4, 4));
}

TEST(CQVSuperGridItemInfo, ListsAndDatesAreCopiesTheRowOwns) {
  CQVSuperGridItemInfo row;
  CStringList mine = Choices({u"PAL", u"NTSC"});
  row.SetControlType(QV_CONTROL_LIST, 0);
  row.SetListData(0, &mine);
  mine.RemoveAll();  // the caller's list is its own
  CStringList* stored = nullptr;
  ASSERT_TRUE(row.GetListData(0, stored));
  EXPECT_EQ(stored->GetCount(), 2);
  CStringList other = Choices({u"HD"});
  row.SetListData(0, &other);  // replaces (and frees) the first list
  ASSERT_TRUE(row.GetListData(0, stored));
  EXPECT_EQ(Head(*stored), CString(u"HD"));
  row.SetListData(0, nullptr);
  ASSERT_TRUE(row.GetListData(0, stored));
  EXPECT_EQ(stored->GetCount(), 1);

  COleDateTime date(2026, 12, 6, 14, 0, 0);
  row.SetDateTimeData(1, &date);
  row.SetDateTimeData(1, &date);  // replaced, not leaked
  row.SetDateTimeData(2, nullptr);
  COleDateTime* got = nullptr;
  ASSERT_TRUE(row.GetDateTimeData(1, got));
  EXPECT_NE(got, &date);
  EXPECT_EQ(got->m_dt, date.m_dt);
  EXPECT_FALSE(row.GetDateTimeData(2, got));
}

TEST(CQVSuperGridItemInfo, CopiesAreIndependentOfTheirSource) {
  auto source = std::make_unique<CQVSuperGridItemInfo>();
  source->SetItemText(CString(u"row"), RGB(5, 5, 5));
  for (const char16_t* t : {u"c0", u"c1", u"c2"}) source->AddSubItemText(CString(t), RGB(7, 7, 7));
  CStringList choices = Choices({u"one", u"two"});
  source->SetControlType(QV_CONTROL_LIST, 2);
  source->SetListData(2, &choices);
  COleDateTime date(2025, 1, 2, 3, 4, 5);
  source->SetControlType(QV_CONTROL_DATETIME, 1);
  source->SetDateTimeData(1, &date);
  source->SetControlType(QV_CONTROL_LIST, 7);  // beyond the sub-items: not copied
  source->SetListData(7, &choices);
  source->SetCheck(1);
  source->SetImage(4);
  source->m_lParam = 0x1234;

  CQVSuperGridItemInfo by_copy_objects;
  by_copy_objects.CopyObjects(*source);
  CQVSuperGridItemInfo by_constructor(*source);
  CQVSuperGridItemInfo by_assignment;
  CStringList stale = Choices({u"stale"});
  by_assignment.SetListData(2, &stale);  // freed by the assignment
  by_assignment = *source;
  const CQVSuperGridItemInfo& same = by_assignment;
  by_assignment = same;  // assigning a row to itself keeps it
  source.reset();

  for (const CQVSuperGridItemInfo* copy : {&by_copy_objects, &by_constructor, &by_assignment}) {
    EXPECT_EQ(copy->GetItemText(), CString(u"row"));
    EXPECT_EQ(copy->GetItemClr(), RGB(5, 5, 5));
    EXPECT_EQ(copy->GetItemCount(), 3);
    EXPECT_EQ(copy->GetSubItem(2), CString(u"c2"));
    EXPECT_EQ(copy->GetBkColor(0), RGB(7, 7, 7));
    EXPECT_EQ(copy->GetCheck(), 1);
    EXPECT_EQ(copy->GetImage(), 4);
    EXPECT_EQ(copy->m_lParam, 0x1234u);
    CStringList* list = nullptr;
    ASSERT_TRUE(copy->GetListData(2, list));
    EXPECT_EQ(list->GetCount(), 2);
    EXPECT_EQ(Head(*list), CString(u"one"));
    COleDateTime* d = nullptr;
    ASSERT_TRUE(copy->GetDateTimeData(1, d));
    EXPECT_EQ(d->m_dt, date.m_dt);
    _CONTROLTYPE type = QV_CONTROL_NONE;
    EXPECT_FALSE(copy->GetControlType(7, type));
    EXPECT_FALSE(copy->GetListData(7, list));
  }
}

TEST(CQVMLTreeItem, ChildrenKeepTheirOrderAndTheirParent) {
  CQVMLTreeItem root(42u);
  CQVMLTreeItem a(1u), b(2u);
  EXPECT_EQ(root.GetObjectID(), 42);
  EXPECT_EQ(root.AppendChild(&a), &root);
  EXPECT_EQ(root.AppendChild(&b)->AppendChild(nullptr), &root);
  ASSERT_EQ(root.m_children.GetCount(), 2);
  EXPECT_EQ(root.m_children.GetHead(), &a);
  EXPECT_EQ(root.m_children.GetTail(), &b);
  EXPECT_EQ(a.m_pParent, &root);
  EXPECT_EQ(b.m_pParent, &root);
  EXPECT_EQ(root.m_pParent, nullptr);
  EXPECT_EQ(root.m_dwData, 0u);
}

TEST(CQVMLTreeItem, BuiltFromAnObjectTakesItsFieldsButNoLinks) {
  qv_commonclass::stu_QVObject object;
  object.lObjectID = 7;
  object.strThumbnailFile = CString(u"/media/7.bmp");
  CQVMLTreeItem from_object(&object);
  EXPECT_EQ(from_object.GetObjectID(), 7);
  EXPECT_EQ(from_object.strThumbnailFile, CString(u"/media/7.bmp"));
  CQVMLTreeItem from_null(static_cast<const qv_commonclass::stu_QVObject*>(nullptr));
  EXPECT_EQ(from_null.GetObjectID(), 0);
  EXPECT_EQ(from_null.lReserved8, -1);

  // Nodes the tree does not own: deleting the parent leaves the children.
  auto* parent = new CQVMLTreeItem(1u);
  auto child = std::make_unique<CQVMLTreeItem>(2u);
  parent->AppendChild(child.get());
  CQVMLTreeItem copy(*parent);
  EXPECT_EQ(copy.GetObjectID(), 1);
  EXPECT_EQ(copy.m_children.GetCount(), 0);
  qv_commonclass::stu_QVObject* as_object = parent;
  delete as_object;  // through the record's virtual destructor
  EXPECT_EQ(child->GetObjectID(), 2);
}
