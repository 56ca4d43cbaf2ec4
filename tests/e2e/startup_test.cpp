// Start-up of the stub as a user sees it under Wine: the second-instance message read back from
// the real message box, nothing written by a second instance, exit code 0, the order of the
// start-up steps in a running stub, and the log across runs and in the debugger output.
#include <dirent.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "background_program.h"
#include "stub_strings.h"
#include "support.h"

using namespace e2e;
using namespace testsupport;

namespace {

const int kSeconds = 120;  // generous limits for a slow, shared machine; never asserted

// Names and contents of the files in dir.
std::map<std::string, std::string> Snapshot(const std::string& dir) {
    std::map<std::string, std::string> files;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* entry = readdir(d)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") files[name] = ReadFile(dir + "/" + name);
        }
        closedir(d);
    }
    return files;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// Index of the first line at or after from that contains text; lines.size() when none does.
std::size_t Find(const std::vector<std::string>& lines, const std::string& text, std::size_t from = 0) {
    for (std::size_t i = from; i < lines.size(); ++i)
        if (lines[i].find(text) != std::string::npos) return i;
    return lines.size();
}

std::string Utf16Le(const std::string& ascii) {
    std::string out;
    for (char c : ascii) {
        out += c;
        out += '\0';
    }
    return out;
}

}  // namespace

TEST(StartUp, SecondInstanceShowsTheMessageWritesNothingAndExitsZero) {
    const struct {
        const char* situation;
        std::vector<std::string> holderOptions;
        bool logFromAnEarlierRun;
    } rows[] = {
        {"another instance holds the mutex (183)", {}, false},
        {"the mutex exists but cannot be opened (5)", {"--deny"}, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.situation);
        TempDir temp;  // the stub's TMP and TEMP
        if (row.logFromAnEarlierRun) WriteFile(temp / "unpack.log", Utf16Le("[7]earlier line\r\n"));
        const auto before = Snapshot(temp.Path());

        std::vector<std::string> holderArgs = {WineRunner(), WinToolPath("hold_mutex.exe")};
        holderArgs.insert(holderArgs.end(), row.holderOptions.begin(), row.holderOptions.end());
        holderArgs.push_back(kSingleInstanceMutex);
        BackgroundProgram holder(holderArgs);
        ASSERT_TRUE(holder.WaitForOutput("held\n", kSeconds)) << holder.Output() << holder.Errors();

        // Seen once in CI: the stub ended at once, wrote nothing, and no box ever appeared, as
        // when MessageBoxW fails because Wine's desktop process is just ending (it stops about 2 s
        // after the last window closes). Not reproduced in 16 back-to-back runs; one more start
        // then, so that only a stub that never shows the box fails here.
        RunResult box;
        int stubExit = -1;
        for (int attempt = 0; attempt < 2; ++attempt) {
            BackgroundProgram stub({WineRunner(), WinToolPath("run_with_temp.exe"), ToWindowsPath(temp.Path()),
                                    ToWindowsPath(StubPath())});
            ASSERT_TRUE(stub.Started());
            box = RunProgram({WineRunner(), WinToolPath("answer_message_box.exe"), Hex(kMessageCaption),
                              std::to_string(kSeconds * 1000)});
            stubExit = stub.Wait(kSeconds);
            if (box.exitCode == 0) break;
            std::cerr << "no message box on attempt " << attempt + 1 << ": " << box.out << box.err;
        }
        EXPECT_EQ(0, box.exitCode) << box.out << box.err;
        EXPECT_EQ(std::string("caption: ") + kMessageCaption + "\n" +
                      "text: " + kSecondInstanceText + "\n" +
                      "owner: none\n"
                      "buttons: 1\n"
                      "closed\n",
                  box.out);

        EXPECT_EQ(0, stubExit) << "exit code once the box is closed";
        EXPECT_EQ(before, Snapshot(temp.Path())) << "no log line, no file, no directory";

        holder.CloseInput();
        EXPECT_EQ(0, holder.Wait(kSeconds)) << holder.Output();
    }
}

TEST(StartUp, FirstInstanceRunsOnceTheHolderHasEnded) {
    BackgroundProgram holder({WineRunner(), WinToolPath("hold_mutex.exe"), kSingleInstanceMutex});
    ASSERT_TRUE(holder.WaitForOutput("held\n", kSeconds)) << holder.Output() << holder.Errors();
    holder.CloseInput();
    ASSERT_EQ(0, holder.Wait(kSeconds));

    // A message box would keep the stub waiting until the time limit ends it (exit code 124).
    TempDir temp;
    const RunResult run = RunProgram({"timeout", std::to_string(kSeconds), WineRunner(),
                                      WinToolPath("run_with_temp.exe"), ToWindowsPath(temp.Path()),
                                      ToWindowsPath(StubPath())});
    EXPECT_EQ(0, run.exitCode) << run.out << run.err;
}

