// CUnPack: finds the package inside the running executable and copies its files into the
// working directory ("unpack\" in the temporary directory) on the extraction thread.
#pragma once

#include <windows.h>

#include <cstdint>

#include "util/basic_string.h"

class CUnPack {
public:
    CUnPack() = default;
    // Reads the package of another file instead of the running executable (tests, benchmarks).
    explicit CUnPack(const wchar_t* packagePath) : m_strPackagePath(packagePath) {}
    // Leaves the working directory on disk (only RemoveWorkDir deletes it), but lets it go.
    ~CUnPack() { ReleaseWorkDir(); }
    CUnPack(const CUnPack&) = delete;
    CUnPack& operator=(const CUnPack&) = delete;

    // Starts the extraction thread and waits for it without a time-out; always 0.
    int RunUnPack();
    void StartUnPackThread();
    static DWORD WINAPI UnPackThreadProc(LPVOID parameter);

    // File offset of the first record header; 0 when there is no package to walk.
    std::uint64_t FindHeader();
    // 1 when the record walk ran to its end; 0 when there is no package, the file cannot be
    // opened or a file does not fit on the disk.
    int UnPackFiles();

    // The working directory path (with a trailing backslash); the first call creates the
    // directory, deleting a leftover one first. Empty when no temporary directory can be found.
    WString GetWorkDir();
    // Deletes the working directory with everything in it.
    void RemoveWorkDir();

    bool Finished() const { return m_bFinished != FALSE; }

    // Whether the working directory is held against being renamed or replaced.
    bool HoldsWorkDir() const { return m_hWorkDir != INVALID_HANDLE_VALUE; }

private:
    WString PackagePath() const;
    void ReleaseWorkDir();

    HANDLE m_hThread = nullptr;
    WString m_strWorkDir;
    BOOL m_bFinished = FALSE;
    WString m_strPackagePath;  // empty: the running executable
    HANDLE m_hWorkDir = INVALID_HANDLE_VALUE;  // held from creation until the removal
};

// The directory that holds the working directory: the temporary directory with its trailing
// backslash, or the Windows directory's Temp when there is none that fits; empty when neither
// can be found. Never a relative path.
WString WorkDirParent();
