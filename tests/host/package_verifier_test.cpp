// stubpack verify's checks over in-memory package executables: good packages, each kind of
// breakage with the check, offset and message that report it, the warnings for fields the stub
// does not read, what the stub will write (duplicates, Windows name rules), and a mutation run
// that holds the verdict to the stub's walk.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "package/package_format.h"
#include "package_builder.h"
#include "package_verifier.h"

using namespace stubpack;
using package::kHeaderSize;
using package::kIndexAt;
using package::kNameAt;
using package::kRunningTotalAt;
using package::kSizeAt;
using package::PackageRecordHeader;

namespace {

using Bytes = std::vector<unsigned char>;

constexpr std::int32_t kLfanew = 0x80;
constexpr std::uint64_t kStubLength = 0x400;  // headers 0x200 + one section of 0x200 raw bytes

void Put32(Bytes& b, std::uint64_t at, std::uint32_t v) { std::memcpy(&b[at], &v, 4); }
void Put64(Bytes& b, std::uint64_t at, std::uint64_t v) { std::memcpy(&b[at], &v, 8); }

// A minimal PE32 image whose file ends where its one section's raw data ends.
Bytes Stub() {
    Bytes b(kStubLength, 0);
    b[0] = 'M';
    b[1] = 'Z';
    Put32(b, 60, kLfanew);
    std::memcpy(&b[kLfanew], "PE\0\0", 4);
    b[kLfanew + 4] = 0x4C;  // i386
    b[kLfanew + 5] = 0x01;
    b[kLfanew + 6] = 1;     // one section
    b[kLfanew + 20] = 224;  // optional header size
    b[kLfanew + 24] = 0x0B;  // PE32 magic
    b[kLfanew + 25] = 0x01;
    Put32(b, kLfanew + 24 + 60, 0x200);  // SizeOfHeaders
    const std::uint64_t section = kLfanew + 24 + 224;
    std::memcpy(&b[section], ".text", 5);
    Put32(b, section + 16, 0x200);  // raw size
    Put32(b, section + 20, 0x200);  // raw pointer
    return b;
}

struct File {
    std::string name;
    std::string data;
};

struct Package {
    Bytes bytes;
    std::vector<std::uint64_t> records;  // header offsets
    std::uint64_t trailer = 0;
};

// As stubpack create writes it: records, 0-7 zero bytes so that the trailer ends on an 8-byte
// boundary (unless align is false), the trailer.
Package Pack(const std::vector<File>& files, bool align = true, const Bytes& stub = Stub()) {
    testsupport::TestPackage builder;
    builder.stub.assign(stub.begin(), stub.end());
    builder.align = align;
    for (const File& f : files) builder.records.push_back({f.name, f.data});
    const testsupport::BuiltPackage built = builder.BuildWithOffsets();
    Package p;
    p.bytes.assign(built.bytes.begin(), built.bytes.end());
    p.records = built.recordOffsets;
    p.trailer = built.trailerOffset;
    return p;
}

const std::vector<File> kFiles = {{"setup.msi", std::string(1000, 'M')}, {"run.bat", "PreVerCheck.exe"},
                                  {"empty.ini", ""}};

// What a signing tool does: pad with zeros to a multiple of 8, append the certificate table and
// record it in the security directory.
Bytes Sign(Bytes b, std::uint32_t tableSize = 1024) {
    b.resize((b.size() + 7) / 8 * 8, 0);
    Put32(b, kLfanew + 152, static_cast<std::uint32_t>(b.size()));
    Put32(b, kLfanew + 156, tableSize);
    b.resize(b.size() + tableSize, 0xCC);
    return b;
}

Bytes Concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

VerifyReport Verify(const Bytes& b, unsigned codePage = 0) {
    package::MemorySource source(b.data(), b.size());
    VerifyOptions options;
    options.codePage = codePage;
    return VerifyPackage(source, options);
}

std::string Dump(const VerifyReport& r) {
    std::string s;
    for (const auto& f : r.findings)
        s += std::string(f.severity == Severity::Error ? "error " : "warning ") + f.check + " @" +
             std::to_string(f.offset) + ": " + f.message + "\n";
    return s;
}

const Finding* Find(const VerifyReport& r, const std::string& check) {
    for (const auto& f : r.findings)
        if (f.check == check) return &f;
    return nullptr;
}

}  // namespace

