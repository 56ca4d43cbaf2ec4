#include "registry/process_list.h"

#include <tlhelp32.h>

#include <cstdlib>

#include "util/ascii_case.h"

ProcessIdList::~ProcessIdList() { std::free(m_ids); }

bool ProcessIdList::Add(DWORD id) {
    if (m_count == m_capacity) {
        const std::size_t capacity = m_capacity ? m_capacity * 2 : 8;
        auto* grown = static_cast<DWORD*>(std::realloc(m_ids, capacity * sizeof(DWORD)));
        if (!grown) return false;
        m_ids = grown;
        m_capacity = capacity;
    }
    m_ids[m_count++] = id;
    return true;
}

bool FindProcessesByName(const wchar_t* name, ProcessIdList* ids, DWORD session) {
    ids->Clear();
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return false;

    PROCESSENTRY32W entry;
    entry.dwSize = sizeof entry;
    static_assert(sizeof(void*) != 4 || sizeof entry == 556, "PROCESSENTRY32W of a 32-bit process");
    bool complete = true;
    for (BOOL more = Process32FirstW(snapshot, &entry); more && complete;
         more = Process32NextW(snapshot, &entry)) {
        if (!ascii::EqualsIgnoringCase(entry.szExeFile, name)) continue;
        DWORD processSession = 0;
        if (session == kAnySession ||
            (ProcessIdToSessionId(entry.th32ProcessID, &processSession) &&
             processSession == session))
            complete = ids->Add(entry.th32ProcessID);
    }
    CloseHandle(snapshot);
    return complete;
}
