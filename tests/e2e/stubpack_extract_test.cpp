// stubpack extract: the files come out byte for byte, only inside DIR, never through a symlink,
// and a record the stub would write short or under an unsafe name is reported, not written.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "package/package_format.h"
#include "support.h"

using namespace e2e;

namespace {

struct Input {
    std::string name;  // the record's name bytes; 260 of them fill the field without a NUL
    std::string data;
};

// A package built by hand on the real stub, for names and sizes create refuses to write.
std::string Craft(const std::vector<Input>& inputs) {
    const std::string stub = ReadFile(StubPath());
    std::string out = stub;
    std::uint64_t total = 0;
    const auto count = static_cast<std::uint32_t>(inputs.size());
    for (std::uint32_t k = 0; k < count; ++k) {
        total += inputs[k].data.size();
        auto h = package::MakeFileRecord(count, k + 1, inputs[k].data.size(), total, inputs[k].name.data(),
                                         inputs[k].name.size());
        if (inputs[k].name.size() == package::kNameFieldSize)
            std::memcpy(h.name, inputs[k].name.data(), package::kNameFieldSize);
        out.append(reinterpret_cast<const char*>(&h), sizeof h).append(inputs[k].data);
    }
    out.append(package::AlignmentPadding(out.size()), '\0');
    const auto t = package::MakeTrailer(stub.size(), "UnPackFile.exe", 14);
    return out.append(reinterpret_cast<const char*>(&t), sizeof t);
}

// Every path under dir except below `skip`, with its type and size.
std::string TreeOutside(const std::string& dir, const std::string& skip) {
    return RunProgram({"sh", "-c", "cd '" + dir + "' && find . -path './" + skip +
                                       "' -prune -o -printf '%p %y %s\\n' | sort"})
        .out;
}

bool IsSymlink(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

}  // namespace

TEST(StubpackExtract, SignedPackageComesOutByteForByte) {
    TempDir dir;
    std::string big(3 << 20, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 131 + (i >> 9));
    WriteFile(dir / "setup.msi", big);
    WriteFile(dir / "run.bat", "PreVerCheck.exe");
    WriteFile(dir / "empty.ini", "");
    const std::string pkg = dir / "pkg.exe";
    ASSERT_EQ(0, Stubpack({"create", "--stub", StubPath(), "-o", pkg, dir / "setup.msi", dir / "run.bat",
                           dir / "empty.ini"}).exitCode);
    ASSERT_EQ(0, Sign(pkg, dir / "signed.exe").exitCode);

    const RunResult r = Stubpack({"extract", dir / "signed.exe", dir / "out"});
    ASSERT_EQ(0, r.exitCode) << r.err;
    EXPECT_EQ("", r.err);
    EXPECT_EQ(dir / "out/setup.msi (3145728 bytes)\n" + dir / "out/run.bat (15 bytes)\n" + dir / "out/empty.ini (0 bytes)\n",
              r.out);
    EXPECT_TRUE(ReadFile(dir / "out/setup.msi") == big);
    EXPECT_EQ("PreVerCheck.exe", ReadFile(dir / "out/run.bat"));
    EXPECT_TRUE(FileExists(dir / "out/empty.ini"));
    EXPECT_EQ("", ReadFile(dir / "out/empty.ini"));
    // Only the three files: no temporary file is left behind.
    EXPECT_EQ("empty.ini\nrun.bat\nsetup.msi\n", RunProgram({"ls", "-A", dir / "out"}).out);

    // Extracting again into the same directory replaces the files with the same bytes.
    WriteFile(dir / "out/run.bat", "changed");
    ASSERT_EQ(0, Stubpack({"extract", dir / "signed.exe", dir / "out"}).exitCode);
    EXPECT_EQ("PreVerCheck.exe", ReadFile(dir / "out/run.bat"));

    // --list-only is list.
    const RunResult listOnly = Stubpack({"extract", "--list-only", dir / "signed.exe"});
    const RunResult list = Stubpack({"list", dir / "signed.exe"});
    EXPECT_EQ(0, listOnly.exitCode);
    EXPECT_EQ(list.out, listOnly.out);
    EXPECT_EQ(Stubpack({"list", "--json", pkg}).out, Stubpack({"extract", "--list-only", "--json", pkg}).out);
}

// Names that would leave DIR or are not Windows file names are refused and reported; the other
// files are written, and nothing appears outside DIR.
TEST(StubpackExtract, UnsafeNamesAreRefusedAndNothingLeavesDir) {
    TempDir dir;
    WriteFile(dir / "evil.pkg", Craft({{"..\\escape.txt", "1"},
                                       {"../escape.txt", "2"},
                                       {"..", "3"},
                                       {"C:escape.txt", "4"},
                                       {"/tmp/escape.txt", "5"},
                                       {"CON", "6"},
                                       {"good.txt", "good"},
                                       {std::string(260, 'n'), "7"},
                                       // Fits the name field, but no path under a working
                                       // directory can hold it.
                                       {std::string(259, 'm'), "8"}}));
    RunProgram({"mkdir", dir / "box", dir / "box/out"});
    const std::string before = TreeOutside(dir.Path(), "box/out");
    ASSERT_NE(std::string::npos, before.find("./evil.pkg f")) << before;

    const RunResult r = Stubpack({"extract", dir / "evil.pkg", dir / "box/out"});
    EXPECT_EQ(1, r.exitCode);
    EXPECT_EQ(dir / "box/out/good.txt (4 bytes)\n", r.out);
    EXPECT_EQ("good", ReadFile(dir / "box/out/good.txt"));
    EXPECT_EQ("good.txt\n", RunProgram({"ls", "-A", dir / "box/out"}).out);
    EXPECT_EQ("out\n", RunProgram({"ls", "-A", dir / "box"}).out);
    EXPECT_FALSE(FileExists("/tmp/escape.txt"));
    for (const char* expected : {"record 1 at offset", "path separator", "only dots and spaces", "':'",
                                 "reserved device name", "longer than 259",
                                 "too long for a path under any working directory",
                                 "8 of 9 records not written"})
        EXPECT_NE(std::string::npos, r.err.find(expected)) << expected << "\n" << r.err;
    // One line per refused record and one closing line.
    EXPECT_EQ(9, std::count(r.err.begin(), r.err.end(), '\n')) << r.err;
    EXPECT_EQ(before, TreeOutside(dir.Path(), "box/out"));
}

// A symlink planted in DIR under a packaged name is replaced by the file; its target is untouched.
TEST(StubpackExtract, PlantedSymlinksAreNotFollowed) {
    TempDir dir;
    WriteFile(dir / "run.bat", "PreVerCheck.exe");
    WriteFile(dir / "setup.ini", "[setup]");
    ASSERT_EQ(0, Stubpack({"create", "--stub", StubPath(), "-o", dir / "pkg.exe", dir / "run.bat",
                           dir / "setup.ini"}).exitCode);
    RunProgram({"mkdir", dir / "out"});
    WriteFile(dir / "victim.txt", "keep me");
    ASSERT_EQ(0, symlink((dir / "victim.txt").c_str(), (dir / "out/run.bat").c_str()));
    ASSERT_EQ(0, symlink((dir / "nowhere/new.txt").c_str(), (dir / "out/setup.ini").c_str()));

    const RunResult r = Stubpack({"extract", dir / "pkg.exe", dir / "out"});
    ASSERT_EQ(0, r.exitCode) << r.err;
    EXPECT_EQ("keep me", ReadFile(dir / "victim.txt"));
    EXPECT_FALSE(FileExists(dir / "nowhere"));
    EXPECT_FALSE(IsSymlink(dir / "out/run.bat"));
    EXPECT_FALSE(IsSymlink(dir / "out/setup.ini"));
    EXPECT_EQ("PreVerCheck.exe", ReadFile(dir / "out/run.bat"));
    EXPECT_EQ("[setup]", ReadFile(dir / "out/setup.ini"));
}

// As the stub: the later of two records with the same name (as Windows compares names) wins,
// under the first spelling; a trailing dot is dropped as Windows drops it.
TEST(StubpackExtract, DuplicateNamesEndAsInTheStub) {
    TempDir dir;
    WriteFile(dir / "dup.pkg", Craft({{"Setup.ini", "first"}, {"run.bat.", "run"}, {"SETUP.INI", "second"}}));
    const RunResult r = Stubpack({"extract", dir / "dup.pkg", dir / "out"});
    EXPECT_EQ(0, r.exitCode) << r.err;
    EXPECT_EQ("Setup.ini\nrun.bat\n", RunProgram({"ls", "-A", dir / "out"}).out);
    EXPECT_EQ("second", ReadFile(dir / "out/Setup.ini"));
    EXPECT_EQ("run", ReadFile(dir / "out/run.bat"));
    EXPECT_NE(std::string::npos, r.err.find("is replaced by record 3")) << r.err;

    const RunResult verify = Stubpack({"verify", dir / "dup.pkg"});
    EXPECT_EQ(0, verify.exitCode) << verify.out;
    EXPECT_NE(std::string::npos, verify.out.find("same name as record 1")) << verify.out;
}

// The stub would write a record whose data run past the end of the file short; extract writes
// the complete files, reports that one, leaves no partial file and exits 1.
TEST(StubpackExtract, ShortRecordIsReportedNotWritten) {
    TempDir dir;
    std::string bytes = Craft({{"a.txt", "alpha"}, {"b.txt", "bravo"}, {"c.txt", "charlie"}});
    const std::uint64_t second = ReadFile(StubPath()).size() + package::kHeaderSize + 5;
    const std::uint64_t huge = 1ull << 33;
    std::memcpy(&bytes[second + 8], &huge, 8);
    WriteFile(dir / "short.pkg", bytes);

    const RunResult r = Stubpack({"extract", dir / "short.pkg", dir / "out"});
    EXPECT_EQ(1, r.exitCode);
    EXPECT_EQ(dir / "out/a.txt (5 bytes)\n", r.out);
    EXPECT_EQ("a.txt\n", RunProgram({"ls", "-A", dir / "out"}).out);
    EXPECT_NE(std::string::npos, r.err.find("record 2 at offset " + std::to_string(second) + " ('b.txt'): not written: "
                                            "its data run past the end of the file"))
        << r.err;
}

TEST(StubpackExtract, NamesOutsideAsciiNeedTheCodePage) {
    TempDir dir;
    WriteFile(dir / "cp.pkg", Craft({{"r\x82sum\x82.txt", "cv"}, {"plain.txt", "p"}}));
    const RunResult without = Stubpack({"extract", dir / "cp.pkg", dir / "a"});
    EXPECT_EQ(1, without.exitCode);
    EXPECT_NE(std::string::npos, without.err.find("--codepage")) << without.err;
    EXPECT_EQ("plain.txt\n", RunProgram({"ls", "-A", dir / "a"}).out);

    const RunResult with = Stubpack({"extract", "--codepage", "437", dir / "cp.pkg", dir / "b"});
    EXPECT_EQ(0, with.exitCode) << with.err;
    EXPECT_EQ("cv", ReadFile(dir / "b/r\xC3\xA9sum\xC3\xA9.txt"));
}

TEST(StubpackExtract, NoPackageNoDirectory) {
    TempDir dir;
    const RunResult r = Stubpack({"extract", StubPath(), dir / "out"});
    EXPECT_EQ(1, r.exitCode);
    EXPECT_NE(std::string::npos, r.err.find("no package found")) << r.err;
    EXPECT_FALSE(FileExists(dir / "out"));
    EXPECT_EQ(2, Stubpack({"extract", StubPath()}).exitCode);
    EXPECT_EQ(2, Stubpack({"extract", "--json", StubPath(), dir / "out"}).exitCode);
}
