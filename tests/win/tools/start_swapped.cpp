// start_swapped EXE MOVED REPLACEMENT: starts EXE suspended, renames its file to MOVED and copies
// REPLACEMENT to its path, then lets it run, waits for it and exits with its exit code. That is
// the earliest another process could swap the file of a program that has been started (after an
// elevation prompt, say): before the program has run any code of its own. Exits 255 when a step
// fails.
#include <windows.h>

#include <string>

#include "tool_output.h"

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) {
        PrintLine(L"usage: start_swapped EXE MOVED REPLACEMENT");
        return 2;
    }
    std::wstring commandLine = L"\"" + std::wstring(argv[1]) + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(argv[1], &commandLine[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                        nullptr, &startup, &process)) {
        PrintLine(L"cannot start, error " + std::to_wstring(GetLastError()));
        return 255;
    }
    const bool swapped = MoveFileW(argv[1], argv[2]) && CopyFileW(argv[3], argv[1], TRUE);
    if (!swapped) PrintLine(L"cannot swap, error " + std::to_wstring(GetLastError()));
    ResumeThread(process.hThread);
    CloseHandle(process.hThread);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 255;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hProcess);
    return swapped ? static_cast<int>(exitCode) : 255;
}
