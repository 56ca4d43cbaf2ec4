// The memory floor of an import set under Wine: a program that imports system DLLs and does
// nothing else. Wine initialises each imported DLL at start, whether the program calls it or not.
// Built twice: import_floor with the stub's set (kernel32, user32, shell32, advapi32, msvcrt),
// import_floor_lean with kernel32, advapi32 and msvcrt only (KERNEL_ADVAPI_ONLY).
#include <windows.h>
#include <shellapi.h>

int wmain(int argc, wchar_t**) {
    // Never true: the calls are here only so that the linker keeps the imports.
    if (argc > 1000) {
#ifndef KERNEL_ADVAPI_ONLY
        SHELLEXECUTEINFOW request = {};
        ShellExecuteExW(&request);
        MessageBoxW(nullptr, L"", L"", MB_OK);
#endif
        RegCloseKey(HKEY_CURRENT_USER);
    }
    return 0;
}
