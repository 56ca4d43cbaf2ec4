// CUtility: static operations shared across the stub: the diagnostic log, the path operations
// of the working directory, and the platform queries.
#pragma once

#include <windows.h>

#include "util/basic_string.h"

class CFileException;

class CUtility {
public:
    // Diagnostic log: one line per call, "[pid]timestamp  message (Last=error)", to the debugger
    // output and appended to "unpack.log" in the temporary directory. Never fails visibly.
    // The format follows the Windows wide-printf convention ("%s" is a wide string).
    static void WriteLog(const wchar_t* format, ...);
    static void AppendLogFile(const wchar_t* line);
    static WString GetLogFilePath();
    // Logs the description of a failed file open; nothing when it has none.
    static void FileException(const CFileException& error);

    // Path operations.
    static WString GetModulePath();
    static bool PathExists(const wchar_t* path);
    static void StripPathComponents(WString& path, int count);

    // Platform queries.
    static bool IsVersionBelow6();
    static bool IsWow64();
    static void OSInfo();
};
