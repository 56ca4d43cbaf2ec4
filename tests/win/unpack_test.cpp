// The extractor in process, on package files made by the test: what lands in the working
// directory, the log lines in order, and the malformed packages.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "package/unpack.h"
#include "expect_log.h"
#include "package_builder.h"
#include "test_temp_dir.h"
#include "util/held_dir.h"
#include "util/temp_dir.h"
#include "util/utility.h"

namespace {

using testsupport::ExpectLog;
using testsupport::TestPackage;
using testsupport::TestRecord;

std::wstring Widen(const std::string& s) { return std::wstring(s.begin(), s.end()); }

class Extraction : public ::testing::Test {
protected:
    std::wstring PackagePath() const { return temp / L"pkg.exe"; }
    std::wstring WorkDir() const { return temp / L"unpack\\"; }
    std::wstring Log() const { return temp / L"unpack.log"; }

    int Extract(const TestPackage& package) {
        WriteWholeFile(PackagePath(), package.Build());
        CUnPack unpack(PackagePath().c_str());
        unpack.RunUnPack();
        finished = unpack.Finished();
        return 0;
    }

    std::vector<std::wstring> FindHeaderLines(const TestPackage& p) const {
        return {L"[CUnPack::FindHeader] Name:" + PackagePath(),
                L"[CUnPack::FindHeader] Sign Size:" + std::to_wstring(p.certTableSize),
                L"[CUnPack::FindHeader] Header offset:" + std::to_wstring(p.FirstRecordOffset())};
    }

    ScopedTempDir temp;
    bool finished = false;
};

}  // namespace

TEST_F(Extraction, FivePackagedFilesAndTheirLogLines) {
    TestPackage p;
    std::string msi(3 * 1024, '\0');
    for (std::size_t i = 0; i < msi.size(); ++i) msi[i] = static_cast<char>(i * 7);
    p.records = {{"setup.msi", msi},
                 {"run.bat", "PreVerCheck.exe"},
                 {"setup.ini", ""},
                 {"PreVerCheck.exe", std::string(1500, 'P')},
                 {"uninst.iss", "[Application]\r\n"}};
    for (std::int32_t cert : {0, 1496}) {  // unsigned, and with a certificate table
        p.certTableSize = cert;
        DeleteFileW(Log().c_str());
        Extract(p);
        EXPECT_TRUE(finished);

        std::vector<std::wstring> expected = FindHeaderLines(p);
        for (std::size_t k = 0; k < p.records.size(); ++k) {
            const std::wstring name = Widen(p.records[k].name), size = std::to_wstring(p.records[k].data.size());
            const std::wstring n = std::to_wstring(k + 1);
            expected.push_back(L"[CUnPack::UnPackFiles]  FreeSpace:{n} FileSize:" + size);
            expected.push_back(L"[CUnPack::UnPackFiles] (" + n + L"/5)UnPack file name:" + WorkDir() +
                               name + L" (" + size + L")");
            expected.push_back(L"[CUnPack::UnPackFiles] UnPack count:" + n + L" len:" + size +
                               L" File:" + WorkDir() + name);
            EXPECT_EQ(p.records[k].data, ReadWholeFile(WorkDir() + name)) << p.records[k].name;
        }
        expected.push_back(L"[CUnPack::UnPackFiles] UnPack total 5 files.");
        ExpectLog(expected, ReadLogMessages(Log()));
    }
}

TEST_F(Extraction, LeftoverDirectoryIsReplaced) {
    CreateDirectoryW(WorkDir().c_str(), nullptr);
    CreateDirectoryW((WorkDir() + L"sub").c_str(), nullptr);
    CreateDirectoryW((WorkDir() + L"sub\\deeper").c_str(), nullptr);
    WriteWholeFile(WorkDir() + L"old.txt", "old");
    WriteWholeFile(WorkDir() + L"sub\\deeper\\old.bin", "old");
    TestPackage p;
    p.records = {{"new.txt", "new"}};
    Extract(p);
    EXPECT_EQ("new", ReadWholeFile(WorkDir() + L"new.txt"));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((WorkDir() + L"old.txt").c_str()));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((WorkDir() + L"sub").c_str()));
}

