// The single-instance guard under load: instances started at the same moment (suspended, then
// let go together), a second instance while the first waits for its payload, and a new instance
// after the first has ended while a process its payload started still runs. Exactly one
// instance runs the payload; every other one shows the second-instance message (or, without a
// display, ends at once), exits with 0 and writes no log line.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <regex>
#include <set>
#include <sstream>

#include "background_program.h"
#include "held_run.h"
#include "stub_strings.h"
#include "support.h"

using namespace e2e;
using namespace testsupport;

namespace {

const int kSeconds = 120;  // a generous limit that turns a hang into a failure; never asserted
const char kDone[] = "[CUnPackFileApp::InitInstance] execute done code:0";

// Runs a raw command line through launch_bounded, which ends a stub that outlives the limit.
RunResult LaunchBounded(const std::string& commandLine, std::vector<std::string> env) {
    env.push_back("LAUNCH_COMMAND_LINE=" + commandLine);
    env.push_back("LAUNCH_TIMEOUT_MS=" + std::to_string(kSeconds * 1000));
    return RunProgram({"timeout", "-k", "10", std::to_string(kSeconds + 60), WineRunner(),
                       WinToolPath("launch_bounded.exe")},
                      env);
}

// The stub's command line with record_args as its pass-through command, marked by mark.
std::string PayloadCommand(const std::string& package, const std::string& mark) {
    return "\"" + ToWindowsPath(package) + "\" " + ToWindowsPath(WinToolPath("record_args.exe")) + " " + mark;
}

// How many times a payload marked by mark ran (record_args writes its command line, then its
// current directory).
std::size_t PayloadRuns(const std::string& recordFile, const std::string& mark) {
    std::istringstream lines(ReadFile(recordFile));
    std::size_t runs = 0;
    for (std::string line; std::getline(lines, line);) runs += line.find(mark) != std::string::npos;
    return runs;
}

struct LogRecord {
    std::string pid;
    std::string message;
};

// Every record of the stub's log with the process id that wrote it.
std::vector<LogRecord> LogRecords() {
    const std::string text = Utf16ToUtf8(ReadFile(WineTempDir() + "/unpack.log"));
    const std::regex record(R"(\[(\d+)\][-0-9: ]+  (.*) \(Last=-?\d+\))");
    std::vector<LogRecord> records;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::smatch m;
        records.push_back(std::regex_match(line, m, record) ? LogRecord{m[1], m[2]} : LogRecord{"?", line});
    }
    return records;
}

struct Instance {
    std::string pid;
    std::string result;  // "exit 0x00000000" or "timeout"
};

std::vector<Instance> ParseTogether(const std::string& output) {
    std::vector<Instance> instances;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t space = line.find(' ');
        if (space != std::string::npos) instances.push_back({line.substr(0, space), line.substr(space + 1)});
    }
    return instances;
}

// Checks the outcome of instances started together: all ended with 0, one ran the payload, and
// only that one wrote to the log.
void ExpectOneRanTheRestStopped(const std::vector<Instance>& instances, std::size_t started,
                                const std::string& recordFile, const std::string& mark) {
    ASSERT_EQ(started, instances.size());
    std::set<std::string> pids;
    for (const auto& i : instances) {
        EXPECT_EQ("exit 0x00000000", i.result) << "instance " << i.pid;
        pids.insert(i.pid);
    }
    EXPECT_EQ(1u, PayloadRuns(recordFile, mark)) << ReadFile(recordFile);

    const std::vector<LogRecord> log = LogRecords();
    ASSERT_FALSE(log.empty());
    std::set<std::string> writers;
    std::size_t starts = 0;
    for (const auto& r : log) {
        writers.insert(r.pid);
        starts += r.message.rfind("[CUtility::OSInfo]", 0) == 0;
    }
    EXPECT_EQ(1u, writers.size()) << "only the instance that ran wrote log lines";
    EXPECT_TRUE(pids.count(*writers.begin())) << "the writer is one of the instances started";
    EXPECT_EQ(1u, starts);
    EXPECT_EQ(kDone, log.back().message);
}

class GuardLoad : public ::testing::Test {
protected:
    void SetUp() override {
        CleanWineTemp();
        package_ = BuildPackage(dir_, {{"data.txt", "data"}});
        record_ = dir_ / "payload-runs.txt";
    }

    TempDir dir_;
    std::string package_, record_;
};

}  // namespace

TEST_F(GuardLoad, SixteenStartedTogetherWithoutADisplay) {
    const RunResult together = RunProgram(
        {"timeout", std::to_string(kSeconds + 60), WineRunner(), WinToolPath("start_together.exe"), "16"},
        {"LAUNCH_COMMAND_LINE=" + PayloadCommand(package_, "sixteen"),
         "LAUNCH_TIMEOUT_MS=" + std::to_string(kSeconds * 1000), "RECORD_ARGS_FILE=" + ToWindowsPath(record_),
         "DISPLAY="});
    EXPECT_EQ(0, together.exitCode) << together.out << together.err;
    ExpectOneRanTheRestStopped(ParseTogether(together.out), 16, record_, "sixteen");
}

