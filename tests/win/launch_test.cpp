// The launch request, the interpreter choice, the poll's rhythm, and the platform line.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "app/launch_request.h"
#include "app/payload_wait.h"
#include "log_pattern.h"
#include "test_temp_dir.h"
#include "util/utility.h"

namespace {

const WString kComspec(L"C:\\Windows\\system32\\cmd.exe");

}  // namespace

TEST(LaunchRequest, DefaultAndPassThroughFields) {
    LaunchCommand command;
    ChooseInterpreter(command.file, false, nullptr, nullptr);
    command.parameters = DefaultParameters(L"D:\\Temp\\unpack.log");
    SHELLEXECUTEINFOW request = MakeLaunchRequest(command);
    EXPECT_EQ(sizeof(void*) == 4 ? 60u : 112u, request.cbSize);  // the 32-bit stub's is 60
    EXPECT_EQ(0x540u, request.fMask);
    EXPECT_STREQ(L"open", request.lpVerb);
    EXPECT_STREQ(L"cmd.exe", request.lpFile);
    // /d: no AutoRun command of the user's runs in the elevated interpreter.
    EXPECT_STREQ(L"/d /c run.bat > \"D:\\Temp\\unpack.log.txt\"", request.lpParameters);
    EXPECT_EQ(nullptr, request.lpDirectory);
    EXPECT_EQ(SW_HIDE, request.nShow);
    EXPECT_EQ(nullptr, request.hwnd);
    EXPECT_EQ(nullptr, request.hProcess);

    const LaunchCommand passThrough = PassThroughCommand(
        L"stub.exe \"C:\\D\\setup two.exe\" /q", WString(L"C:\\T\\unpack\\"), kComspec);
    EXPECT_TRUE(passThrough.Complete());
    request = MakeLaunchRequest(passThrough);
    EXPECT_EQ(0x540u, request.fMask);
    EXPECT_STREQ(L"C:\\D\\setup two.exe", request.lpFile);
    EXPECT_STREQ(L"/q", request.lpParameters);
    EXPECT_STREQ(L"C:\\T\\unpack\\", request.lpDirectory);
    EXPECT_EQ(SW_SHOWNORMAL, request.nShow);
}

// A program path longer than a path buffer is passed whole: a cut one could name another file.
TEST(LaunchRequest, LongPassThroughProgramIsNeverCut) {
    const std::wstring program = L"C:\\" + std::wstring(300, L'p') + L".exe";
    const std::wstring line = L"stub.exe " + program + L" /q";
    const LaunchCommand command = PassThroughCommand(line.c_str(), WString(L"C:\\T\\unpack\\"), kComspec);
    EXPECT_EQ(program, std::wstring(MakeLaunchRequest(command).lpFile));
}

// A program named without a path is started as the file of that name in the working directory
// (which must be one this run wrote), never found by a search; one given by a relative path is
// refused; one given by its full path starts as given.
TEST(LaunchRequest, PassThroughProgramPlace) {
    const WString workDir(L"C:\\T\\unpack\\");
    const struct {
        const wchar_t* line;
        const wchar_t* file;     // lpFile
        const wchar_t* ownFile;  // the name that must be a file this run wrote
        bool refused;
    } rows[] = {
        {L"stub.exe userprog.bat /q", L"C:\\T\\unpack\\userprog.bat", L"userprog.bat", false},
        {L"stub.exe C:\\Tools\\a.exe /q", L"C:\\Tools\\a.exe", L"", false},
        {L"stub.exe sub\\a.exe /q", L"sub\\a.exe", L"", true},
        {L"stub.exe ..\\a.exe /q", L"..\\a.exe", L"", true},
    };
    for (const auto& row : rows) {
        const LaunchCommand command = PassThroughCommand(row.line, workDir, kComspec);
        EXPECT_STREQ(row.file, MakeLaunchRequest(command).lpFile) << row.line;
        EXPECT_STREQ(row.ownFile, command.ownFile.c_str()) << row.line;
        EXPECT_EQ(row.refused, command.refused) << row.line;
    }
}

// COMSPEC for the started command: the interpreter by its full path as the child names it, and
// no command at all when that path cannot be made.
TEST(LaunchRequest, InterpreterForTheChild) {
    EXPECT_STREQ(L"D:\\Windows\\system32\\cmd.exe", InterpreterForChild(L"D:\\Windows\\system32").c_str());
    EXPECT_TRUE(InterpreterForChild(L"").Failed());
    EXPECT_TRUE(InterpreterForChild(std::wstring(MAX_PATH - 8, L'w').c_str()).Failed());
    LaunchCommand command = PassThroughCommand(L"stub.exe C:\\a.exe /q", WString(L"C:\\T\\"), InterpreterForChild(L""));
    EXPECT_FALSE(command.Complete());
}

