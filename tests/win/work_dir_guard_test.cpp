// The working directory while the stub holds it: its protected access-control list, no rename
// or replacement by another process until it is released, and a command started only in a
// directory that this run made and filled itself.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "package/unpack.h"
#include "package/work_dir_guard.h"
#include "package_builder.h"
#include "test_temp_dir.h"
#include "util/held_dir.h"
#include "util/temp_dir.h"

namespace {

// Runs cmd.exe /c <command> as a separate process and returns its exit code.
DWORD RunCmd(const std::wstring& command) {
    std::wstring line = L"cmd.exe /c " + command;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        nullptr, &startup, &process))
        return 0xFFFFFFFF;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0xFFFFFFFF;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

}  // namespace

// Wine accepts access-control lists on files but does not keep them (a directory created with
// this list reads back with one made from its Unix mode), so the list is checked where it is
// built, entry by entry; FreshWorkDir.MadeWithItsProtectedList shows that it is used.
TEST(WorkDirGuard, ProtectedListForSystemAdministratorsAndOwnerOnly) {
    WorkDirSecurity security;
    ASSERT_NE(nullptr, security.Descriptor());
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(security.Descriptor(), &control, &revision));
    EXPECT_TRUE(control & SE_DACL_PROTECTED) << "nothing inherited from the temporary directory";

    PACL dacl = security.Dacl();
    ASSERT_NE(nullptr, dacl);
    ASSERT_EQ(3u, dacl->AceCount);
    const WELL_KNOWN_SID_TYPE expected[] = {WinLocalSystemSid, WinBuiltinAdministratorsSid,
                                            WinCreatorOwnerSid};
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        ASSERT_TRUE(GetAce(dacl, i, reinterpret_cast<void**>(&ace)));
        EXPECT_EQ(ACCESS_ALLOWED_ACE_TYPE, ace->Header.AceType);
        EXPECT_EQ(static_cast<DWORD>(FILE_ALL_ACCESS), ace->Mask);
        EXPECT_TRUE(ace->Header.AceFlags & OBJECT_INHERIT_ACE);
        EXPECT_TRUE(ace->Header.AceFlags & CONTAINER_INHERIT_ACE);
        EXPECT_TRUE(IsWellKnownSid(reinterpret_cast<PSID>(&ace->SidStart), expected[i])) << i;
    }
}

TEST(WorkDirGuard, NoRenameWhileHeld) {
    ScopedTempDir temp;
    const std::wstring workDir = temp / L"unpack";
    const std::wstring moved = temp / L"moved";
    CUnPack unpack(L"unused");
    unpack.GetWorkDir();
    ASSERT_TRUE(unpack.HoldsWorkDir());
    EXPECT_NE(0u, RunCmd(L"move \"" + workDir + L"\" \"" + moved + L"\""));
    EXPECT_FALSE(MoveFileW(workDir.c_str(), moved.c_str()));
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(workDir.c_str()));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(moved.c_str()));

    unpack.RemoveWorkDir();  // released first, then removed
    EXPECT_FALSE(unpack.HoldsWorkDir());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(workDir.c_str()));
}

// The temporary directory is held without delete sharing from the moment it is found: another
// process cannot rename it away and put a directory of its own in its place.
TEST(WorkDirGuard, TemporaryDirectoryNoRenameWhileHeld) {
    ScopedTempDir temp;  // found and held as the stub holds it
    ASSERT_TRUE(TempDir::Current().IsHeld());
    std::wstring held = temp.Path();
    held.pop_back();
    const std::wstring moved = held + L"-moved";
    EXPECT_NE(0u, RunCmd(L"move \"" + held + L"\" \"" + moved + L"\""));
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(held.c_str()));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(moved.c_str()));
    MoveFileW(moved.c_str(), held.c_str());  // back, should it have moved, for the clean-up
}

using testsupport::TestPackage;

