// stubpack create and list on the real stub: layout, signing with osslsigncode, and bad input.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "package/package_format.h"
#include "package_builder.h"
#include "record_names.h"
#include "support.h"

using namespace e2e;

namespace {

struct Packed {
    std::string path;
    RunResult result;
};

std::string MakeInputs(const TempDir& dir, std::size_t firstSize) {
    WriteFile(dir / "setup.msi", std::string(firstSize, 'M'));
    WriteFile(dir / "run.bat", "PreVerCheck.exe");
    WriteFile(dir / "empty.ini", "");
    return dir.Path();
}

std::uint64_t StubLength() { return ReadFile(StubPath()).size(); }

package::PackageRecordHeader HeaderAt(const std::string& bytes, std::uint64_t offset) {
    package::PackageRecordHeader h;
    std::memcpy(&h, bytes.data() + offset, sizeof h);
    return h;
}

}  // namespace

// The package as the format describes it, and the trailer right before the certificate table
// after signing, whether or not the payload length is a multiple of 8.
TEST(StubpackCreate, SignedPackageKeepsTheTrailerBeforeTheTable) {
    for (std::size_t firstSize : {1024u, 1027u, 4093u}) {
        TempDir dir;
        MakeInputs(dir, firstSize);
        const std::string pkg = dir / "pkg.exe", signedPkg = dir / "signed.exe";
        const RunResult created = Stubpack({"create", "--stub", StubPath(), "-o", pkg,
                                            dir / "setup.msi", dir / "run.bat", dir / "empty.ini"});
        ASSERT_EQ(0, created.exitCode) << created.err;

        const std::string bytes = ReadFile(pkg);
        const std::uint64_t S = StubLength();
        EXPECT_EQ(ReadFile(StubPath()), bytes.substr(0, S)) << "the stub is copied unchanged";
        const std::uint64_t sizes[] = {firstSize, 15, 0};
        const char* names[] = {"setup.msi", "run.bat", "empty.ini"};
        std::uint64_t at = S, total = 0;
        for (std::uint32_t k = 0; k < 3; ++k) {
            const auto h = HeaderAt(bytes, at);
            total += sizes[k];
            EXPECT_EQ(3u, h.count);
            EXPECT_EQ(k + 2, h.index);
            EXPECT_EQ(sizes[k], h.size);
            EXPECT_EQ(total, h.runningTotal);
            EXPECT_STREQ(names[k], h.name);
            at += package::kHeaderSize + sizes[k];
        }
        EXPECT_EQ(0u, bytes.size() % 8) << "the trailer ends on an 8-byte boundary";
        EXPECT_LT(bytes.size() - package::kHeaderSize - at, 8u);
        EXPECT_EQ(std::string(bytes.size() - package::kHeaderSize - at, '\0'),
                  bytes.substr(at, bytes.size() - package::kHeaderSize - at));
        const auto trailer = HeaderAt(bytes, bytes.size() - package::kHeaderSize);
        EXPECT_EQ(0u, trailer.count);
        EXPECT_EQ(1u, trailer.index);
        EXPECT_EQ(S, trailer.size);
        EXPECT_EQ(S, trailer.runningTotal);
        EXPECT_STREQ("UnPackFile.exe", trailer.name);

        const RunResult signature = Sign(pkg, signedPkg);
        ASSERT_EQ(0, signature.exitCode) << signature.out << signature.err;
        const RunResult verified = RunProgram({"osslsigncode", "verify", "-CAfile", TestSigningKey().cert,
                                        "-in", signedPkg});
        EXPECT_EQ(0, verified.exitCode) << verified.out << verified.err;

        const std::string signedBytes = ReadFile(signedPkg);
        ASSERT_GT(signedBytes.size(), bytes.size());
        // The signer appended only the table: everything up to the trailer's end is unchanged
        // apart from the PE checksum and the security directory entry in the headers.
        EXPECT_EQ(bytes.substr(S), signedBytes.substr(S, bytes.size() - S));

        const RunResult listed = Stubpack({"list", signedPkg});
        ASSERT_EQ(0, listed.exitCode) << listed.err;
        const std::string table = listed.out;
        EXPECT_NE(std::string::npos, table.find(std::to_string(S) + " ")) << table;
        EXPECT_NE(std::string::npos, table.find("setup.msi")) << table;
        EXPECT_NE(std::string::npos, table.find("run.bat")) << table;
        EXPECT_NE(std::string::npos, table.find("empty.ini")) << table;
        EXPECT_NE(std::string::npos, table.find("(trailer)")) << table;
        const std::uint64_t tableSize = signedBytes.size() - bytes.size();
        EXPECT_NE(std::string::npos,
                  table.find("certificate table: " + std::to_string(tableSize) + " bytes at offset " +
                             std::to_string(bytes.size())))
            << table;

        const RunResult json = Stubpack({"list", "--json", signedPkg});
        ASSERT_EQ(0, json.exitCode) << json.err;
        EXPECT_NE(std::string::npos,
                  json.out.find("\"certificateTable\": {\"offset\": " + std::to_string(bytes.size())))
            << json.out;
        EXPECT_NE(std::string::npos,
                  json.out.find("{\"offset\": " + std::to_string(S) +
                                ", \"count\": 3, \"index\": 2, \"size\": " + std::to_string(firstSize)))
            << json.out;
    }
}

