#include "ui/controls.h"
#include "ui/surface.h"

namespace klv::ui {
namespace {
const wchar_t kClass[] = L"KlvPicture";
}

Picture::Picture(HWND parent, int id, const RECT& bounds, Painter painter) : painter_(std::move(painter)) {
    RegisterControlClass(kClass, ObjectWindowProc<Picture>, LoadCursor(nullptr, IDC_ARROW));
    hwnd_ = CreateControl(kClass, parent, id, bounds, L"", WS_VISIBLE, this);
}

LRESULT Picture::Handle(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (const auto painted =
            HandlePaintMessage(hwnd, msg, wp, PaintRole::Transparent, [this](HDC dc, const RECT& client) {
                if (painter_) painter_(dc, client);
            }))
        return *painted;
    switch (msg) {
        case WM_SETCURSOR:
            return ApplyCursor(LoadCursor(nullptr, IDC_ARROW));
        default:
            return DefWindowProcW(hwnd, msg, wp, lp);
    }
}

}  // namespace klv::ui