namespace {

std::wstring Name(const std::wstring& path) { return path.substr(path.find_last_of(L'\\') + 1); }

class FreshWorkDir : public ::testing::Test {
protected:
    std::wstring WorkDir() const { return temp / L"unpack\\"; }
    std::wstring Package(const TestPackage& package) const {
        WriteWholeFile(temp / L"pkg.exe", package.Build());
        return temp / L"pkg.exe";
    }
    ScopedTempDir temp;
};

}  // namespace

// A leftover that another process holds open without delete sharing cannot go: the directory
// is not this run's, so nothing is written into it and nothing may start there.
TEST_F(FreshWorkDir, LeftoverHeldOpenMakesItUnusable) {
    CreateDirectoryW(WorkDir().c_str(), nullptr);
    WriteWholeFile(WorkDir() + L"run.bat", "@echo leftover");
    const HANDLE held = CreateFileW((WorkDir() + L"run.bat").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    {
        TestPackage p;
        p.records = {{"run.bat", "@echo packaged"}, {"other.txt", "x"}};
        CUnPack unpack(Package(p).c_str());
        unpack.RunUnPack();
        EXPECT_FALSE(unpack.HoldsWorkDir());
        EXPECT_EQ(WorkDirProblem::LeftoverRemains, unpack.Problem());
        EXPECT_EQ(WorkDirProblem::LeftoverRemains, unpack.CheckWorkDirBeforeStart());
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((WorkDir() + L"other.txt").c_str()));
    }
    CloseHandle(held);
    EXPECT_EQ("@echo leftover", ReadWholeFile(WorkDir() + L"run.bat"));

    // Let go, the leftover is removed by the next run, which then works as usual.
    CUnPack next(L"unused");
    next.GetWorkDir();
    EXPECT_TRUE(next.HoldsWorkDir());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((WorkDir() + L"run.bat").c_str()));
}

