// How many handles this process holds, read from the system's handle table.
// GetProcessHandleCount cannot be used: under Wine it reports 0 whatever the process holds.
#pragma once

#include <windows.h>

#include <vector>

namespace test {

// -1 when the table cannot be read.
inline long OwnHandleCount() {
    struct Entry {
        void* object;
        ULONG_PTR processId;
        ULONG_PTR handle;
        ULONG access;
        USHORT creatorBackTrace;
        USHORT objectType;
        ULONG attributes;
        ULONG reserved;
    };
    struct Table {
        ULONG_PTR count;
        ULONG_PTR reserved;
        Entry entries[1];
    };
    using Query = LONG(NTAPI*)(ULONG, void*, ULONG, ULONG*);
    const auto query = reinterpret_cast<Query>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    if (!query) return -1;
    const ULONG kSystemExtendedHandleInformation = 64;
    const LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);
    std::vector<unsigned char> buffer(1 << 16);
    for (;;) {
        ULONG needed = 0;
        const LONG status = query(kSystemExtendedHandleInformation, buffer.data(),
                                  static_cast<ULONG>(buffer.size()), &needed);
        if (status == kInfoLengthMismatch) {
            buffer.resize(buffer.size() * 2 > needed ? buffer.size() * 2 : needed + 4096);
            continue;
        }
        if (status != 0) return -1;
        break;
    }
    const auto* table = reinterpret_cast<const Table*>(buffer.data());
    long own = 0;
    for (ULONG_PTR i = 0; i < table->count; ++i)
        if (table->entries[i].processId == GetCurrentProcessId()) ++own;
    return own;
}

}  // namespace test
