// Which Windows the stub runs on: the version the system reports to this executable (its
// manifest declares the supported systems) and whether it runs under WOW64.
#include "util/utility.h"

namespace {

// The basic 276-byte record. If the query failed the fields would be left as they are, so they
// start at zero: the system then counts as older than 6 and the log line shows 0.0(0).
OSVERSIONINFOW QueryVersion() {
    OSVERSIONINFOW info = {};
    info.dwOSVersionInfoSize = sizeof info;
    GetVersionExW(&info);
    return info;
}

}  // namespace

static_assert(sizeof(OSVERSIONINFOW) == 276, "the basic version record");

bool CUtility::IsVersionBelow6() {
    return QueryVersion().dwMajorVersion < 6;
}

bool CUtility::IsWow64() {
    using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
    BOOL wow64 = FALSE;
    const HMODULE kernel = GetModuleHandleW(L"kernel32");
    const auto isWow64Process =
        kernel ? reinterpret_cast<IsWow64ProcessFn>(
                     reinterpret_cast<void*>(GetProcAddress(kernel, "IsWow64Process")))
               : nullptr;
    if (!isWow64Process) return false;
    if (!isWow64Process(GetCurrentProcess(), &wow64)) wow64 = FALSE;
    return wow64 != FALSE;
}

void CUtility::OSInfo() {
    const OSVERSIONINFOW info = QueryVersion();
    CUtility::WriteLog(L"[%s] OS %d.%d(%d) %s x64:%d", L"CUtility::OSInfo",
                       static_cast<int>(info.dwMajorVersion), static_cast<int>(info.dwMinorVersion),
                       static_cast<int>(info.dwBuildNumber), info.szCSDVersion,
                       IsWow64() ? 1 : 0);
}
