// Process entry of the stub: a GUI-subsystem program that never opens a window.
#include <windows.h>

#include "app/launch_sequence.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    RunLaunchSequence();
    return 0;
}
