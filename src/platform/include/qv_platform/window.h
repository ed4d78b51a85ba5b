// Windows and menus in memory: the part of the window manager that the
// library's dialog, clipping and menu functions call.
//
// There is no screen and no message loop. A window is a record in a
// process-wide table: parent, children in z-order (first child on top),
// class name, text, style bits, its rectangle in screen coordinates and an
// optional window region. Handles are never reused, so a destroyed window's
// handle stays invalid. Sent messages act at once on the record (there is
// no window procedure) and are noted in a journal that tests and qvtool
// read to see what a function did and in what order.
//
// The client area is the window rectangle less a 1-pixel frame when the
// window has WS_BORDER (no caption or menu bar is modelled). Child window
// positions given to CreateWindowExW are in the parent's client coordinates,
// as on Windows; top-level ones in screen coordinates.
//
// Every function may be called from any thread; the table has one lock.
#pragma once

#include <vector>

#include "qv_platform/export.h"
#include "qv_platform/gdi.h"
#include "qv_platform/wintypes.h"

struct HMENU__;
using HMENU = HMENU__*;

struct POINT {
  LONG x = 0;
  LONG y = 0;
};

using WPARAM = UINT_PTR;
using LPARAM = INT_PTR;
using LRESULT = INT_PTR;

// Window styles.
inline constexpr DWORD WS_CHILD = 0x40000000;
inline constexpr DWORD WS_VISIBLE = 0x10000000;
inline constexpr DWORD WS_DISABLED = 0x08000000;
inline constexpr DWORD WS_BORDER = 0x00800000;
inline constexpr DWORD ES_READONLY = 0x0800;

inline constexpr int GWL_STYLE = -16;

// GetWindow relations.
inline constexpr UINT GW_HWNDFIRST = 0;
inline constexpr UINT GW_HWNDLAST = 1;
inline constexpr UINT GW_HWNDNEXT = 2;
inline constexpr UINT GW_HWNDPREV = 3;
inline constexpr UINT GW_CHILD = 5;

// ShowWindow commands (the others act as one of these two).
inline constexpr int SW_HIDE = 0;
inline constexpr int SW_SHOW = 5;

// Messages the stand-in understands; any other is journalled and returns 0.
inline constexpr UINT WM_ENABLE = 0x000A;
inline constexpr UINT WM_SHOWWINDOW = 0x0018;
inline constexpr UINT EM_SETREADONLY = 0x00CF;

// Menu flags.
inline constexpr UINT MF_STRING = 0x0000;
inline constexpr UINT MF_BYCOMMAND = 0x0000;
inline constexpr UINT MF_POPUP = 0x0010;
inline constexpr UINT MF_BYPOSITION = 0x0400;
inline constexpr UINT MF_SEPARATOR = 0x0800;

// ---- Windows ------------------------------------------------------------------

// CreateWindowExW makes a window of class `class_name` (any non-empty name:
// classes need no registration here) with `style`; a child (WS_CHILD) at
// (x, y) of its parent's client area goes last in the z-order of the parent's
// children. `ex_style`, `menu`, `instance` and `param` are kept for the
// signature only. Null when the class name is empty, WS_CHILD is given
// without a live parent, or a size is negative.
QVP_API HWND CreateWindowExW(DWORD ex_style, LPCWSTR class_name, LPCWSTR window_name, DWORD style, int x, int y,
                             int width, int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param);