// Wine's relay trace lists every call the stub makes into the system DLLs, in order: the DLL
// search restriction comes before the guard's mutex, the last error is read right after the
// mutex call, the quiet error mode follows, and static destruction closes the mutex handle.
TEST(StartUp, OrderOfTheStartUpStepsInARunningStub) {
    const RunResult run =
        RunProgram({"timeout", std::to_string(kSeconds), WineRunner(), StubPath()}, {"WINEDEBUG=+relay"});
    ASSERT_EQ(0, run.exitCode) << run.err.substr(0, 2000);
    const std::vector<std::string> lines = Lines(run.err);
    const std::size_t end = lines.size();

    const std::size_t restrict = Find(lines, ".SetDefaultDllDirectories(00000800)");
    ASSERT_NE(end, restrict) << "LOAD_LIBRARY_SEARCH_SYSTEM32";
    for (std::size_t i = 0; i < restrict; ++i)
        EXPECT_EQ(std::string::npos, lines[i].find("Call KERNEL32.LoadLibrary")) << lines[i];
    const std::size_t noDirectory = Find(lines, ".SetDllDirectoryW(", restrict);
    ASSERT_NE(end, noDirectory);
    EXPECT_NE(std::string::npos, lines[noDirectory].find(" L\"\")"));

    const std::size_t create = Find(
        lines, "Call KERNEL32.CreateMutexW(00000000,00000000,", noDirectory);
    ASSERT_NE(end, create) << "no security attributes, not owned";
    EXPECT_NE(std::string::npos,
              lines[create].find("L\"Global\\\\{47B9233E-7E50-46F2-B442-6A53F0D0F508}\""))
        << lines[create];
    const std::size_t created = Find(lines, "Ret  KERNEL32.CreateMutexW()", create);
    ASSERT_NE(end, created);
    const std::size_t nextCall = Find(lines, ":Call ", created);
    ASSERT_NE(end, nextCall);
    EXPECT_NE(std::string::npos, lines[nextCall].find("GetLastError()")) << lines[nextCall];
    std::smatch handle;
    const std::string& createdLine = lines[created];
    ASSERT_TRUE(std::regex_search(createdLine, handle, std::regex("retval=([0-9a-f]{8})")));

    const std::regex errorMode(":Call KERNEL32\\.SetErrorMode\\(([0-9a-f]{8})\\)");
    std::size_t quiet = end;
    for (std::size_t i = created; i < end; ++i) {
        std::smatch mode;
        if (std::regex_search(lines[i], mode, errorMode) &&
            (std::stoul(mode[1], nullptr, 16) & 0x8001) == 0x8001) {
            quiet = i;
            break;
        }
    }
    ASSERT_NE(end, quiet) << "SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX after the guard";
    EXPECT_NE(end, Find(lines, "Call KERNEL32.CloseHandle(" + handle[1].str() + ")", quiet))
        << "the guard's handle is closed at the end";
    EXPECT_EQ(end, Find(lines, "MessageBox")) << "a first instance shows nothing";
}

// The log of two runs: the second run appends to the file of the first, and the debugger output
// (Wine prints it on its "seh" warning channel) carries each line without CR LF.
TEST(StartUp, LogAppendsAcrossRunsAndReachesTheDebuggerOutput) {
    TempDir temp;
    std::vector<std::string> debugLines;
    for (const char* message : {"first run", "second run"}) {
        const RunResult run = RunProgram({WineRunner(), WinToolPath("run_with_temp.exe"),
                                          ToWindowsPath(temp.Path()), WinToolPath("write_log_line.exe"),
                                          message},
                                         {"WINEDEBUG=-all,warn+seh"});
        ASSERT_EQ(0, run.exitCode) << run.out << run.err;
        std::smatch quoted;
        ASSERT_TRUE(std::regex_search(run.err, quoted,
                                      std::regex("OutputDebugString[AW] L?\"([^\n]*)\"\n")))
            << run.err;
        debugLines.push_back(quoted[1]);
    }

    const std::string bytes = ReadFile(temp / "unpack.log");
    std::string text;  // the ASCII log, one byte a unit
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        ASSERT_EQ('\0', bytes[i + 1]) << "ASCII text as UTF-16LE";
        text += bytes[i];
    }
    const std::regex record("\\[(\\d+)\\]\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d  "
                            "\\[write_log_line\\] (first|second) run \\(Last=-?\\d+\\)\r\n");
    std::vector<std::string> records, pids;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), record); it != std::sregex_iterator();
         ++it) {
        records.push_back((*it)[0]);
        pids.push_back((*it)[1]);
    }
    ASSERT_EQ(2u, records.size()) << text;
    EXPECT_EQ(text, records[0] + records[1]) << "nothing else in the file";
    EXPECT_NE(std::string::npos, records[0].find("first run"));
    EXPECT_NE(std::string::npos, records[1].find("second run")) << "appended after the first";
    EXPECT_NE(pids[0], pids[1]) << "two processes";
    for (std::size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(records[i].substr(0, records[i].size() - 2), debugLines[i])
            << "the same line, without CR LF";
    }
}
