// CFileException: what a failed file open leaves behind (cause, system error code, file name),
// and the text that describes it.
#pragma once

#include <windows.h>

#include "util/basic_string.h"
#include "util/file_error.h"

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
