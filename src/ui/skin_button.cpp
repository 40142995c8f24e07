// The "Blue" skin: a rounded button with a vertical blue gradient, white text
// and a darker face while pressed.
#include "ui/controls.h"
#include "ui/surface.h"

namespace klv::ui {
namespace {

struct BlueSkin {
    COLORREF top, bottom, border, text;
};

BlueSkin SkinFor(UINT state) {
    if (state & ODS_DISABLED) return {RGB(214, 222, 232), RGB(184, 194, 208), RGB(150, 160, 176), RGB(120, 128, 140)};
    if (state & ODS_SELECTED) return {RGB(24, 86, 168), RGB(52, 128, 214), RGB(16, 56, 120), RGB(255, 255, 255)};
    return {RGB(104, 170, 240), RGB(30, 98, 190), RGB(20, 66, 140), RGB(255, 255, 255)};
}

BYTE Mix(BYTE a, BYTE b, int i, int n) {
    return static_cast<BYTE>(a + (static_cast<int>(b) - a) * i / (n > 1 ? n - 1 : 1));
}

}  // namespace

HWND CreateSkinButton(HWND parent, int id, const RECT& bounds, const std::wstring& text, HFONT font) {
    HWND button =
        CreateWindowExW(0, L"BUTTON", text.c_str(), WS_CHILD | WS_CLIPSIBLINGS | WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW,
                        bounds.left, bounds.top, Width(bounds), Height(bounds), parent,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
    SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return button;
}

void DrawSkinButton(const DRAWITEMSTRUCT& item, HFONT font) {
    const RECT r = item.rcItem;
    const BlueSkin skin = SkinFor(item.itemState);
    HDC dc = item.hDC;
    // The corners outside the rounded face show the background beneath.
    PaintBackdrop(item.hwndItem, dc);

    {
        const platform::ScopedMemoryDc memory(CreateCompatibleDC(dc));
        const platform::ScopedGdiObject<HBITMAP> face(CreateCompatibleBitmap(dc, Width(r), Height(r)));
        HGDIOBJ oldBitmap = SelectObject(memory.get(), face);
        for (int y = 0; y < Height(r); ++y) {
            const platform::ScopedGdiObject<HBRUSH> band(
                CreateSolidBrush(RGB(Mix(GetRValue(skin.top), GetRValue(skin.bottom), y, Height(r)),
                                     Mix(GetGValue(skin.top), GetGValue(skin.bottom), y, Height(r)),
                                     Mix(GetBValue(skin.top), GetBValue(skin.bottom), y, Height(r)))));
            RECT line{0, y, Width(r), y + 1};
            FillRect(memory.get(), &line, band);
        }
        const platform::ScopedGdiObject<HRGN> rounded(
            CreateRoundRectRgn(r.left, r.top, r.right + 1, r.bottom + 1, 7, 7));
        SelectClipRgn(dc, rounded);
        BitBlt(dc, r.left, r.top, Width(r), Height(r), memory.get(), 0, 0, SRCCOPY);
        SelectClipRgn(dc, nullptr);
        const platform::ScopedGdiObject<HBRUSH> border(CreateSolidBrush(skin.border));
        FrameRgn(dc, rounded, border, 1, 1);
        SelectObject(memory.get(), oldBitmap);
    }

    wchar_t text[128] = {};
    GetWindowTextW(item.hwndItem, text, 128);
    HGDIOBJ oldFont = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, skin.text);
    RECT textRect = r;
    if (item.itemState & ODS_SELECTED) OffsetRect(&textRect, 1, 1);
    UINT format = DT_CENTER | DT_VCENTER | DT_SINGLELINE;
    if (item.itemState & ODS_NOACCEL) format |= DT_HIDEPREFIX;
    DrawTextW(dc, text, -1, &textRect, format);
    SelectObject(dc, oldFont);
    if ((item.itemState & ODS_FOCUS) && !(item.itemState & ODS_NOFOCUSRECT)) {
        RECT focus = r;
        InflateRect(&focus, -3, -3);
        SetTextColor(dc, RGB(255, 255, 255));
        DrawFocusRect(dc, &focus);
    }
}

}  // namespace klv::ui
