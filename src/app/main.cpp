// Process entry of the stub: a GUI-subsystem program that never opens a window.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    return 0;
}
