// Path operations of the working directory.
#include "util/utility.h"

WString CUtility::GetModulePath() {
    wchar_t path[MAX_PATH + 1] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    // A path cut to the buffer is not the executable's path: treat it like a failed call.
    if (length == 0 || length >= MAX_PATH) return WString();
    return WString(path, length);
}

bool CUtility::PathExists(const wchar_t* path) {
    return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

void CUtility::StripPathComponents(WString& path, int count) {
    for (int i = 0; i < count; ++i) {
        const std::size_t slash = path.FindLast(L'\\');
        if (slash == WString::npos) return;
        path.Truncate(slash);
    }
}
