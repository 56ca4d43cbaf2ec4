// The package locate and record walk over arbitrary bytes, once as the file itself and once with a
// long run of zero bytes after it (so that offsets and sizes near 2^40 are reached without memory).
// Checks the locate decision against the bytes and the walk's invariants.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "fuzz_check.h"
#include "package/package_reader.h"

using namespace package;

namespace {

// data followed by zero bytes up to length.
class ZeroTailSource : public ByteSource {
public:
    ZeroTailSource(const unsigned char* data, std::size_t size, std::uint64_t length)
        : data_(data), size_(size), length_(length) {}
    std::uint64_t Length() const override { return length_; }
    std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t n) override {
        if (offset >= length_) return 0;
        if (n > length_ - offset) n = static_cast<std::size_t>(length_ - offset);
        auto* out = static_cast<unsigned char*>(buffer);
        std::memset(out, 0, n);
        if (offset < size_) {
            const std::size_t inData = n < size_ - offset ? n : size_ - static_cast<std::size_t>(offset);
            std::memcpy(out, data_ + offset, inData);
        }
        return n;
    }

private:
    const unsigned char* data_;
    std::size_t size_;
    std::uint64_t length_;
};

std::uint64_t ReadLe(ByteSource& source, std::uint64_t offset, std::size_t bytes) {
    unsigned char b[8] = {};
    source.ReadAt(offset, b, bytes);
    std::uint64_t v = 0;
    for (std::size_t i = bytes; i > 0; --i) v = v << 8 | b[i - 1];
    return v;
}

// The locate step written out from the byte layout, without the reader's helpers.
LocateResult ExpectedResult(ByteSource& source) {
    const std::uint64_t length = source.Length();
    const auto lfanew = static_cast<std::int32_t>(ReadLe(source, 60, 4));
    if (lfanew < 0 || static_cast<std::uint64_t>(lfanew) > length) return LocateResult::LfanewOutOfRange;
    // The certificate table's size: at 156 in PE32 headers, 16 bytes later in PE32+ (magic 0x20B).
    const std::uint64_t sizeAt = ReadLe(source, std::uint64_t(lfanew) + 24, 2) == 0x20B ? 172 : 156;
    const auto cert = static_cast<std::int32_t>(ReadLe(source, std::uint64_t(lfanew) + sizeAt, 4));
    const std::uint64_t distance = 284 + (cert > 0 ? std::uint64_t(cert) : 0);
    if (distance > length) return LocateResult::TrailerOutsideFile;
    const std::uint64_t trailer = length - distance;
    const std::uint64_t first = ReadLe(source, trailer + 8, 8);
    if (first == 0) return LocateResult::NoPackage;
    if (first < std::uint64_t(lfanew) + 248 || first >= trailer) return LocateResult::HeaderOffsetImplausible;
    return LocateResult::Found;
}

void CheckLayout(ByteSource& source) {
    const PackageLayout layout = ReadPackageLayout(source);
    const std::uint64_t length = source.Length();
    FUZZ_CHECK(layout.fileLength == length);
    FUZZ_CHECK(layout.result == ExpectedResult(source));
    FUZZ_CHECK(std::strlen(Describe(layout.result)) > 0);

    if (layout.result != LocateResult::Found) {
        FUZZ_CHECK(layout.records.empty());
        return;
    }
    FUZZ_CHECK(layout.hasTrailer);
    FUZZ_CHECK(layout.trailerOffset + kHeaderSize <= length);

    std::uint64_t expectedOffset = layout.trailer.size;
    for (std::size_t i = 0; i < layout.records.size(); ++i) {
        const RecordInfo& r = layout.records[i];
        // Each record starts where the previous one's data ended, inside the file.
        FUZZ_CHECK(r.offset == expectedOffset);
        FUZZ_CHECK(r.offset < length);
        FUZZ_CHECK(i == 0 || r.offset > layout.records[i - 1].offset);
        const std::uint64_t left = length - r.offset;
        FUZZ_CHECK(r.headerBytesRead == (left < kHeaderSize ? left : kHeaderSize));
        // Only the last record may have been cut by the end of the file.
        FUZZ_CHECK(r.headerBytesRead == kHeaderSize || i + 1 == layout.records.size());
        FUZZ_CHECK(r.dataBytesAvailable <= r.header.size);
        FUZZ_CHECK(r.dataBytesAvailable <= length - r.offset - r.headerBytesRead);
        // The header holds the file's bytes; past a short read, the previous header's bytes.
        PackageRecordHeader expected{};
        if (i > 0) expected = layout.records[i - 1].header;
        FUZZ_CHECK(source.ReadAt(r.offset, &expected, r.headerBytesRead) == r.headerBytesRead);
        FUZZ_CHECK(std::memcmp(&expected, &r.header, kHeaderSize) == 0);
        // The walk only goes on while fewer records were handled than the header's count.
        FUZZ_CHECK(static_cast<std::int32_t>(i) < static_cast<std::int32_t>(r.header.count));
        // ... and stops as soon as it has handled as many as the header's count.
        if (i + 1 < layout.records.size())
            FUZZ_CHECK(static_cast<std::int32_t>(i + 1) != static_cast<std::int32_t>(r.header.count));
        const std::uint64_t dataStart = r.offset + r.headerBytesRead;
        expectedOffset = r.header.size > UINT64_MAX - dataStart ? UINT64_MAX : dataStart + r.header.size;
    }
    FUZZ_CHECK(layout.walkEnd == expectedOffset);
    // The walk stopped for a reason: the end of the file, the count reached, or a next header whose
    // count says no more.
    const auto handled = static_cast<std::int32_t>(layout.records.size());
    if (layout.walkEnd < length &&
        (layout.records.empty() || handled != static_cast<std::int32_t>(layout.records.back().header.count))) {
        PackageRecordHeader next{};
        if (!layout.records.empty()) next = layout.records.back().header;
        source.ReadAt(layout.walkEnd, &next, kHeaderSize);
        FUZZ_CHECK(handled >= static_cast<std::int32_t>(next.count));
    }
    // Every record but the last took a whole header, which bounds the walk by the file length.
    FUZZ_CHECK(layout.records.size() <= (length - layout.trailer.size) / kHeaderSize + 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    MemorySource memory(data, size);
    CheckLayout(memory);

    // The last 5 bytes, when present, give how many zero bytes follow the rest (up to 2^40).
    if (size >= 5) {
        std::uint64_t extra = 0;
        for (std::size_t i = 0; i < 5; ++i) extra = extra << 8 | data[size - 5 + i];
        ZeroTailSource tail(data, size - 5, size - 5 + extra);
        CheckLayout(tail);
    }
    return 0;
}
