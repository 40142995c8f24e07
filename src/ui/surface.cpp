#include "ui/surface.h"

#include <vector>

namespace klv::ui {
namespace {

const wchar_t kSurfaceProp[] = L"KlvSurface";
HCURSOR g_appCursor = nullptr;

RECT RectInParent(HWND control) {
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(HWND_DESKTOP, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

}  // namespace

void MarkAsSurface(HWND control) {
    SetPropW(control, kSurfaceProp, reinterpret_cast<HANDLE>(1));
}

void PaintBackdrop(HWND control, HDC dc) {
    // Siblings below control, collected from control downwards and painted
    // from the bottom up.
    std::vector<HWND> below;
    for (HWND w = GetWindow(control, GW_HWNDNEXT); w != nullptr; w = GetWindow(w, GW_HWNDNEXT))
        if (GetPropW(w, kSurfaceProp) != nullptr && IsWindowVisible(w)) below.push_back(w);
    const RECT self = RectInParent(control);
    for (auto it = below.rbegin(); it != below.rend(); ++it) {
        const RECT r = RectInParent(*it);
        RECT overlap;
        if (!IntersectRect(&overlap, &self, &r)) continue;
        POINT old;
        OffsetViewportOrgEx(dc, r.left - self.left, r.top - self.top, &old);
        SendMessageW(*it, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
        SetViewportOrgEx(dc, old.x, old.y, nullptr);
    }
}

void BufferedPaint(HWND control, bool transparent, const std::function<void(HDC, const RECT&)>& paint) {
    PAINTSTRUCT ps;
    HDC screen = BeginPaint(control, &ps);
    RECT client;
    GetClientRect(control, &client);
    {
        const platform::ScopedMemoryDc memory(CreateCompatibleDC(screen));
        const platform::ScopedGdiObject<HBITMAP> bitmap(CreateCompatibleBitmap(
            screen, Width(client) > 0 ? Width(client) : 1, Height(client) > 0 ? Height(client) : 1));
        HGDIOBJ oldBitmap = SelectObject(memory.get(), bitmap);
        if (transparent) PaintBackdrop(control, memory.get());
        paint(memory.get(), client);
        BitBlt(screen, 0, 0, Width(client), Height(client), memory.get(), 0, 0, SRCCOPY);
        SelectObject(memory.get(), oldBitmap);
    }
    EndPaint(control, &ps);
}

void PaintOverlay(HWND surface, HDC dc) {
    const RECT mine = RectInParent(surface);
    SendMessageW(GetParent(surface), kMsgPaintOverlay, reinterpret_cast<WPARAM>(dc), MAKELPARAM(mine.left, mine.top));
}

std::optional<LRESULT> HandlePaintMessage(HWND control, UINT msg, WPARAM wp, PaintRole role,
                                          const std::function<void(HDC, const RECT&)>& paint) {
    switch (msg) {
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT:
            BufferedPaint(control, role == PaintRole::Transparent, paint);
            return 0;
        case WM_PRINTCLIENT:
            if (role != PaintRole::Surface) return std::nullopt;
            {
                RECT client;
                GetClientRect(control, &client);
                paint(reinterpret_cast<HDC>(wp), client);
            }
            return 0;
        default:
            return std::nullopt;
    }
}

platform::ScopedGdiObject<HFONT> MakeFont(const wchar_t* face, int height, bool bold, bool underline) {
    // A negative height asks for the character height, not the cell height.
    return platform::ScopedGdiObject<HFONT>(CreateFontW(
        -height, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, underline ? TRUE : FALSE, FALSE, DEFAULT_CHARSET,
        OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face));
}

void SetAppCursor(HCURSOR cursor) {
    g_appCursor = cursor;
    SetCursor(cursor != nullptr ? cursor : LoadCursor(nullptr, IDC_ARROW));
}

HCURSOR AppCursor() {
    return g_appCursor;
}

bool ApplyCursor(HCURSOR fallback) {
    SetCursor(g_appCursor != nullptr ? g_appCursor : fallback);
    return true;
}

void RegisterControlClass(const wchar_t* name, WNDPROC proc, HCURSOR cursor) {
    WNDCLASSEXW wc{};
    if (GetClassInfoExW(GetModuleHandleW(nullptr), name, &wc)) return;
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = cursor;
    wc.lpszClassName = name;
    RegisterClassExW(&wc);
}

HWND CreateControl(const wchar_t* cls, HWND parent, int id, const RECT& bounds, const wchar_t* text, DWORD style,
                   void* object) {
    // WS_CLIPSIBLINGS: a surface repainting itself must not paint over the
    // transparent controls stacked above it.
    return CreateWindowExW(0, cls, text, WS_CHILD | WS_CLIPSIBLINGS | style, bounds.left, bounds.top, Width(bounds),
                           Height(bounds), parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                           GetModuleHandleW(nullptr), object);
}

}  // namespace klv::ui