TEST(PackageVerifier, GoodPackagesPassSignedOrNot) {
    const Package p = Pack(kFiles);
    for (const Bytes& bytes : {p.bytes, Sign(p.bytes), Sign(p.bytes, 8)}) {
        const VerifyReport r = Verify(bytes);
        EXPECT_TRUE(r.Passed()) << Dump(r);
        EXPECT_TRUE(r.stubExtractsEveryFile);
        EXPECT_TRUE(r.findings.empty()) << Dump(r);
        EXPECT_EQ(bytes.size() != p.bytes.size(), r.isSigned);
        ASSERT_EQ(3u, r.files.size());
        for (std::size_t i = 0; i < 3; ++i) {
            EXPECT_EQ(p.records[i], r.files[i].headerOffset);
            EXPECT_EQ(p.records[i] + kHeaderSize, r.files[i].dataOffset);
            EXPECT_EQ(kFiles[i].data.size(), r.files[i].size);
            EXPECT_EQ(kFiles[i].name, r.files[i].storedName);
            EXPECT_TRUE(r.files[i].written && r.files[i].complete && !r.files[i].pastTrailer);
        }
        EXPECT_EQ(3u, FinalFiles(r).size());
    }
}

// Without alignment bytes the unsigned package still works, but signing it would break it.
TEST(PackageVerifier, UnalignedTrailerIsAWarningBeforeSigning) {
    Package p = Pack({{"a.txt", "abc"}}, false);
    ASSERT_NE(0u, p.bytes.size() % 8);
    const VerifyReport r = Verify(p.bytes);
    EXPECT_TRUE(r.Passed()) << Dump(r);
    const Finding* f = Find(r, "alignment");
    ASSERT_NE(nullptr, f) << Dump(r);
    EXPECT_EQ(Severity::Warning, f->severity);
    EXPECT_NE(std::string::npos, f->message.find("not on an 8-byte boundary"));
}

