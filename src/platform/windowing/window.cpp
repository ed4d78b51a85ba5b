// The window table: records keyed by handle, a lock round every access.
#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "qv_platform/cstring.h"
#include "qv_platform/window.h"
#include "name_copy.h"

namespace {

struct Window {
  HWND parent = nullptr;
  std::vector<HWND> children;  // z-order, first on top
  CString class_name;
  CString text;
  DWORD style = 0;
  RECT rect;  // screen coordinates
  HRGN region = nullptr;  // owned, window coordinates
};

struct Table {
  std::mutex lock;
  std::map<HWND, Window> windows;
  std::uintptr_t next = 0x10000;  // handles are never reused
  std::vector<qvp::SentMessage> journal;
};

Table& T() {
  static Table* table = new Table;  // outlives every static that destroys windows
  return *table;
}

Window* Find(Table& t, HWND h) {
  auto it = t.windows.find(h);
  return it == t.windows.end() ? nullptr : &it->second;
}

// The frame width between the window rectangle and the client area.
LONG Frame(const Window& w) { return (w.style & WS_BORDER) ? 1 : 0; }

POINT ClientOrigin(const Window& w) { return POINT{w.rect.left + Frame(w), w.rect.top + Frame(w)}; }

void DestroyTree(Table& t, HWND h) {
  Window* w = Find(t, h);
  if (!w) return;
  const std::vector<HWND> children = w->children;
  for (HWND c : children) DestroyTree(t, c);
  w = Find(t, h);
  if (w->region) ::DeleteObject(w->region);
  t.windows.erase(h);
}

}  // namespace

HWND CreateWindowExW(DWORD, LPCWSTR class_name, LPCWSTR window_name, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU, HINSTANCE, LPVOID) {
  if (!class_name || !*class_name || width < 0 || height < 0) return nullptr;
  Table& t = T();
  std::lock_guard guard(t.lock);
  Window* p = parent ? Find(t, parent) : nullptr;
  if ((style & WS_CHILD) && !p) return nullptr;
  if (parent && !p) return nullptr;
  Window w;
  w.parent = p ? parent : nullptr;
  w.class_name = CString(class_name);
  w.text = window_name ? CString(window_name) : CString();
  w.style = style;
  POINT origin{0, 0};
  if (p && (style & WS_CHILD)) origin = ClientOrigin(*p);
  w.rect = RECT{origin.x + x, origin.y + y, origin.x + x + width, origin.y + y + height};
  const HWND h = reinterpret_cast<HWND>(t.next);
  t.next += 0x10;
  t.windows.emplace(h, std::move(w));
  if (p) Find(t, parent)->children.push_back(h);
  return h;
}

BOOL DestroyWindow(HWND window) {
  Table& t = T();
  std::lock_guard guard(t.lock);
  Window* w = Find(t, window);
  if (!w) return FALSE;
  if (Window* p = w->parent ? Find(t, w->parent) : nullptr) std::erase(p->children, window);
  DestroyTree(t, window);
  return TRUE;
}

BOOL IsWindow(HWND window) {
  Table& t = T();
  std::lock_guard guard(t.lock);
  return Find(t, window) != nullptr;
}

BOOL IsWindowVisible(HWND window) {
  Table& t = T();
  std::lock_guard guard(t.lock);
  for (Window* w = Find(t, window); w; w = w->parent ? Find(t, w->parent) : nullptr) {
    if (!(w->style & WS_VISIBLE)) return FALSE;
  }
  return Find(t, window) != nullptr;
}

BOOL ShowWindow(HWND window, int command) {
  Table& t = T();
  bool was = false;
  {
    std::lock_guard guard(t.lock);
    Window* w = Find(t, window);
    if (!w) return FALSE;
    was = (w->style & WS_VISIBLE) != 0;
    if (command == SW_HIDE) {
      w->style &= ~WS_VISIBLE;
    } else {
      w->style |= WS_VISIBLE;
    }
    if (was == (command == SW_HIDE)) t.journal.push_back({window, WM_SHOWWINDOW, command != SW_HIDE});
  }
  return was ? TRUE : FALSE;
}

BOOL EnableWindow(HWND window, BOOL enable) {
  Table& t = T();
  std::lock_guard guard(t.lock);
  Window* w = Find(t, window);
  if (!w) return FALSE;
  const bool was_disabled = (w->style & WS_DISABLED) != 0;
  if (was_disabled == static_cast<bool>(enable)) {
    w->style = enable ? (w->style & ~WS_DISABLED) : (w->style | WS_DISABLED);
    t.journal.push_back({window, WM_ENABLE, static_cast<WPARAM>(enable != 0)});
  }
  return was_disabled ? TRUE : FALSE;
}

