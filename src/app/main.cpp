// Process entry of the stub: a GUI-subsystem program that never opens a window.
//
// The global objects live here, in the executable's own translation unit, so that the Windows-
// side tests, which link the same library, never create the guard's mutex.
#include <windows.h>

#include "app/application.h"
#include "app/dll_search_path.h"
#include "app/launch_sequence.h"
#include "app/second_instance_message.h"
#include "app/single_instance_mutex.h"
#include "app/unpack_file_app.h"
#include "package/running_image.h"

namespace {

// The first static initialiser of the process (init_priority puts it ahead of those of every
// other translation unit): no DLL is loaded from outside the system directory after this.
struct DllSearchRestriction {
    DllSearchRestriction() { RestrictDllSearchPath(); }
};
DllSearchRestriction g_dllSearchRestriction __attribute__((init_priority(101)));

// Next, the file the process runs from is opened and held: the sooner, the shorter the time in
// which another process could rename it and put another file at its path.
struct RunningImageHold {
    RunningImageHold() { HoldRunningImageEarly(); }
};
RunningImageHold g_runningImageHold __attribute__((init_priority(102)));

}  // namespace

// Then, in definition order: the application object, and the guard, which creates or opens the
// named mutex now and holds the handle until static destruction at the end of the process.
CUnPackFileApp theApp;
SingleInstanceMutex g_singleInstanceMutex(kSingleInstanceMutexName);

BOOL CUnPackFileApp::InitInstance() {
    if (g_singleInstanceMutex.IsAlreadyRunning()) {
        ShowSecondInstanceMessage();
        return FALSE;
    }

    RunLaunchSequence();
    return FALSE;
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int showCommand) {
    return RunApplication(theApp, instance, commandLine, showCommand);
}
