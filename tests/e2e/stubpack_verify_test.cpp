// stubpack verify on package executables built from the real stub with stubpack create, signed
// with osslsigncode, and broken the ways packages break in practice.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "package/package_format.h"
#include "support.h"

using namespace e2e;

namespace {

// Packs three files whose sizes leave `padding` alignment bytes before the trailer.
std::string PackWithPadding(const TempDir& dir, const std::string& out, std::uint64_t padding) {
    const std::uint64_t stub = ReadFile(StubPath()).size();
    // stub + 3 headers + 15 + 0 + first + trailer must be padding short of a multiple of 8.
    std::uint64_t first = 1000;
    while (package::AlignmentPadding(stub + 3 * package::kHeaderSize + 15 + first) != padding) ++first;
    WriteFile(dir / "setup.msi", std::string(first, 'M'));
    WriteFile(dir / "run.bat", "PreVerCheck.exe");
    WriteFile(dir / "empty.ini", "");
    const RunResult r = Stubpack({"create", "--stub", StubPath(), "-o", out, dir / "setup.msi", dir / "run.bat",
                                  dir / "empty.ini"});
    if (r.exitCode != 0) ADD_FAILURE() << r.err;
    return out;
}

// The package without its alignment bytes: as a packer that does not align would write it.
std::string WithoutAlignment(const std::string& bytes, std::uint64_t padding) {
    const std::size_t trailer = bytes.size() - package::kHeaderSize;
    return bytes.substr(0, trailer - padding) + bytes.substr(trailer);
}

std::uint64_t Record(const std::string& bytes, int k) {
    std::uint64_t at = ReadFile(StubPath()).size();
    for (int i = 0; i < k; ++i) {
        package::PackageRecordHeader h;
        std::memcpy(&h, bytes.data() + at, sizeof h);
        at += package::kHeaderSize + h.size;
    }
    return at;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
        lines.push_back(text.substr(start, nl - start));
    return lines;
}

}  // namespace

TEST(StubpackVerify, GoodPackagesSignedAndUnsigned) {
    TempDir dir;
    const std::string pkg = PackWithPadding(dir, dir / "pkg.exe", 3);
    ASSERT_EQ(0, Sign(pkg, dir / "signed.exe").exitCode);

    const RunResult plain = Stubpack({"verify", pkg});
    EXPECT_EQ(0, plain.exitCode) << plain.out << plain.err;
    EXPECT_EQ(pkg + ": OK: the stub will extract all 3 files (unsigned)\n", plain.out);
    EXPECT_EQ("", plain.err);

    const RunResult signedRun = Stubpack({"verify", dir / "signed.exe"});
    EXPECT_EQ(0, signedRun.exitCode) << signedRun.out << signedRun.err;
    const std::uint64_t unsignedLength = ReadFile(pkg).size();
    const std::uint64_t table = ReadFile(dir / "signed.exe").size() - unsignedLength;
    EXPECT_EQ(dir / "signed.exe" + ": OK: the stub will extract all 3 files (signed, certificate table of " +
                  std::to_string(table) + " bytes at " + std::to_string(unsignedLength) + ")\n",
              signedRun.out);

    const RunResult json = Stubpack({"verify", "--json", dir / "signed.exe"});
    EXPECT_EQ(0, json.exitCode);
    EXPECT_NE(std::string::npos, json.out.find("\"ok\": true")) << json.out;
    EXPECT_NE(std::string::npos, json.out.find("\"stubExtractsEveryFile\": true")) << json.out;
    EXPECT_NE(std::string::npos, json.out.find("\"findings\": []")) << json.out;
    EXPECT_NE(std::string::npos, json.out.find("\"name\": \"run.bat\", \"written\": true, \"complete\": true"))
        << json.out;
}

