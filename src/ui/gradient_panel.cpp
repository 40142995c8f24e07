#include "ui/controls.h"

#include <windowsx.h>

#include "ui/surface.h"

namespace klv::ui {
namespace {
const wchar_t kClass[] = L"KlvGradientPanel";

BYTE Blend(BYTE from, BYTE to, int step, int steps) {
    return static_cast<BYTE>(from +
                             (static_cast<int>(to) - static_cast<int>(from)) * step / (steps > 1 ? steps - 1 : 1));
}
}  // namespace

GradientPanel::GradientPanel(HWND parent, int id, const RECT& bounds, COLORREF start, COLORREF stop,
                             MouseHandlers handlers)
    : start_(start), stop_(stop), handlers_(std::move(handlers)) {
    RegisterControlClass(kClass, ObjectWindowProc<GradientPanel>, LoadCursor(nullptr, IDC_ARROW));
    hwnd_ = CreateControl(kClass, parent, id, bounds, L"", WS_VISIBLE, this);
    MarkAsSurface(hwnd_);
}

void GradientPanel::Paint(HDC dc) const {
    RECT r;
    GetClientRect(hwnd_, &r);
    const int rows = Height(r);
    // Only the bands that the device context shows: transparent controls
    // repaint small pieces of the background many times.
    RECT visible;
    const int clip = GetClipBox(dc, &visible);
    if (clip == ERROR || clip == NULLREGION || !IntersectRect(&visible, &visible, &r)) visible = r;
    for (int y = visible.top; y < visible.bottom; ++y) {
        const COLORREF c = RGB(Blend(GetRValue(start_), GetRValue(stop_), y, rows),
                               Blend(GetGValue(start_), GetGValue(stop_), y, rows),
                               Blend(GetBValue(start_), GetBValue(stop_), y, rows));
        const platform::ScopedGdiObject<HBRUSH> band(CreateSolidBrush(c));
        RECT line{0, y, r.right, y + 1};
        FillRect(dc, &line, band);
    }
    PaintOverlay(hwnd_, dc);
}

LRESULT GradientPanel::Handle(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (const auto painted =
            HandlePaintMessage(hwnd, msg, wp, PaintRole::Surface, [this](HDC dc, const RECT&) { Paint(dc); }))
        return *painted;
    const int x = GET_X_LPARAM(lp);
    const int y = GET_Y_LPARAM(lp);
    switch (msg) {
        case WM_SETCURSOR:
            return ApplyCursor(LoadCursor(nullptr, IDC_ARROW));
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
            // Held buttons keep the mouse with the background, so a fast drag
            // that leaves it still moves the window.
            SetCapture(hwnd);
            if (handlers_.down) handlers_.down(msg == WM_LBUTTONDOWN ? 0 : msg == WM_RBUTTONDOWN ? 1 : 2, x, y);
            return 0;
        case WM_MOUSEMOVE:
            if (handlers_.move) handlers_.move(x, y);
            return 0;
        case WM_LBUTTONUP:
        case WM_RBUTTONUP:
        case WM_MBUTTONUP:
            if (GetCapture() == hwnd) ReleaseCapture();
            if (handlers_.up) handlers_.up(msg == WM_LBUTTONUP ? 0 : msg == WM_RBUTTONUP ? 1 : 2, x, y);
            return 0;
        case WM_CAPTURECHANGED:
            // The mouse was taken away while held (a message box, a switch to
            // another program): the button-up will never come, so the drag ends
            // here rather than following the bare mouse afterwards.
            if (reinterpret_cast<HWND>(lp) != hwnd && handlers_.up) handlers_.up(-1, 0, 0);
            return 0;
        default:
            return DefWindowProcW(hwnd, msg, wp, lp);
    }
}

}  // namespace klv::ui
