// Loads a DLL from the system directory only. The stub runs elevated from wherever a package was
// downloaded, so a DLL that is not a KnownDLL must never be looked up in the executable's own
// directory, the current directory or the PATH.
#pragma once

#include <windows.h>

// The module, or nullptr (last error set). The caller frees it with FreeLibrary.
HMODULE LoadSystemLibrary(const wchar_t* name);