// Clearing the read-only attribute of a file that has another name elsewhere would change that
// file: such an entry stays, and so does the directory.
TEST_F(FreshWorkDir, ReadOnlyLeftoverWithASecondNameStays) {
    const std::wstring outside = temp / L"outside.txt";
    WriteWholeFile(outside, "outside");
    SetFileAttributesW(outside.c_str(), FILE_ATTRIBUTE_READONLY);
    CreateDirectoryW(WorkDir().c_str(), nullptr);
    ASSERT_TRUE(CreateHardLinkW((WorkDir() + L"link.txt").c_str(), outside.c_str(), nullptr));
    CUnPack unpack(L"unused");
    unpack.GetWorkDir();
    EXPECT_EQ(WorkDirProblem::LeftoverRemains, unpack.Problem());
    EXPECT_TRUE(GetFileAttributesW(outside.c_str()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ("outside", ReadWholeFile(outside));
    SetFileAttributesW(outside.c_str(), FILE_ATTRIBUTE_NORMAL);
    SetFileAttributesW((WorkDir() + L"link.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
}

// Before a command starts, the directory must hold exactly the files this run wrote.
TEST_F(FreshWorkDir, EntriesThisRunDidNotWriteStopTheStart) {
    TestPackage p;
    p.records = {{"run.bat", "@exit 0"}, {"setup.ini", "a"}, {"setup.ini", "twice"}};
    const std::wstring package = Package(p);
    const struct {
        const char* what;
        void (*change)(const std::wstring& workDir);
        WorkDirProblem expected;
    } cases[] = {
        {"as extracted", [](const std::wstring&) {}, WorkDirProblem::None},
        {"a file added", [](const std::wstring& d) { WriteWholeFile(d + L"extra.bat", "x"); },
         WorkDirProblem::ForeignEntries},
        {"a directory added", [](const std::wstring& d) { CreateDirectoryW((d + L"sub").c_str(), nullptr); },
         WorkDirProblem::ForeignEntries},
        {"a second name for run.bat",
         [](const std::wstring& d) { CreateHardLinkW((d + L"go.bat").c_str(), (d + L"run.bat").c_str(), nullptr); },
         WorkDirProblem::ForeignEntries},
        // Until the check, the files this run wrote are held: they cannot be replaced.
        {"run.bat deleted and written anew",
         [](const std::wstring& d) {
             EXPECT_FALSE(DeleteFileW((d + L"run.bat").c_str()));
             EXPECT_FALSE(MoveFileW((d + L"run.bat").c_str(), (d + L"old.bat").c_str()));
             WriteWholeFile(d + L"run.bat", "@echo other");
         },
         WorkDirProblem::None},
    };
    for (const auto& c : cases) {
        CUnPack unpack(package.c_str());
        unpack.RunUnPack();
        ASSERT_TRUE(unpack.HoldsWorkDir()) << c.what;
        EXPECT_EQ("twice", ReadWholeFile(WorkDir() + L"setup.ini")) << c.what;
        c.change(WorkDir());
        EXPECT_EQ(c.expected, unpack.CheckWorkDirBeforeStart()) << c.what;
        EXPECT_EQ(c.expected == WorkDirProblem::None, unpack.HoldsWorkDir()) << c.what;
        // The holds end with the check, before anything of the payload starts: its programs can
        // open the files as they like, sharing only reading (as an installer database is opened).
        for (const wchar_t* name : {L"run.bat", L"setup.ini"}) {
            const HANDLE reader = CreateFileW((WorkDir() + name).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                              nullptr, OPEN_EXISTING, 0, nullptr);
            EXPECT_NE(INVALID_HANDLE_VALUE, reader) << c.what << ": " << GetLastError();
            if (reader != INVALID_HANDLE_VALUE) CloseHandle(reader);
        }
        EXPECT_EQ("@exit 0", ReadWholeFile(WorkDir() + L"run.bat")) << c.what;
        unpack.RemoveWorkDir();
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(WorkDir().c_str())) << c.what;
    }
}

// Between the check of an entry and its deletion, a swap would have to move the entry or a
// directory above it away first: every directory on the way is held without delete sharing.
TEST_F(FreshWorkDir, SwapBetweenCheckAndDeleteIsRefused) {
    CreateDirectoryW(WorkDir().c_str(), nullptr);
    CreateDirectoryW((WorkDir() + L"sub").c_str(), nullptr);
    WriteWholeFile(WorkDir() + L"sub\\old.txt", "old");
    static std::vector<std::wstring> moved;
    static std::wstring root;
    static int tries;
    moved.clear();
    root = temp.Path();
    tries = 0;
    helddir::g_beforeDelete = [](const wchar_t* name, std::size_t length) {
        ++tries;
        const std::wstring entry(name, length);
        for (const std::wstring& from : {root + L"unpack", root + L"unpack\\sub", root + L"unpack\\sub\\old.txt"}) {
            if (MoveFileW(from.c_str(), (root + L"elsewhere").c_str())) moved.push_back(entry + L": " + Name(from));
        }
    };
    CUnPack unpack(L"unused");
    unpack.GetWorkDir();
    helddir::g_beforeDelete = nullptr;
    EXPECT_EQ(3, tries) << "the swap was tried before each of the three deletions";
    EXPECT_TRUE(moved.empty()) << std::string(moved[0].begin(), moved[0].end());
    EXPECT_TRUE(unpack.HoldsWorkDir());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((WorkDir() + L"sub").c_str()));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((temp / L"elsewhere").c_str()));
}

// Made with its protected list, so that the user's other processes cannot even list it. Wine
// keeps no list on a file: it turns the one given at the creation into the directory's Unix mode
// bits and reads those back as a list, in which the world's bits become an entry for Everyone.
TEST_F(FreshWorkDir, MadeWithItsProtectedList) {
    CUnPack unpack(L"unused");
    unpack.GetWorkDir();
    ASSERT_TRUE(unpack.HoldsWorkDir());
    DWORD size = 0;
    GetFileSecurityW(WorkDir().c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &size);
    std::vector<unsigned char> buffer(size);
    ASSERT_TRUE(GetFileSecurityW(WorkDir().c_str(), DACL_SECURITY_INFORMATION, buffer.data(), size, &size));
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(buffer.data(), &present, &dacl, &defaulted));
    ASSERT_TRUE(present && dacl) << "a list, not none (which would let everyone in)";
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        ASSERT_TRUE(GetAce(dacl, i, reinterpret_cast<void**>(&ace)));
        const PSID sid = reinterpret_cast<PSID>(&ace->SidStart);
        EXPECT_FALSE(ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE &&
                     (IsWellKnownSid(sid, WinWorldSid) || IsWellKnownSid(sid, WinBuiltinUsersSid) ||
                      IsWellKnownSid(sid, WinAuthenticatedUserSid)))
            << "entry " << i << " lets others in";
    }
    unpack.RemoveWorkDir();
}

