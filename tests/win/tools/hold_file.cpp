// hold_file FILE READY GO TIMEOUT_MS [delete]: another process of the user that keeps FILE open
// for reading without write or delete sharing, so that nobody can delete, rename or overwrite
// it; with "delete", open for reading and deletion with every sharing mode instead (as a user's
// own program may hold a download), which makes an open that shares reading only fail.
// Writes READY once it holds the file, lets it go when the file GO exists. Exit code 0 once GO
// appeared, 1 when the file could not be opened or TIMEOUT_MS passed first, 2 on a usage error.
#include <windows.h>

#include "tool_output.h"

int wmain(int argc, wchar_t** argv) {
    const bool withDelete = argc == 6 && lstrcmpW(argv[5], L"delete") == 0;
    if (argc != 5 && !withDelete) {
        PrintLine(L"usage: hold_file FILE READY GO TIMEOUT_MS [delete]");
        return 2;
    }
    const HANDLE held =
        withDelete ? CreateFileW(argv[1], GENERIC_READ | DELETE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)
                   : CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (held == INVALID_HANDLE_VALUE) return 1;
    const HANDLE ready = CreateFileW(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
    if (ready != INVALID_HANDLE_VALUE) CloseHandle(ready);

    const DWORD timeout = static_cast<DWORD>(_wtoi(argv[4]));
    const DWORD start = GetTickCount();
    int code = 0;
    while (GetFileAttributesW(argv[3]) == INVALID_FILE_ATTRIBUTES) {
        if (GetTickCount() - start > timeout) {
            code = 1;
            break;
        }
        Sleep(50);
    }
    CloseHandle(held);
    return code;
}
