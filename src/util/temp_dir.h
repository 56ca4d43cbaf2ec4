// The user's temporary directory, found once and held open for the rest of the run. The log, the
// batch output and the working directory live there, and each is opened below this one handle:
// nothing renamed or put in its place later (by a process of the user, who owns it) can send
// them anywhere else. Held without delete sharing, it cannot be renamed while the stub runs.
#pragma once

#include <windows.h>

#include "util/basic_string.h"
#include "util/known_file.h"

class TempDir {
public:
    // The process's temporary directory, found on first use.
    static const TempDir& Current();
    // Finds it anew and lets the one held before go: for tests, which point TMP and TEMP
    // elsewhere.
    static void FindAgain();

    TempDir() = default;
    ~TempDir() { Release(); }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    bool IsHeld() const { return m_handle != INVALID_HANDLE_VALUE; }
    HANDLE Handle() const { return m_handle; }
    // As the system reports it, with a trailing backslash (the Windows directory's Temp when
    // there is no usable one); empty when neither can be found. Never a relative path. Only a
    // name for the log and the free-space query: what is opened or given to a command is reached
    // through the handle (HandlePath, PathNow).
    const WString& Path() const { return m_path; }
    // Its path as the file system names it through the handle (no drive): what an entry opened
    // below it must be at.
    const WString& HandlePath() const { return m_handlePath; }
    // Its path as the system names it through the handle now, with a trailing backslash: what a
    // command is given to reach a file here. A failed string when it is not held.
    WString PathNow() const;
    // What the last whole check of the log below this handle found (the log's lines compare
    // with it); forgotten with the handle.
    leftover::KnownFile& KnownLog() const { return m_knownLog; }

private:
    void Find();
    void Release();

    HANDLE m_handle = INVALID_HANDLE_VALUE;
    WString m_path;
    WString m_handlePath;
    mutable leftover::KnownFile m_knownLog;
};
