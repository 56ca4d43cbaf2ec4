// The application life cycle, built directly on the wide GUI entry point: per-process
// initialisation, application-wide initialisation, InitInstance, and the exit step whose result
// is the process exit code. There is no window and no message loop: all work happens inside
// InitInstance.
#pragma once

#include <windows.h>

class CApplication {
public:
    virtual BOOL InitApplication() { return TRUE; }
    virtual BOOL InitInstance() { return FALSE; }
    // Nothing to save and no message loop ever ran, so the exit code is 0.
    virtual int ExitInstance() { return 0; }

    HINSTANCE m_hInstance = nullptr;
    LPWSTR m_lpCmdLine = nullptr;
    int m_nCmdShow = 0;

protected:
    CApplication() = default;
    ~CApplication() = default;  // only global and stack objects of derived classes exist
};

// Runs app's life cycle for the entry point's arguments; the result is the exit code.
int RunApplication(CApplication& app, HINSTANCE instance, LPWSTR commandLine, int showCommand);