// DestroyWindow destroys the window and all its descendants (their window
// regions are freed). FALSE when `window` is not a window.
QVP_API BOOL DestroyWindow(HWND window);
QVP_API BOOL IsWindow(HWND window);
// IsWindowVisible: TRUE when the window and all its ancestors have
// WS_VISIBLE.
QVP_API BOOL IsWindowVisible(HWND window);
// ShowWindow clears WS_VISIBLE for SW_HIDE and sets it for any other
// command; returns whether the window was visible before (FALSE also for a
// non-window).
QVP_API BOOL ShowWindow(HWND window, int command);
// EnableWindow sets or clears WS_DISABLED; the window is sent WM_ENABLE
// when its state changes. Returns nonzero when the window was disabled
// before, as on Windows; FALSE also for a non-window.
QVP_API BOOL EnableWindow(HWND window, BOOL enable);
QVP_API BOOL IsWindowEnabled(HWND window);
// GetWindow: the first child (GW_CHILD), the next or previous sibling, the
// first or last sibling; null when there is none or `window` is not a
// window.
QVP_API HWND GetWindow(HWND window, UINT relation);
QVP_API HWND GetParent(HWND window);
// GetClassNameW copies at most max_count - 1 characters of the class name
// and a NUL into `buffer`, and returns the number copied; 0 when `window`
// is not a window, `buffer` is null or max_count is not positive.
QVP_API int GetClassNameW(HWND window, LPWSTR buffer, int max_count);
// GetWindowLongW(GWL_STYLE): the style bits; 0 for anything else.
QVP_API LONG GetWindowLongW(HWND window, int index);
// GetWindowRect: the window's rectangle in screen coordinates.
QVP_API BOOL GetWindowRect(HWND window, RECT* rect);
// GetClientRect: (0, 0, client width, client height).
QVP_API BOOL GetClientRect(HWND window, RECT* rect);
// ScreenToClient / ClientToScreen move a point between screen coordinates
// and the window's client coordinates.
QVP_API BOOL ScreenToClient(HWND window, POINT* point);
QVP_API BOOL ClientToScreen(HWND window, POINT* point);
// SetWindowRgn gives the window a region in window coordinates (relative to
// the window rectangle's top-left) and takes ownership of it; a null region
// removes it. Returns nonzero on success; on failure the caller keeps the
// region. `redraw` is ignored.
QVP_API int SetWindowRgn(HWND window, HRGN region, BOOL redraw);
// GetWindowRgn copies the window region into `region` (which must exist)
// and returns its type; RGN_ERROR when the window has none or an argument
// is bad.
QVP_API int GetWindowRgn(HWND window, HRGN region);
// SendMessageW: EM_SETREADONLY sets ES_READONLY when wparam is nonzero and
// clears it otherwise (returns TRUE); every message is journalled.
QVP_API LRESULT SendMessageW(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

namespace qvp {

// One journalled message: the window and the message.
struct SentMessage {
  HWND window;
  UINT message;
  WPARAM wparam;
};
// The messages sent since the last ClearMessageJournal, oldest first.
QVP_API std::vector<SentMessage> MessageJournal();
QVP_API void ClearMessageJournal();

}  // namespace qvp

// CWnd: the framework's window object over a handle. It never owns the
// window; the members forward to the functions above.
class CWnd {
 public:
  CWnd() = default;
  explicit CWnd(HWND window) : m_hWnd(window) {}
  HWND GetSafeHwnd() const noexcept { return m_hWnd; }
  void Attach(HWND window) noexcept { m_hWnd = window; }
  HWND Detach() noexcept {
    HWND w = m_hWnd;
    m_hWnd = nullptr;
    return w;
  }
  BOOL IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
  BOOL EnableWindow(BOOL enable = TRUE) { return ::EnableWindow(m_hWnd, enable); }
  BOOL IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
  void GetWindowRect(RECT* rect) const { ::GetWindowRect(m_hWnd, rect); }
  void GetClientRect(RECT* rect) const { ::GetClientRect(m_hWnd, rect); }
  // ScreenToClient moves both corners of `rect` into client coordinates.
  void ScreenToClient(RECT* rect) const {
    POINT a{rect->left, rect->top}, b{rect->right, rect->bottom};
    ::ScreenToClient(m_hWnd, &a);
    ::ScreenToClient(m_hWnd, &b);
    *rect = RECT{a.x, a.y, b.x, b.y};
  }
  int GetWindowRgn(HRGN region) const { return ::GetWindowRgn(m_hWnd, region); }
  LRESULT SendMessage(UINT message, WPARAM wparam = 0, LPARAM lparam = 0) {
    return ::SendMessageW(m_hWnd, message, wparam, lparam);
  }

  HWND m_hWnd = nullptr;
};

// ---- Menus --------------------------------------------------------------------
//
// A menu is an ordered list of items: a text item with a command id, a
// separator, or a text item opening a sub-menu that the menu then owns.

QVP_API HMENU CreateMenu();
QVP_API HMENU CreatePopupMenu();
// DestroyMenu destroys the menu and its sub-menus. FALSE for a non-menu.
QVP_API BOOL DestroyMenu(HMENU menu);
QVP_API BOOL IsMenu(HMENU menu);
// AppendMenuW adds an item at the end: MF_SEPARATOR (text ignored),
// MF_POPUP (`id` is the sub-menu's HMENU, which must be a menu that no other
// menu owns), or a string item with command `id`. FALSE on bad arguments.
QVP_API BOOL AppendMenuW(HMENU menu, UINT flags, UINT_PTR id, LPCWSTR text);
// GetMenuItemCount: the number of items, -1 for a non-menu.
QVP_API int GetMenuItemCount(HMENU menu);
// GetMenuStringW copies the item's text (at most max_count - 1 characters
// and a NUL) and returns the number copied; with a null buffer or
// max_count 0 it returns the text's length. 0 for a separator, a missing
// item or a non-menu. `flags` chooses MF_BYPOSITION or MF_BYCOMMAND (the
// first item with the id, sub-menus searched too).
QVP_API int GetMenuStringW(HMENU menu, UINT item, LPWSTR buffer, int max_count, UINT flags);
// GetSubMenu: the sub-menu opened by the item at `position`, else null.
QVP_API HMENU GetSubMenu(HMENU menu, int position);
