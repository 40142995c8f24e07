#pragma once
// Shared plumbing of the skinned controls. The launcher's window is covered by
// two "surface" controls (a bevelled panel and the gradient background); every
// other control is transparent, so it paints the surfaces below it first and
// then itself. Sibling windows cannot see through one another, hence the
// explicit repaint of what lies underneath.
#include <windows.h>

#include <functional>
#include <optional>

#include "platform/win32/scoped_win.h"

namespace klv::ui {

// Sent by a surface control to its parent after it has painted, so that the
// parent can draw over the surface (the window's frame). wParam: the HDC, set
// up in the surface's own coordinates; lParam: the surface's position in the
// parent's client area (MAKELPARAM(x, y)).
constexpr UINT kMsgPaintOverlay = WM_APP + 0x31;

// Marks a control as part of the window surface: transparent siblings above it
// repaint it under themselves with WM_PRINTCLIENT.
void MarkAsSurface(HWND control);

// Paints, into dc (in control's client coordinates), every visible surface
// sibling that lies below control in the stacking order.
void PaintBackdrop(HWND control, HDC dc);

// Runs a WM_PAINT through an off-screen bitmap (no flicker while dragging):
// the backdrop first when transparent, then paint(dc, clientRect).
void BufferedPaint(HWND control, bool transparent, const std::function<void(HDC, const RECT&)>& paint);

// Sends kMsgPaintOverlay for a surface that has just painted itself into dc.
void PaintOverlay(HWND surface, HDC dc);

// How a control paints: a surface covers its area and repaints itself on
// WM_PRINTCLIENT for the controls above it; a transparent control paints
// the surfaces beneath it first.
enum class PaintRole { Surface, Transparent };

// The painting messages every skinned control answers alike: no background
// erase (each control paints all of its area), WM_PAINT through
// BufferedPaint, and for a surface WM_PRINTCLIENT. The result to return,
// or nothing for any other message.
std::optional<LRESULT> HandlePaintMessage(HWND control, UINT msg, WPARAM wp, PaintRole role,
                                          const std::function<void(HDC, const RECT&)>& paint);

// A font by face name and character height in pixels.
platform::ScopedGdiObject<HFONT> MakeFont(const wchar_t* face, int height, bool bold = false, bool underline = false);

// The application-wide cursor: while set, it replaces the cursor of every
// skinned control (the drag cursor while the window is dragged).
void SetAppCursor(HCURSOR cursor);
HCURSOR AppCursor();
// Answers WM_SETCURSOR for a control whose own cursor is fallback.
bool ApplyCursor(HCURSOR fallback);

// Registers a window class once per process; the window procedure receives
// the object passed as the creation parameter (see ObjectWindowProc).
void RegisterControlClass(const wchar_t* name, WNDPROC proc, HCURSOR cursor);

// Window procedure of toolkit objects: T::Handle(hwnd, msg, wp, lp) gets every
// message after WM_NCCREATE has stored the object in GWLP_USERDATA.
template <class T>
LRESULT CALLBACK ObjectWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lp);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<T*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self == nullptr) return DefWindowProcW(hwnd, msg, wp, lp);
    if (msg == WM_NCDESTROY) SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    return self->Handle(hwnd, msg, wp, lp);
}

// Creates a child control of one of the toolkit's classes.
HWND CreateControl(const wchar_t* cls, HWND parent, int id, const RECT& bounds, const wchar_t* text, DWORD style,
                   void* object);

inline int Width(const RECT& r) {
    return r.right - r.left;
}
inline int Height(const RECT& r) {
    return r.bottom - r.top;
}
inline RECT Bounds(int left, int top, int width, int height) {
    return RECT{left, top, left + width, top + height};
}

}  // namespace klv::ui