// Without its protected list the directory would take the temporary directory's, which lets the
// user in: it is not made at all, and nothing is written.
TEST_F(FreshWorkDir, NoProtectedListNoDirectory) {
    TestPackage p;
    p.records = {{"run.bat", "@exit 0"}};
    const std::wstring package = Package(p);
    const wchar_t* const saved = g_workDirSddl;
    g_workDirSddl = L"not a security descriptor";
    {
        CUnPack unpack(package.c_str());
        unpack.RunUnPack();
        EXPECT_FALSE(unpack.HoldsWorkDir());
        EXPECT_EQ(WorkDirProblem::NoProtectedList, unpack.Problem());
        EXPECT_EQ(WorkDirProblem::NoProtectedList, unpack.CheckWorkDirBeforeStart());
    }
    g_workDirSddl = saved;
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(WorkDir().c_str()));
}

namespace {

BOOL WINAPI FatVolume(HANDLE, LPWSTR, DWORD, LPDWORD, LPDWORD, LPDWORD flags, LPWSTR, DWORD) {
    *flags = FILE_CASE_PRESERVED_NAMES | FILE_UNICODE_ON_DISK;  // no FILE_PERSISTENT_ACLS
    return TRUE;
}

}  // namespace

// On a volume that keeps no access lists the protected list would be silently absent: the
// directory is not made, nothing is written, and nothing may start.
TEST_F(FreshWorkDir, VolumeWithoutAccessListsNoDirectory) {
    TestPackage p;
    p.records = {{"run.bat", "@exit 0"}};
    const std::wstring package = Package(p);
    g_volumeInformation = &FatVolume;
    {
        CUnPack unpack(package.c_str());
        unpack.RunUnPack();
        EXPECT_FALSE(unpack.HoldsWorkDir());
        EXPECT_EQ(WorkDirProblem::NoAccessLists, unpack.CheckWorkDirBeforeStart(L"run.bat"));
    }
    g_volumeInformation = &GetVolumeInformationByHandleW;
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(WorkDir().c_str()));
}

// The stub never makes sub-directories: a leftover deeper than it would ever walk is not walked.
TEST_F(FreshWorkDir, DeepLeftoverIsNotWalked) {
    for (int depth : {15, 17}) {
        std::wstring path = WorkDir();
        for (int level = 0; level < depth; ++level) {
            path += L"d\\";
            CreateDirectoryW(path.c_str(), nullptr);
        }
        WriteWholeFile(path + L"deepest.txt", "x");
        CUnPack unpack(L"unused");
        unpack.GetWorkDir();
        EXPECT_EQ(depth <= 15 ? WorkDirProblem::None : WorkDirProblem::LeftoverRemains, unpack.Problem())
            << depth;
        EXPECT_EQ(depth > 15, GetFileAttributesW((path + L"deepest.txt").c_str()) != INVALID_FILE_ATTRIBUTES)
            << depth;
    }
}
