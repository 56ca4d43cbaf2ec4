// CFileException: what a failed file open leaves behind (cause, system error code, file name),
// and the text that describes it.
#pragma once

#include <windows.h>

#include <cstdint>

#include "util/basic_string.h"

// File error causes 0-14; the description of cause c is string 61856 + c.
enum FileErrorCause : int {
    kCauseNone = 0,
    kCauseGeneric = 1,
    kCauseFileNotFound = 2,
    kCauseBadPath = 3,
    kCauseTooManyOpenFiles = 4,
    kCauseAccessDenied = 5,
    kCauseInvalidFile = 6,
    kCauseRemoveCurrentDir = 7,
    kCauseDirectoryFull = 8,
    kCauseBadSeek = 9,
    kCauseHardIO = 10,
    kCauseSharingViolation = 11,
    kCauseLockViolation = 12,
    kCauseDiskFull = 13,
    kCauseEndOfFile = 14,
};

constexpr unsigned kFileErrorStringBase = 61856;
constexpr unsigned kUnnamedFileString = 61446;

// Maps a system error code to its cause; every code not listed is the generic cause.
int FileErrorCauseFromSystemError(std::uint32_t systemError);

// Replaces every "%1" in text by name.
template <class Ch>
BasicStr<Ch> SubstituteFileName(const Ch* text, const Ch* name) {
    BasicStr<Ch> out;
    for (const Ch* p = text; *p; ++p) {
        if (p[0] == Ch('%') && p[1] == Ch('1')) {
            out.Append(name);
            ++p;
        } else {
            out.AppendUnit(*p);
        }
    }
    return out;
}

class CFileException {
public:
    CFileException() = default;

    // Records a failed open of fileName that left systemError.
    void SetFromSystemError(DWORD systemError, const wchar_t* fileName);
    // Records an open refused before any system call (a name that does not fit a path buffer).
    void SetBadPath(const wchar_t* fileName);

    // Writes the description, cut to capacity - 1 units and NUL-terminated. Zero when buffer is
    // missing or capacity is 0.
    BOOL GetDescription(wchar_t* buffer, UINT capacity) const;

    int m_cause = kCauseNone;
    LONG m_lOsError = -1;
    WString m_strFileName;
};

// Opens a file with CreateFileW as the stub's file opens do; on failure fills error and returns
// INVALID_HANDLE_VALUE. A name of MAX_PATH units or more is refused as a bad path.
HANDLE OpenFileRecordingError(const wchar_t* fileName, DWORD access, DWORD share, DWORD disposition,
                              CFileException* error);
