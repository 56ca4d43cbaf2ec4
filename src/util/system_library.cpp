#include "util/system_library.h"

#include "util/basic_string.h"

HMODULE LoadSystemLibrary(const wchar_t* name) {
    HMODULE module = LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module || GetLastError() != ERROR_INVALID_PARAMETER) return module;

    // Windows without the search-flags update (XP, Vista, early Windows 7) rejects the flag:
    // load by full path instead; the altered search order then resolves the DLL's own imports
    // from the system directory too.
    wchar_t path[MAX_PATH];
    const UINT directoryLength = GetSystemDirectoryW(path, MAX_PATH);
    const std::size_t nameLength = BasicStr<wchar_t>::UnitLength(name);
    if (directoryLength == 0 || directoryLength + 1 + nameLength >= MAX_PATH) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return nullptr;
    }
    path[directoryLength] = L'\\';
    for (std::size_t i = 0; i <= nameLength; ++i) path[directoryLength + 1 + i] = name[i];
    return LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}
