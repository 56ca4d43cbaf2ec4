// The working directory while the stub holds it: its protected access-control list, and no
// rename or replacement by another process until it is released.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "package/unpack.h"
#include "package/work_dir_guard.h"
#include "test_temp_dir.h"

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

// Wine accepts access-control lists on files but does not keep them (measured: a directory
// created with this list reads back with Wine's default one), so the list is checked where it
// is built, entry by entry.
TEST(WorkDirGuard, ProtectedListForSystemAdministratorsAndOwnerOnly) {
    WorkDirSecurity security;
    ASSERT_NE(nullptr, security.Attributes());
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
