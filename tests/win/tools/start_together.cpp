// start_together N: starts N processes of the raw command line LAUNCH_COMMAND_LINE suspended,
// then lets them all go at once, so that they race for whatever they take at start-up. Waits
// for them (LAUNCH_TIMEOUT_MS, default 120000, for all; the ones still running then are ended)
// and prints one line per process in start order: "PID exit 0xXXXXXXXX" or "PID timeout".
// Exit code 0 when all N started and ended in time, 1 otherwise, 2 on a usage error.
#include <windows.h>

#include <cstdio>
#include <vector>

#include "tool_output.h"

int wmain(int argc, wchar_t** argv) {
    const int count = argc == 2 ? _wtoi(argv[1]) : 0;
    static wchar_t commandLine[32768];
    if (count <= 0 || count > MAXIMUM_WAIT_OBJECTS ||
        !GetEnvironmentVariableW(L"LAUNCH_COMMAND_LINE", commandLine, 32768)) {
        PrintLine(L"usage: start_together N (command line in LAUNCH_COMMAND_LINE)");
        return 2;
    }
    wchar_t timeoutText[32] = L"120000";
    GetEnvironmentVariableW(L"LAUNCH_TIMEOUT_MS", timeoutText, 32);

    std::vector<PROCESS_INFORMATION> started;
    for (int i = 0; i < count; ++i) {
        static wchar_t copy[32768];
        lstrcpyW(copy, commandLine);  // CreateProcessW may write into its command line
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process = {};
        if (CreateProcessW(nullptr, copy, nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                           nullptr, &startup, &process))
            started.push_back(process);
    }
    for (const auto& process : started) ResumeThread(process.hThread);

    std::vector<HANDLE> handles;
    for (const auto& process : started) handles.push_back(process.hProcess);
    const DWORD waited = handles.empty() ? WAIT_OBJECT_0
                                         : WaitForMultipleObjects(static_cast<DWORD>(handles.size()),
                                                                  handles.data(), TRUE,
                                                                  static_cast<DWORD>(_wtoi(timeoutText)));
    bool allEnded = waited < WAIT_OBJECT_0 + handles.size();
    for (const auto& process : started) {
        wchar_t line[64];
        DWORD code = 0;
        if (WaitForSingleObject(process.hProcess, 0) != WAIT_OBJECT_0) {
            TerminateProcess(process.hProcess, 124);
            swprintf(line, 64, L"%lu timeout", static_cast<unsigned long>(process.dwProcessId));
            allEnded = false;
        } else {
            GetExitCodeProcess(process.hProcess, &code);
            swprintf(line, 64, L"%lu exit 0x%08lX", static_cast<unsigned long>(process.dwProcessId),
                     static_cast<unsigned long>(code));
        }
        PrintLine(line);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    return allEnded && static_cast<int>(started.size()) == count ? 0 : 1;
}
