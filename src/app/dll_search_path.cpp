#include "app/dll_search_path.h"

#include <windows.h>

namespace {

using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);

}  // namespace

void RestrictDllSearchPath() {
    // Looked up at run time: systems without the loader update (Windows Vista, 7 before
    // KB2533623) lack the call, and a static import would stop the stub from starting there.
    // kernel32 is always loaded, so its module handle needs no closing.
    const HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
    if (kernel32) {
        const auto setDefaultDllDirectories = reinterpret_cast<SetDefaultDllDirectoriesFn>(
            reinterpret_cast<void (*)()>(GetProcAddress(kernel32, "SetDefaultDllDirectories")));
        if (setDefaultDllDirectories) setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    }
    // Also where the call above is missing: takes the current directory out of the search.
    SetDllDirectoryW(L"");
}