TEST_F(GuardLoad, EightStartedTogetherSevenShowTheMessage) {
    BackgroundProgram together({WineRunner(), WinToolPath("start_together.exe"), "8"},
                               {"LAUNCH_COMMAND_LINE=" + PayloadCommand(package_, "eight"),
                                "LAUNCH_TIMEOUT_MS=" + std::to_string(kSeconds * 1000),
                                "RECORD_ARGS_FILE=" + ToWindowsPath(record_)});
    ASSERT_TRUE(together.Started());
    for (int box = 0; box < 7; ++box) {
        SCOPED_TRACE("box " + std::to_string(box + 1));
        const RunResult answered = RunProgram(
            {WineRunner(), WinToolPath("answer_message_box.exe"), Hex(kMessageCaption), std::to_string(kSeconds * 1000)});
        EXPECT_EQ(0, answered.exitCode) << answered.out << answered.err;
        EXPECT_NE(std::string::npos, answered.out.find(std::string("text: ") + kSecondInstanceText + "\n"))
            << answered.out;
        if (answered.exitCode != 0) break;  // no more boxes are coming
    }
    EXPECT_EQ(0, together.Wait(kSeconds)) << together.Output() << together.Errors();
    ExpectOneRanTheRestStopped(ParseTogether(together.Output()), 8, record_, "eight");
}

TEST_F(GuardLoad, SecondInstanceWhileTheFirstWaitsForItsPayload) {
    HeldRun first(package_, dir_, kSeconds);
    ASSERT_TRUE(first.WaitUntilHeld(kSeconds)) << first.Output();
    const std::string logBefore = ReadFile(WineTempDir() + "/unpack.log");

    BackgroundProgram second({WineRunner(), WinToolPath("launch_bounded.exe")},
                             {"LAUNCH_COMMAND_LINE=" + PayloadCommand(package_, "second"),
                              "LAUNCH_TIMEOUT_MS=" + std::to_string(kSeconds * 1000),
                              "RECORD_ARGS_FILE=" + ToWindowsPath(record_)});
    ASSERT_TRUE(second.Started());
    const RunResult box = RunProgram(
        {WineRunner(), WinToolPath("answer_message_box.exe"), Hex(kMessageCaption), std::to_string(kSeconds * 1000)});
    EXPECT_EQ(0, box.exitCode) << box.out << box.err;
    EXPECT_EQ(std::string("caption: ") + kMessageCaption + "\ntext: " + kSecondInstanceText +
                  "\nowner: none\nbuttons: 1\nclosed\n",
              box.out);
    EXPECT_EQ(0, second.Wait(kSeconds));
    EXPECT_NE(std::string::npos, second.Output().find("exit 0x00000000")) << second.Output();
    EXPECT_EQ(logBefore, ReadFile(WineTempDir() + "/unpack.log")) << "the second instance wrote to the log";
    EXPECT_EQ(0u, PayloadRuns(record_, "second"));

    first.Release();
    EXPECT_EQ(0, first.Wait(kSeconds)) << first.Output();
    const auto log = LogRecords();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(kDone, log.back().message);
}

// The guard does not stop a new instance while a process of the last payload lives on; but that
// process keeps the working directory as its current directory, so the directory cannot be made
// fresh and the new instance starts nothing until it has gone.
TEST_F(GuardLoad, NewInstanceWhileAProcessOfTheLastPayloadHoldsItsDirectory) {
    // The first payload starts a process that outlives it and the stub.
    const std::string ready = dir_ / "detached.ready", go = dir_ / "detached.go";
    const std::string detach = "\"" + ToWindowsPath(package_) + "\" C:\\windows\\system32\\cmd.exe /c start /b " +
                               ToWindowsPath(WinToolPath("hold_until.exe")) + " " + ToWindowsPath(ready) + " " +
                               ToWindowsPath(go) + " " + std::to_string(kSeconds * 1000);
    // Run in the background: the detached process inherits the output, which a pipe read to its
    // end would wait for.
    BackgroundProgram first({WineRunner(), WinToolPath("launch_bounded.exe")},
                            {"LAUNCH_COMMAND_LINE=" + detach, "LAUNCH_TIMEOUT_MS=" + std::to_string(kSeconds * 1000),
                             "DISPLAY="});
    EXPECT_EQ(0, first.Wait(kSeconds + 30));
    EXPECT_EQ("exit 0x00000000\n", first.Output()) << first.Errors();
    for (int tick = 0; tick < kSeconds * 10 && !FileExists(ready); ++tick) usleep(100 * 1000);
    ASSERT_TRUE(FileExists(ready)) << "the detached process did not start";

    // Without a display a wrongly refused instance would end at once without its payload.
    const RunResult next = LaunchBounded(PayloadCommand(package_, "next"),
                                         {"DISPLAY=", "RECORD_ARGS_FILE=" + ToWindowsPath(record_)});
    EXPECT_EQ("exit 0x00000000\n", next.out) << next.err;
    EXPECT_EQ(0u, PayloadRuns(record_, "next")) << "the new instance ran in a directory it did not make";
    const auto log = LogRecords();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ("[CUnPackFileApp::InitInstance] execute refused: a leftover at the working directory's name "
              "could not be removed",
              log.back().message);
    EXPECT_FALSE(FileExists(ready + ".released")) << "the detached process lived through the new run";

    WriteFile(go, "go");
    for (int tick = 0; tick < kSeconds * 10 && !FileExists(ready + ".released"); ++tick) usleep(100 * 1000);
    EXPECT_TRUE(FileExists(ready + ".released")) << "the detached process ended only when let go";
    // Once it has gone, the next run clears the leftover and runs its payload.
    usleep(500 * 1000);
    const RunResult after = LaunchBounded(PayloadCommand(package_, "after"),
                                          {"DISPLAY=", "RECORD_ARGS_FILE=" + ToWindowsPath(record_)});
    EXPECT_EQ("exit 0x00000000\n", after.out) << after.err;
    EXPECT_EQ(1u, PayloadRuns(record_, "after"));
    std::size_t starts = 0;
    for (const auto& r : LogRecords()) starts += r.message.rfind("[CUtility::OSInfo]", 0) == 0;
    EXPECT_EQ(3u, starts) << "every instance ran";
}
