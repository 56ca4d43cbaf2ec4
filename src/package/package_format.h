// Byte layout of the package appended to the stub, shared by the stub and by stubpack.
//
//   [stub, S bytes][record header + file bytes]...[0-7 zero bytes][trailer][certificate table]
//
// Every record header is 284 bytes, little-endian, without padding. The trailer uses the same
// layout and points back at the first record; it ends where the certificate table begins, or at
// the end of the file when the executable is unsigned. Nothing is compressed or checksummed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "package headers are read and written as in-memory images");

namespace package {

constexpr std::size_t kNameFieldSize = 260;   // NUL-ended 8-bit name, zero-filled
constexpr std::size_t kMaxNameLength = kNameFieldSize - 1;
constexpr std::size_t kHeaderSize = 284;

#pragma pack(push, 1)
struct PackageRecordHeader {
    std::uint32_t count;         // number of file records; 0 in the trailer
    std::uint32_t index;         // 2 for the first record, then 3, 4, ...; 1 in the trailer
    std::uint64_t size;          // file bytes that follow; in the trailer: offset of the first record
    std::uint64_t runningTotal;  // sum of size over this and earlier records; trailer: as size
    char name[kNameFieldSize];
};
#pragma pack(pop)

// The trailer is a record header describing the stub itself.
using PackageTrailer = PackageRecordHeader;

static_assert(sizeof(PackageRecordHeader) == kHeaderSize, "record header must be 284 bytes");
static_assert(offsetof(PackageRecordHeader, count) == 0, "count at 0");
static_assert(offsetof(PackageRecordHeader, index) == 4, "index at 4");
static_assert(offsetof(PackageRecordHeader, size) == 8, "size at 8");
static_assert(offsetof(PackageRecordHeader, runningTotal) == 16, "runningTotal at 16");
static_assert(offsetof(PackageRecordHeader, name) == 24, "name at 24");

// Where each field lies inside a header, for code that reports or changes one field in place.
constexpr std::size_t kCountAt = offsetof(PackageRecordHeader, count);
constexpr std::size_t kIndexAt = offsetof(PackageRecordHeader, index);
constexpr std::size_t kSizeAt = offsetof(PackageRecordHeader, size);
constexpr std::size_t kRunningTotalAt = offsetof(PackageRecordHeader, runningTotal);
constexpr std::size_t kNameAt = offsetof(PackageRecordHeader, name);

// PE offsets the stub reads: e_lfanew in the DOS header, and data directory entry 4 (the
// certificate table: its address, then its size) inside the NT headers. The stub is a PE32 image;
// built from the same sources for 64-bit Windows it is a PE32+ image, whose optional header is
// 16 bytes longer before the data directories. The 248 bytes read hold the entry in both.
constexpr std::size_t kDosHeaderSize = 64;
constexpr std::size_t kLfanewOffset = 60;
constexpr std::size_t kNtHeadersSize = 248;
constexpr std::size_t kOptionalHeaderAt = 24;  // its first field is the magic
constexpr std::uint16_t kPe32Magic = 0x10B;
constexpr std::uint16_t kPe32PlusMagic = 0x20B;
constexpr std::size_t kCertTableAddressOffset = 152;
constexpr std::size_t kCertTableSizeOffset = 156;
constexpr std::size_t kPe32PlusDirectoryShift = 16;

// The trailer ends on this boundary so that a signing tool, which pads the file to a multiple of 8
// before appending the certificate table, inserts nothing between trailer and table.
constexpr std::uint64_t kTrailerAlignment = 8;

inline std::uint16_t ReadUInt16(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

inline std::int32_t ReadInt32(const unsigned char* p) {
    std::int32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline std::uint32_t ReadUInt32(const unsigned char* p) {
    std::uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// e_lfanew from a 64-byte DOS header.
inline std::int32_t LfanewFromDosHeader(const unsigned char* dosHeader) {
    return ReadInt32(dosHeader + kLfanewOffset);
}

// Whether the NT headers are those of a PE32+ (64-bit) image.
inline bool IsPe32Plus(const unsigned char* ntHeaders) {
    return ReadUInt16(ntHeaders + kOptionalHeaderAt) == kPe32PlusMagic;
}

// Where the certificate table's entry (address, then size) lies in the 248-byte NT headers.
inline std::size_t CertTableEntryAt(const unsigned char* ntHeaders) {
    return kCertTableAddressOffset + (IsPe32Plus(ntHeaders) ? kPe32PlusDirectoryShift : 0);
}

// Certificate table size from the 248-byte NT headers, as the signed number the stub uses.
inline std::int32_t CertTableSizeFromNtHeaders(const unsigned char* ntHeaders) {
    return ReadInt32(ntHeaders + CertTableEntryAt(ntHeaders) + 4);
}

inline std::uint32_t CertTableAddressFromNtHeaders(const unsigned char* ntHeaders) {
    return ReadUInt32(ntHeaders + CertTableEntryAt(ntHeaders));
}

// How far before the end of the file the trailer begins.
inline std::uint64_t TrailerDistanceFromEnd(std::int32_t certTableSize) {
    return kHeaderSize + (certTableSize > 0 ? static_cast<std::uint64_t>(certTableSize) : 0);
}

// Where the trailer lies, given the file length and the certificate table size; false when it
// would start before the beginning of the file.
inline bool TrailerOffset(std::uint64_t fileLength, std::int32_t certTableSize,
                          std::uint64_t* offset) {
    const std::uint64_t distance = TrailerDistanceFromEnd(certTableSize);
    if (distance > fileLength) return false;
    *offset = fileLength - distance;
    return true;
}

// The first record must lie after the PE headers and before the trailer; anything else is not
// walked (an offset outside the file, or one pointing into the stub's own headers).
inline bool IsPlausibleHeaderOffset(std::uint64_t headerOffset, std::int32_t lfanew,
                                    std::uint64_t trailerOffset) {
    if (lfanew < 0) return false;
    const std::uint64_t headersEnd = static_cast<std::uint64_t>(lfanew) + kNtHeadersSize;
    return headerOffset >= headersEnd && headerOffset < trailerOffset;
}

// The record walk goes on while fewer records than the current header's count were handled;
// count is compared as a signed number, so a count of 0 (the trailer) or a negative one ends it.
inline bool WalkContinues(std::int32_t handledSoFar, const PackageRecordHeader& header) {
    return handledSoFar < static_cast<std::int32_t>(header.count);
}

// Length of the name inside its field: up to the first NUL, and never past the field.
inline std::size_t NameLength(const PackageRecordHeader& header) {
    const void* nul = std::memchr(header.name, 0, kNameFieldSize);
    return nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - header.name)
               : kNameFieldSize;
}

// Zero bytes the packer places after the last file's data so that the trailer ends aligned.
inline std::uint64_t AlignmentPadding(std::uint64_t trailerStart) {
    const std::uint64_t end = trailerStart + kHeaderSize;
    return (kTrailerAlignment - end % kTrailerAlignment) % kTrailerAlignment;
}

inline PackageRecordHeader MakeFileRecord(std::uint32_t count, std::uint32_t position,
                                          std::uint64_t size, std::uint64_t runningTotal,
                                          const char* name, std::size_t nameLength) {
    PackageRecordHeader h;
    std::memset(&h, 0, sizeof h);
    h.count = count;
    h.index = position + 1;  // position counts from 1
    h.size = size;
    h.runningTotal = runningTotal;
    std::memcpy(h.name, name, nameLength < kMaxNameLength ? nameLength : kMaxNameLength);
    return h;
}

inline PackageTrailer MakeTrailer(std::uint64_t stubLength, const char* stubName,
                                  std::size_t nameLength) {
    PackageTrailer t = MakeFileRecord(0, 0, stubLength, stubLength, stubName, nameLength);
    t.index = 1;
    return t;
}

}  // namespace package