// Each kind of broken package, with the check that names it, where, and what it says.
TEST(PackageVerifier, BrokenPackagesFailWithTheirReason) {
    const Package good = Pack(kFiles);
    ASSERT_EQ(1u, good.trailer - good.records[2] - kHeaderSize) << "one alignment byte";
    const std::uint64_t L = good.bytes.size();
    const std::uint64_t rec2 = good.records[1];

    // A package appended to an already packed stub: the inner package is never read.
    const Package onPacked = Pack({{"b.txt", "b"}}, true, good.bytes);
    const Package unaligned = Pack(kFiles, false);

    auto withBytes = [&](std::function<void(Bytes&)> change) {
        Bytes b = good.bytes;
        change(b);
        return b;
    };

    const struct {
        const char* what;
        Bytes bytes;
        const char* check;
        std::uint64_t offset;
        const char* message;
    } cases[] = {
        {"signing tool padded between trailer and table", Sign(unaligned.bytes), "signer-padding",
         unaligned.trailer + kHeaderSize, "a signing tool padded the file"},
        {"truncated inside the data", Bytes(good.bytes.begin(), good.bytes.begin() + rec2 + 100),
         "truncated", rec2, "the file is truncated"},
        {"truncated inside the trailer", Bytes(good.bytes.begin(), good.bytes.end() - 100), "truncated",
         good.records[2] + kHeaderSize, "no room left for the trailer"},
        {"truncated inside the certificate table",
         [&] { Bytes s = Sign(good.bytes); s.resize(s.size() - 10); return s; }(), "certificate-table", L,
         "runs past the end of the file"},
        {"appended twice", Concat(good.bytes, good.bytes), "unread-bytes", good.records[2] + kHeaderSize,
         "appended twice"},
        {"package tail appended twice",
         Concat(good.bytes, Bytes(good.bytes.begin() + kStubLength, good.bytes.end())), "unread-bytes",
         good.records[2] + kHeaderSize, "appended twice"},
        {"appended to a packed stub", onPacked.bytes, "stub-image", kStubLength, "appended twice"},
        {"data appended after the package", Concat(good.bytes, Bytes(10, 'x')), "appended-data", L,
         "10 bytes follow it"},
        {"data appended after signing", Concat(Sign(good.bytes), Bytes(16, 'x')), "certificate-table",
         Sign(good.bytes).size(), "16 bytes follow the certificate table"},
        {"record runs into the trailer", withBytes([&](Bytes& b) { Put64(b, good.records[2] + kSizeAt, 100); }),
         "record-past-trailer", good.records[2], "past the start of the trailer"},
        {"record runs past the end of the file",
         withBytes([&](Bytes& b) { Put64(b, good.records[2] + kSizeAt, 1ull << 40); }), "record-data",
         good.records[2] + kHeaderSize, "run past the end of the file"},
        {"separator in a name", withBytes([&](Bytes& b) { std::memcpy(&b[rec2 + kNameAt], "..\\x", 5); }), "name",
         rec2 + kNameAt, "path separator"},
        {"slash in a name", withBytes([&](Bytes& b) { std::memcpy(&b[rec2 + kNameAt], "a/b", 4); }), "name",
         rec2 + kNameAt, "path separator"},
        {"dot-dot name", withBytes([&](Bytes& b) { std::memcpy(&b[rec2 + kNameAt], "..\0\0\0\0\0\0", 8); }),
         "name", rec2 + kNameAt, "'..'"},
        {"drive in a name", withBytes([&](Bytes& b) { std::memcpy(&b[rec2 + kNameAt], "C:x", 4); }), "name",
         rec2 + kNameAt, "':'"},
        {"device name", withBytes([&](Bytes& b) { std::memcpy(&b[rec2 + kNameAt], "con.txt\0", 8); }), "name",
         rec2 + kNameAt, "reserved device name"},
        {"empty name", withBytes([&](Bytes& b) { std::memset(&b[rec2 + kNameAt], 0, 260); }), "name", rec2 + kNameAt,
         "empty"},
        {"name without NUL", withBytes([&](Bytes& b) { std::memset(&b[rec2 + kNameAt], 'a', 260); }), "name",
         rec2 + kNameAt, "no NUL"},
        {"non-zero alignment bytes", withBytes([&](Bytes& b) { b[good.trailer - 1] = 7; }), "unread-bytes",
         good.records[2] + kHeaderSize, "must be zero"},
        {"count smaller than the records",
         withBytes([&](Bytes& b) { for (auto r : good.records) Put32(b, r, 2); }), "unread-bytes",
         good.records[2], "one more record"},
        {"size swallows the next record",
         withBytes([&](Bytes& b) { Put64(b, good.records[0] + kSizeAt, 1000 + kHeaderSize + 15); }), "swallowed-records",
         rec2, "next record ('run.bat') begins there"},
        {"size swallows every later record, the walk ends at the trailer",
         withBytes([&](Bytes& b) { Put64(b, rec2 + kSizeAt, 15 + kHeaderSize); }), "swallowed-records",
         good.records[2], "never extracts it"},
        {"last size takes in the alignment byte", withBytes([&](Bytes& b) { Put64(b, good.records[2] + kSizeAt, 1); }),
         "swallowed-padding", good.records[2] + kHeaderSize, "1 byte after that are the packer's alignment"},
        {"first count 0", withBytes([&](Bytes& b) { Put32(b, good.records[0], 0); }), "no-records",
         good.records[0], "extracts nothing"},
        {"trailer size 0", withBytes([&](Bytes& b) { Put64(b, good.trailer + kSizeAt, 0); }), "no-package",
         good.trailer, "first record at offset 0"},
        {"trailer points past itself", withBytes([&](Bytes& b) { Put64(b, good.trailer + kSizeAt, L + 5); }),
         "no-package", good.trailer, "is not between"},
        {"trailer points into the PE headers", withBytes([&](Bytes& b) { Put64(b, good.trailer + kSizeAt, 16); }),
         "no-package", good.trailer, "is not between"},
        {"first record inside the stub", withBytes([&](Bytes& b) { Put64(b, good.trailer + kSizeAt, 0x300); }),
         "stub-image", 0x300, "inside the stub's image"},
        {"e_lfanew out of range", withBytes([&](Bytes& b) { Put32(b, 60, 0x7FFFFFF0); }), "pe-header", 60,
         "e_lfanew"},
        {"no MZ", withBytes([&](Bytes& b) { b[0] = 'X'; }), "pe-header", 0, "no MZ"},
        {"no PE signature", withBytes([&](Bytes& b) { b[kLfanew] = 'X'; }), "pe-header", kLfanew,
         "no PE signature"},
        {"table size without offset", withBytes([&](Bytes& b) { Put32(b, kLfanew + 156, 8); }),
         "certificate-table", kLfanew + 152, "no offset"},
        {"negative table size", withBytes([&](Bytes& b) { Put32(b, kLfanew + 156, 0xFFFFFFF0u); }),
         "certificate-table", kLfanew + 156, "negative"},
        {"too short for a DOS header", Bytes(good.bytes.begin(), good.bytes.begin() + 20), "pe-header", 0,
         "too short"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const VerifyReport r = Verify(c.bytes);
        EXPECT_FALSE(r.Passed()) << Dump(r);
        const Finding* f = Find(r, c.check);
        ASSERT_NE(nullptr, f) << Dump(r);
        EXPECT_EQ(Severity::Error, f->severity);
        EXPECT_EQ(c.offset, f->offset) << Dump(r);
        EXPECT_NE(std::string::npos, f->message.find(c.message)) << Dump(r);
    }
}

// What the stub's walk itself makes of each broken package: the answer a comparison with the
// real stub will ask for.
TEST(PackageVerifier, StubExtractsEveryFileFollowsTheWalk) {
    const Package good = Pack(kFiles);
    const Package onPacked = Pack({{"b.txt", "b"}}, true, good.bytes);
    Bytes badName = good.bytes;
    std::memcpy(&badName[good.records[1] + kNameAt], "a:b", 4);
    Bytes shortData = good.bytes;
    Put64(shortData, good.records[2] + kSizeAt, 1ull << 40);

    EXPECT_TRUE(Verify(good.bytes).stubExtractsEveryFile);
    // The stub writes every record of this one: it fails verify only for the unread inner package.
    EXPECT_TRUE(Verify(onPacked.bytes).stubExtractsEveryFile);
    EXPECT_FALSE(Verify(onPacked.bytes).Passed());
    EXPECT_FALSE(Verify(badName).stubExtractsEveryFile);
    EXPECT_FALSE(Verify(badName).files[1].written);
    EXPECT_TRUE(Verify(badName).files[2].written);  // the walk goes on after a refused name
    EXPECT_FALSE(Verify(shortData).stubExtractsEveryFile);
    EXPECT_FALSE(Verify(shortData).files[2].complete);
    EXPECT_FALSE(Verify(Concat(good.bytes, good.bytes)).stubExtractsEveryFile);
}

// The stub's path is <temporary directory>unpack\NAME within MAX_PATH: a name that cannot fit
// under any temporary directory fails, one that fits only under a short one is a warning.
TEST(PackageVerifier, NameLengthAgainstThePathLimit) {
    const struct {
        std::size_t length;
        const char* check;  // nullptr: no finding
        Severity severity;
        const char* message;
    } cases[] = {
        {188, nullptr, Severity::Warning, ""},
        {189, "name-length", Severity::Warning, "has at most 63 characters"},
        {249, "name-length", Severity::Warning, "has at most 3 characters"},
        {250, "name-length", Severity::Error, "on any machine"},
        {259, "name-length", Severity::Error, "on any machine"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.length);
        const Package p = Pack({{"a.txt", "a"}, {std::string(c.length, 'n'), "n"}});
        const VerifyReport r = Verify(p.bytes);
        const Finding* f = Find(r, "name-length");
        if (!c.check) {
            EXPECT_TRUE(r.findings.empty()) << Dump(r);
            continue;
        }
        ASSERT_NE(nullptr, f) << Dump(r);
        EXPECT_EQ(c.severity, f->severity);
        EXPECT_EQ(p.records[1] + kNameAt, f->offset);
        EXPECT_NE(std::string::npos, f->message.find(c.message)) << Dump(r);
        const bool fits = c.severity == Severity::Warning;
        EXPECT_EQ(fits, r.Passed()) << Dump(r);
        EXPECT_EQ(fits, r.stubExtractsEveryFile);
        EXPECT_EQ(fits, r.files[1].written);
    }
}

// Fields the stub does not read, and things that only bite later: warnings, and the package passes.
TEST(PackageVerifier, InconsistentUnreadFieldsAreWarnings) {
    const Package good = Pack(kFiles);
    const std::uint64_t r1 = good.records[0], r2 = good.records[1], t = good.trailer;
    const struct {
        const char* what;
        std::function<void(Bytes&)> change;
        const char* check;
        std::uint64_t offset;
        const char* message;
    } cases[] = {
        {"index", [&](Bytes& b) { Put32(b, r2 + kIndexAt, 9); }, "index", r2 + kIndexAt, "index is 9, expected 3"},
        {"running total", [&](Bytes& b) { Put64(b, r2 + kRunningTotalAt, 5); }, "running-total", r2 + kRunningTotalAt,
         "running total is 5, expected 1015"},
        {"count larger than the records",
         [&](Bytes& b) { for (auto r : good.records) Put32(b, r, 7); }, "count", good.records[2],
         "count is 7 but the stub's walk meets 3 records"},
        {"counts differ", [&](Bytes& b) { Put32(b, r2, 9); }, "count", r2, "the first record's is 3"},
        {"trailer count", [&](Bytes& b) { Put32(b, t, 4); }, "trailer", t, "count is 4"},
        {"trailer index", [&](Bytes& b) { Put32(b, t + kIndexAt, 0); }, "trailer", t + kIndexAt, "index is 0"},
        {"trailer running total", [&](Bytes& b) { Put64(b, t + kRunningTotalAt, 1); }, "trailer", t + kRunningTotalAt, "running total"},
        {"trailer name without NUL", [&](Bytes& b) { std::memset(&b[t + kNameAt], 'x', 260); }, "trailer", t + kNameAt,
         "no NUL"},
        {"bytes after a name's NUL", [&](Bytes& b) { b[r1 + kNameAt + 100] = 'x'; }, "name-padding", r1 + kNameAt + 100,
         "after the name's NUL"},
        {"name with a trailing dot", [&](Bytes& b) { std::memcpy(&b[r2 + kNameAt], "run.bat.", 9); },
         "name-trailing", r2 + kNameAt, "written as 'run.bat'"},
        {"name outside ASCII", [&](Bytes& b) { std::memcpy(&b[r2 + kNameAt], "r\xE9sum\xE9", 7); },
         "name-code-page", r2 + kNameAt, "so it was not compared with the other names: give --codepage N"},
        {"same name twice", [&](Bytes& b) { std::memcpy(&b[r2 + kNameAt], "SETUP.MSI", 9); }, "duplicate-name",
         r2 + kNameAt, "same name as record 1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes b = good.bytes;
        c.change(b);
        const VerifyReport r = Verify(b);
        EXPECT_TRUE(r.Passed()) << Dump(r);
        EXPECT_TRUE(r.stubExtractsEveryFile) << Dump(r);
        const Finding* f = Find(r, c.check);
        ASSERT_NE(nullptr, f) << Dump(r);
        EXPECT_EQ(Severity::Warning, f->severity);
        EXPECT_EQ(c.offset, f->offset) << Dump(r);
        EXPECT_NE(std::string::npos, f->message.find(c.message)) << Dump(r);
    }
}

// The stub's directory after the walk: the later record replaces an earlier file of the same name
// as Windows compares names, which keeps the first spelling; trailing dots and spaces go.
TEST(PackageVerifier, FinalFilesFollowWindowsNameRules) {
    const Package p = Pack({{"Setup.ini", "one"}, {"a.txt", "two"}, {"SETUP.INI", "three"}, {"b. ", "four"},
                            {"a.txt", "five"}, {"b", "six"}});
    const VerifyReport r = Verify(p.bytes);
    EXPECT_TRUE(r.Passed()) << Dump(r);
    const std::vector<FinalFile> files = FinalFiles(r);
    ASSERT_EQ(3u, files.size());
    EXPECT_EQ("Setup.ini", files[0].name);
    EXPECT_EQ(3u, files[0].data->record);
    EXPECT_EQ("a.txt", files[1].name);
    EXPECT_EQ(5u, files[1].data->record);
    EXPECT_EQ("b", files[2].name);
    EXPECT_EQ(6u, files[2].data->record);
    EXPECT_EQ(3u, r.files[0].replacedBy);
    EXPECT_EQ(6u, r.files[3].replacedBy);
}

TEST(PackageVerifier, CodePageDecodesNamesForTheirRules) {
    const Package p = Pack({{"r\xE9sum\xE9.txt", "x"}});
    const VerifyReport unknown = Verify(p.bytes);
    EXPECT_TRUE(unknown.Passed());
    EXPECT_TRUE(unknown.files[0].storedName.empty()) << "cannot be named without the code page";
    EXPECT_TRUE(FinalFiles(unknown).empty());

    const VerifyReport latin1 = Verify(p.bytes, 1252);
    EXPECT_TRUE(latin1.findings.empty()) << Dump(latin1);
    EXPECT_EQ("r\xC3\xA9sum\xC3\xA9.txt", latin1.files[0].storedName);

    // Code page 437 decodes 0xE9 to a Greek capital theta: still a fine name, another spelling.
    EXPECT_EQ("r\xCE\x98sum\xCE\x98.txt", Verify(p.bytes, 437).files[0].storedName);
}

// Random damage to good packages: the verifier must not crash or read out of bounds, and a
// verdict that the stub extracts every file must hold up against the walk itself.
TEST(PackageVerifier, MutatedPackagesKeepTheVerdictHonest) {
    const Bytes seeds[] = {Pack(kFiles).bytes, Sign(Pack(kFiles).bytes, 64), Sign(Pack(kFiles, false).bytes, 64)};
    std::mt19937 random(12345);
    std::size_t extractedAll = 0, failed = 0;
    for (int i = 0; i < 20000; ++i) {
        Bytes b = seeds[i % 3];
        const int edits = 1 + static_cast<int>(random() % 4);
        for (int e = 0; e < edits; ++e) {
            switch (random() % 4) {
                case 0:  // flip a byte somewhere in the package area or the PE headers
                    b[random() % 2 ? kLfanew + random() % 248 : kStubLength + random() % (b.size() - kStubLength)] ^=
                        static_cast<unsigned char>(1 + random() % 255);
                    break;
                case 1:  // truncate
                    b.resize(b.size() - random() % std::min<std::size_t>(b.size(), 700));
                    break;
                case 2:  // append
                    b.resize(b.size() + 1 + random() % 40, static_cast<unsigned char>(random() % 2 ? 0 : 'x'));
                    break;
                default:  // overwrite a 32-bit field at a record-ish position
                    if (b.size() > kStubLength + 8) {
                        const std::uint64_t at = kStubLength + random() % (b.size() - kStubLength - 4);
                        Put32(b, at, static_cast<std::uint32_t>(random() % 3 == 0 ? random() : random() % 8));
                    }
            }
            if (b.size() < 70) break;
        }
        const VerifyReport r = Verify(b);
        if (!r.stubExtractsEveryFile) {
            ++failed;
            ASSERT_GT(r.Errors(), 0u) << "a failed walk must be an error";
            continue;
        }
        ++extractedAll;
        ASSERT_EQ(package::LocateResult::Found, r.layout.result);
        ASSERT_FALSE(r.files.empty());
        for (const PlannedFile& f : r.files) {
            ASSERT_TRUE(f.written && f.complete);
            ASSERT_LE(f.dataOffset + f.size, r.layout.trailerOffset);
            ASSERT_EQ(package::NameProblem::None, package::CheckRecordName(f.nameBytes.data(), f.nameBytes.size()));
        }
        ASSERT_LE(r.layout.trailerOffset - r.layout.walkEnd, 7u);
    }
    // Both verdicts were reached, so the run exercised both sides.
    EXPECT_GT(extractedAll, 100u);
    EXPECT_GT(failed, 100u);
}
