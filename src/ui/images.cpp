#include "ui/images.h"

#include "ui/surface.h"

namespace klv::ui {
namespace {

POINT At(const RECT& r, int x, int y, int w, int h) {
    // Designs are drawn on a w x h grid and scaled to the rectangle.
    return POINT{r.left + x * Width(r) / w, r.top + y * Height(r) / h};
}

// Draws with a solid brush of `fill` and a one-pixel pen of `edge`, selected
// into dc for the drawing only.
template <class Draw>
void WithBrushAndPen(HDC dc, COLORREF fill, COLORREF edge, Draw draw) {
    const platform::ScopedGdiObject<HBRUSH> brush(CreateSolidBrush(fill));
    const platform::ScopedGdiObject<HPEN> pen(CreatePen(PS_SOLID, 1, edge));
    HGDIOBJ oldBrush = SelectObject(dc, brush);
    HGDIOBJ oldPen = SelectObject(dc, pen);
    draw();
    SelectObject(dc, oldBrush);
    SelectObject(dc, oldPen);
}

void FillPolygon(HDC dc, const POINT* points, int count, COLORREF fill, COLORREF edge) {
    WithBrushAndPen(dc, fill, edge, [&] { Polygon(dc, points, count); });
}

void FillEllipse(HDC dc, POINT a, POINT b, COLORREF fill, COLORREF edge) {
    WithBrushAndPen(dc, fill, edge, [&] { Ellipse(dc, a.x, a.y, b.x, b.y); });
}

}  // namespace

void PaintEmblem(HDC dc, const RECT& r) {
    const int w = 90, h = 94;
    // Outer shield, inner shield, then a lighter bevel on the left half.
    const POINT outer[] = {At(r, 45, 2, w, h),  At(r, 84, 14, w, h), At(r, 80, 58, w, h),
                           At(r, 45, 91, w, h), At(r, 10, 58, w, h), At(r, 6, 14, w, h)};
    FillPolygon(dc, outer, 6, RGB(22, 84, 168), RGB(12, 52, 110));
    const POINT inner[] = {At(r, 45, 9, w, h),  At(r, 77, 19, w, h), At(r, 73, 56, w, h),
                           At(r, 45, 83, w, h), At(r, 17, 56, w, h), At(r, 13, 19, w, h)};
    FillPolygon(dc, inner, 6, RGB(52, 140, 226), RGB(52, 140, 226));
    const POINT shine[] = {At(r, 45, 9, w, h), At(r, 45, 83, w, h), At(r, 17, 56, w, h), At(r, 13, 19, w, h)};
    FillPolygon(dc, shine, 4, RGB(92, 172, 240), RGB(92, 172, 240));
    // Key hole.
    FillEllipse(dc, At(r, 34, 26, w, h), At(r, 57, 49, w, h), RGB(255, 255, 255), RGB(255, 255, 255));
    const POINT slot[] = {At(r, 40, 44, w, h), At(r, 51, 44, w, h), At(r, 55, 68, w, h), At(r, 36, 68, w, h)};
    FillPolygon(dc, slot, 4, RGB(255, 255, 255), RGB(255, 255, 255));
}

void PaintBulb(HDC dc, const RECT& r) {
    const int w = 13, h = 20;
    FillEllipse(dc, At(r, 0, 0, w, h), At(r, 13, 13, w, h), RGB(255, 214, 64), RGB(200, 150, 20));
    FillEllipse(dc, At(r, 3, 2, w, h), At(r, 7, 6, w, h), RGB(255, 248, 200), RGB(255, 248, 200));
    const POINT neck[] = {At(r, 4, 11, w, h), At(r, 9, 11, w, h), At(r, 9, 15, w, h), At(r, 4, 15, w, h)};
    FillPolygon(dc, neck, 4, RGB(255, 214, 64), RGB(200, 150, 20));
    const POINT base[] = {At(r, 4, 15, w, h), At(r, 9, 15, w, h), At(r, 8, 19, w, h), At(r, 5, 19, w, h)};
    FillPolygon(dc, base, 4, RGB(140, 140, 150), RGB(90, 90, 100));
}

void PaintIconResource(HDC dc, const RECT& r, int resourceId) {
    HICON icon = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(resourceId), IMAGE_ICON,
                                               Width(r), Height(r), LR_DEFAULTCOLOR));
    if (icon == nullptr) return;
    DrawIconEx(dc, r.left, r.top, icon, Width(r), Height(r), 0, nullptr, DI_NORMAL);
    DestroyIcon(icon);
}

HCURSOR DragCursor() {
    // 32 x 32, hot spot at the arrow's tip. 'X' black, 'o' white, anything
    // else transparent.
    static const char* const kArt[] = {
        "X               ", "XX              ", "XoX             ",  "XooX            ",  "XoooX           ",
        "XooooX          ", "XoooooX         ", "XooooooX        ",  "XoooooooX       ",  "XooooooooX      ",
        "XoooooXXXXX     ", "XooXooX         ", "XoX XooX        ",  "XX  XooX        ",  "X    XooX       ",
        "     XooX       ", "      XX        ", "        XXXXXX  ",  "        XooooXX ",  "        XooooXoX",
        "        XoooooXX", "        XoXXXooX", "        XoooooooX", "        XoXXXXooX", "        XoooooooX",
        "        XXXXXXXXX"};
    static HCURSOR cursor = nullptr;
    if (cursor != nullptr) return cursor;
    BYTE andMask[32 * 4];
    BYTE xorMask[32 * 4];
    for (int i = 0; i < 32 * 4; ++i) {
        andMask[i] = 0xFF;
        xorMask[i] = 0x00;
    }
    const int rows = static_cast<int>(sizeof kArt / sizeof kArt[0]);
    for (int y = 0; y < rows; ++y) {
        for (int x = 0; kArt[y][x] != '\0' && x < 32; ++x) {
            const char c = kArt[y][x];
            if (c != 'X' && c != 'o') continue;
            const BYTE bit = static_cast<BYTE>(0x80 >> (x % 8));
            andMask[y * 4 + x / 8] = static_cast<BYTE>(andMask[y * 4 + x / 8] & ~bit);
            if (c == 'o') xorMask[y * 4 + x / 8] = static_cast<BYTE>(xorMask[y * 4 + x / 8] | bit);
        }
    }
    cursor = CreateCursor(GetModuleHandleW(nullptr), 0, 0, 32, 32, andMask, xorMask);
    return cursor;
}

}  // namespace klv::ui
