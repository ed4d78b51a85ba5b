// Start-up of the product's control libraries, enabling a dialog's
// controls, clipping children out of a device context, and menu look-up.
#include <algorithm>
#include <atomic>
#include <vector>

#include "qv_commonclass/ui.h"
#include "qv_imports/controls.h"
#include "qv_platform/winsock.h"

namespace qv_commonclass {

namespace {

// The start-up flags are read and set by the thread that starts the user
// interface; atomics keep a stray call from another thread well-defined.
std::atomic<bool> g_common_started{false};
std::atomic<bool> g_extra_started{false};

// The framework's socket start-up: version 1.1, as the clients' sockets use.
void StartSocketSupport() {
  WSADATA data{};
  WSAStartup(0x0101, &data);
}

}  // namespace

int QVInitCommonCtrl() {
  if (g_common_started.load()) return 1;
  StartSocketSupport();
  ZR_InitCommonCtrl();
  g_common_started.store(true);
  return 1;
}

int QVReleaseCommonCtrl() {
  if (!g_common_started.load()) return 1;
  g_common_started.store(false);
  ZR_ReleaseCommonCtrl();
  return 1;
}

int QVInitExtraCtrl() {
  if (g_extra_started.load()) return 1;
  ZR_InitExtraCtrl();
  g_extra_started.store(true);
  return 1;
}

int QVReleaseExtraCtrl() {
  if (!g_extra_started.load()) return 1;
  ZR_ReleaseExtraCtrl();
  g_extra_started.store(false);
  return 1;
}

namespace {

// The class name limit of the walk: 20 characters with the NUL.
constexpr int kClassNameLimit = 20;

// "Contains `part` at a position after the first character".
bool ContainsAfterFirst(const CString& name, const char16_t* part) { return name.Find(part) > 0; }

void ApplyClassRule(HWND control, int enable) {
  char16_t buffer[kClassNameLimit] = {};
  const int n = GetClassNameW(control, buffer, kClassNameLimit);
  const CString name(buffer, n);
  if (name.CompareNoCase(u"Static") == 0) return;
  if (name.CompareNoCase(u"Edit") == 0) {
    SendMessageW(control, EM_SETREADONLY, enable ? FALSE : TRUE, 0);
    return;
  }
  if (ContainsAfterFirst(name, u"ListView")) return;
  if (name == u"Button" || ContainsAfterFirst(name, u"TimePick") || name.CompareNoCase(u"ComboBox") == 0) {
    EnableWindow(control, enable ? TRUE : FALSE);
  }
}

}  // namespace

int QVEnableAllSubWindow(HWND window, int enable) {
  if (!window || !IsWindow(window)) return 0;
  // Pre-order over the descendants with an explicit stack, so that a deep
  // tree cannot exhaust the caller's stack. Children are pushed last to
  // first so that they are visited first to last.
  std::vector<HWND> pending;
  auto push_children = [&pending](HWND parent) {
    const std::size_t at = pending.size();
    for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) pending.push_back(c);
    std::reverse(pending.begin() + static_cast<std::ptrdiff_t>(at), pending.end());
  };
  push_children(window);
  while (!pending.empty()) {
    const HWND control = pending.back();
    pending.pop_back();
    ApplyClassRule(control, enable);
    push_children(control);
  }
  return 1;
}

int QV_SelectVaildClip(CWnd* window, CDC* dc) {
  if (!window || !dc) return 0;
  RECT box{};
  if (dc->GetClipBox(&box) == RGN_ERROR) return 0;
  CRgn clip;
  if (!clip.CreateRectRgn(box.left, box.top, box.right, box.bottom)) return 0;
  for (HWND child = GetWindow(window->GetSafeHwnd(), GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if (!IsWindowVisible(child)) continue;
    CWnd c(child);
    RECT rect{};
    c.GetWindowRect(&rect);
    window->ScreenToClient(&rect);
    CRgn part;
    if (!part.CreateRectRgn(0, 0, 0, 0)) continue;
    if (c.GetWindowRgn(static_cast<HRGN>(part.m_hObject)) == RGN_ERROR) {
      part.DeleteObject();
      part.CreateRectRgn(rect.left, rect.top, rect.right, rect.bottom);
    } else {
      OffsetRgn(static_cast<HRGN>(part.m_hObject), rect.left, rect.top);
    }
    clip.CombineRgn(&clip, &part, RGN_DIFF);
  }
  dc->SelectClipRgn(&clip);
  clip.DeleteObject();
  return 1;
}

int QVFindMenuItem(HMENU menu, const CString& text) {
  if (!menu) return -1;
  const int count = GetMenuItemCount(menu);
  for (int position = 0; position < count; ++position) {
    const int length = GetMenuStringW(menu, static_cast<UINT>(position), nullptr, 0, MF_BYPOSITION);
    if (text.IsEmpty() && length == 0) return position;
    if (length == 0) continue;
    CString item;
    const int got = GetMenuStringW(menu, static_cast<UINT>(position), item.GetBuffer(length), length + 1,
                                   MF_BYPOSITION);
    item.ReleaseBuffer(got);
    if (item.CompareNoCase(text.GetString()) == 0) return position;
  }
  return -1;
}

}  // namespace qv_commonclass
