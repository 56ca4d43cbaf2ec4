#include "app/single_instance_mutex.h"

SingleInstanceMutex::SingleInstanceMutex(const wchar_t* name) : m_bUnnamed(name == nullptr) {
    if (name) m_strName = name;
    Create();
}

SingleInstanceMutex::~SingleInstanceMutex() { Close(); }

void SingleInstanceMutex::Create() {
    Close();
    // A stale 183 or 5 from an earlier call must not pass for this creation's result, in case a
    // successful creation left the thread's error untouched.
    SetLastError(ERROR_SUCCESS);
    // No security attributes: the handle is not inheritable, so a payload that outlives this
    // process does not keep the marker alive.
    m_hMutex = CreateMutexW(nullptr, FALSE, m_bUnnamed ? nullptr : m_strName.c_str());
    m_dwLastError = GetLastError();
}

void SingleInstanceMutex::Close() {
    if (m_hMutex) {
        CloseHandle(m_hMutex);
        m_hMutex = nullptr;
    }
}