// A read-only leftover loses the attribute and goes: the run starts in a fresh directory.
TEST_F(Extraction, LeftoverReadOnlyFileIsRemoved) {
    CreateDirectoryW(WorkDir().c_str(), nullptr);
    WriteWholeFile(WorkDir() + L"locked.txt", "keep");
    SetFileAttributesW((WorkDir() + L"locked.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    TestPackage p;
    p.records = {{"new.txt", "new"}};
    Extract(p);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((WorkDir() + L"locked.txt").c_str()));
    EXPECT_EQ("new", ReadWholeFile(WorkDir() + L"new.txt"));
}

// Packages in which there is nothing to walk: only the lines of the header search are logged,
// nothing is extracted and the working directory is not created.
TEST_F(Extraction, NoPackageToWalk) {
    const struct {
        const char* what;
        TestPackage package;
        std::size_t lines;  // how many of the header-search lines are logged
    } cases[] = {
        {"trailer size 0", [] { TestPackage p; p.records = {{"a", "x"}}; p.trailerSizeOverride = 0; return p; }(), 3},
        {"offset beyond the end", [] { TestPackage p; p.records = {{"a", "x"}}; p.trailerSizeOverride = 1 << 30; return p; }(), 3},
        {"offset inside the PE headers", [] { TestPackage p; p.records = {{"a", "x"}}; p.trailerSizeOverride = 100; return p; }(), 3},
        {"e_lfanew negative", [] { TestPackage p; p.records = {{"a", "x"}}; p.lfanew = -8; return p; }(), 1},
        {"e_lfanew beyond the end", [] { TestPackage p; p.records = {{"a", "x"}}; p.lfanew = 1 << 30; return p; }(), 1},
    };
    for (const auto& c : cases) {
        DeleteFileW(Log().c_str());
        Extract(c.package);
        EXPECT_FALSE(finished) << c.what;
        const auto log = ReadLogMessages(Log());
        ASSERT_EQ(c.lines, log.size()) << c.what;
        EXPECT_EQ(L"[CUnPack::FindHeader] Name:" + PackagePath(), log[0]) << c.what;
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(WorkDir().c_str())) << c.what;
    }
}

// From the header search to the end of the walk the package is one file, held: nobody can
// write to it, rename it or delete it in between. Let go once the walk has ended.
TEST_F(Extraction, PackageHeldFromTheSearchToTheEndOfTheWalk) {
    TestPackage p;
    p.records = {{"a.txt", "A"}};
    WriteWholeFile(PackagePath(), p.Build());
    const std::wstring moved = temp / L"moved.exe";
    const auto writable = [&] {
        const HANDLE file = CreateFileW(PackagePath().c_str(), GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) return false;
        CloseHandle(file);
        return true;
    };
    CUnPack unpack(PackagePath().c_str());
    ASSERT_NE(0u, unpack.FindHeader());
    EXPECT_FALSE(writable());
    EXPECT_FALSE(MoveFileW(PackagePath().c_str(), moved.c_str()));
    EXPECT_FALSE(DeleteFileW(PackagePath().c_str()));
    EXPECT_EQ(1, unpack.UnPackFiles());
    EXPECT_EQ("A", ReadWholeFile(WorkDir() + L"a.txt"));
    EXPECT_TRUE(writable());
}

TEST_F(Extraction, BareExecutableHasNoPackage) {
    CUnPack unpack(CUtility::GetModulePath().c_str());  // this test program itself
    EXPECT_EQ(0u, unpack.FindHeader());
}

