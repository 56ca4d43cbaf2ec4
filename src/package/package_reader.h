// Finds and walks the package of an executable exactly the way the stub does, over any byte
// source (a file for stubpack, memory for the fuzzers). Portable: no Win32.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "package/package_format.h"

namespace package {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t Length() const = 0;
    // Reads up to n bytes at offset; returns how many were read (0 at or past the end).
    virtual std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t n) = 0;
};

class MemorySource : public ByteSource {
public:
    MemorySource(const void* data, std::size_t length)
        : data_(static_cast<const unsigned char*>(data)), length_(length) {}
    std::uint64_t Length() const override { return length_; }
    std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t n) override;

private:
    const unsigned char* data_;
    std::size_t length_;
};

// Why no records are walked.
enum class LocateResult {
    Found,
    LfanewOutOfRange,       // e_lfanew negative or beyond the end of the file
    TrailerOutsideFile,     // the certificate table size puts the trailer before offset 0
    NoPackage,              // the trailer's size is 0
    HeaderOffsetImplausible // the first record would not lie after the PE headers and before the trailer
};

const char* Describe(LocateResult result);

struct RecordInfo {
    std::uint64_t offset = 0;           // where the header starts
    PackageRecordHeader header{};       // as the stub sees it after this read
    std::size_t headerBytesRead = 0;    // fewer than 284 when the file ends inside the header
    std::uint64_t dataBytesAvailable = 0;  // of header.size, how many lie inside the file
};

struct PackageLayout {
    std::uint64_t fileLength = 0;
    std::int32_t lfanew = 0;
    std::int32_t certTableSize = 0;       // signed, as the stub reads it
    std::uint32_t certTableAddress = 0;   // file offset the PE headers give for the table
    LocateResult result = LocateResult::LfanewOutOfRange;
    bool hasTrailer = false;
    std::uint64_t trailerOffset = 0;
    PackageTrailer trailer{};
    std::vector<RecordInfo> records;      // in walk order, as the stub would handle them
    std::uint64_t walkEnd = 0;            // file position after the last record's data
};

PackageLayout ReadPackageLayout(ByteSource& source);

// The record walk alone, from a given first-record offset, exactly as the stub walks (each header
// read over the previous one, driven by each header's count). ReadPackageLayout uses it from the
// trailer's offset; a verifier can use it from elsewhere to find out what a package was meant to be.
struct RecordWalk {
    std::vector<RecordInfo> records;
    std::uint64_t end = 0;  // file position after the last record's data (where the walk stopped)
};
RecordWalk WalkRecords(ByteSource& source, std::uint64_t first);

}  // namespace package
