// The diagnostic log against the real file system: the bytes of the file, the line's fields,
// the message limit, a file held by someone else, and the file error descriptions.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "test_temp_dir.h"
#include "util/file_exception.h"
#include "package/unpack.h"
#include "util/temp_dir.h"
#include "util/utility.h"


TEST(Log, FileBytesAndLineLayout) {
    ScopedTempDir temp;
    const std::wstring log = temp / L"unpack.log";
    EXPECT_EQ(log, std::wstring(CUtility::GetLogFilePath().c_str()));

    SetLastError(1234);
    CUtility::WriteLog(L"[%s] first %d", L"Test::Tag", 7);
    CUtility::WriteLog(L"[%s] second %s", L"Test::Tag", L"has %d and %s inside");

    const std::string bytes = ReadWholeFile(log);
    ASSERT_GE(bytes.size(), 4u);
    EXPECT_EQ('[', bytes[0]) << "no byte-order mark";
    EXPECT_EQ('\0', bytes[1]);
    EXPECT_EQ(std::string("\r\0\n\0", 4), bytes.substr(bytes.size() - 4));

    const auto records = ReadLogRecords(log);
    ASSERT_EQ(2u, records.size());
    // "[pid]YYYY-MM-DD HH:MM:SS  message (Last=n)"
    const std::wstring pid = L"[" + std::to_wstring(GetCurrentProcessId()) + L"]";
    EXPECT_EQ(0u, records[0].find(pid));
    const std::wstring stamp = records[0].substr(pid.size(), 19);
    EXPECT_EQ(L'-', stamp[4]);
    EXPECT_EQ(L'-', stamp[7]);
    EXPECT_EQ(L' ', stamp[10]);
    EXPECT_EQ(L':', stamp[13]);
    EXPECT_EQ(L':', stamp[16]);
    EXPECT_EQ(L"  [Test::Tag] first 7 (Last=1234)", records[0].substr(pid.size() + 19));
    EXPECT_EQ(L"[Test::Tag] second has %d and %s inside", LogMessage(records[1]));
}

TEST(Log, LastErrorIsTheCallersAtTheTimeOfTheCall) {
    ScopedTempDir temp;
    SetLastError(ERROR_FILE_NOT_FOUND);
    CUtility::WriteLog(L"one");
    SetLastError(0);
    CUtility::WriteLog(L"two");
    const auto records = ReadLogRecords(temp / L"unpack.log");
    ASSERT_EQ(2u, records.size());
    EXPECT_NE(std::wstring::npos, records[0].find(L"one (Last=2)"));
    EXPECT_NE(std::wstring::npos, records[1].find(L"two (Last=0)"));
}

// The log neither saves nor restores the last error: a line reports what the open of the line
// before left, as an "open always" leaves it (none when it made the file, "already exists" after).
TEST(Log, LastErrorLeftByTheLineBefore) {
    ScopedTempDir temp;
    SetLastError(7);
    CUtility::WriteLog(L"one");
    CUtility::WriteLog(L"two");
    CUtility::WriteLog(L"three");
    const auto records = ReadLogRecords(temp / L"unpack.log");
    ASSERT_EQ(3u, records.size());
    EXPECT_NE(std::wstring::npos, records[0].find(L"one (Last=7)"));
    EXPECT_NE(std::wstring::npos, records[1].find(L"two (Last=0)"));
    EXPECT_NE(std::wstring::npos, records[2].find(L"three (Last=183)"));
}

TEST(Log, MessageLimitIs1022Units) {
    ScopedTempDir temp;
    const std::wstring exact(1022, L'x');
    const std::wstring longer = std::wstring(1022, L'y') + L"CUT";
    CUtility::WriteLog(L"%s", exact.c_str());
    CUtility::WriteLog(L"%s", longer.c_str());
    CUtility::WriteLog(L"after");  // the process goes on
    const auto records = ReadLogRecords(temp / L"unpack.log");
    ASSERT_EQ(3u, records.size());
    EXPECT_EQ(exact, LogMessage(records[0]));
    EXPECT_EQ(std::wstring(1022, L'y'), LogMessage(records[1]));
    EXPECT_EQ(L"after", LogMessage(records[2]));
}

TEST(Log, FileHeldExclusivelyElsewhereIsLeftAlone) {
    ScopedTempDir temp;
    CUtility::WriteLog(L"before");
    const std::string before = ReadWholeFile(temp / L"unpack.log");
    HANDLE holder = CreateFileW((temp / L"unpack.log").c_str(), GENERIC_READ, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, holder);
    CUtility::WriteLog(L"while held");
    CloseHandle(holder);
    EXPECT_EQ(before, ReadWholeFile(temp / L"unpack.log"));
    CUtility::WriteLog(L"after");
    EXPECT_EQ(2u, ReadLogRecords(temp / L"unpack.log").size());
}