TEST(LaunchRequest, Interpreter) {
    wchar_t buffer[MAX_PATH + 1];
    const wchar_t* system = L"D:\\Windows\\system32";
    ChooseInterpreter(buffer, true, L"D:\\Windows", system);
    EXPECT_STREQ(L"D:\\Windows\\sysnative\\cmd.exe", buffer);
    // Never a bare name, which would be searched for in the working directory first.
    ChooseInterpreter(buffer, false, L"D:\\Windows", system);
    EXPECT_STREQ(L"D:\\Windows\\system32\\cmd.exe", buffer);
    // The longest directory that still fits, and one unit more (then the system directory).
    const std::wstring fits(MAX_PATH - 1 - 18, L'w'), tooLong(MAX_PATH - 18, L'w');
    ChooseInterpreter(buffer, true, fits.c_str(), system);
    EXPECT_EQ(fits + L"\\sysnative\\cmd.exe", std::wstring(buffer));
    ChooseInterpreter(buffer, true, tooLong.c_str(), system);
    EXPECT_STREQ(L"D:\\Windows\\system32\\cmd.exe", buffer);
    // Only when no directory is known does the bare name remain.
    ChooseInterpreter(buffer, true, L"", L"");
    EXPECT_STREQ(L"cmd.exe", buffer);
}

namespace {

// A scripted process for the poll: the exit codes it reports in turn, whether its handle is
// signalled, and every sleep the poll makes.
struct FakeProcess {
    std::vector<DWORD> codes;
    bool signalled = false;
    bool queryFails = false;
    std::size_t queries = 0;
    std::vector<DWORD> sleeps;
};
FakeProcess* g_fake = nullptr;

void WINAPI FakeSleep(DWORD ms) { g_fake->sleeps.push_back(ms); }
BOOL WINAPI FakeExitCode(HANDLE, LPDWORD code) {
    if (g_fake->queryFails) return FALSE;
    const std::size_t i = g_fake->queries++;
    *code = i < g_fake->codes.size() ? g_fake->codes[i] : g_fake->codes.back();
    return TRUE;
}
DWORD WINAPI FakeWait(HANDLE, DWORD) { return g_fake->signalled ? WAIT_OBJECT_0 : WAIT_TIMEOUT; }

const PollOps kFakeOps = {&FakeSleep, &FakeExitCode, &FakeWait};

}  // namespace

TEST(PayloadWait, SleepsThreeSecondsBeforeEveryQuery) {
    FakeProcess fake;
    g_fake = &fake;
    fake.codes = {STILL_ACTIVE, STILL_ACTIVE, 3};
    EXPECT_EQ(3u, PollUntilEnded(nullptr, kFakeOps));
    EXPECT_EQ((std::vector<DWORD>{3000, 3000, 3000}), fake.sleeps);
    EXPECT_EQ(3u, fake.queries);

    FakeProcess quick;  // a command that has ended at once still costs one interval
    g_fake = &quick;
    quick.codes = {0};
    EXPECT_EQ(0u, PollUntilEnded(nullptr, kFakeOps));
    EXPECT_EQ(std::vector<DWORD>{3000}, quick.sleeps);
}

TEST(PayloadWait, ExitCode259WithASignalledHandleEndsTheWait) {
    FakeProcess fake;
    g_fake = &fake;
    fake.codes = {STILL_ACTIVE};
    fake.signalled = true;
    EXPECT_EQ(static_cast<DWORD>(STILL_ACTIVE), PollUntilEnded(nullptr, kFakeOps));
    EXPECT_EQ(1u, fake.sleeps.size());
}

TEST(PayloadWait, FailingQueryEndsTheWait) {
    FakeProcess fake;
    g_fake = &fake;
    fake.queryFails = true;
    EXPECT_EQ(0xFFFFFFFFu, PollUntilEnded(nullptr, kFakeOps));
    EXPECT_EQ(1u, fake.sleeps.size());
}

// The test prefix is 64-bit Windows 6 or later: a 32-bit build of the tests runs under WOW64, a
// 64-bit one (where the kernel runs no 32-bit programs) natively.
TEST(Platform, OperatingSystemLine) {
    ScopedTempDir temp;
    CUtility::OSInfo();
    const auto log = ReadLogMessages(temp / L"unpack.log");
    ASSERT_EQ(1u, log.size());
    const bool wow64 = sizeof(void*) == 4;
    EXPECT_TRUE(testsupport::MatchesLogPattern(
        std::wstring(L"[CUtility::OSInfo] OS {n}.{n}({n}) {*} x64:") + (wow64 ? L"1" : L"0"), log[0]))
        << std::string(log[0].begin(), log[0].end());
    EXPECT_EQ(wow64, CUtility::IsWow64());
    EXPECT_FALSE(CUtility::IsVersionBelow6());
}
