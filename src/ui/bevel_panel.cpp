#include "ui/controls.h"
#include "ui/surface.h"

namespace klv::ui {
namespace {
const wchar_t kClass[] = L"KlvBevelPanel";
}

BevelPanel::BevelPanel(HWND parent, int id, const RECT& bounds, COLORREF colour, int bevelWidth)
    : colour_(colour), bevelWidth_(bevelWidth) {
    RegisterControlClass(kClass, ObjectWindowProc<BevelPanel>, LoadCursor(nullptr, IDC_ARROW));
    hwnd_ = CreateControl(kClass, parent, id, bounds, L"", WS_VISIBLE, this);
    MarkAsSurface(hwnd_);
}

void BevelPanel::Paint(HDC dc) const {
    RECT r;
    GetClientRect(hwnd_, &r);
    HBRUSH fill = CreateSolidBrush(colour_);
    FillRect(dc, &r, fill);
    DeleteObject(fill);
    // A raised bevel: light along the top and left, shadow along the bottom
    // and right, one ring per pixel of width.
    HBRUSH light = GetSysColorBrush(COLOR_BTNHIGHLIGHT);
    HBRUSH shadow = GetSysColorBrush(COLOR_BTNSHADOW);
    for (int i = 0; i < bevelWidth_; ++i) {
        RECT top{r.left + i, r.top + i, r.right - i, r.top + i + 1};
        RECT left{r.left + i, r.top + i, r.left + i + 1, r.bottom - i};
        RECT bottom{r.left + i, r.bottom - i - 1, r.right - i, r.bottom - i};
        RECT right{r.right - i - 1, r.top + i, r.right - i, r.bottom - i};
        FillRect(dc, &top, light);
        FillRect(dc, &left, light);
        FillRect(dc, &bottom, shadow);
        FillRect(dc, &right, shadow);
    }
    RECT mine;
    GetWindowRect(hwnd_, &mine);
    MapWindowPoints(HWND_DESKTOP, GetParent(hwnd_), reinterpret_cast<POINT*>(&mine), 2);
    SendMessageW(GetParent(hwnd_), kMsgPaintOverlay, reinterpret_cast<WPARAM>(dc), MAKELPARAM(mine.left, mine.top));
}

LRESULT BevelPanel::Handle(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
        BufferedPaint(hwnd, false, [this](HDC dc, const RECT&) { Paint(dc); });
        return 0;
    case WM_PRINTCLIENT:
        Paint(reinterpret_cast<HDC>(wp));
        return 0;
    default:
        return DefWindowProcW(hwnd, msg, wp, lp);
    }
}

}  // namespace klv::ui
