// Files for stubpack: a read-only byte source over a path, and an output file that appears under
// its final name only when it was written completely.
#pragma once

#include <cstdint>
#include <string>

#include "package/package_reader.h"
#include "progress.h"

namespace stubpack {

class FileSource : public package::ByteSource {
public:
    explicit FileSource(const std::string& path);  // throws InputError
    ~FileSource() override;
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

// Written to a temporary file in the destination's directory and renamed over the destination
// by Commit; destroyed without Commit, it removes the temporary file.
class AtomicOutputFile {
public:
    explicit AtomicOutputFile(const std::string& destination);  // throws InputError
    ~AtomicOutputFile();
    AtomicOutputFile(const AtomicOutputFile&) = delete;
    AtomicOutputFile& operator=(const AtomicOutputFile&) = delete;

    void Write(const void* data, std::size_t n);
    // Appends the next n bytes of sourceFd, streamed, so memory stays flat whatever n is.
    // Throws InputError naming the source when it ends early. progress, when given, is advanced.
    void CopyFrom(int sourceFd, const std::string& sourceName, std::uint64_t n,
                  Progress* progress = nullptr);
    std::uint64_t Position() const { return position_; }
    void Commit(unsigned mode);

private:
    std::string destination_;
    std::string temporary_;
    int fd_ = -1;
    std::uint64_t position_ = 0;
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
