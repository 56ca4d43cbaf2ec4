// The diagnostic log: every line to the debugger output and appended to "unpack.log".
#include <cstdarg>

#include "util/file_exception.h"
#include "util/held_dir.h"
#include "util/log_line.h"
#include "util/log_path.h"
#include "util/temp_dir.h"
#include "util/utility.h"

namespace {

// Local time in whole seconds; an empty text when the conversion fails. Uses only calls that
// leave the thread's last error alone on success, since the line reports it afterwards.
WString CurrentTimestamp() {
    FILETIME utc, local;
    SYSTEMTIME t;
    GetSystemTimeAsFileTime(&utc);
    if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &t)) return WString();
    const logline::LocalTime fields = {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
    return logline::FormatTimestamp<wchar_t>(fields);
}

}  // namespace

void CUtility::WriteLog(const wchar_t* format, ...) {
    wchar_t message[logline::kMessageBufferUnits];
    va_list args;
    va_start(args, format);
    logline::FormatMessage(message, format, args);
    va_end(args);

    const WString timestamp = CurrentTimestamp();
    const DWORD lastError = GetLastError();
    const WString line = logline::BuildLine<wchar_t>(GetCurrentProcessId(), timestamp.c_str(),
                                                     message, static_cast<long>(lastError));
    OutputDebugStringW(line.c_str());
    AppendLogFile(line.c_str());
}

void CUtility::AppendLogFile(const wchar_t* line) {
    // Below the temporary directory held for the run, and only to a plain file of the log's
    // name that has no other name, or one made now: never through a link planted there, never
    // into a file with a name elsewhere. Otherwise the line is in the debugger output only.
    // Checked whole once per file it lands in; later lines compare with what that check found.
    const TempDir& temp = TempDir::Current();
    if (!temp.IsHeld()) return;
    bool created = false;
    const HANDLE file = helddir::OpenOwnFile(temp.Handle(), temp.HandlePath(), kLogFileName,
                                             kLogFileNameLength, GENERIC_READ | GENERIC_WRITE, 0,
                                             helddir::OwnFile::OpenOrCreate, &created, nullptr,
                                             &temp.KnownLog());
    if (file == INVALID_HANDLE_VALUE) return;
    // The last error an "open always" leaves, which the next line reports when its caller made
    // no system call in between: "already exists" for a file that was there, none for a new one.
    SetLastError(created ? ERROR_SUCCESS : ERROR_ALREADY_EXISTS);

    WString record(line);
    record.Append(L"\r\n");
    LARGE_INTEGER end = {};
    SetFilePointerEx(file, end, nullptr, FILE_END);
    DWORD written = 0;
    WriteFile(file, record.c_str(), static_cast<DWORD>(record.Length() * sizeof(wchar_t)), &written,
              nullptr);
    CloseHandle(file);
}

WString CUtility::GetLogFilePath() {
    WString path(TempDir::Current().Path());
    if (path.IsEmpty()) path.MarkFailed();  // never a bare relative name
    path.Append(kLogFileName);
    return path;
}

void CUtility::FileException(const CFileException& error) {
    wchar_t description[1025] = {};
    if (error.GetDescription(description, 1024))
        WriteLog(L"[%s] %s", L"CUtility::FileException", description);
}
