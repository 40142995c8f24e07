// klv-start.exe: the launcher. Nothing is read from the command line.
#include <windows.h>

#include "app/launcher.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    return klv::RunLauncher(instance);
}
