// The machine-wide single-instance guard: a named mutex used only as a marker. It is never
// acquired or waited on; its existence while a first instance holds the handle is what a second
// instance detects.
#pragma once

#include <windows.h>

#include "util/basic_string.h"

// The guard's name; "Global\" puts it in the namespace shared by every logged-on user.
constexpr const wchar_t* kSingleInstanceMutexName = L"Global\\{47B9233E-7E50-46F2-B442-6A53F0D0F508}";

// Whether the error left by creating the mutex means another instance holds it: it already
// existed (183), or it exists but this security context may not open it (5). Any other failure
// lets the run go on without a guard.
inline bool IsAlreadyRunningError(DWORD lastError) {
    return lastError == ERROR_ALREADY_EXISTS || lastError == ERROR_ACCESS_DENIED;
}

class SingleInstanceMutex {
public:
    // A null name makes an unnamed mutex, which no other process can see. Creates the mutex.
    explicit SingleInstanceMutex(const wchar_t* name);
    ~SingleInstanceMutex();
    SingleInstanceMutex(const SingleInstanceMutex&) = delete;
    SingleInstanceMutex& operator=(const SingleInstanceMutex&) = delete;

    // Closes any handle held, then creates or opens the mutex and keeps the error that left.
    void Create();
    bool IsAlreadyRunning() const { return IsAlreadyRunningError(m_dwLastError); }
    void Close();

    DWORD LastError() const { return m_dwLastError; }
    HANDLE Handle() const { return m_hMutex; }

private:
    DWORD m_dwLastError = 0;
    HANDLE m_hMutex = nullptr;
    bool m_bUnnamed = false;
    WString m_strName;
};
