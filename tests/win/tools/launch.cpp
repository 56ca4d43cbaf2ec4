// Starts a program with an exact raw command line (wine re-quotes its own arguments):
// the command line comes from the environment variable LAUNCH_COMMAND_LINE. Waits for the
// program and exits with its exit code (or 255 when it could not be started). Each variable
// LAUNCH_SET_NAME=VALUE becomes NAME=VALUE in the program's environment: also a name that Wine
// takes from the prefix's registry rather than from the Unix environment (COMSPEC).
#include <windows.h>

#include <string>

namespace {

void SetRequestedVariables() {
    const std::wstring prefix = L"LAUNCH_SET_";
    wchar_t* block = GetEnvironmentStringsW();
    for (const wchar_t* entry = block; *entry; entry += wcslen(entry) + 1) {
        const std::wstring text(entry);
        const std::size_t equals = text.find(L'=', 1);
        if (text.compare(0, prefix.size(), prefix) != 0 || equals == std::wstring::npos) continue;
        SetEnvironmentVariableW(text.substr(prefix.size(), equals - prefix.size()).c_str(),
                                text.substr(equals + 1).c_str());
    }
    FreeEnvironmentStringsW(block);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    static wchar_t commandLine[32768];
    if (!GetEnvironmentVariableW(L"LAUNCH_COMMAND_LINE", commandLine, 32768)) return 254;
    SetRequestedVariables();
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
