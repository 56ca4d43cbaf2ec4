// Starts a program with an exact raw command line (wine re-quotes its own arguments):
// the command line comes from the environment variable LAUNCH_COMMAND_LINE. Waits for the
// program and exits with its exit code (or 255 when it could not be started).
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    static wchar_t commandLine[32768];
    if (!GetEnvironmentVariableW(L"LAUNCH_COMMAND_LINE", commandLine, 32768)) return 254;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return 255;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 255;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
}
