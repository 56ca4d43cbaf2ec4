// A fresh directory used as the process's temporary directory (TMP and TEMP) for one test, so
// that the log and the working directory of the code under test land there.
#pragma once

#include <windows.h>

#include <string>

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
