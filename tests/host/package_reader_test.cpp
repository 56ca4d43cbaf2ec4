// The package walk over in-memory images, including the worked example of a 32 MB signed package
// laid out virtually (only the headers exist in memory).
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <vector>

#include "package/package_reader.h"
#include "package_builder.h"

using namespace package;
using testsupport::BuiltPackage;
using testsupport::TestPackage;

namespace {

// A file of a given length that is zero everywhere except for the chunks placed into it.
class SparseSource : public ByteSource {
public:
    explicit SparseSource(std::uint64_t length) : length_(length) {}
    void Place(std::uint64_t offset, const void* data, std::size_t n) {
        chunks_[offset].assign(static_cast<const unsigned char*>(data),
                               static_cast<const unsigned char*>(data) + n);
    }
    std::uint64_t Length() const override { return length_; }
    std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t n) override {
        if (offset >= length_) return 0;
        if (n > length_ - offset) n = static_cast<std::size_t>(length_ - offset);
        auto* out = static_cast<unsigned char*>(buffer);
        std::memset(out, 0, n);
        for (const auto& [start, bytes] : chunks_) {
            for (std::size_t i = 0; i < bytes.size(); ++i) {
                const std::uint64_t at = start + i;
                if (at >= offset && at < offset + n) out[at - offset] = bytes[i];
            }
        }
        return n;
    }

private:
    std::uint64_t length_;
    std::map<std::uint64_t, std::vector<unsigned char>> chunks_;
};

constexpr std::int32_t kLfanew = 0x80;

void PlacePeHeaders(SparseSource& s, std::int32_t lfanew, std::int32_t certSize) {
    unsigned char dos[64] = {'M', 'Z'};
    std::memcpy(dos + 60, &lfanew, 4);
    s.Place(0, dos, sizeof dos);
    unsigned char nt[248] = {'P', 'E', 0, 0};
    std::memcpy(nt + 156, &certSize, 4);
    s.Place(static_cast<std::uint64_t>(lfanew), nt, sizeof nt);
}

PackageRecordHeader Record(std::uint32_t count, std::uint32_t k, std::uint64_t size,
                           std::uint64_t total, const char* name) {
    return MakeFileRecord(count, k, size, total, name, std::strlen(name));
}

}  // namespace

// The fields the packer fills: position counted from 1 (index = position + 1), the name
// NUL-filled to the end of its field, and the trailer describing the stub.
TEST(PackageFormat, RecordAndTrailerFields) {
    PackageRecordHeader h;
    std::memset(&h, 0xEE, sizeof h);
    h = Record(5, 1, 30092288, 30092288, "setup.msi");
    EXPECT_EQ(5u, h.count);
    EXPECT_EQ(2u, h.index);
    EXPECT_EQ(30092288u, h.size);
    EXPECT_EQ(30092288u, h.runningTotal);
    EXPECT_STREQ("setup.msi", h.name);
    for (std::size_t i = 9; i < kNameFieldSize; ++i) ASSERT_EQ(0, h.name[i]) << i;

    const PackageTrailer t = MakeTrailer(426496, "UnPackFile.exe", 14);
    EXPECT_EQ(0u, t.count);
    EXPECT_EQ(1u, t.index);
    EXPECT_EQ(426496u, t.size);
    EXPECT_EQ(426496u, t.runningTotal);
    EXPECT_STREQ("UnPackFile.exe", t.name);
}

TEST(PackageFormat, NameIsReadOnlyInsideItsField) {
    PackageRecordHeader h;
    std::memset(&h, 'A', sizeof h);
    EXPECT_EQ(kNameFieldSize, NameLength(h));
    h.name[7] = 0;
    EXPECT_EQ(7u, NameLength(h));
}

TEST(PackageFormat, PaddingEndsTheTrailerOnAnEightByteBoundary) {
    for (std::uint64_t start = 1000; start < 1016; ++start) {
        const std::uint64_t padded = start + AlignmentPadding(start);
        EXPECT_EQ(0u, (padded + kHeaderSize) % 8) << start;
        EXPECT_LT(AlignmentPadding(start), 8u);
    }
}

// The signed five-file package of the format's worked example: L = 32,310,240, T = 6,096.
TEST(PackageReader, WorkedExampleOffsets) {
    const std::uint64_t L = 32310240, S = 426496;
    const std::int32_t T = 6096;
    SparseSource s(L);
    PlacePeHeaders(s, kLfanew, T);
    struct { std::uint64_t size; const char* name; } files[] = {
        {30092288, "setup.msi"}, {15, "run.bat"}, {1453, "setup.ini"},
        {1781200, "PreVerCheck.exe"}, {988, "uninst.iss"}};
    std::uint64_t at = S, total = 0;
    std::vector<std::uint64_t> offsets;
    for (std::uint32_t k = 0; k < 5; ++k) {
        total += files[k].size;
        const auto h = Record(5, k + 1, files[k].size, total, files[k].name);
        s.Place(at, &h, sizeof h);
        offsets.push_back(at);
        at += kHeaderSize + files[k].size;
    }
    const auto trailer = MakeTrailer(S, "UnPackFile_x.exe", 16);
    s.Place(L - T - kHeaderSize, &trailer, sizeof trailer);

    const PackageLayout layout = ReadPackageLayout(s);
    ASSERT_EQ(LocateResult::Found, layout.result);
    EXPECT_EQ(6096, layout.certTableSize);
    EXPECT_EQ(32303860u, layout.trailerOffset);
    EXPECT_EQ(32304144u, layout.trailerOffset + kHeaderSize);  // where the table begins
    const std::vector<std::uint64_t> expected = {426496, 30519068, 30519367, 30521104, 32302588};
    EXPECT_EQ(expected, offsets);
    ASSERT_EQ(5u, layout.records.size());
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(expected[i], layout.records[i].offset);
        EXPECT_EQ(files[i].size, layout.records[i].dataBytesAvailable);
    }
    EXPECT_EQ(31875944u, layout.records[4].header.runningTotal);
    EXPECT_EQ(32303860u, layout.walkEnd);  // the last file ends where the trailer starts
}

