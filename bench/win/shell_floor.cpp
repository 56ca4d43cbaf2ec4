// The memory floor of the stub's two shell calls under Wine: a program that creates a new
// directory with SHCreateDirectoryExW and starts "cmd.exe /c exit 0" hidden with ShellExecuteExW,
// waits for it, removes the directory, and does nothing else. The stub must make both calls, so
// its peak working set cannot fall below this program's.
//   shell_floor DIR    DIR: a directory that does not exist yet (its parent does)
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) return 2;
    if (SHCreateDirectoryExW(nullptr, argv[1], nullptr) != ERROR_SUCCESS) return 3;

    wchar_t cmd[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(cmd, MAX_PATH - 9);
    if (length == 0 || length >= MAX_PATH - 9) return 4;
    lstrcatW(cmd, L"\\cmd.exe");
    SHELLEXECUTEINFOW request = {};
    request.cbSize = sizeof request;
    request.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    request.lpFile = cmd;
    request.lpParameters = L"/c exit 0";
    request.nShow = SW_HIDE;
    if (!ShellExecuteExW(&request)) return 5;
    if (request.hProcess) {
        WaitForSingleObject(request.hProcess, INFINITE);
        CloseHandle(request.hProcess);
    }
    return RemoveDirectoryW(argv[1]) ? 0 : 6;
}