TEST_F(Extraction, CountDrivesTheWalk) {
    {
        TestPackage p;  // a count larger than the records: the trailer's count of 0 ends it
        p.records = {{"a.txt", "A", 9}, {"b.txt", "B", 9}};
        Extract(p);
        EXPECT_TRUE(finished);
        EXPECT_EQ("B", ReadWholeFile(WorkDir() + L"b.txt"));
        EXPECT_EQ(L"[CUnPack::UnPackFiles] UnPack total 2 files.", ReadLogMessages(Log()).back());
    }
    for (std::int64_t count : {0LL, 0x80000000LL}) {  // 0 and negative: nothing is extracted
        DeleteFileW(Log().c_str());
        RemoveTree(WorkDir());
        TestPackage p;
        p.records = {{"a.txt", "A", count}};
        Extract(p);
        EXPECT_TRUE(finished);
        const auto log = ReadLogMessages(Log());
        ASSERT_EQ(4u, log.size());
        EXPECT_EQ(L"[CUnPack::UnPackFiles] UnPack total 0 files.", log[3]);
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(WorkDir().c_str()));
    }
}

TEST_F(Extraction, RecordRunningPastTheEndIsWrittenShortAndEndsTheWalk) {
    TestPackage p;
    p.records = {{"whole.bin", std::string(100, 'w')}, {"short.bin", std::string(50, 's')}};
    p.records[1].sizeOverride = 5000;
    std::string bytes = p.Build();
    bytes.resize(bytes.size() - 284 - 6);  // drop the trailer, and keep one that points at record 1
    package::PackageTrailer t = package::MakeTrailer(p.stubLength, "x", 1);
    bytes.append(reinterpret_cast<const char*>(&t), sizeof t);
    WriteWholeFile(PackagePath(), bytes);
    CUnPack unpack(PackagePath().c_str());
    unpack.RunUnPack();
    EXPECT_TRUE(unpack.Finished());
    EXPECT_EQ(std::string(100, 'w'), ReadWholeFile(WorkDir() + L"whole.bin"));
    const std::string written = ReadWholeFile(WorkDir() + L"short.bin");
    EXPECT_LT(written.size(), 5000u);
    EXPECT_EQ(std::string(50, 's'), written.substr(0, 50));
    EXPECT_EQ(L"[CUnPack::UnPackFiles] UnPack total 2 files.", ReadLogMessages(Log()).back());
}

// Names are compared as Windows compares them: without case, trailing dots and spaces dropped.
TEST_F(Extraction, LaterDuplicateWins) {
    TestPackage p;
    p.records = {{"same.txt", "first"}, {"same.txt", "second"}, {"SAME.txt. ", "third"}, {"b.bat.", "b"}};
    Extract(p);
    EXPECT_EQ("third", ReadWholeFile(WorkDir() + L"same.txt"));
    EXPECT_EQ("b", ReadWholeFile(WorkDir() + L"b.bat"));
    CUnPack unpack(PackagePath().c_str());
    unpack.RunUnPack();
    EXPECT_EQ(WorkDirProblem::None, unpack.CheckWorkDirBeforeStart()) << "all of it written by the run";
}

// Names that would reach outside the working directory are refused: the record is counted and
// named in the log, its data is skipped, and the walk goes on.
TEST_F(Extraction, UnsafeNamesAreRefused) {
    const std::string unsafe[] = {"..\\escaped.txt", "../escaped.txt", "..", "C:escaped.txt",
                                  "run.bat:stream", "CON", "nul.txt", "sub\\x.txt",
                                  std::string(260, 'L')};
    TestPackage p;
    for (const auto& name : unsafe) {
        TestRecord r{name, "EVIL"};
        r.rawName = name.size() == 260;  // a name field without a NUL
        p.records.push_back(r);
    }
    p.records.push_back({"good.txt", "good"});
    Extract(p);
    EXPECT_TRUE(finished);
    EXPECT_EQ("good", ReadWholeFile(WorkDir() + L"good.txt"));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((temp / L"escaped.txt").c_str()));

    const auto log = ReadLogMessages(Log());
    std::size_t refusals = 0;
    for (const auto& line : log)
        if (line.find(L"[CUnPack::UnPackFiles] Refused unsafe file name") == 0) ++refusals;
    EXPECT_EQ(std::size(unsafe), refusals);
    EXPECT_EQ(L"[CUnPack::UnPackFiles] UnPack total " + std::to_wstring(std::size(unsafe) + 1) +
                  L" files.",
              log.back());
    // Only the one good file was written anywhere in the temporary directory tree.
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW((WorkDir() + L"*").c_str(), &entry);
    std::vector<std::wstring> names;
    do {
        if (entry.cFileName[0] != L'.') names.push_back(entry.cFileName);
    } while (FindNextFileW(find, &entry));
    FindClose(find);
    EXPECT_EQ(std::vector<std::wstring>{L"good.txt"}, names);
}

