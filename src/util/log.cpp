// The diagnostic log: every line to the debugger output and appended to "unpack.log".
#include <cstdarg>

#include "util/file_exception.h"
#include "util/log_line.h"
#include "util/log_path.h"
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
    const WString path = GetLogFilePath();
    // The temporary directory belongs to the (non-elevated) user: never append through a link
    // planted at the log's name. Such a file is skipped; the debugger output still has the line.
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                                    nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    // The attributes alone: the whole-file query costs several times the rest of the line under
    // Wine, where it also asks the volume for its serial number.
    FILE_ATTRIBUTE_TAG_INFO tag = {};
    if (!GetFileInformationByHandleEx(file, FileAttributeTagInfo, &tag, sizeof tag) ||
        (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        CloseHandle(file);
        return;
    }

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
    wchar_t temp[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathW(MAX_PATH, temp);
    if (TempPathUsable(length, MAX_PATH)) {
        WString path(temp);
        path.Append(L"unpack.log");
        return path;
    }
    // No temporary directory, or one too long for the buffer (the query then writes nothing and
    // reports the length it needs): use the Windows directory's Temp rather than a bare relative
    // "unpack.log" in whatever the current directory is.
    wchar_t windows[MAX_PATH + 1] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    WString path(windows);
    path.Append(L"\\Temp\\unpack.log");
    return path;
}

void CUtility::FileException(const CFileException& error) {
    wchar_t description[1025] = {};
    if (error.GetDescription(description, 1024))
        WriteLog(L"[%s] %s", L"CUtility::FileException", description);
}
