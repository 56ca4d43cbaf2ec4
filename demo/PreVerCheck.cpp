// Pre-installation check run by run.bat before msiexec: prints the Windows version and fails
// on systems older than the product supports, so the batch can stop before installing.
#include <windows.h>

#include <cstdio>

namespace {

// Oldest Windows the demo product supports: Windows 7 (6.1).
constexpr DWORD kMinMajor = 6;
constexpr DWORD kMinMinor = 1;

bool IsSupported(DWORD major, DWORD minor) {
    return major > kMinMajor || (major == kMinMajor && minor >= kMinMinor);
}

// RtlGetVersion reports the real version; GetVersionExW would report what the manifest allows.
bool QueryVersion(RTL_OSVERSIONINFOW& info) {
    using RtlGetVersionFn = LONG(WINAPI*)(RTL_OSVERSIONINFOW*);
    info = {};
    info.dwOSVersionInfoSize = sizeof info;
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    const auto rtlGetVersion =
        ntdll ? reinterpret_cast<RtlGetVersionFn>(
                    reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")))
              : nullptr;
    if (rtlGetVersion && rtlGetVersion(&info) == 0) return true;
    return GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info)) != FALSE;
}

}  // namespace

int main() {
    RTL_OSVERSIONINFOW info;
    if (!QueryVersion(info)) {
        std::printf("PreVerCheck: cannot read the Windows version (error %lu)\n", GetLastError());
        return 2;
    }
    std::printf("PreVerCheck: Windows version %lu.%lu.%lu\n", info.dwMajorVersion,
                info.dwMinorVersion, info.dwBuildNumber);
    if (!IsSupported(info.dwMajorVersion, info.dwMinorVersion)) {
        std::printf("PreVerCheck: Windows %lu.%lu or later is required\n", kMinMajor, kMinMinor);
        return 1;
    }
    return 0;
}
