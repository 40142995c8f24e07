#include "ui/controls.h"
#include "ui/surface.h"

namespace klv::ui {
namespace {
const wchar_t kClass[] = L"KlvTextLabel";
}

TextLabel::TextLabel(HWND parent, int id, const RECT& bounds, const std::wstring& text, LabelStyle style)
    : style_(style) {
    RegisterControlClass(kClass, ObjectWindowProc<TextLabel>, LoadCursor(nullptr, IDC_ARROW));
    hwnd_ = CreateControl(kClass, parent, id, bounds, text.c_str(), WS_VISIBLE, this);
}

void TextLabel::Paint(HDC dc, const RECT& client) const {
    wchar_t text[512] = {};
    GetWindowTextW(hwnd_, text, 512);
    HGDIOBJ oldFont = SelectObject(dc, style_.font);
    SetBkMode(dc, TRANSPARENT);
    COLORREF colour = style_.link ? GetSysColor(COLOR_HIGHLIGHT) : style_.colour;
    if (!IsWindowEnabled(hwnd_)) colour = GetSysColor(COLOR_GRAYTEXT);
    SetTextColor(dc, colour);
    UINT format = DT_NOPREFIX | (style_.wordWrap ? DT_WORDBREAK : DT_SINGLELINE);
    if (style_.alignRight) format |= DT_RIGHT;
    RECT r = client;
    DrawTextW(dc, text, -1, &r, format);
    SelectObject(dc, oldFont);
}

LRESULT TextLabel::Handle(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (const auto painted = HandlePaintMessage(hwnd, msg, wp, PaintRole::Transparent,
                                                [this](HDC dc, const RECT& client) { Paint(dc, client); }))
        return *painted;
    switch (msg) {
        case WM_SETTEXT:
        case WM_ENABLE: {
            const LRESULT result = DefWindowProcW(hwnd, msg, wp, lp);
            InvalidateRect(hwnd, nullptr, FALSE);
            return result;
        }
        case WM_SETCURSOR:
            return ApplyCursor(LoadCursor(nullptr, style_.link ? IDC_HAND : IDC_ARROW));
        case WM_LBUTTONUP:
            if (style_.link)
                SendMessageW(GetParent(hwnd), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(hwnd), STN_CLICKED),
                             reinterpret_cast<LPARAM>(hwnd));
            return 0;
        default:
            return DefWindowProcW(hwnd, msg, wp, lp);
    }
}

}  // namespace klv::ui
