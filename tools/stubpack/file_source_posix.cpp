#include "file_source.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <random>
#include <vector>

#include "errors.h"
#include "temporary_name.h"

namespace stubpack {

namespace {

// Copies that cannot stay in the kernel go through this buffer. Small enough to stay in the CPU's
// cache next to the pages it moves between: measured on 1 GiB, 128-256 KiB copied as fast as cp,
// 1 MiB took up to three times as long.
constexpr std::size_t kCopyBufferSize = 256 << 10;

std::string SystemReason(int error) { return std::strerror(error); }

std::uint64_t CurrentOffset(int fd) {
    const off_t offset = ::lseek(fd, 0, SEEK_CUR);
    return offset < 0 ? 0 : static_cast<std::uint64_t>(offset);
}

bool SamePlaceInPage(std::uint64_t a, std::uint64_t b) {
    static const std::uint64_t page = static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
    return a % page == b % page;
}

std::uint64_t CopyRange(int sourceFd, std::uint64_t offset, int destinationFd, std::uint64_t n,
                        const std::string& sourceName, const std::string& destinationName,
                        Progress* progress);

void WriteAll(int fd, const void* data, std::size_t n, const std::string& name) {
    const char* p = static_cast<const char*>(data);
    while (n > 0) {
        const ssize_t put = ::write(fd, p, n);
        if (put < 0 && errno == EINTR) continue;
        if (put < 0) throw InputError(name, "write failed: " + SystemReason(errno));
        p += put;
        n -= static_cast<std::size_t>(put);
    }
}

}  // namespace

FileSource::FileSource(const std::string& path) : path_(path) {
    file_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (file_ < 0) throw InputError(path, "cannot open: " + SystemReason(errno));
    struct stat st;
    if (::fstat(file_, &st) != 0) {
        const int error = errno;
        ::close(file_);
        throw InputError(path, "cannot read: " + SystemReason(error));
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(file_);
        throw InputError(path, "not a regular file");
    }
    length_ = static_cast<std::uint64_t>(st.st_size);
}

FileSource::~FileSource() {
    if (file_ >= 0) ::close(file_);
}

std::size_t FileSource::ReadAt(std::uint64_t offset, void* buffer, std::size_t n) {
    if (offset >= length_) return 0;
    std::size_t done = 0;
    while (done < n) {
        const ssize_t got = ::pread(file_, static_cast<char*>(buffer) + done, n - done,
                                    static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) throw InputError(path_, "read failed: " + SystemReason(errno));
        if (got == 0) break;
        done += static_cast<std::size_t>(got);
    }
    return done;
}

OutputDirectory::OutputDirectory(const std::string& path, bool create) : path_(path) {
    if (create && ::mkdir(path.c_str(), 0755) != 0 && errno != EEXIST)
        throw InputError(path, "cannot create the directory: " + SystemReason(errno));
    dir_ = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir_ < 0) throw InputError(path, "cannot open the directory: " + SystemReason(errno));
}

OutputDirectory::~OutputDirectory() {
    if (dir_ >= 0) ::close(dir_);
}

std::string OutputDirectory::Entry(const std::string& name) const { return path_ + "/" + name; }

AtomicOutputFile::AtomicOutputFile(const OutputDirectory& dir, const std::string& name)
    : dir_(dir), name_(name), shown_(dir.Entry(name)), file_(-1) {
    std::random_device random;
    for (int attempt = 0; attempt < 100 && file_ < 0; ++attempt) {
        temporary_ = TemporaryName(random);
        file_ = ::openat(dir.dir_, temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                         0600);
        if (file_ < 0 && errno != EEXIST)
            throw InputError(shown_, "cannot create a file in its directory: " + SystemReason(errno));
    }
    if (file_ < 0) throw InputError(shown_, "cannot create a temporary file in its directory");
}

AtomicOutputFile::~AtomicOutputFile() {
    if (file_ >= 0) ::close(file_);
    if (!committed_) ::unlinkat(dir_.dir_, temporary_.c_str(), 0);
}

void AtomicOutputFile::Write(const void* data, std::size_t n) {
    WriteAll(file_, data, n, shown_);
    position_ += n;
}

std::uint64_t AtomicOutputFile::CopyFrom(const FileSource& source, std::uint64_t offset, std::uint64_t n,
                                         Progress* progress) {
    const std::uint64_t copied = CopyRange(source.Native(), offset, file_, n, source.Path(), shown_, progress);
    position_ += copied;
    return copied;
}

void AtomicOutputFile::Commit(unsigned mode) {
    const bool finished = ::fchmod(file_, mode) == 0 && ::fsync(file_) == 0;
    const int error = errno;
    const bool closed = ::close(file_) == 0;
    file_ = -1;
    if (!finished || !closed)
        throw InputError(shown_, "cannot finish the file: " + SystemReason(finished ? errno : error));
    if (::renameat(dir_.dir_, temporary_.c_str(), dir_.dir_, name_.c_str()) != 0)
        throw InputError(shown_, "cannot write: " + SystemReason(errno));
    committed_ = true;
}

namespace {

// Copies n bytes of sourceFd from offset to the current position of destinationFd, streamed.
// Returns how many were copied: fewer than n only when the source ends early. Throws InputError
// (naming the source or the destination) when reading or writing fails.
std::uint64_t CopyRange(int sourceFd, std::uint64_t offset, int destinationFd, std::uint64_t n,
                        const std::string& sourceName, const std::string& destinationName,
                        Progress* progress) {
    // In-kernel copy where the file systems allow it, like cp; plain reads and writes otherwise.
    // Smaller steps while progress is shown, so that it moves.
    const std::uint64_t step = progress && progress->Active() ? (8u << 20) : (1u << 30);
    // The kernel copies whole pages only when both offsets sit at the same place in a page; a
    // file's data follows its 284-byte record header, so it usually does not, and the in-kernel
    // copy then splits every page: on one of our machines it took 1.5 times as long as cp, a
    // buffer of kCopyBufferSize as long as cp.
    bool kernelCopy = SamePlaceInPage(offset, CurrentOffset(destinationFd));
    std::vector<char> buffer;
    std::uint64_t copied = 0;
    while (copied < n) {
        const std::uint64_t left = n - copied;
        const std::size_t chunk = static_cast<std::size_t>(left < step ? left : step);
        ssize_t moved = -1;
        if (kernelCopy) {
            off_t from = static_cast<off_t>(offset + copied);
            moved = ::copy_file_range(sourceFd, &from, destinationFd, nullptr, chunk, 0);
            if (moved < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL ||
                              errno == EOPNOTSUPP || errno == EBADF)) {
                kernelCopy = false;
                continue;
            }
            if (moved < 0 && errno == EINTR) continue;
            if (moved < 0) throw InputError(sourceName, "copy failed: " + SystemReason(errno));
        } else {
            if (buffer.empty()) buffer.resize(kCopyBufferSize);
            const std::size_t want = chunk < buffer.size() ? chunk : buffer.size();
            moved = ::pread(sourceFd, buffer.data(), want, static_cast<off_t>(offset + copied));
            if (moved < 0 && errno == EINTR) continue;
            if (moved < 0) throw InputError(sourceName, "read failed: " + SystemReason(errno));
            WriteAll(destinationFd, buffer.data(), static_cast<std::size_t>(moved), destinationName);
        }
        if (moved == 0) break;
        copied += static_cast<std::uint64_t>(moved);
        if (progress) progress->Advance(static_cast<std::uint64_t>(moved));
    }
    return copied;
}

}  // namespace

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa, sb;
    if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

}  // namespace stubpack
