// The package walk's byte source over a file handle of the stub: each read names its offset, so
// one system call reads a block wherever it lies, and the walk decides all positions.
#pragma once

#include <windows.h>

#include "package/package_walk.h"

class HandleSource final : public package::ByteSource {
public:
    explicit HandleSource(HANDLE file) : m_file(file) {
        LARGE_INTEGER length = {};
        if (GetFileSizeEx(file, &length)) m_length = static_cast<std::uint64_t>(length.QuadPart);
    }

    std::uint64_t Length() const override { return m_length; }

    std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t n) override {
        OVERLAPPED at = {};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD got = 0;
        m_lastError = ERROR_SUCCESS;
        if (ReadFile(m_file, buffer, static_cast<DWORD>(n), &got, &at)) return got;
        // A read at or past the end of the file is no failure: there is nothing more.
        const DWORD error = GetLastError();
        if (error != ERROR_HANDLE_EOF) m_lastError = error;
        return 0;
    }

    // The system error of the last read when it failed outright; ERROR_SUCCESS otherwise.
    DWORD LastError() const { return m_lastError; }

private:
    HANDLE m_file;
    std::uint64_t m_length = 0;
    DWORD m_lastError = ERROR_SUCCESS;
};
