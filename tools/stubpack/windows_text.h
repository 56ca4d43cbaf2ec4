// stubpack on Windows: its strings are UTF-8, the system's are UTF-16. Paths are made absolute
// and given the extended-length prefix, so drive letters, backslashes or slashes, UNC names and
// paths longer than 260 characters all work.
#pragma once

#ifdef _WIN32

#include <windows.h>

#include <string>

namespace stubpack {

inline std::wstring Widen(const std::string& utf8) {
    if (utf8.empty()) return std::wstring();
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &out[0], n);
    return out;
}

inline std::string Narrow(const wchar_t* utf16, std::size_t length) {
    if (length == 0) return std::string();
    const int n = WideCharToMultiByte(CP_UTF8, 0, utf16, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, utf16, static_cast<int>(length), &out[0], n, nullptr, nullptr);
    return out;
}

inline std::string Narrow(const std::wstring& utf16) { return Narrow(utf16.data(), utf16.size()); }

// The path for the system's file calls: absolute, with "\\?\" (or "\\?\UNC\" for \\server\share)
// in front, so that no length limit and no further name handling applies.
inline std::wstring SystemPath(const std::string& utf8) {
    const std::wstring path = Widen(utf8);
    if (path.rfind(L"\\\\?\\", 0) == 0) return path;
    const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return path;
    std::wstring full(needed, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), needed, &full[0], nullptr);
    full.resize(length);
    if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

// The system's text for an error code, in English where the system has it.
inline std::string SystemReason(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND: return "No such file or directory";
        case ERROR_ACCESS_DENIED: return "Permission denied";
        case ERROR_SHARING_VIOLATION: return "the file is in use";
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL: return "No space left on device";
        case ERROR_DIRECTORY: return "Not a directory";
        default: return "system error " + std::to_string(error);
    }
}

}  // namespace stubpack

#endif  // _WIN32