// Each way a package breaks, as verify reports it: exit status 1, one line per problem with its
// offset, and a closing FAILED line.
TEST(StubpackVerify, BrokenPackagesAreCaughtWithTheirReason) {
    TempDir dir;
    const std::string pkg = PackWithPadding(dir, dir / "pkg.exe", 5);
    const std::string bytes = ReadFile(pkg);
    ASSERT_EQ(0, Sign(pkg, dir / "signed.exe").exitCode);
    const std::string signedBytes = ReadFile(dir / "signed.exe");

    // Signing a package whose trailer does not end on an 8-byte boundary: osslsigncode pads.
    WriteFile(dir / "unaligned.exe", WithoutAlignment(bytes, 5));
    ASSERT_EQ(0, Sign(dir / "unaligned.exe", dir / "signer-padded.exe").exitCode);

    // A second package appended to a packed stub, by hand, as create refuses to do it.
    std::string onPacked = bytes;
    const auto inner = package::MakeFileRecord(1, 1, 3, 3, "b.txt", 5);
    onPacked.append(reinterpret_cast<const char*>(&inner), sizeof inner).append("abc");
    onPacked.append(package::AlignmentPadding(onPacked.size()), '\0');
    const auto outer = package::MakeTrailer(bytes.size(), "pkg.exe", 7);
    onPacked.append(reinterpret_cast<const char*>(&outer), sizeof outer);

    std::string badName = bytes;
    std::memcpy(&badName[Record(bytes, 1) + package::kNameAt], "..\\run.bat", 11);

    const struct {
        const char* file;
        std::string content;
        std::string message;
    } cases[] = {
        {"signer-padded.exe", ReadFile(dir / "signer-padded.exe"),
         "5 zero bytes lie between the trailer (at " + std::to_string(bytes.size() - 5 - package::kHeaderSize) +
             ") and the certificate table"},
        {"truncated.exe", bytes.substr(0, bytes.size() - 500), "the file is truncated"},
        {"truncated-signed.exe", signedBytes.substr(0, signedBytes.size() - 100),
         "runs past the end of the file (" + std::to_string(signedBytes.size() - 100) + "): the file is truncated"},
        {"twice.exe", bytes + bytes, "the package was appended twice"},
        {"on-packed.exe", onPacked, "appended to an already packed stub (appended twice)"},
        {"appended.exe", bytes + "junk", "4 bytes follow it before the end of the file"},
        {"appended-after-signing.exe", signedBytes + "junk", "4 bytes follow the certificate table"},
        {"bad-name.exe", badName,
         "error at offset " + std::to_string(Record(bytes, 1) + package::kNameAt) +
             ": record 2 ('..\\x5Crun.bat'): the name holds a path separator: the stub skips this file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        WriteFile(dir / c.file, c.content);
        const RunResult r = Stubpack({"verify", dir / c.file});
        EXPECT_EQ(1, r.exitCode) << r.out << r.err;
        EXPECT_NE(std::string::npos, r.out.find(c.message)) << r.out;
        const auto lines = Lines(r.out);
        ASSERT_GE(lines.size(), 2u) << r.out;
        for (std::size_t i = 0; i + 1 < lines.size(); ++i)
            EXPECT_EQ(0u, lines[i].find(dir / c.file + ": ")) << lines[i];
        for (std::size_t i = 0; i + 1 < lines.size(); ++i)
            EXPECT_NE(std::string::npos, lines[i].find(" at offset ")) << lines[i];
        EXPECT_NE(std::string::npos, lines.back().find(": FAILED: ")) << r.out;

        const RunResult json = Stubpack({"verify", "--json", dir / c.file});
        EXPECT_EQ(1, json.exitCode);
        EXPECT_NE(std::string::npos, json.out.find("\"ok\": false")) << json.out;
    }

    // The unaligned package itself still works unsigned: a warning, exit status 0.
    const RunResult unaligned = Stubpack({"verify", dir / "unaligned.exe"});
    EXPECT_EQ(0, unaligned.exitCode) << unaligned.out;
    EXPECT_NE(std::string::npos, unaligned.out.find("warning at offset")) << unaligned.out;
    EXPECT_NE(std::string::npos, unaligned.out.find("not on an 8-byte boundary")) << unaligned.out;
    EXPECT_NE(std::string::npos, unaligned.out.find("OK: the stub will extract all 3 files (unsigned, 1 warning)"))
        << unaligned.out;
}

// list and verify describe the certificate table alike: where the PE headers put it, and where
// the stub expects it (the two differ when the headers and the stub's reckoning disagree).
TEST(StubpackVerify, ListAndVerifyAgreeOnTheCertificateTable) {
    TempDir dir;
    const std::string pkg = PackWithPadding(dir, dir / "pkg.exe", 5);
    ASSERT_EQ(0, Sign(pkg, dir / "signed.exe").exitCode);
    const std::string signedBytes = ReadFile(dir / "signed.exe");
    const std::uint64_t table = ReadFile(pkg).size();  // the packer aligned it: the signer added nothing
    const std::uint64_t size = signedBytes.size() - table;
    // The security directory moved by 8 bytes: the stub, which reads only its size, still finds
    // the package; data appended after the table: only verify can say why the stub finds none.
    std::uint32_t lfanew = 0;
    std::memcpy(&lfanew, &signedBytes[package::kLfanewOffset], 4);
    std::string moved = signedBytes;
    const std::uint32_t movedAddress = static_cast<std::uint32_t>(table + 8);
    const std::size_t entry =
        package::CertTableEntryAt(reinterpret_cast<const unsigned char*>(&signedBytes[lfanew]));
    std::memcpy(&moved[lfanew + entry], &movedAddress, 4);
    WriteFile(dir / "moved.exe", moved);
    WriteFile(dir / "appended.exe", signedBytes + "junk");
    const struct {
        const char* file;
        std::uint64_t offset, expectedAt;
        bool listed;
    } cases[] = {{"signed.exe", table, table, true},
                 {"moved.exe", table + 8, table, true},
                 {"appended.exe", table, table + 4, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string expected = "\"certificateTable\": {\"offset\": " + std::to_string(c.offset) +
                                     ", \"size\": " + std::to_string(size) +
                                     ", \"stubExpectsAt\": " + std::to_string(c.expectedAt) + "}";
        const RunResult verify = Stubpack({"verify", "--json", dir / c.file});
        EXPECT_NE(std::string::npos, verify.out.find(expected)) << verify.out;
        if (!c.listed) continue;
        const RunResult list = Stubpack({"list", "--json", dir / c.file});
        EXPECT_NE(std::string::npos, list.out.find(expected)) << list.out;
    }
    EXPECT_NE(std::string::npos, Stubpack({"list", dir / "moved.exe"})
                                     .out.find("certificate table: " + std::to_string(size) + " bytes at offset " +
                                               std::to_string(table + 8) + " (the stub expects it at offset " +
                                               std::to_string(table) + ")"));
}

TEST(StubpackVerify, WhatCannotBeVerified) {
    TempDir dir;
    const struct {
        std::vector<std::string> args;
        int status;
        std::string err;
    } cases[] = {
        {{"verify", dir / "missing.exe"}, 1, "missing.exe: cannot open"},
        {{"verify", dir.Path()}, 1, "not a regular file"},
        {{"verify"}, 2, "no package given"},
        {{"verify", "a", "b"}, 2, "one package at a time"},
        {{"verify", "--codepage", "70000", "a"}, 2, "unknown code page"},
    };
    for (const auto& c : cases) {
        const RunResult r = Stubpack(c.args);
        EXPECT_EQ(c.status, r.exitCode) << c.err;
        EXPECT_EQ("", r.out);
        EXPECT_NE(std::string::npos, r.err.find(c.err)) << r.err;
        EXPECT_EQ(1, std::count(r.err.begin(), r.err.end(), '\n')) << r.err;
    }
    // The bare stub: no package where the stub looks.
    const RunResult bare = Stubpack({"verify", StubPath()});
    EXPECT_EQ(1, bare.exitCode);
    EXPECT_NE(std::string::npos, bare.out.find("the stub finds no package")) << bare.out;
}
