#include "app/child_environment.h"

#include <windows.h>

namespace {

const wchar_t kNoCurrentDirectory[] = L"NoDefaultCurrentDirectoryInExePath";

}  // namespace

bool PrepareChildEnvironment(const wchar_t* comspec) {
    SetEnvironmentVariableW(kNoCurrentDirectory, nullptr);
    wchar_t probe[2];
    const bool removed = GetEnvironmentVariableW(kNoCurrentDirectory, probe, 2) == 0 &&
                         GetLastError() == ERROR_ENVVAR_NOT_FOUND;
    return removed && SetEnvironmentVariableW(L"COMSPEC", comspec);
}
