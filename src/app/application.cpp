#include "app/application.h"

#include "app/error_mode.h"

int RunApplication(CApplication& app, HINSTANCE instance, LPWSTR commandLine, int showCommand) {
    AddQuietErrorMode();
    app.m_hInstance = instance;
    app.m_lpCmdLine = commandLine;
    app.m_nCmdShow = showCommand;

    app.InitApplication();
    // Whatever InitInstance answers, no main window exists, so there is no message loop to run:
    // the exit step follows at once.
    app.InitInstance();
    return app.ExitInstance();
}