namespace {

// A small package (signed when certSize > 0) with records of the given sizes.
BuiltPackage Build(const std::vector<std::uint64_t>& sizes, std::int32_t certSize = 0,
                   std::int64_t countOverride = -1) {
    TestPackage p;
    p.lfanew = kLfanew;
    p.certTableSize = certSize;
    for (std::uint64_t size : sizes) p.records.push_back({"f.bin", std::string(size, 'Z'), countOverride});
    return p.BuildWithOffsets();
}

PackageLayout Read(const std::string& bytes) {
    MemorySource source(bytes.data(), bytes.size());
    return ReadPackageLayout(source);
}

template <class T>
void Put(std::string& bytes, std::uint64_t at, T value) {
    std::memcpy(&bytes[at], &value, sizeof value);
}

}  // namespace

TEST(PackageReader, UnsignedTrailerIsTheLast284Bytes) {
    const BuiltPackage b = Build({0, 1024, 7});
    const PackageLayout layout = Read(b.bytes);
    ASSERT_EQ(LocateResult::Found, layout.result);
    EXPECT_EQ(b.bytes.size() - kHeaderSize, layout.trailerOffset);
    ASSERT_EQ(3u, layout.records.size());
    EXPECT_EQ(b.recordOffsets[2], layout.records[2].offset);
    EXPECT_EQ(0u, layout.records[0].header.size);  // an empty file is a header right before the next
}

TEST(PackageReader, ZeroOrNegativeCertificateSizeMeansUnsigned) {
    for (std::int32_t cert : {0, -1, INT32_MIN}) {
        BuiltPackage b = Build({10});
        Put(b.bytes, kLfanew + kCertTableSizeOffset, cert);
        const PackageLayout layout = Read(b.bytes);
        EXPECT_EQ(LocateResult::Found, layout.result) << cert;
        EXPECT_EQ(b.bytes.size() - kHeaderSize, layout.trailerOffset) << cert;
    }
}

TEST(PackageReader, SignedTrailerEndsWhereTheTableBegins) {
    const BuiltPackage b = Build({100, 3}, 1000);
    const PackageLayout layout = Read(b.bytes);
    ASSERT_EQ(LocateResult::Found, layout.result);
    EXPECT_EQ(b.bytes.size() - 1000 - kHeaderSize, layout.trailerOffset);
    EXPECT_EQ(2u, layout.records.size());
}

TEST(PackageReader, WhenThereIsNoPackageToWalk) {
    const BuiltPackage good = Build({10});
    const std::uint64_t trailerSize = good.trailerOffset + kSizeAt;
    const struct {
        const char* what;
        void (*change)(std::string& bytes, std::uint64_t trailerSize);
        LocateResult expected;
    } cases[] = {
        {"trailer size 0", [](std::string& b, std::uint64_t at) { Put<std::uint64_t>(b, at, 0); },
         LocateResult::NoPackage},
        {"first record past the file", [](std::string& b, std::uint64_t at) { Put<std::uint64_t>(b, at, b.size() + 5); },
         LocateResult::HeaderOffsetImplausible},
        {"first record inside the PE headers", [](std::string& b, std::uint64_t at) { Put<std::uint64_t>(b, at, 16); },
         LocateResult::HeaderOffsetImplausible},
        {"negative e_lfanew", [](std::string& b, std::uint64_t) { Put<std::int32_t>(b, kLfanewOffset, -4); },
         LocateResult::LfanewOutOfRange},
        {"e_lfanew past the file", [](std::string& b, std::uint64_t) { Put<std::int32_t>(b, kLfanewOffset, 1 << 30); },
         LocateResult::LfanewOutOfRange},
        {"certificate table larger than the file",
         [](std::string& b, std::uint64_t) { Put<std::int32_t>(b, kLfanew + kCertTableSizeOffset, 0x7FFFFFF0); },
         LocateResult::TrailerOutsideFile},
    };
    for (const auto& c : cases) {
        std::string bytes = good.bytes;
        c.change(bytes, trailerSize);
        const PackageLayout layout = Read(bytes);
        EXPECT_EQ(c.expected, layout.result) << c.what;
        EXPECT_TRUE(layout.records.empty()) << c.what;
    }
}

TEST(PackageReader, CountDrivesTheWalk) {
    // A count larger than the records: the trailer is read next, and its count of 0 ends the walk.
    EXPECT_EQ(2u, Read(Build({5, 6}, 0, 9).bytes).records.size());
    // A first count of 0 or below ends the walk before any record.
    EXPECT_EQ(0u, Read(Build({5, 6}, 0, 0x80000000u).bytes).records.size());
    // A smaller count stops early.
    EXPECT_EQ(1u, Read(Build({5, 6}, 0, 1).bytes).records.size());
}

TEST(PackageReader, RecordRunningPastTheEndIsReportedShort) {
    BuiltPackage b = Build({10, 20});
    const std::uint64_t huge = 1ull << 40;
    Put(b.bytes, b.recordOffsets[1] + kSizeAt, huge);
    const PackageLayout layout = Read(b.bytes);
    ASSERT_EQ(2u, layout.records.size());
    EXPECT_LT(layout.records[1].dataBytesAvailable, huge);
    EXPECT_EQ(b.recordOffsets[1] + kHeaderSize + huge, layout.walkEnd);
}
