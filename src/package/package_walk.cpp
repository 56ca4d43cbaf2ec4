#include "package/package_walk.h"

#include <cstring>

namespace package {

std::size_t MemorySource::ReadAt(std::uint64_t offset, void* buffer, std::size_t n) {
    if (offset >= m_length) return 0;
    const std::size_t available = static_cast<std::size_t>(m_length - offset);
    const std::size_t count = n < available ? n : available;
    std::memcpy(buffer, m_data + offset, count);
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

PackageLocation LocatePackage(ByteSource& source) {
    PackageLocation location;
    location.fileLength = source.Length();

    unsigned char dos[kDosHeaderSize] = {};
    source.ReadAt(0, dos, sizeof dos);
    location.lfanew = LfanewFromDosHeader(dos);
    if (location.lfanew < 0 || static_cast<std::uint64_t>(location.lfanew) > location.fileLength) {
        location.result = LocateResult::LfanewOutOfRange;
        return location;
    }

    unsigned char nt[kNtHeadersSize] = {};
    source.ReadAt(static_cast<std::uint64_t>(location.lfanew), nt, sizeof nt);
    location.certTableEntryAt = CertTableEntryAt(nt);
    location.certTableSize = CertTableSizeFromNtHeaders(nt);
    location.certTableAddress = CertTableAddressFromNtHeaders(nt);

    // A certificate table size larger than the file leaves no place for a trailer.
    if (!TrailerOffset(location.fileLength, location.certTableSize, &location.trailerOffset)) {
        location.result = LocateResult::TrailerOutsideFile;
        return location;
    }
    source.ReadAt(location.trailerOffset, &location.trailer, sizeof location.trailer);
    location.hasTrailer = true;

    location.firstRecord = location.trailer.size;
    if (location.firstRecord == 0) {
        location.result = LocateResult::NoPackage;
        return location;
    }
    // The first record must lie after the PE headers and before the trailer; any other offset
    // means there is no package to walk.
    if (!IsPlausibleHeaderOffset(location.firstRecord, location.lfanew, location.trailerOffset)) {
        location.result = LocateResult::HeaderOffsetImplausible;
        return location;
    }
    location.result = LocateResult::Found;
    return location;
}

bool RecordWalker::Next() {
    if (m_ended) return false;
    if (m_handled > 0) {
        // The next header follows the current record's data, however much of it was there.
        const std::uint64_t dataStart = m_current.DataOffset();
        if (m_current.header.size > UINT64_MAX - dataStart) {
            m_position = UINT64_MAX;
            m_ended = true;
            return false;
        }
        m_position = dataStart + m_current.header.size;
        if (m_handled == static_cast<std::int32_t>(m_current.header.count)) {
            m_ended = true;
            return false;
        }
    }

    unsigned char raw[kHeaderSize];
    const std::size_t got = m_source.ReadAt(m_position, raw, sizeof raw);
    if (got == 0) {
        m_ended = true;
        return false;
    }
    PackageRecordHeader header = m_current.header;  // zero before the first read
    std::memcpy(&header, raw, got);
    if (!WalkContinues(m_handled, header)) {
        m_ended = true;
        return false;
    }

    m_current.offset = m_position;
    m_current.header = header;
    m_current.headerBytesRead = got;
    const std::uint64_t fileLength = m_source.Length();
    const std::uint64_t dataStart = m_current.DataOffset();
    const std::uint64_t remaining = fileLength > dataStart ? fileLength - dataStart : 0;
    m_current.dataBytesAvailable = header.size < remaining ? header.size : remaining;
    ++m_handled;
    return true;
}

std::uint64_t RecordWalker::End() const {
    if (m_ended || m_handled == 0) return m_position;
    const std::uint64_t dataStart = m_current.DataOffset();
    return m_current.header.size > UINT64_MAX - dataStart ? UINT64_MAX : dataStart + m_current.header.size;
}

}  // namespace package