TEST_F(Extraction, OutputThatCannotBeCreatedIsReportedAndSkipped) {
    // The last record's path is longer than a Windows path may be.
    const std::string longName(MAX_PATH - WorkDir().size(), 'n');
    TestPackage p;
    p.records = {{"first.txt", "1"}, {longName, "new"}};
    Extract(p);
    EXPECT_EQ("1", ReadWholeFile(WorkDir() + L"first.txt"));
    const std::wstring path = WorkDir() + Widen(longName);
    const auto log = ReadLogMessages(Log());
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(L"[CUnPack::UnPackFiles] (2/2)UnPack file name:" + path + L" (3)", log[log.size() - 3]);
    EXPECT_EQ(L"[CUtility::FileException] " + path + L" contains an incorrect path.", log[log.size() - 2]);
    EXPECT_EQ(L"[CUnPack::UnPackFiles] UnPack total 2 files.", log.back());
}

TEST_F(Extraction, RemoveWorkDir) {
    TestPackage p;
    p.records = {{"a.txt", "A"}};
    WriteWholeFile(PackagePath(), p.Build());
    CUnPack unpack(PackagePath().c_str());
    unpack.RemoveWorkDir();  // before any GetWorkDir: nothing happens
    unpack.RunUnPack();
    SetCurrentDirectoryW(WorkDir().c_str());
    unpack.RemoveWorkDir();  // removed although it was the current directory
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(WorkDir().c_str()));
    wchar_t current[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, current);
    EXPECT_EQ(temp.Path(), std::wstring(current) + L"\\");
    unpack.RemoveWorkDir();  // a second time: nothing left to delete, no harm
    EXPECT_EQ(WorkDir(), std::wstring(unpack.GetWorkDir().c_str())) << "the path is kept";
}

TEST(PathOperations, StripPathComponents) {
    const struct { const wchar_t* in; int n; const wchar_t* out; } rows[] = {
        {L"D:\\Temp\\unpack", 1, L"D:\\Temp"}, {L"D:\\Temp\\unpack", 2, L"D:"},
        {L"D:\\Temp\\unpack", 5, L"D:"}, {L"noslash", 1, L"noslash"}, {L"", 1, L""},
        {L"D:\\Temp\\", 1, L"D:\\Temp"},
    };
    for (const auto& row : rows) {
        WString path(row.in);
        CUtility::StripPathComponents(path, row.n);
        EXPECT_STREQ(row.out, path.c_str()) << row.n;
    }
}

// The removal the stub uses: a tree below the held temporary directory, by its name there.
TEST(PathOperations, TreeBelowTheHeldTemporaryDirectoryRemoved) {
    ScopedTempDir temp;
    const TempDir& held = TempDir::Current();
    ASSERT_TRUE(held.IsHeld());
    const std::wstring root = temp / L"tree";
    CreateDirectoryW(root.c_str(), nullptr);
    CreateDirectoryW((root + L"\\d").c_str(), nullptr);
    WriteWholeFile(root + L"\\d\\f", "x");
    WriteWholeFile(root + L"\\g", "x");
    EXPECT_TRUE(helddir::RemoveBelow(held.Handle(), held.HandlePath(), L"tree", 4));
    EXPECT_FALSE(CUtility::PathExists(root.c_str()));
    EXPECT_TRUE(helddir::RemoveBelow(held.Handle(), held.HandlePath(), L"tree", 4)) << "nothing there: done";
}
