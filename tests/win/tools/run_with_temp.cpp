// run_with_temp DIR PROGRAM [ARG...]: runs PROGRAM with TMP and TEMP set to DIR, waits for it and
// exits with its exit code, so that a test sees where the program writes its temporary files.
// Exits 255 when PROGRAM cannot be started.
#include <windows.h>

#include <string>

#include "tool_output.h"

namespace {

// Quotes an argument under the rules the runtime's argument splitting follows.
std::wstring Quote(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
    std::wstring out = L"\"";
    std::size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, L'\\');
    return out + L"\"";
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        PrintLine(L"usage: run_with_temp DIR PROGRAM [ARG...]");
        return 2;
    }
    SetEnvironmentVariableW(L"TMP", argv[1]);
    SetEnvironmentVariableW(L"TEMP", argv[1]);
    std::wstring commandLine = Quote(argv[2]);
    for (int i = 3; i < argc; ++i) commandLine += L" " + Quote(argv[i]);

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(argv[2], &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        PrintLine(L"cannot start, error " + std::to_wstring(GetLastError()));
        return 255;
    }
    CloseHandle(process.hThread);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 255;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hProcess);
    return static_cast<int>(exitCode);
}
