// The DLL search restriction of start-up, run in a child process (tools/dll_search_probe.exe),
// since it changes the whole process for good: a DLL beside the program loads before the
// restriction and no longer after it, while the system directory still serves.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

namespace {

std::wstring OwnDirectory() {
    wchar_t self[MAX_PATH + 1] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path = self;
    return path.erase(path.rfind(L'\\') + 1);
}

// Runs program with its standard output in a pipe; returns the output.
std::string RunAndRead(const std::wstring& program, DWORD* exitCode) {
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) return std::string();
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process = {};
    std::wstring commandLine = L"\"" + program + L"\"";
    const BOOL started = CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0,
                                        nullptr, nullptr, &startup, &process);
    CloseHandle(writeEnd);
    std::string output;
    if (started) {
        char buffer[1024];
        DWORD got = 0;
        while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got) output.append(buffer, got);
        WaitForSingleObject(process.hProcess, INFINITE);
        GetExitCodeProcess(process.hProcess, exitCode);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(readEnd);
    return output;
}

}  // namespace

TEST(DllSearchPath, PlantedLibraryBesideTheProgramIsNoLongerLoaded) {
    const std::wstring dir = OwnDirectory();
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((dir + L"planted_probe.dll").c_str()));
    DWORD exitCode = 1;
    const std::string output = RunAndRead(dir + L"dll_search_probe.exe", &exitCode);
    EXPECT_EQ(0u, exitCode);
    EXPECT_EQ("before planted: loaded\n"
              "after planted: error 126\n"
              "after system: loaded\n",
              output);
}
