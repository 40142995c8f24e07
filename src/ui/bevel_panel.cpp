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
    const platform::ScopedGdiObject<HBRUSH> fill(CreateSolidBrush(colour_));
    FillRect(dc, &r, fill);
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
    PaintOverlay(hwnd_, dc);
}

LRESULT BevelPanel::Handle(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (const auto painted =
            HandlePaintMessage(hwnd, msg, wp, PaintRole::Surface, [this](HDC dc, const RECT&) { Paint(dc); }))
        return *painted;
    return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace klv::ui