// The first line checks the log whole, later ones compare with what that check found: a name
// swapped at the log between two lines is caught all the same. Where the two lines end up.
TEST(Log, NameSwappedBetweenTwoLines) {
    using Lines = std::vector<std::wstring>;
    const struct {
        const char* what;
        // Done between the lines; outside is a file that is not the log's.
        void (*swap)(const std::wstring& log, const std::wstring& moved, const std::wstring& outside);
        Lines atTheName, moved;
    } cases[] = {
        {"the log given a second name",
         [](const std::wstring& log, const std::wstring&, const std::wstring& outside) {
             ASSERT_TRUE(CreateHardLinkW(outside.c_str(), log.c_str(), nullptr));
         },
         {L"first"}, {}},
        {"the log moved away, a second name of another file put at its name",
         [](const std::wstring& log, const std::wstring& moved, const std::wstring& outside) {
             ASSERT_TRUE(MoveFileW(log.c_str(), moved.c_str()));
             WriteWholeFile(outside, "");
             ASSERT_TRUE(CreateHardLinkW(log.c_str(), outside.c_str(), nullptr));
         },
         {}, {L"first"}},
        {"the log moved away, a new file put at its name",
         [](const std::wstring& log, const std::wstring& moved, const std::wstring&) {
             ASSERT_TRUE(MoveFileW(log.c_str(), moved.c_str()));
             WriteWholeFile(log, "");
         },
         {L"second"}, {L"first"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScopedTempDir temp;
        const std::wstring log = temp / L"unpack.log";
        CUtility::WriteLog(L"first");
        c.swap(log, temp / L"moved.log", temp / L"outside.txt");
        CUtility::WriteLog(L"second");
        EXPECT_EQ(c.atTheName, ReadLogMessages(log));
        EXPECT_EQ(c.moved, ReadLogMessages(temp / L"moved.log"));
    }
}

TEST(Log, TemporaryPathTooLongFallsBackToTheWindowsTemp) {
    ScopedTempDir temp;
    const std::wstring tooLong = L"C:\\" + std::wstring(300, L'a') + L"\\";
    SetEnvironmentVariableW(L"TMP", tooLong.c_str());
    SetEnvironmentVariableW(L"TEMP", tooLong.c_str());
    TempDir::FindAgain();
    wchar_t windows[MAX_PATH + 1];
    GetWindowsDirectoryW(windows, MAX_PATH);
    EXPECT_EQ(std::wstring(windows) + L"\\Temp\\unpack.log",
              std::wstring(CUtility::GetLogFilePath().c_str()));
}

// TEMP naming a file: no temporary directory (nothing is written below it), the same as none.
TEST(Log, TemporaryPathThatIsAFileIsNoTemporaryDirectory) {
    ScopedTempDir temp;
    const std::wstring file = temp / L"afile";
    WriteWholeFile(file, "plain");
    SetEnvironmentVariableW(L"TMP", file.c_str());
    SetEnvironmentVariableW(L"TEMP", file.c_str());
    TempDir::FindAgain();
    EXPECT_FALSE(TempDir::Current().IsHeld());
    CUnPack unpack(L"unused");
    EXPECT_TRUE(unpack.GetWorkDir().IsEmpty());
    EXPECT_EQ(WorkDirProblem::NoTemporaryDirectory, unpack.Problem());
    EXPECT_EQ("plain", ReadWholeFile(file));
}

TEST(FileErrors, CausesOfSystemErrors) {
    const struct { DWORD error; int cause; } rows[] = {
        {0, 0}, {2, 2}, {3, 3}, {5, 5}, {183, 5}, {1, 1}, {32, 11}, {33, 12}, {38, 14},
        {39, 13}, {112, 13}, {62, 8}, {16, 7}, {131, 9}, {995, 10}, {193, 6}, {4, 4},
        {267, 3}, {1000, 1}, {0xFFFFFFFF, 1},
    };
    for (const auto& row : rows)
        EXPECT_EQ(row.cause, FileErrorCauseFromSystemError(row.error)) << row.error;
}

TEST(FileErrors, DescriptionsAndTheirLogLine) {
    const struct { DWORD error; const wchar_t* name; const wchar_t* text; } rows[] = {
        {2, L"C:\\x\\setup.msi", L"C:\\x\\setup.msi was not found."},
        {2, L"", L"an unnamed file was not found."},
        {183, L"a.txt", L"Access to a.txt was denied."},
        {1, L"a.txt", L"An unknown error occurred while accessing a.txt."},
        {32, L"a.txt", L"Encountered a sharing violation while accessing a.txt."},
        {131, L"a.txt", L"Seek failed on a.txt"},
    };
    for (const auto& row : rows) {
        CFileException error;
        error.SetFromSystemError(row.error, row.name);
        wchar_t buffer[1025] = {};
        ASSERT_TRUE(error.GetDescription(buffer, 1024));
        EXPECT_STREQ(row.text, buffer);
    }

    CFileException error;
    error.SetFromSystemError(2, L"setup.msi");
    wchar_t small[8];
    EXPECT_TRUE(error.GetDescription(small, 8));
    EXPECT_STREQ(L"setup.m", small);
    EXPECT_FALSE(error.GetDescription(nullptr, 8));
    EXPECT_FALSE(error.GetDescription(small, 0));

    ScopedTempDir temp;
    CUtility::FileException(error);
    const auto records = ReadLogRecords(temp / L"unpack.log");
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(L"[CUtility::FileException] setup.msi was not found.", LogMessage(records[0]));
}

TEST(FileErrors, FailedOpenFillsTheRecord) {
    ScopedTempDir temp;
    CFileException error;
    EXPECT_EQ(-1, error.m_lOsError);
    EXPECT_EQ(0, error.m_cause);
    const std::wstring missing = temp / L"missing\\file.bin";
    EXPECT_EQ(INVALID_HANDLE_VALUE, OpenFileRecordingError(missing.c_str(), GENERIC_READ, 0,
                                                            OPEN_EXISTING, &error));
    EXPECT_EQ(ERROR_PATH_NOT_FOUND, static_cast<DWORD>(error.m_lOsError));
    EXPECT_EQ(3, error.m_cause);
    EXPECT_EQ(missing, error.m_strFileName.c_str());

    CFileException tooLong;
    const std::wstring name(MAX_PATH, L'n');
    EXPECT_EQ(INVALID_HANDLE_VALUE,
              OpenFileRecordingError(name.c_str(), GENERIC_READ, 0, OPEN_EXISTING, &tooLong));
    EXPECT_EQ(3, tooLong.m_cause);
    EXPECT_EQ(-1, tooLong.m_lOsError);
}
