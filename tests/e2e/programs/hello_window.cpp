// A tiny GUI program that proves the end-to-end tier: one window with a
// gradient and a Chinese text, closed by the driver.
#include <windows.h>

namespace {

LRESULT CALLBACK HelloProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(window, &ps);
            RECT rc;
            GetClientRect(window, &rc);
            for (int y = 0; y < rc.bottom; ++y) {
                const int t = y * 255 / (rc.bottom ? rc.bottom : 1);
                HBRUSH band = CreateSolidBrush(RGB(255 - t / 3, 255 - t / 8, 246));
                RECT line{0, y, rc.right, y + 1};
                FillRect(dc, &line, band);
                DeleteObject(band);
            }
            SetBkMode(dc, TRANSPARENT);
            SetTextColor(dc, RGB(128, 0, 0));
            DrawTextW(dc, L"你好，KLV", -1, &rc, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
            EndPaint(window, &ps);
            return 0;
        }
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = HelloProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = L"KlvHelloWindow";
    RegisterClassW(&wc);
    HWND window = CreateWindowW(L"KlvHelloWindow", L"你好，KLV", WS_OVERLAPPEDWINDOW, 100, 100, 400, 200, nullptr,
                                nullptr, instance, nullptr);
    ShowWindow(window, SW_SHOW);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}
