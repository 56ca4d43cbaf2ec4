#include "package/package_reader.h"

#include <cstring>
#include <utility>

namespace package {

std::size_t MemorySource::ReadAt(std::uint64_t offset, void* buffer, std::size_t n) {
    if (offset >= length_) return 0;
    const std::size_t available = static_cast<std::size_t>(length_ - offset);
    const std::size_t count = n < available ? n : available;
    std::memcpy(buffer, data_ + offset, count);
    return count;
}

const char* Describe(LocateResult result) {
    switch (result) {
        case LocateResult::Found: return "package found";
        case LocateResult::LfanewOutOfRange: return "e_lfanew is negative or beyond the end of the file";
        case LocateResult::TrailerOutsideFile: return "the trailer would start before the beginning of the file";
        case LocateResult::NoPackage: return "the trailer's size is 0: no package";
        case LocateResult::HeaderOffsetImplausible:
            return "the trailer's offset does not lie between the PE headers and the trailer";
    }
    return "unknown";
}

PackageLayout ReadPackageLayout(ByteSource& source) {
    PackageLayout layout;
    layout.fileLength = source.Length();

    unsigned char dos[kDosHeaderSize] = {};
    source.ReadAt(0, dos, sizeof dos);
    layout.lfanew = LfanewFromDosHeader(dos);
    if (layout.lfanew < 0 || static_cast<std::uint64_t>(layout.lfanew) > layout.fileLength) {
        layout.result = LocateResult::LfanewOutOfRange;
        return layout;
    }

    unsigned char nt[kNtHeadersSize] = {};
    source.ReadAt(static_cast<std::uint64_t>(layout.lfanew), nt, sizeof nt);
    layout.certTableSize = CertTableSizeFromNtHeaders(nt);
    layout.certTableAddress = ReadUInt32(nt + kCertTableAddressOffset);

    if (!TrailerOffset(layout.fileLength, layout.certTableSize, &layout.trailerOffset)) {
        layout.result = LocateResult::TrailerOutsideFile;
        return layout;
    }
    source.ReadAt(layout.trailerOffset, &layout.trailer, sizeof layout.trailer);
    layout.hasTrailer = true;

    const std::uint64_t first = layout.trailer.size;
    if (first == 0) {
        layout.result = LocateResult::NoPackage;
        return layout;
    }
    if (!IsPlausibleHeaderOffset(first, layout.lfanew, layout.trailerOffset)) {
        layout.result = LocateResult::HeaderOffsetImplausible;
        return layout;
    }
    layout.result = LocateResult::Found;
    RecordWalk walk = WalkRecords(source, first);
    layout.records = std::move(walk.records);
    layout.walkEnd = walk.end;
    return layout;
}

RecordWalk WalkRecords(ByteSource& source, std::uint64_t first) {
    RecordWalk walk;
    const std::uint64_t fileLength = source.Length();

    // The stub reads each header over the previous one, so a short read keeps old bytes.
    PackageRecordHeader header;
    std::memset(&header, 0, sizeof header);
    std::int32_t handled = 0;
    std::uint64_t position = first;
    for (;;) {
        unsigned char raw[kHeaderSize];
        const std::size_t got = source.ReadAt(position, raw, sizeof raw);
        if (got == 0) break;
        std::memcpy(&header, raw, got);
        if (!WalkContinues(handled, header)) break;

        RecordInfo info;
        info.offset = position;
        info.header = header;
        info.headerBytesRead = got;
        const std::uint64_t dataStart = position + got;
        const std::uint64_t remaining =
            fileLength > dataStart ? fileLength - dataStart : 0;
        info.dataBytesAvailable = header.size < remaining ? header.size : remaining;
        walk.records.push_back(info);
        ++handled;

        // A size that would wrap the position leaves nothing more to read.
        if (header.size > UINT64_MAX - dataStart) {
            position = UINT64_MAX;
            break;
        }
        position = dataStart + header.size;
        if (handled == static_cast<std::int32_t>(header.count)) break;
    }
    walk.end = position;
    return walk;
}

}  // namespace package