TEST(StubpackCreate, BadInputGetsOneLineAndNoOutput) {
    TempDir dir;
    MakeInputs(dir, 10);
    WriteFile(dir / "CON.txt", "x");
    WriteFile(dir / "a:b", "x");
    WriteFile(dir / "tab\tname", "x");
    WriteFile(dir / "r\xC3\xA9sum\xC3\xA9.txt", "x");
    WriteFile(dir / "notastub.exe", std::string(4096, 'x'));
    // A stub with bytes after its last section, as a packed stub would have.
    WriteFile(dir / "packed.exe", ReadFile(StubPath()) + "extra");
    const std::string out = dir / "out.exe";

    const struct {
        std::vector<std::string> args;
        int status;
        std::string message;
    } cases[] = {
        {{"--stub", StubPath(), "-o", out, dir / "missing.bin"}, 1, "missing.bin: cannot open"},
        {{"--stub", StubPath(), "-o", out, dir / "CON.txt"}, 1, "reserved device name"},
        {{"--stub", StubPath(), "-o", out, dir / "a:b"}, 1, "':'"},
        {{"--stub", StubPath(), "-o", out, dir / "tab\tname"}, 1, "control character"},
        {{"--stub", StubPath(), "-o", out, dir / "r\xC3\xA9sum\xC3\xA9.txt"}, 1, "--codepage"},
        {{"--stub", StubPath(), "-o", out, "--codepage", "437", dir / "r\xC3\xA9sum\xC3\xA9.txt"},
         0, ""},
        {{"--stub", StubPath(), "-o", out, "--codepage", "1253", dir / "r\xC3\xA9sum\xC3\xA9.txt"},
         1, "cannot be written in code page 1253"},
        {{"--stub", StubPath(), "-o", out, "--codepage", "99999", dir / "run.bat"}, 2, "code page"},
        {{"--stub", dir / "notastub.exe", "-o", out, dir / "run.bat"}, 1, "not a Windows executable"},
        {{"--stub", dir / "packed.exe", "-o", out, dir / "run.bat"}, 1, "follow the last section"},
        {{"--stub", StubPath(), "-o", dir / "run.bat", dir / "run.bat"}, 1, "overwrite an input"},
        {{"--stub", StubPath(), "-o", out}, 2, "no files"},
        {{"--stub", StubPath(), dir / "run.bat"}, 2, "-o OUT is required"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"create"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const RunResult r = Stubpack(args);
        EXPECT_EQ(c.status, r.exitCode) << c.message << "\n" << r.err;
        if (c.status != 0) {
            EXPECT_NE(std::string::npos, r.err.find(c.message)) << r.err;
            EXPECT_EQ(1, std::count(r.err.begin(), r.err.end(), '\n')) << r.err;
            EXPECT_FALSE(FileExists(out)) << c.message;
        } else {
            EXPECT_TRUE(FileExists(out));
            // Code page 437 stores e-acute as 0x82.
            const std::string bytes = ReadFile(out);
            EXPECT_NE(std::string::npos, bytes.find(std::string("r\x82sum\x82.txt") + '\0'));
            RunProgram({"rm", "-f", out});
        }
    }
    EXPECT_EQ(std::string(10, 'M'), ReadFile(dir / "setup.msi")) << "inputs are never touched";
    // No temporary file is left behind by the failed runs.
    const RunResult leftovers = RunProgram({"sh", "-c", "ls -A " + dir.Path() + " | grep '^\\.' || true"});
    EXPECT_EQ("", leftovers.out);
}

// Two inputs that the stub would write to one file: refused with one line naming both and the
// name they share, nothing written. create and verify compare names alike: a package of the
// same two names gets verify's duplicate warning exactly when create refuses them. Letters
// outside ASCII compare as the file system upper-cases them once --codepage has decoded them,
// and the Windows build (under Wine) answers as the Linux build does; without --codepage verify
// says that such names were not compared.
TEST(StubpackCreate, InputsTheStubWouldWriteToOneFileAreRefused) {
    TempDir dir;
    RunProgram({"mkdir", "-p", dir / "in/dir"});
    const std::string cafe = "caf\xC3\xA9.txt", CAFE = "CAF\xC3\x89.txt";
    const std::string fileCyrillic = "\xD1\x84\xD0\xB0\xD0\xB9\xD0\xBB.txt", FILECyrillic = "\xD0\xA4\xD0\x90\xD0\x99\xD0\x9B.txt";
    const std::string sigma = "\xCF\x83.txt", finalSigma = "\xCF\x82.txt", micro = "\xC2\xB5.txt", MU = "\xCE\x9C.txt";
    const std::string yDiaeresis = "\xC3\xBF.txt", YDiaeresis = "\xC5\xB8.txt", strasse = "stra\xC3\x9F" "e.txt";
    const std::string dotlessI = "\xC4\xB1.txt", dottedI = "\xC4\xB0.txt";
    for (const char* name : {"A.BIN", "a.bin", "dir/a.bin", "a.bim", "setup.ini", "setup.ini.", "setup.ini  ",
                             "caf\xC3\xA9.ini", "caf\xC3\xA9.ini.", "SETUP.INI.TXT", "STRASSE.txt", "I.txt", "i.txt"})
        WriteFile(dir / "in" + "/" + name, name);
    for (const std::string& name : {cafe, CAFE, fileCyrillic, FILECyrillic, sigma, finalSigma, micro, MU, yDiaeresis,
                                    YDiaeresis, strasse, dotlessI, dottedI})
        WriteFile(dir / "in" + "/" + name, name);
    const std::string out = dir / "out.exe";

    const struct {
        std::string first, second;
        unsigned codePage;
        std::string shared;  // empty: accepted
    } cases[] = {
        {"A.BIN", "a.bin", 0, "'a.bin' is 'A.BIN' on Windows"},
        {"a.bin", "dir/a.bin", 0, "'a.bin'"},
        {"a.bin", "a.bin", 0, "'a.bin', the same file given twice"},
        {"setup.ini", "setup.ini.", 0, "'setup.ini.' is 'setup.ini' on Windows"},
        {"setup.ini", "setup.ini  ", 0, "'setup.ini  ' is 'setup.ini' on Windows"},
        {"caf\xC3\xA9.ini", "caf\xC3\xA9.ini.", 1252, "'caf\xC3\xA9.ini.' is 'caf\xC3\xA9.ini' on Windows"},
        {"a.bin", "a.bim", 0, ""},
        {"setup.ini", "SETUP.INI.TXT", 0, ""},
        // Outside ASCII: each UTF-16 unit upper-cased as the file system's table does.
        {cafe, CAFE, 1252, "'" + CAFE + "' is '" + cafe + "' on Windows"},
        {yDiaeresis, YDiaeresis, 1252, "'" + YDiaeresis + "' is '" + yDiaeresis + "' on Windows"},
        {fileCyrillic, FILECyrillic, 1251, "'" + FILECyrillic + "' is '" + fileCyrillic + "' on Windows"},
        {sigma, finalSigma, 1253, "'" + finalSigma + "' is '" + sigma + "' on Windows"},
        // No one-unit capital for sharp s; the micro sign and the Turkish i's keep their own case.
        {strasse, "STRASSE.txt", 1252, ""},
        {micro, MU, 1253, ""},
        {dotlessI, "I.txt", 1254, ""},
        {"i.txt", dottedI, 1254, ""},
    };
    auto withoutCarriageReturns = [](std::string text) {
        text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
        return text;
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first + " + " + c.second);
        const std::string first = dir / "in/" + c.first, second = dir / "in/" + c.second;
        std::vector<std::string> options;
        if (c.codePage) options = {"--codepage", std::to_string(c.codePage)};
        for (const bool windowsBuild : {false, true}) {
            SCOPED_TRACE(windowsBuild ? "stubpack.exe" : "stubpack");
            // A Win32 path drops the trailing dots and spaces too: there both open one file.
            const char last = c.second.back();
            if (windowsBuild && (last == '.' || last == ' ')) continue;
            auto path = [&](const std::string& p) { return windowsBuild ? ToWindowsPath(p) : p; };
            std::vector<std::string> args = {"create", "--stub", path(StubPath()), "-o", path(out)};
            args.insert(args.end(), options.begin(), options.end());
            args.insert(args.end(), {path(first), path(second)});
            const RunResult r = windowsBuild ? RunWine(StubpackExePath(), args) : Stubpack(args);
            if (c.shared.empty()) {
                EXPECT_EQ(0, r.exitCode) << r.err;
                EXPECT_EQ("", r.err);
            } else {
                EXPECT_EQ(1, r.exitCode);
                EXPECT_EQ("stubpack: " + path(second) + ": has the same name as " + path(first) + " (" + c.shared +
                              "): the stub would replace that file with this one\n",
                          withoutCarriageReturns(r.err));
                EXPECT_FALSE(FileExists(out));
            }
            RunProgram({"rm", "-f", out});
        }

        testsupport::TestPackage crafted;
        crafted.stub = ReadFile(StubPath());
        bool outsideAscii = false;
        for (const std::string& input : {first, second}) {
            const std::string base = input.substr(input.find_last_of('/') + 1);
            crafted.records.push_back({stubpack::EncodeRecordName(base, c.codePage, input), "x"});
            for (unsigned char byte : base) outsideAscii = outsideAscii || byte >= 0x80;
        }
        WriteFile(dir / "crafted.exe", crafted.Build());
        std::vector<std::string> verify = {"verify"};
        verify.insert(verify.end(), options.begin(), options.end());
        std::vector<std::string> verifyExe = verify;
        verify.push_back(dir / "crafted.exe");
        verifyExe.push_back(ToWindowsPath(dir / "crafted.exe"));
        const RunResult v = Stubpack(verify), w = RunWine(StubpackExePath(), verifyExe);
        for (const RunResult* result : {&v, &w}) {
            EXPECT_EQ(0, result->exitCode) << result->out;
            EXPECT_EQ(!c.shared.empty(), result->out.find("has the same name as record 1") != std::string::npos)
                << result->out;
        }
        if (outsideAscii) {
            const RunResult unknown = Stubpack({"verify", dir / "crafted.exe"});
            EXPECT_EQ(0, unknown.exitCode) << unknown.out;
            EXPECT_EQ(std::string::npos, unknown.out.find("has the same name")) << unknown.out;
            EXPECT_NE(std::string::npos, unknown.out.find("so it was not compared with the other names"))
                << unknown.out;
        }
    }
    const RunResult leftovers = RunProgram({"sh", "-c", "ls -A " + dir.Path() + " | grep '^\\.' || true"});
    EXPECT_EQ("", leftovers.out) << "no temporary file is left behind";
}

TEST(StubpackCreate, SignedStubIsRefused) {
    TempDir dir;
    MakeInputs(dir, 10);
    ASSERT_EQ(0, Sign(StubPath(), dir / "signed-stub.exe").exitCode);
    const RunResult r = Stubpack({"create", "--stub", dir / "signed-stub.exe", "-o", dir / "o.exe",
                                  dir / "run.bat"});
    EXPECT_EQ(1, r.exitCode);
    EXPECT_NE(std::string::npos, r.err.find("stub is signed")) << r.err;
}

TEST(StubpackList, PackageFoundNowhere) {
    const RunResult bare = Stubpack({"list", StubPath()});
    EXPECT_EQ(1, bare.exitCode);
    EXPECT_NE(std::string::npos, bare.err.find("no package found")) << bare.err;
    const RunResult usage = Stubpack({"list"});
    EXPECT_EQ(2, usage.exitCode);
}
