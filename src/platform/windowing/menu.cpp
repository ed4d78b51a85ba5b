// Menus: item lists keyed by handle; a menu owns the sub-menus its items open.
#include <algorithm>
#include <mutex>
#include <vector>

#include "qv_platform/cstring.h"
#include "qv_platform/window.h"
#include "handle_table.h"
#include "name_copy.h"

namespace {

struct Item {
  UINT flags = MF_STRING;
  UINT_PTR id = 0;
  CString text;
  HMENU sub = nullptr;
};

struct Menu {
  std::vector<Item> items;
  bool owned = false;  // opened by an item of another menu
};

using Menus = qvp::windowing::HandleTable<HMENU, Menu, 0x20000>;

Menus& M() { return Menus::Instance(); }

HMENU NewMenu() {
  Menus& m = M();
  std::lock_guard guard(m.lock);
  return m.Add(Menu{});
}

void DestroyTree(Menus& m, HMENU h) {
  Menu* menu = m.Find(h);
  if (!menu) return;
  std::vector<HMENU> subs;
  for (const Item& i : menu->items)
    if (i.sub) subs.push_back(i.sub);
  m.entries.erase(h);
  for (HMENU s : subs) DestroyTree(m, s);
}

const Item* ByCommand(Menus& m, HMENU h, UINT id) {
  Menu* menu = m.Find(h);
  if (!menu) return nullptr;
  for (const Item& i : menu->items) {
    if (!(i.flags & (MF_POPUP | MF_SEPARATOR)) && i.id == id) return &i;
    if (i.sub)
      if (const Item* found = ByCommand(m, i.sub, id)) return found;
  }
  return nullptr;
}

}  // namespace

HMENU CreateMenu() { return NewMenu(); }
HMENU CreatePopupMenu() { return NewMenu(); }

BOOL DestroyMenu(HMENU menu) {
  Menus& m = M();
  std::lock_guard guard(m.lock);
  if (!m.Find(menu)) return FALSE;
  DestroyTree(m, menu);
  return TRUE;
}

BOOL IsMenu(HMENU menu) {
  Menus& m = M();
  std::lock_guard guard(m.lock);
  return m.Find(menu) != nullptr;
}

BOOL AppendMenuW(HMENU menu, UINT flags, UINT_PTR id, LPCWSTR text) {
  Menus& m = M();
  std::lock_guard guard(m.lock);
  Menu* target = m.Find(menu);
  if (!target) return FALSE;
  Item item;
  item.flags = flags & (MF_POPUP | MF_SEPARATOR);
  if (flags & MF_SEPARATOR) {
    target->items.push_back(item);
    return TRUE;
  }
  item.text = text ? CString(text) : CString();
  if (flags & MF_POPUP) {
    const HMENU sub = reinterpret_cast<HMENU>(id);
    Menu* s = m.Find(sub);
    if (!s || s->owned || sub == menu) return FALSE;
    s->owned = true;
    item.sub = sub;
  } else {
    item.id = id;
  }
  target->items.push_back(std::move(item));
  return TRUE;
}

int GetMenuItemCount(HMENU menu) {
  Menus& m = M();
  std::lock_guard guard(m.lock);
  Menu* target = m.Find(menu);
  return target ? static_cast<int>(target->items.size()) : -1;
}

int GetMenuStringW(HMENU menu, UINT item, LPWSTR buffer, int max_count, UINT flags) {
  Menus& m = M();
  std::lock_guard guard(m.lock);
  const Item* found = nullptr;
  if (flags & MF_BYPOSITION) {
    Menu* target = m.Find(menu);
    if (target && item < target->items.size()) found = &target->items[item];
  } else {
    found = ByCommand(m, menu, item);
  }
  if (!found || (found->flags & MF_SEPARATOR)) return 0;
  if (!buffer || max_count == 0) return found->text.GetLength();
  return qvp::windowing::CopyName(found->text, buffer, max_count);
}

HMENU GetSubMenu(HMENU menu, int position) {
  Menus& m = M();
  std::lock_guard guard(m.lock);
  Menu* target = m.Find(menu);
  if (!target || position < 0 || static_cast<std::size_t>(position) >= target->items.size()) return nullptr;
  return target->items[position].sub;
}
