// A fresh directory used as the process's temporary directory (TMP and TEMP) for one test, so
// that the log and the working directory of the code under test land there.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

class ScopedTempDir {
public:
    ScopedTempDir();
    ~ScopedTempDir();
    ScopedTempDir(const ScopedTempDir&) = delete;
    ScopedTempDir& operator=(const ScopedTempDir&) = delete;

    // With a trailing backslash, as GetTempPathW reports it.
    const std::wstring& Path() const { return path_; }
    std::wstring operator/(const std::wstring& name) const { return path_ + name; }

private:
    std::wstring path_;
    std::wstring savedTmp_, savedTemp_;
};

std::string ReadWholeFile(const std::wstring& path);
void WriteWholeFile(const std::wstring& path, const std::string& bytes);
// Removes a directory tree (test clean-up only; never follows links).
void RemoveTree(const std::wstring& path);

// The records of a log file, each without its CR LF (checks that the file ends with one).
std::vector<std::wstring> ReadLogRecords(const std::wstring& path);
// The message part of a record: after "[pid]timestamp  " and before " (Last=n)".
std::wstring LogMessage(const std::wstring& record);
// The messages of all records of a log file.
std::vector<std::wstring> ReadLogMessages(const std::wstring& path);
