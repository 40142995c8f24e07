/* A small program whose image the PE reader's tests inspect. */
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR line, int show) {
    (void)instance, (void)previous, (void)line, (void)show;
    MessageBoxA(NULL, "sample", "sample", MB_OK);
    return 0;
}
