// hold_mutex [--deny] NAME: creates the named mutex and holds its handle until its standard input
// reaches its end, as a running first instance would. With --deny the mutex gets an empty access
// list, so that every later open fails with access denied. Prints "held" once the mutex exists,
// or "failed ERROR" and exits 1.
#include <windows.h>

#include <string>

#include "tool_output.h"

int wmain(int argc, wchar_t** argv) {
    const bool deny = argc == 3 && std::wstring(argv[1]) == L"--deny";
    if (argc != (deny ? 3 : 2)) {
        PrintLine(L"usage: hold_mutex [--deny] NAME");
        return 2;
    }
    SECURITY_DESCRIPTOR descriptor;
    ACL emptyAcl;
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, &descriptor, FALSE};
    if (deny) {
        InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
        InitializeAcl(&emptyAcl, sizeof emptyAcl, ACL_REVISION);
        SetSecurityDescriptorDacl(&descriptor, TRUE, &emptyAcl, FALSE);
    }
    const HANDLE mutex = CreateMutexW(deny ? &attributes : nullptr, FALSE, argv[argc - 1]);
    const DWORD error = GetLastError();
    if (!mutex || error == ERROR_ALREADY_EXISTS) {
        PrintLine(L"failed " + std::to_wstring(error));
        if (mutex) CloseHandle(mutex);
        return 1;
    }
    PrintLine(L"held");

    char buffer[256];
    DWORD got = 0;
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    while (ReadFile(input, buffer, sizeof buffer, &got, nullptr) && got > 0) {
    }
    CloseHandle(mutex);
    return 0;
}
