// A leftover at the working directory's name holding read-only entries, run as an ordinary user.
// Wine keeps the read-only attribute as the Unix write bits, which root ignores: only another
// user sees read-only files behave as on Windows. That user gets a copy of the run's prefix, a
// home and a TMPDIR of its own, and its own wine server.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "background_program.h"
#include "support.h"

using namespace e2e;

namespace {

const char kUser[] = "accepttest";
const char kRefused[] =
    "[CUnPackFileApp::InitInstance] execute refused: a leftover at the working directory's name could "
    "not be removed";
const char kDone[] = "[CUnPackFileApp::InitInstance] execute done code:0";

// A run.bat that appends its mark to out\ran.txt, so that the test sees which one ran.
std::string MarkingRunBat(const std::string& outDir, const std::string& mark) {
    return "@echo " + mark + ">>\"" + ToWindowsPath(outDir) + "\\ran.txt\"\r\n@exit 0\r\n";
}

unsigned Mode(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

std::string FirstLine(std::string text) {
    return text.substr(0, text.find_first_of("\r\n"));
}

class ReadOnlyLeftover : public ::testing::Test {
protected:
    void SetUp() override {
        if (geteuid() != 0) GTEST_SKIP() << "needs root to run Wine as another user";
        const char* prefix = std::getenv("WINEPREFIX");
        ASSERT_TRUE(prefix && *prefix) << "WINEPREFIX names the run's prefix";
        if (RunProgram({"id", kUser}).exitCode != 0) {
            ASSERT_EQ(0, RunProgram({"useradd", "-M", kUser}).exitCode);
        }

        // mkdtemp makes the directory 0700: the user must reach everything below it.
        ASSERT_EQ(0, chmod(dir.Path().c_str(), 0755));
        // A copy, not links: the user's wine server must own the prefix it works in.
        ASSERT_EQ(0, RunProgram({"cp", "-a", prefix, dir / "prefix"}).exitCode);
        RunProgram({"mkdir", "-p", dir / "home", dir / "tmp", dir / "out", dir / "outside"});
        const RunResult owned = RunProgram({"chown", "-R", std::string(kUser) + ":", dir / "prefix",
                                            dir / "home", dir / "tmp", dir / "out", dir / "outside"});
        ASSERT_EQ(0, owned.exitCode) << owned.err;

        // The server and Wine's system processes outlive the programs that start them. The first
        // run also makes the user's profile folder.
        serverStarted_ = true;
        ASSERT_EQ(0, Detached({"wineserver", "-p"}));
        ASSERT_EQ(0, Detached({"wine", "cmd", "/c", "exit"}));

        // A prefix made by root keeps C:\users\root\Temp as everybody's %TEMP%.
        const std::string windowsTemp = FirstLine(AsUser({"wine", "cmd", "/c", "echo %TEMP%"}).out);
        ASSERT_FALSE(windowsTemp.empty());
        temp_ = FirstLine(AsUser({"winepath", "-u", windowsTemp}).out);
        while (!temp_.empty() && temp_.back() == '/') temp_.pop_back();
        ASSERT_EQ(0u, temp_.rfind(dir / "prefix/", 0)) << temp_;
        RunProgram({"chown", std::string(kUser) + ":", temp_});
    }

    void TearDown() override {
        if (serverStarted_) AsUser({"wineserver", "-k"});
    }

    std::vector<std::string> UserCommand(const std::vector<std::string>& argv) const {
        std::vector<std::string> command = {"runuser", "-u", kUser, "--", "env", "-u", "DISPLAY",
                                            "WINEPREFIX=" + dir / "prefix", "HOME=" + dir / "home",
                                            "TMPDIR=" + dir / "tmp", "WINEDEBUG=-all",
                                            "WINEDLLOVERRIDES=mscoree,mshtml="};
        command.insert(command.end(), argv.begin(), argv.end());
        return command;
    }
    RunResult AsUser(const std::vector<std::string>& argv) const {
        // A generous limit that turns a hang into a failure.
        std::vector<std::string> bounded = {"timeout", "-k", "10", "120"};
        const std::vector<std::string> command = UserCommand(argv);
        bounded.insert(bounded.end(), command.begin(), command.end());
        return RunProgram(bounded);
    }
    // Output to files: a pipe would stay open in the processes that outlive the program.
    int Detached(const std::vector<std::string>& argv) const {
        BackgroundProgram program(UserCommand(argv));
        return program.Wait(120);
    }

    TempDir dir;
    std::string temp_;  // the user's %TEMP% as a Unix path
    bool serverStarted_ = false;
};

}  // namespace

TEST_F(ReadOnlyLeftover, ClearedUnlessAFileHasANameOutside) {
    const std::string pkg = BuildPackage(dir, {{"run.bat", MarkingRunBat(dir / "out", "packaged")}});
    ASSERT_EQ(0, RunProgram({"runuser", "-u", kUser, "--", "test", "-r", pkg}).exitCode)
        << "the user cannot read " << pkg;
    const std::string outside = dir / "outside/kept.txt";

    struct Case {
        const char* name;
        bool linkOutside;  // a read-only file outside has a second name in the leftover
        const char* ran;
        const char* lastLine;
    };
    const Case cases[] = {
        {"read-only files and directory", false, "packaged\r\n", kDone},
        // Clearing the attribute on that name would clear it on the file outside.
        {"read-only file with a name outside", true, "", kRefused},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RunProgram({"chmod", "-R", "u+w", temp_ + "/unpack"});
        RunProgram({"rm", "-rf", temp_ + "/unpack", temp_ + "/unpack.log", temp_ + "/unpack.log.txt",
                    dir / "out/ran.txt", outside});

        const std::string leftover = temp_ + "/unpack";
        RunProgram({"mkdir", "-p", leftover + "/sub"});
        WriteFile(leftover + "/run.bat", MarkingRunBat(dir / "out", "leftover"));
        WriteFile(leftover + "/sub/old.txt", "old");
        RunProgram({"chown", "-R", std::string(kUser) + ":", leftover});
        if (c.linkOutside) {
            WriteFile(outside, "outside");
            RunProgram({"chown", std::string(kUser) + ":", outside});
            ASSERT_EQ(0, chmod(outside.c_str(), 0444));
            ASSERT_EQ(0, RunProgram({"ln", outside, leftover + "/kept.txt"}).exitCode);
        }
        RunProgram({"chmod", "a-w", leftover + "/run.bat", leftover + "/sub/old.txt", leftover + "/sub"});
        // The staging as this user's Wine sees it.
        const RunResult attrib = AsUser({"wine", "cmd", "/c", "attrib", ToWindowsPath(leftover + "/run.bat")});
        ASSERT_NE(std::string::npos, attrib.out.substr(0, 12).find('R')) << "not read-only to Wine: " << attrib.out;

        const RunResult run = AsUser({"wine", pkg});
        EXPECT_EQ(0, run.exitCode) << run.err;
        EXPECT_EQ(c.ran, ReadFile(dir / "out/ran.txt"));
        const auto log = ReadLogMessages(temp_ + "/unpack.log");
        ASSERT_FALSE(log.empty());
        EXPECT_EQ(c.lastLine, log.back());
        if (c.linkOutside) {
            EXPECT_EQ(0444u, Mode(outside));
            EXPECT_EQ("outside", ReadFile(outside));
        } else {
            EXPECT_FALSE(FileExists(leftover)) << "the working directory is removed after the run";
        }
    }
}
