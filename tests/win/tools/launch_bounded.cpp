// Starts a program with an exact raw command line (from LAUNCH_COMMAND_LINE, as launch.exe does)
// and waits at most LAUNCH_TIMEOUT_MS for it. Prints "exit 0xXXXXXXXX" with the program's full
// 32-bit exit code (an exception code survives, where the Linux exit status keeps 8 bits), or
// "timeout" after it ended the program. Exit code: the program's, 124 on a time-out, 255 when
// it could not be started.
#include <windows.h>

#include <cstdio>

#include "tool_output.h"

int wmain() {
    static wchar_t commandLine[32768];
    if (!GetEnvironmentVariableW(L"LAUNCH_COMMAND_LINE", commandLine, 32768)) return 254;
    wchar_t timeoutText[32] = L"120000";
    GetEnvironmentVariableW(L"LAUNCH_TIMEOUT_MS", timeoutText, 32);

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        PrintLine(L"cannot start, error " + std::to_wstring(GetLastError()));
        return 255;
    }
    CloseHandle(process.hThread);
    if (WaitForSingleObject(process.hProcess, static_cast<DWORD>(_wtoi(timeoutText))) != WAIT_OBJECT_0) {
        // Ended here, so that a hung instance does not keep the single-instance guard for the
        // runs that follow.
        TerminateProcess(process.hProcess, 124);
        WaitForSingleObject(process.hProcess, 10000);
        CloseHandle(process.hProcess);
        PrintLine(L"timeout");
        return 124;
    }
    DWORD code = 255;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    wchar_t line[32];
    swprintf(line, 32, L"exit 0x%08lX", static_cast<unsigned long>(code));
    PrintLine(line);
    return static_cast<int>(code & 0xFF);
}
