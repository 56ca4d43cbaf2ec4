// hold_until READY GO TIMEOUT_MS: a payload that keeps running until the test lets it go. It
// writes READY (its process id, its parent's, and the parent's peak memory as the system reports
// it), then waits until the file GO exists, and then writes READY.released, which shows that it
// lived until then. Exit code 0 once GO appeared, 1 when TIMEOUT_MS passed first, 2 on a usage
// error.
//
// Run by the stub, the parent is the stub, which has finished extracting by then: its peak
// working set covers the whole extraction.
#define PSAPI_VERSION 2
#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <string>

#include "tool_output.h"

namespace {

DWORD ParentProcessId() {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 0;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    DWORD parent = 0;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (entry.th32ProcessID == GetCurrentProcessId()) {
            parent = entry.th32ParentProcessID;
            break;
        }
    }
    CloseHandle(snapshot);
    return parent;
}

std::string ParentMemory(DWORD parent) {
    const HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, parent);
    if (!process) return "";
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    std::string text;
    if (K32GetProcessMemoryInfo(process, &counters, sizeof counters))
        text = "peakWorkingSet " + std::to_string(counters.PeakWorkingSetSize) + "\npeakPagefile " +
               std::to_string(counters.PeakPagefileUsage) + "\n";
    CloseHandle(process);
    return text;
}

bool WriteText(const wchar_t* path, const std::string& text) {
    const HANDLE file = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
    return ok != FALSE;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) {
        PrintLine(L"usage: hold_until READY GO TIMEOUT_MS");
        return 2;
    }
    const DWORD parent = ParentProcessId();
    // Written under another name and renamed, so that the reader never sees half of it.
    const std::wstring partial = std::wstring(argv[1]) + L".part";
    WriteText(partial.c_str(), "pid " + std::to_string(GetCurrentProcessId()) + "\nparent " +
                                   std::to_string(parent) + "\n" + ParentMemory(parent));
    MoveFileExW(partial.c_str(), argv[1], MOVEFILE_REPLACE_EXISTING);

    const DWORD timeout = static_cast<DWORD>(_wtoi(argv[3]));
    const DWORD start = GetTickCount();
    while (GetFileAttributesW(argv[2]) == INVALID_FILE_ATTRIBUTES) {
        if (GetTickCount() - start > timeout) return 1;
        Sleep(50);
    }
    WriteText((std::wstring(argv[1]) + L".released").c_str(), "released\n");
    return 0;
}