BOOL IsWindowEnabled(HWND window) {
  Table& t = T();
  std::lock_guard guard(t.lock);
  Window* w = Find(t, window);
  return w && !(w->style & WS_DISABLED);
}

HWND GetWindow(HWND window, UINT relation) {
  Table& t = T();
  std::lock_guard guard(t.lock);
  Window* w = Find(t, window);
  if (!w) return nullptr;
  if (relation == GW_CHILD) return w->children.empty() ? nullptr : w->children.front();
  // Top-level windows have no siblings here: only children are ordered.
  Window* p = w->parent ? Find(t, w->parent) : nullptr;
  if (!p) return relation == GW_HWNDFIRST || relation == GW_HWNDLAST ? window : nullptr;
  const auto& s = p->children;
  const auto at = std::find(s.begin(), s.end(), window);
  switch (relation) {
    case GW_HWNDFIRST: return s.front();
    case GW_HWNDLAST: return s.back();
    case GW_HWNDNEXT: return at + 1 == s.end() ? nullptr : *(at + 1);
    case GW_HWNDPREV: return at == s.begin() ? nullptr : *(at - 1);
    default: return nullptr;
  }
}

HWND GetParent(HWND window) {
  Table& t = T();
  std::lock_guard guard(t.lock);
  Window* w = Find(t, window);
  return w ? w->parent : nullptr;
}

int GetClassNameW(HWND window, LPWSTR buffer, int max_count) {
  Table& t = T();
  std::lock_guard guard(t.lock);
  Window* w = Find(t, window);
  return w ? qvp::windowing::CopyName(w->class_name, buffer, max_count) : 0;
}

LONG GetWindowLongW(HWND window, int index) {
  Table& t = T();
  std::lock_guard guard(t.lock);
  Window* w = Find(t, window);
  return w && index == GWL_STYLE ? static_cast<LONG>(w->style) : 0;
}

BOOL GetWindowRect(HWND window, RECT* rect) {
  Table& t = T();
  std::lock_guard guard(t.lock);
  Window* w = Find(t, window);
  if (!w || !rect) return FALSE;
  *rect = w->rect;
  return TRUE;
}

BOOL GetClientRect(HWND window, RECT* rect) {
  Table& t = T();
  std::lock_guard guard(t.lock);
  Window* w = Find(t, window);
  if (!w || !rect) return FALSE;
  const LONG f = Frame(*w);
  *rect = RECT{0, 0, std::max<LONG>(0, w->rect.right - w->rect.left - 2 * f),
               std::max<LONG>(0, w->rect.bottom - w->rect.top - 2 * f)};
  return TRUE;
}

namespace {

// Moves `point` by the window's client origin, times `sign`.
BOOL MoveByClientOrigin(HWND window, POINT* point, LONG sign) {
  Table& t = T();
  std::lock_guard guard(t.lock);
  Window* w = Find(t, window);
  if (!w || !point) return FALSE;
  const POINT o = ClientOrigin(*w);
  point->x += sign * o.x, point->y += sign * o.y;
  return TRUE;
}

}  // namespace

BOOL ScreenToClient(HWND window, POINT* point) { return MoveByClientOrigin(window, point, -1); }
BOOL ClientToScreen(HWND window, POINT* point) { return MoveByClientOrigin(window, point, 1); }

int SetWindowRgn(HWND window, HRGN region, BOOL) {
  Table& t = T();
  std::lock_guard guard(t.lock);
  Window* w = Find(t, window);
  if (!w) return 0;
  if (w->region) ::DeleteObject(w->region);
  w->region = region;
  return 1;
}

int GetWindowRgn(HWND window, HRGN region) {
  Table& t = T();
  std::lock_guard guard(t.lock);
  Window* w = Find(t, window);
  if (!w || !region || !w->region) return RGN_ERROR;
  return ::CombineRgn(region, w->region, nullptr, RGN_COPY);
}

LRESULT SendMessageW(HWND window, UINT message, WPARAM wparam, LPARAM) {
  Table& t = T();
  std::lock_guard guard(t.lock);
  Window* w = Find(t, window);
  if (!w) return 0;
  t.journal.push_back({window, message, wparam});
  if (message == EM_SETREADONLY) {
    w->style = wparam ? (w->style | ES_READONLY) : (w->style & ~ES_READONLY);
    return TRUE;
  }
  return 0;
}

namespace qvp {

std::vector<SentMessage> MessageJournal() {
  Table& t = T();
  std::lock_guard guard(t.lock);
  return t.journal;
}

void ClearMessageJournal() {
  Table& t = T();
  std::lock_guard guard(t.lock);
  t.journal.clear();
}

}  // namespace qvp
