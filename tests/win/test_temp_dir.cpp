#include "test_temp_dir.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "util/temp_dir.h"

namespace {

std::wstring GetVariable(const wchar_t* name) {
    wchar_t value[32768];
    const DWORD n = GetEnvironmentVariableW(name, value, 32768);
    return n ? std::wstring(value, n) : std::wstring();
}

}  // namespace

ScopedTempDir::ScopedTempDir() : savedTmp_(GetVariable(L"TMP")), savedTemp_(GetVariable(L"TEMP")) {
    wchar_t base[MAX_PATH + 1];
    GetTempPathW(MAX_PATH, base);
    static unsigned counter = 0;
    wchar_t name[MAX_PATH + 1];
    swprintf(name, MAX_PATH, L"%lswt%lu_%u\\", base, GetCurrentProcessId(), ++counter);
    path_ = name;
    CreateDirectoryW(path_.c_str(), nullptr);
    SetEnvironmentVariableW(L"TMP", path_.c_str());
    SetEnvironmentVariableW(L"TEMP", path_.c_str());
    // The code under test holds the temporary directory it found: let it find this one.
    TempDir::FindAgain();
}

ScopedTempDir::~ScopedTempDir() {
    SetEnvironmentVariableW(L"TMP", savedTmp_.empty() ? nullptr : savedTmp_.c_str());
    SetEnvironmentVariableW(L"TEMP", savedTemp_.empty() ? nullptr : savedTemp_.c_str());
    TempDir::FindAgain();  // and let this one go, so that it can be removed
    wchar_t base[MAX_PATH + 1];
    GetTempPathW(MAX_PATH, base);
    SetCurrentDirectoryW(base);
    RemoveTree(path_);
}

std::string ReadWholeFile(const std::wstring& path) {
    std::string bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got) bytes.append(buffer, got);
    CloseHandle(file);
    return bytes;
}

void WriteWholeFile(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD put = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr);
    CloseHandle(file);
}

void RemoveTree(const std::wstring& path) {
    std::wstring prefix = path;
    if (prefix.empty()) return;
    if (prefix.back() != L'\\') prefix += L'\\';
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW((prefix + L"*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring full = prefix + name;
            SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
            if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                !(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                RemoveTree(full);
            else if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveDirectoryW(full.c_str());
            else
                DeleteFileW(full.c_str());
        } while (FindNextFileW(find, &entry));
        FindClose(find);
    }
    RemoveDirectoryW(path.c_str());
}

std::vector<std::wstring> ReadLogRecords(const std::wstring& path) {
    const std::string bytes = ReadWholeFile(path);
    const std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
    std::vector<std::wstring> records;
    std::size_t start = 0, end;
    while ((end = text.find(L"\r\n", start)) != std::wstring::npos) {
        records.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    EXPECT_EQ(text.size(), start) << "the file ends with a complete record";
    return records;
}

std::wstring LogMessage(const std::wstring& record) {
    const std::size_t gap = record.find(L"  ");
    const std::size_t last = record.rfind(L" (Last=");
    if (gap == std::wstring::npos || last == std::wstring::npos || last < gap + 2) return record;
    return record.substr(gap + 2, last - gap - 2);
}

std::vector<std::wstring> ReadLogMessages(const std::wstring& path) {
    std::vector<std::wstring> messages;
    for (const auto& record : ReadLogRecords(path)) messages.push_back(LogMessage(record));
    return messages;
}
