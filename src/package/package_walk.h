// The package walk: where the package starts and which records it holds, decided once, here, for
// the stub (over its own file handle), stubpack and the fuzzers (over a file or memory). Portable,
// no Win32, and no allocation: the stub drives it record by record.
#pragma once

#include <cstddef>
#include <cstdint>

#include "package/package_format.h"

namespace package {

class ByteSource {
public:
    // Reads up to n bytes at offset; returns how many were read: 0 at or past the end, and 0 when
    // the offset cannot be reached or the read fails.
    virtual std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t n) = 0;
    virtual std::uint64_t Length() const = 0;

protected:
    ~ByteSource() = default;  // never deleted through this interface
};

class MemorySource final : public ByteSource {
public:
    MemorySource(const void* data, std::size_t length)
        : m_data(static_cast<const unsigned char*>(data)), m_length(length) {}
    std::uint64_t Length() const override { return m_length; }
    std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t n) override;

private:
    const unsigned char* m_data;
    std::size_t m_length;
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

// Where the package lies, read from the DOS header, the PE headers' certificate-table entry and the
// trailer. The fields after result are set as far as the search got.
struct PackageLocation {
    LocateResult result = LocateResult::LfanewOutOfRange;
    std::uint64_t fileLength = 0;
    std::int32_t lfanew = 0;
    std::int32_t certTableSize = 0;       // signed, as the stub reads it
    std::uint32_t certTableAddress = 0;   // file offset the PE headers give for the table
    std::size_t certTableEntryAt = kCertTableAddressOffset;  // the entry, from e_lfanew
    bool hasTrailer = false;
    std::uint64_t trailerOffset = 0;
    PackageTrailer trailer{};
    std::uint64_t firstRecord = 0;        // the trailer's size: where the first record should be

    bool ReachedCertTable() const { return result != LocateResult::LfanewOutOfRange; }
};

PackageLocation LocatePackage(ByteSource& source);

struct RecordInfo {
    std::uint64_t offset = 0;           // where the header starts
    PackageRecordHeader header{};       // as the stub sees it after this read
    std::size_t headerBytesRead = 0;    // fewer than 284 when the file ends inside the header
    std::uint64_t dataBytesAvailable = 0;  // of header.size, how many lie inside the file

    std::uint64_t DataOffset() const { return offset + headerBytesRead; }
};

// The records from a first-record offset, one at a time. Each header is read over the previous
// one (a short read keeps the old bytes), the walk goes on while fewer records than the current
// header's count were handled, and the next header is read where the current record's data ends,
// whatever the caller did with the data: a record cut short by the end of the file leaves nothing
// more to read, and a size that would wrap the position ends the walk.
class RecordWalker {
public:
    RecordWalker(ByteSource& source, std::uint64_t first) : m_source(source), m_position(first) {}

    // Reads the next record's header; false when the walk has ended.
    bool Next();
    const RecordInfo& Current() const { return m_current; }
    std::int32_t Handled() const { return m_handled; }
    // The file position after the last record's data (where a further header would be read).
    std::uint64_t End() const;

private:
    ByteSource& m_source;
    std::uint64_t m_position;
    RecordInfo m_current;
    std::int32_t m_handled = 0;
    bool m_ended = false;
};

}  // namespace package
