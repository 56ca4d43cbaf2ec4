// The ids of running processes with a given executable name.
#pragma once

#include <windows.h>

#include <cstddef>

// A growable list of process ids that never throws (the stub has no exception support).
class ProcessIdList {
public:
    ProcessIdList() = default;
    ~ProcessIdList();
    ProcessIdList(const ProcessIdList&) = delete;
    ProcessIdList& operator=(const ProcessIdList&) = delete;

    bool Add(DWORD id);  // false when memory runs out; the list is then unchanged
    void Clear() { m_count = 0; }
    std::size_t Count() const { return m_count; }
    DWORD operator[](std::size_t i) const { return m_ids[i]; }

private:
    DWORD* m_ids = nullptr;
    std::size_t m_count = 0;
    std::size_t m_capacity = 0;
};

// Session value that matches processes of every session.
constexpr DWORD kAnySession = static_cast<DWORD>(-1);

// Clears ids, then adds, in snapshot order, every process whose executable file name equals name
// (A to Z compared without case) and that runs in session (kAnySession: any). True also when
// nothing matched; false when the snapshot cannot be taken or memory runs out.
bool FindProcessesByName(const wchar_t* name, ProcessIdList* ids, DWORD session);
