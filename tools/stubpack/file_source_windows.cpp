// The files of stubpack.exe: the same classes as file_source_posix.cpp, over Win32 handles.
#include <windows.h>

#include <random>
#include <vector>

#include "errors.h"
#include "file_source.h"
#include "temporary_name.h"
#include "windows_text.h"

namespace stubpack {

namespace {

// As on Linux: small enough to stay in the CPU's cache next to what it moves between.
constexpr DWORD kCopyBufferSize = 256 << 10;

std::size_t ReadAtOffset(HANDLE file, std::uint64_t offset, void* buffer, std::size_t n,
                         const std::string& name) {
    std::size_t done = 0;
    while (done < n) {
        OVERLAPPED at = {};
        const std::uint64_t position = offset + done;
        at.Offset = static_cast<DWORD>(position);
        at.OffsetHigh = static_cast<DWORD>(position >> 32);
        const DWORD want = n - done > kCopyBufferSize ? kCopyBufferSize : static_cast<DWORD>(n - done);
        DWORD got = 0;
        if (!ReadFile(file, static_cast<char*>(buffer) + done, want, &got, &at)) {
            if (GetLastError() == ERROR_HANDLE_EOF) break;
            throw InputError(name, "read failed: " + SystemReason(GetLastError()));
        }
        if (got == 0) break;
        done += got;
    }
    return done;
}

void WriteAll(HANDLE file, const void* data, std::size_t n, const std::string& name) {
    const char* p = static_cast<const char*>(data);
    while (n > 0) {
        const DWORD want = n > kCopyBufferSize ? kCopyBufferSize : static_cast<DWORD>(n);
        DWORD put = 0;
        if (!WriteFile(file, p, want, &put, nullptr) || put == 0)
            throw InputError(name, "write failed: " + SystemReason(GetLastError()));
        p += put;
        n -= put;
    }
}

bool Identity(const std::string& path, BY_HANDLE_FILE_INFORMATION* info) {
    const HANDLE file = CreateFileW(SystemPath(path).c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const bool known = GetFileInformationByHandle(file, info) != FALSE;
    CloseHandle(file);
    return known;
}

}  // namespace

FileSource::FileSource(const std::string& path) : path_(path) {
    file_ = CreateFileW(SystemPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file_ == INVALID_HANDLE_VALUE) throw InputError(path, "cannot open: " + SystemReason(GetLastError()));
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!GetFileInformationByHandle(file_, &info)) {
        const DWORD error = GetLastError();
        CloseHandle(file_);
        throw InputError(path, "cannot read: " + SystemReason(error));
    }
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        CloseHandle(file_);
        throw InputError(path, "not a regular file");
    }
    length_ = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
}

FileSource::~FileSource() { CloseHandle(file_); }

std::size_t FileSource::ReadAt(std::uint64_t offset, void* buffer, std::size_t n) {
    if (offset >= length_) return 0;
    return ReadAtOffset(file_, offset, buffer, n, path_);
}

OutputDirectory::OutputDirectory(const std::string& path, bool create) : path_(path) {
    const std::wstring system = SystemPath(path);
    if (create && !CreateDirectoryW(system.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        throw InputError(path, "cannot create the directory: " + SystemReason(GetLastError()));
    // Held without delete sharing while stubpack writes into it: it cannot be renamed away.
    dir_ = CreateFileW(system.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (dir_ == INVALID_HANDLE_VALUE)
        throw InputError(path, "cannot open the directory: " + SystemReason(GetLastError()));
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!GetFileInformationByHandle(dir_, &info) || !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        CloseHandle(dir_);
        throw InputError(path, "cannot open the directory: " + SystemReason(ERROR_DIRECTORY));
    }
}

OutputDirectory::~OutputDirectory() { CloseHandle(dir_); }

std::string OutputDirectory::Entry(const std::string& name) const {
    const bool separated = !path_.empty() && (path_.back() == '\\' || path_.back() == '/');
    return path_ + (separated ? "" : "\\") + name;
}

AtomicOutputFile::AtomicOutputFile(const OutputDirectory& dir, const std::string& name)
    : dir_(dir), name_(name), shown_(dir.Entry(name)), file_(INVALID_HANDLE_VALUE) {
    std::random_device random;
    for (int attempt = 0; attempt < 100 && file_ == INVALID_HANDLE_VALUE; ++attempt) {
        temporary_ = TemporaryName(random);
        file_ = CreateFileW(SystemPath(dir.Entry(temporary_)).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file_ == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS)
            throw InputError(shown_, "cannot create a file in its directory: " + SystemReason(GetLastError()));
    }
    if (file_ == INVALID_HANDLE_VALUE) throw InputError(shown_, "cannot create a temporary file in its directory");
}

AtomicOutputFile::~AtomicOutputFile() {
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
    if (!committed_) DeleteFileW(SystemPath(dir_.Entry(temporary_)).c_str());
}

void AtomicOutputFile::Write(const void* data, std::size_t n) {
    WriteAll(file_, data, n, shown_);
    position_ += n;
}

std::uint64_t AtomicOutputFile::CopyFrom(const FileSource& source, std::uint64_t offset, std::uint64_t n,
                                         Progress* progress) {
    std::vector<char> buffer(kCopyBufferSize);
    std::uint64_t copied = 0;
    while (copied < n) {
        const std::uint64_t left = n - copied;
        const std::size_t want = left < buffer.size() ? static_cast<std::size_t>(left) : buffer.size();
        const std::size_t got = ReadAtOffset(source.Native(), offset + copied, buffer.data(), want, source.Path());
        if (got == 0) break;
        Write(buffer.data(), got);
        copied += got;
        if (progress) progress->Advance(got);
    }
    return copied;
}

// The mode has no meaning on Windows: a file's permissions come from its directory.
void AtomicOutputFile::Commit(unsigned) {
    const bool flushed = FlushFileBuffers(file_) != FALSE;
    const DWORD error = GetLastError();
    const bool closed = CloseHandle(file_) != FALSE;
    file_ = INVALID_HANDLE_VALUE;
    if (!flushed || !closed)
        throw InputError(shown_, "cannot finish the file: " + SystemReason(flushed ? GetLastError() : error));
    // A link at the name is replaced itself, never followed.
    if (!MoveFileExW(SystemPath(dir_.Entry(temporary_)).c_str(), SystemPath(shown_).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        throw InputError(shown_, "cannot write: " + SystemReason(GetLastError()));
    committed_ = true;
}

bool SameFile(const std::string& a, const std::string& b) {
    BY_HANDLE_FILE_INFORMATION x = {}, y = {};
    return Identity(a, &x) && Identity(b, &y) && x.dwVolumeSerialNumber == y.dwVolumeSerialNumber &&
           x.nFileIndexHigh == y.nFileIndexHigh && x.nFileIndexLow == y.nFileIndexLow;
}

}  // namespace stubpack
