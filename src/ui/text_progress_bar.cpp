#include "ui/controls.h"
#include "ui/surface.h"

namespace klv::ui {
namespace {
const wchar_t kClass[] = L"KlvTextProgressBar";
const COLORREF kTeal = RGB(0, 128, 128);
}  // namespace

TextProgressBar::TextProgressBar(HWND parent, int id, const RECT& bounds, const std::wstring& text, HFONT font)
    : font_(font) {
    RegisterControlClass(kClass, ObjectWindowProc<TextProgressBar>, LoadCursor(nullptr, IDC_ARROW));
    hwnd_ = CreateControl(kClass, parent, id, bounds, text.c_str(), 0, this);
}

int TextProgressBar::AutoHeight(HFONT font) {
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    return tm.tmHeight + 4;
}

void TextProgressBar::SetText(const std::wstring& text) {
    SetWindowTextW(hwnd_, text.c_str());
    InvalidateRect(hwnd_, nullptr, FALSE);
}

void TextProgressBar::SetRange(int minimum, int maximum) {
    minimum_ = minimum;
    maximum_ = maximum;
    InvalidateRect(hwnd_, nullptr, FALSE);
}

void TextProgressBar::SetPosition(int position) {
    position_ = position < minimum_ ? minimum_ : position > maximum_ ? maximum_ : position;
    InvalidateRect(hwnd_, nullptr, FALSE);
}

void TextProgressBar::SetVisible(bool visible) {
    ShowWindow(hwnd_, visible ? SW_SHOWNA : SW_HIDE);
}

void TextProgressBar::MoveTo(int left, int top) {
    SetWindowPos(hwnd_, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TextProgressBar::Paint(HDC dc, const RECT& client) const {
    const long span = static_cast<long>(maximum_) - minimum_;
    const long done = span > 0 ? (static_cast<long>(position_) - minimum_) * Width(client) / span : 0;
    RECT filled = client;
    filled.right = client.left + static_cast<int>(done);
    {
        const platform::ScopedGdiObject<HBRUSH> teal(CreateSolidBrush(kTeal));
        FillRect(dc, &filled, teal);
        FrameRect(dc, &client, teal);
    }

    // The text is white over the bar and teal over the open part.
    wchar_t text[256] = {};
    GetWindowTextW(hwnd_, text, 256);
    HGDIOBJ oldFont = SelectObject(dc, font_);
    SetBkMode(dc, TRANSPARENT);
    RECT r = client;
    const UINT format = DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS;
    const platform::ScopedGdiObject<HRGN> clip(CreateRectRgnIndirect(&filled));
    SelectClipRgn(dc, clip);
    SetTextColor(dc, RGB(255, 255, 255));
    DrawTextW(dc, text, -1, &r, format);
    SetRectRgn(clip, filled.right, client.top, client.right, client.bottom);
    SelectClipRgn(dc, clip);
    SetTextColor(dc, kTeal);
    DrawTextW(dc, text, -1, &r, format);
    SelectClipRgn(dc, nullptr);
    SelectObject(dc, oldFont);
}

LRESULT TextProgressBar::Handle(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (const auto painted = HandlePaintMessage(hwnd, msg, wp, PaintRole::Transparent,
                                                [this](HDC dc, const RECT& client) { Paint(dc, client); }))
        return *painted;
    switch (msg) {
        case WM_SETCURSOR:
            return ApplyCursor(LoadCursor(nullptr, IDC_ARROW));
        default:
            return DefWindowProcW(hwnd, msg, wp, lp);
    }
}

}  // namespace klv::ui
