// Files for stubpack: a read-only byte source over a path, and an output file that appears under
// its final name only when it was written completely.
#pragma once

#include <cstdint>
#include <string>

#include "package/package_reader.h"
#include "progress.h"

namespace stubpack {

class FileSource final : public package::ByteSource {
public:
    explicit FileSource(const std::string& path);  // throws InputError
    ~FileSource();
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    std::uint64_t Length() const override { return length_; }
    std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t n) override;
    int Descriptor() const { return fd_; }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
    int fd_ = -1;
    std::uint64_t length_ = 0;
};

// A directory that output files are written into, held open so that every file is created
// relative to it (a path swapped for a link while stubpack runs does not redirect them).
class OutputDirectory {
public:
    // create: make the directory when it does not exist yet.
    OutputDirectory(const std::string& path, bool create);  // throws InputError
    ~OutputDirectory();
    OutputDirectory(const OutputDirectory&) = delete;
    OutputDirectory& operator=(const OutputDirectory&) = delete;
    int Fd() const { return fd_; }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
    int fd_ = -1;
};

// A file that appears under its name only complete: written to a new temporary file inside the
// directory (never through a link), made durable, then renamed over the name, which replaces a
// planted link itself, never its target. Destroyed without Commit, it removes the temporary file.
class AtomicOutputFile {
public:
    AtomicOutputFile(const OutputDirectory& dir, const std::string& name);  // throws InputError
    ~AtomicOutputFile();
    AtomicOutputFile(const AtomicOutputFile&) = delete;
    AtomicOutputFile& operator=(const AtomicOutputFile&) = delete;

    void Write(const void* data, std::size_t n);
    // Appends n bytes of sourceFd from offset, streamed, so memory stays flat whatever n is.
    // Returns how many were copied: fewer than n only when the source ends early.
    std::uint64_t CopyFrom(int sourceFd, std::uint64_t offset, std::uint64_t n,
                           const std::string& sourceName, Progress* progress = nullptr);
    std::uint64_t Position() const { return position_; }
    const std::string& Shown() const { return shown_; }  // the final path, for messages
    void Commit(unsigned mode);

private:
    const OutputDirectory& dir_;
    std::string name_, temporary_, shown_;
    int fd_ = -1;
    std::uint64_t position_ = 0;
    bool committed_ = false;
};

// Copies n bytes of sourceFd from offset to the current position of destinationFd, streamed.
// Returns how many were copied: fewer than n only when the source ends early. Throws InputError
// (naming the source or the destination) when reading or writing fails.
std::uint64_t CopyRange(int sourceFd, std::uint64_t offset, int destinationFd, std::uint64_t n,
                        const std::string& sourceName, const std::string& destinationName,
                        Progress* progress = nullptr);

// True when both paths name the same existing file.
bool SameFile(const std::string& a, const std::string& b);

}  // namespace stubpack
