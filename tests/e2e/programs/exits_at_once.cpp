// A next release of the launcher that never comes up: stamped as the release
// after this one and signed like it, it ends at once without showing any
// window, so that the replacement must put the old launcher back.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    return 0;
}
