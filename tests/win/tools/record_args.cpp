// A payload for the tests: appends its raw command line and current directory, as UTF-8 lines,
// to the file named by RECORD_ARGS_FILE, then exits with the code in RECORD_ARGS_EXIT_CODE.
#include <windows.h>

#include <cstdlib>

namespace {

void AppendUtf8Line(HANDLE file, const wchar_t* text) {
    char utf8[65536];
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8 - 2, nullptr, nullptr);
    if (n <= 0) return;
    utf8[n - 1] = '\n';
    DWORD written = 0;
    WriteFile(file, utf8, static_cast<DWORD>(n), &written, nullptr);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    wchar_t path[MAX_PATH];
    if (GetEnvironmentVariableW(L"RECORD_ARGS_FILE", path, MAX_PATH)) {
        HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            AppendUtf8Line(file, GetCommandLineW());
            wchar_t current[MAX_PATH];
            GetCurrentDirectoryW(MAX_PATH, current);
            AppendUtf8Line(file, current);
            CloseHandle(file);
        }
    }
    wchar_t code[16];
    if (GetEnvironmentVariableW(L"RECORD_ARGS_EXIT_CODE", code, 16)) return _wtoi(code);
    return 0;
}
