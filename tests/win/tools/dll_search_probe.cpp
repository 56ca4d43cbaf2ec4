// dll_search_probe: loads planted_probe.dll (which lies only in this program's directory) and a
// library of the system directory by bare name, before and after RestrictDllSearchPath, and
// prints one line per attempt: "before planted: loaded|error N" and so on.
#include <windows.h>

#include <string>

#include "app/dll_search_path.h"
#include "tool_output.h"

namespace {

void TryLoad(const wchar_t* when, const wchar_t* what, const wchar_t* name) {
    const HMODULE module = LoadLibraryW(name);
    const DWORD error = GetLastError();
    PrintLine(std::wstring(when) + L" " + what + L": " +
              (module ? L"loaded" : L"error " + std::to_wstring(error)));
    if (module) FreeLibrary(module);
}

}  // namespace

int wmain() {
    TryLoad(L"before", L"planted", L"planted_probe.dll");
    RestrictDllSearchPath();
    TryLoad(L"after", L"planted", L"planted_probe.dll");
    TryLoad(L"after", L"system", L"version.dll");
    return 0;
}
