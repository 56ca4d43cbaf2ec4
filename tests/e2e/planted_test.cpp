// What a process of the user, not elevated, can put where the elevated stub writes and reads
// outside its working directory: at the names of the log and the batch output in the temporary
// directory, and at the installer's own path once it has been started. Judged from outside the
// process: which batch file ran, what the files the links point at hold afterwards, and what
// changed anywhere on drive C: and in the test's folder.
#include <gtest/gtest.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <cstdio>
#include <string>
#include <vector>

#include "background_program.h"
#include "package_builder.h"
#include "support.h"
#include "tree_watch.h"

using namespace e2e;

namespace {

const char kRefusedForBatchOutput[] =
    "[CUnPackFileApp::InitInstance] execute refused: the batch output file could not be made new";
const char kRefusedWithoutRunBat[] =
    "[CUnPackFileApp::InitInstance] execute refused: run.bat is not a file this run wrote in the working directory";
const char kRefusedProgram[] =
    "[CUnPackFileApp::InitInstance] execute refused: the program is not a file this run wrote in the working directory";
const char kRefusedForExpansion[] =
    "[CUnPackFileApp::InitInstance] execute refused: a path the command is given holds % or !, which the "
    "interpreter would expand";

struct FileFacts {
    bool exists = false, link = false, regular = false;
    unsigned links = 0;
};

FileFacts Facts(const std::string& path) {
    struct stat st;
    FileFacts facts;
    if (lstat(path.c_str(), &st) != 0) return facts;
    facts.exists = true;
    facts.link = S_ISLNK(st.st_mode);
    facts.regular = S_ISREG(st.st_mode);
    facts.links = static_cast<unsigned>(st.st_nlink);
    return facts;
}

struct PlantCase {
    const char* what;
    const char* target;  // under the outside folder
    bool hard;           // a hard link instead of a symbolic one
};

const PlantCase kPlants[] = {
    {"a link to an outside file", "target.txt", false},
    {"a dangling link", "missing.txt", false},
    {"a hard link to an outside file", "target.txt", true},
    {"a link to an outside directory", "targetdir", false},
};

class Planted : public ::testing::Test {
protected:
    void SetUp() override { Reset(); }
    void Reset() {
        CleanWineTemp();
        RunProgram({"rm", "-f", Marker()});
        // Inside the prefix, so that a hard link to it can be made from the temporary directory.
        outside = DriveC() + "/outside";
        RunProgram({"rm", "-rf", outside});
        RunProgram({"mkdir", "-p", outside + "/targetdir", dir / "out"});
        WriteFile(outside + "/target.txt", "outside");
        WriteFile(outside + "/targetdir/canary.txt", "canary");
    }
    void TearDown() override {
        CleanWineTemp();
        RunProgram({"rm", "-rf", outside});
    }

    static std::string DriveC() { return RealPath(std::string(std::getenv("WINEPREFIX")) + "/drive_c"); }
    std::string Temp(const std::string& name) const { return RealPath(WineTempDir()) + "/" + name; }
    std::string Marker() const { return dir / "out/ran.txt"; }
    // From nothing: c planted at the path at.
    void Plant(const PlantCase& c, const std::string& at) {
        Reset();
        std::vector<std::string> command = {"ln", outside + "/" + c.target, at};
        if (!c.hard) command.insert(command.begin() + 1, "-s");
        ASSERT_EQ(0, RunProgram(command).exitCode);
    }
    // A batch file that says who it is in the marker file and prints a line of output.
    std::string Batch(const std::string& who) const {
        return "@echo " + who + ">>\"" + ToWindowsPath(Marker()) + "\"\r\n@echo from the batch\r\n@exit 0\r\n";
    }
    // Drive C: and the test's folder, but for the places the run may write to.
    TreeWatch Watch() const {
        return TreeWatch({DriveC(), dir.Path()},
                         {Temp("unpack"), Temp("unpack.log"), Temp("unpack.log.txt"), dir / "out"});
    }
        // The things the links point at are as they were (the file's bytes shown only by their
    // count: log lines written into it would fill the screen).
    void ExpectOutsideUntouched() const {
        const std::string bytes = ReadFile(outside + "/target.txt");
        EXPECT_TRUE(bytes == "outside") << "the outside file now holds " << bytes.size() << " bytes";
        EXPECT_EQ(1u, Facts(outside + "/target.txt").links);
        EXPECT_FALSE(FileExists(outside + "/missing.txt")) << "a dangling link's target was created";
        EXPECT_EQ("canary.txt\n", RunProgram({"ls", "-A", outside + "/targetdir"}).out);
        EXPECT_EQ("canary", ReadFile(outside + "/targetdir/canary.txt"));
    }

    TempDir dir;
    std::string outside;
};

}  // namespace

// At the log's name: the run goes on to its end, but no line is written through the link or into
// the file with a second name; what is planted there stays as it was.
TEST_F(Planted, AtTheLogNothingIsWrittenThrough) {
    const std::string pkg = BuildPackage(dir, {{"run.bat", Batch("packaged")}});
    for (const PlantCase& c : kPlants) {
        SCOPED_TRACE(c.what);
        const std::string at = Temp("unpack.log");
        Plant(c, at);
        TreeWatch watch = Watch();
        watch.Start();

        EXPECT_EQ(0, RunWine(pkg).exitCode);
        EXPECT_EQ("packaged\r\n", ReadFile(Marker()));
        EXPECT_NE(std::string::npos, ReadFile(Temp("unpack.log.txt")).find("from the batch"));
        EXPECT_FALSE(FileExists(Temp("unpack"))) << "the run went on to its end";
        const FileFacts log = Facts(at);
        EXPECT_EQ(!c.hard, log.link) << "what was planted stays";
        if (c.hard) {
            EXPECT_EQ(2u, log.links);
        }
        RunProgram({"rm", "-f", at});
        ExpectOutsideUntouched();
        EXPECT_EQ(std::vector<std::string>{}, watch.Changes());
    }
}

// Between two lines of one process, the first of which checked the log whole: the log moved away
// and a link or a second name put at its name. The second line is not written through either.
TEST_F(Planted, AtTheLogBetweenTwoLinesNothingIsWrittenThrough) {
    for (const PlantCase& c : kPlants) {
        SCOPED_TRACE(c.what);
        Reset();
        const std::string at = Temp("unpack.log"), moved = Temp("moved.log"), go = dir / "go";
        RunProgram({"rm", "-f", go});
        BackgroundProgram writer(
            {WineRunner(), WinToolPath("write_log_line.exe"), "first", ToWindowsPath(go), "second"});
        ASSERT_TRUE(writer.Started());
        for (int tick = 0; tick < 1200 && ReadFile(at).empty(); ++tick) usleep(50 * 1000);
        ASSERT_EQ(0, std::rename(at.c_str(), moved.c_str()));
        std::vector<std::string> command = {"ln", outside + "/" + c.target, at};
        if (!c.hard) command.insert(command.begin() + 1, "-s");
        ASSERT_EQ(0, RunProgram(command).exitCode);
        WriteFile(go, "");
        EXPECT_EQ(0, writer.Wait(120)) << writer.Errors();

        EXPECT_EQ(std::vector<std::string>{"[write_log_line] first"}, ReadLogMessages(moved));
        EXPECT_EQ(!c.hard, Facts(at).link) << "what was planted stays";
        RunProgram({"rm", "-f", at, moved, go});
        ExpectOutsideUntouched();
    }
}

// At the batch output's name: what stands there is removed, or, where that cannot be done
// without reaching the link's target (a Unix link is followed under Wine), nothing starts. The
// interpreter writes only into a plain file that this run made.
TEST_F(Planted, AtTheBatchOutputOnlyAFileOfThisRunIsWritten) {
    const std::string pkg = BuildPackage(dir, {{"run.bat", Batch("packaged")}});
    for (const PlantCase& c : kPlants) {
        SCOPED_TRACE(c.what);
        const std::string at = Temp("unpack.log.txt");
        Plant(c, at);
        TreeWatch watch = Watch();
        watch.Start();

        EXPECT_EQ(0, RunWine(pkg).exitCode);
        ExpectOutsideUntouched();
        EXPECT_EQ(std::vector<std::string>{}, watch.Changes());
        const std::vector<std::string> log = ReadLogMessages(Temp("unpack.log"));
        ASSERT_FALSE(log.empty());
        if (c.hard) {
            // A second name can go without touching the file: the run goes on with a new file.
            EXPECT_EQ("packaged\r\n", ReadFile(Marker()));
            const FileFacts output = Facts(at);
            EXPECT_TRUE(output.regular && output.links == 1);
            EXPECT_NE(std::string::npos, ReadFile(at).find("from the batch"));
            EXPECT_EQ("[CUnPackFileApp::InitInstance] execute done code:0", log.back());
        } else {
            EXPECT_EQ("", ReadFile(Marker())) << "nothing started";
            EXPECT_TRUE(Facts(at).link) << "the link stays";
            EXPECT_EQ(kRefusedForBatchOutput, log.back());
        }
        RunProgram({"rm", "-rf", at});
    }
}

// The installer is renamed and another package executable (the same stub with another package)
// put at its path after the process was created and before it ran any code of its own, the
// earliest a process of the user could do it. The stub reads the file it runs from, not whatever
// is at its path now: nothing of the other package is extracted or run.
TEST_F(Planted, InstallerReplacedAtItsPathAfterTheStart) {
    const std::string pkg = BuildPackage(dir, {{"run.bat", Batch("packaged")}}, "Setup.exe");
    const std::string planted = BuildPackage(dir, {{"run.bat", Batch("planted")}, {"more.txt", "x"}}, "planted.exe");
    TreeWatch watch({DriveC()},
                    {Temp("unpack"), Temp("unpack.log"), Temp("unpack.log.txt")});
    watch.Start();

    const RunResult run = RunWine(WinToolPath("start_swapped.exe"),
                                  {ToWindowsPath(pkg), ToWindowsPath(dir / "moved.exe"), ToWindowsPath(planted)});
    EXPECT_EQ(0, run.exitCode) << run.out << run.err;
    EXPECT_EQ(ReadFile(planted), ReadFile(pkg)) << "the swap took place";
    EXPECT_EQ("", ReadFile(Marker())) << "no batch file ran";
    const std::vector<std::string> log = ReadLogMessages(Temp("unpack.log"));
    EXPECT_NE(log.end(), std::find(log.begin(), log.end(),
                                   "[CUnPack::FindHeader] Not the file this program was started from: nothing read"));
    for (const std::string& line : log) EXPECT_EQ(std::string::npos, line.find("UnPack file name")) << line;
    EXPECT_EQ(std::vector<std::string>{}, watch.Changes());
}

// While the stub extracts, a directory above the temporary directory is renamed, and a new one
// is put in its place with a working directory holding another run.bat and a link at the batch
// output's name. The stub's handles stay on what it made, but the old paths now lead to the new
// directories (under Wine a handle even keeps reporting its old path), so every path it gives a
// command is checked to lead to what it holds: nothing that was planted runs or is written to,
// and no program starts in the new directory.
TEST_F(Planted, DirectoryAboveTheTemporaryDirectoryRenamedDuringTheExtraction) {
    const std::string above = DriveC() + "/above", moved = DriveC() + "/above-moved";
    const std::string big(128 << 20, 'b');
    const std::string pkg = BuildPackage(dir, {{"run.bat", Batch("packaged")}, {"big.bin", big}});
    const std::string recorded = dir / "received.txt";
    RunProgram({"cp", WinToolPath("record_args.exe"), dir / "rec.exe"});

    for (const bool passThrough : {false, true}) {
        SCOPED_TRACE(passThrough ? "pass-through command" : "default command");
        Reset();
        RunProgram({"rm", "-rf", above, moved, recorded});
        RunProgram({"mkdir", "-p", above + "/temp"});
        std::vector<std::string> command = {WineRunner(), WinToolPath("run_with_temp.exe"), "C:\\above\\temp",
                                            ToWindowsPath(pkg)};
        if (passThrough) command.insert(command.end(), {ToWindowsPath(dir / "rec.exe"), "/q"});
        BackgroundProgram stub(command, {"RECORD_ARGS_FILE=" + ToWindowsPath(recorded)});
        // Once the big file is being written, the working directory has been made and is held.
        for (int tick = 0; tick < 1200 && !FileExists(above + "/temp/unpack/big.bin"); ++tick) usleep(50 * 1000);
        ASSERT_EQ(0, std::rename(above.c_str(), moved.c_str()));
        const std::size_t written = ReadFile(moved + "/temp/unpack/big.bin").size();
        RunProgram({"mkdir", "-p", above + "/temp/unpack"});
        WriteFile(above + "/temp/unpack/run.bat", Batch("planted"));
        RunProgram({"ln", "-s", outside + "/target.txt", above + "/temp/unpack.log.txt"});
        EXPECT_EQ(0, stub.Wait(600));
        ASSERT_LT(written, big.size()) << "the rename came after the extraction: nothing was staged";

        EXPECT_EQ("", ReadFile(Marker())) << "no batch file ran";
        EXPECT_EQ("", ReadFile(recorded)) << "no program started";
        ExpectOutsideUntouched();
        // Under Wine, a file opened below the held directory now reports its new path, the held
        // directory its old one: they no longer match, so the log is not written any more (the
        // lines go to the debugger output only), and it never goes to the new directory.
        EXPECT_FALSE(FileExists(above + "/temp/unpack.log"));
    }
    RunProgram({"rm", "-rf", above, moved});
}

// A folder of the user's on PATH holds a run.bat and a userprog.bat. Whatever keeps the
// package's run.bat from being written (the installer held open by the user's own program, no
// package, a damaged record, the disk-space box), neither of them runs elevated: nothing starts,
// and the log says why. The same for a pass-through program named without a path that the
// package does not hold.
TEST_F(Planted, BatchFilesOnThePathNeverRunInstead) {
    const std::string path = dir / "path";
    RunProgram({"mkdir", "-p", path});
    WriteFile(path + "/run.bat", Batch("path run.bat"));
    WriteFile(path + "/userprog.bat", Batch("path userprog.bat"));
    const std::vector<std::string> env = {"WINEPATH=" + ToWindowsPath(path), "DISPLAY="};
    // The staging works: an interpreter started with that environment finds the folder's run.bat.
    ASSERT_EQ(0, RunWine("cmd", {"/c", "run.bat"}, env).exitCode);
    ASSERT_EQ("path run.bat\r\n", ReadFile(Marker()));

    const std::string pkg = BuildPackage(dir, {{"run.bat", Batch("packaged")}}, "Setup.exe");
    RunProgram({"cp", StubPath(), dir / "bare.exe"});
    const std::string stub = ReadFile(StubPath());
    testsupport::TestPackage damaged;  // the first record says it is the only one
    damaged.stub = stub;
    damaged.records = {{"data.txt", "data", 1}, {"run.bat", Batch("packaged")}};
    WriteFile(dir / "damaged.exe", damaged.Build());
    testsupport::TestPackage huge;  // more than any disk here holds: the box, which fails at once
    huge.stub = stub;
    huge.records = {{"huge.bin", "x", -1, 1ll << 50}, {"run.bat", Batch("packaged")}};
    WriteFile(dir / "huge.exe", huge.Build());

    const struct {
        const char* what;
        std::string exe;
        std::vector<std::string> args;
        bool holdInstaller;
        const char* lastLine;
    } cases[] = {
        {"installer held open by the user", pkg, {}, true, kRefusedWithoutRunBat},
        {"no package", dir / "bare.exe", {}, false, kRefusedWithoutRunBat},
        {"a damaged record", dir / "damaged.exe", {}, false, kRefusedWithoutRunBat},
        {"the disk-space box", dir / "huge.exe", {}, false, kRefusedWithoutRunBat},
        {"a pass-through program only on PATH", pkg, {"userprog.bat", "/q"}, false, kRefusedProgram},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Reset();
        TreeWatch watch = Watch();
        watch.Start();
        {
            std::unique_ptr<BackgroundProgram> holder;
            if (c.holdInstaller) {
                holder = std::make_unique<BackgroundProgram>(std::vector<std::string>{
                    WineRunner(), WinToolPath("hold_file.exe"), ToWindowsPath(c.exe), ToWindowsPath(dir / "held"),
                    ToWindowsPath(dir / "go"), "60000", "delete"});
                for (int tick = 0; tick < 300 && !FileExists(dir / "held"); ++tick) usleep(100 * 1000);
                ASSERT_TRUE(FileExists(dir / "held"));
            }
            EXPECT_EQ(0, RunWine(c.exe, c.args, env).exitCode);
            if (holder) {
                WriteFile(dir / "go", "go");
                EXPECT_EQ(0, holder->Wait(30));
                RunProgram({"rm", "-f", dir / "held", dir / "go"});
            }
        }
        EXPECT_EQ("", ReadFile(Marker())) << "nothing ran";
        const std::vector<std::string> log = ReadLogMessages(Temp("unpack.log"));
        ASSERT_FALSE(log.empty());
        EXPECT_EQ(c.lastLine, log.back());
        EXPECT_EQ(std::vector<std::string>{}, watch.Changes());
    }
}

// TEMP and TMP are the user's to set, and so is every variable: TEMP at an existing folder whose
// name holds %X% or !X!, with X made to close the interpreter's quotes. Nothing starts; the
// interpreter never gets to expand the batch output's path into C:\t, a file of the user's choosing.
TEST_F(Planted, TemporaryDirectoryNamedToExpand) {
    const std::string pkg = BuildPackage(dir, {{"run.bat", Batch("packaged")}});
    const std::string chosen = DriveC() + "/t";
    for (const char* name : {"t%X%", "t!X!"}) {
        SCOPED_TRACE(name);
        Reset();
        const std::string temp = DriveC() + "/" + name;
        RunProgram({"rm", "-rf", temp, chosen});
        RunProgram({"mkdir", "-p", temp});
        TreeWatch watch({DriveC(), dir.Path()}, {temp, dir / "out"});
        watch.Start();
        EXPECT_EQ(0, RunWine(WinToolPath("run_with_temp.exe"), {std::string("C:\\") + name, ToWindowsPath(pkg)},
                             {"X=\" & rem \""})
                         .exitCode);
        EXPECT_FALSE(FileExists(chosen)) << "the interpreter wrote the file the user chose";
        EXPECT_EQ("", ReadFile(Marker())) << "nothing ran";
        const std::vector<std::string> log = ReadLogMessages(temp + "/unpack.log");
        ASSERT_FALSE(log.empty());
        EXPECT_EQ(kRefusedForExpansion, log.back());
        EXPECT_EQ(std::vector<std::string>{}, watch.Changes());
        RunProgram({"rm", "-rf", temp, chosen});
    }
}

// The interpreter ignores the user's start-up settings. Wine's interpreter reads neither AutoRun
// nor NoDefaultCurrentDirectoryInExePath, so what is shown is what the stub hands it, from inside
// run.bat: no NoDefaultCurrentDirectoryInExePath, COMSPEC the interpreter itself whatever the
// user set, and /d on its command line (the log's line of what was started).
TEST_F(Planted, TheInterpreterIgnoresTheUsersStartUpSettings) {
    const std::string seen = dir / "out/set.txt";
    const std::string pkg = BuildPackage(dir, {{"run.bat", "@set > \"" + ToWindowsPath(seen) + "\"\r\n@exit 0\r\n"}});
    const RunResult run = LaunchRaw("\"" + ToWindowsPath(pkg) + "\"",
                                    {"NoDefaultCurrentDirectoryInExePath=1", "LAUNCH_SET_COMSPEC=C:\\planted.exe"});
    EXPECT_EQ(0, run.exitCode);
    // The value of a variable in set's output (names without regard to case), "(none)" without it.
    const std::string set = ReadFile(seen);
    const auto variable = [&](const std::string& name) {
        for (std::size_t at = 0; at < set.size();) {
            const std::size_t end = std::min(set.find("\r\n", at), set.size());
            const std::string line = set.substr(at, end - at);
            if (line.size() > name.size() && line[name.size()] == '=' &&
                strncasecmp(line.c_str(), name.c_str(), name.size()) == 0)
                return line.substr(name.size() + 1);
            at = end + 2;
        }
        return std::string("(none)");
    };
    ASSERT_NE("(none)", variable("PATH")) << "set's output was read";
    EXPECT_EQ("C:\\windows\\system32\\cmd.exe", variable("COMSPEC"));
    EXPECT_EQ("(none)", variable("NoDefaultCurrentDirectoryInExePath"));
    const std::vector<std::string> log = ReadLogMessages(Temp("unpack.log"));
    ASSERT_GE(log.size(), 4u);
    EXPECT_NE(std::string::npos, log[log.size() - 4].find(" param:/d /c run.bat > \"")) << log[log.size() - 4];
    EXPECT_EQ("[CUnPackFileApp::InitInstance] execute done code:0", log.back());
}

// TEMP at a folder that only an administrator may change (here another Unix user's, which Wine
// reports as owned by neither the user nor the administrators), holding a leftover of the stub's
// names: it is not the stub's to delete. It stays as it was and nothing starts.
TEST_F(Planted, LeftoversWhereOnlyAnAdministratorMayChangeThemStay) {
    const std::string pkg = BuildPackage(dir, {{"run.bat", Batch("packaged")}});
    const std::string temp = DriveC() + "/admin/temp";
    const struct {
        const char* what;
        std::vector<std::string> plant;  // below temp
        const char* lastLine;
    } cases[] = {
        {"an unpack tree", {"unpack/run.bat", "unpack/sub/old.txt"},
         "[CUnPackFileApp::InitInstance] execute refused: a leftover at the working directory's name could not be "
         "removed"},
        {"a batch output", {"unpack.log.txt"}, kRefusedForBatchOutput},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Reset();
        RunProgram({"rm", "-rf", DriveC() + "/admin"});
        for (const std::string& name : c.plant) {
            const std::string at = temp + "/" + name;
            RunProgram({"mkdir", "-p", at.substr(0, at.rfind('/'))});
            WriteFile(at, Batch("leftover"));
        }
        ASSERT_EQ(0, RunProgram({"chown", "-R", "nobody", DriveC() + "/admin"}).exitCode);
        // The stub's own log may be made; the working directory stays when the batch output refuses.
        TreeWatch watch({DriveC(), dir.Path()},
                        {temp + "/unpack.log", dir / "out",
                         std::string(c.plant[0]) == "unpack.log.txt" ? temp + "/unpack" : temp + "/none"});
        watch.Start();
        EXPECT_EQ(0, RunWine(WinToolPath("run_with_temp.exe"), {"C:\\admin\\temp", ToWindowsPath(pkg)}).exitCode);
        for (const std::string& name : c.plant) EXPECT_EQ(Batch("leftover"), ReadFile(temp + "/" + name)) << name;
        EXPECT_EQ("", ReadFile(Marker())) << "nothing ran";
        const std::vector<std::string> log = ReadLogMessages(temp + "/unpack.log");
        ASSERT_FALSE(log.empty());
        EXPECT_EQ(c.lastLine, log.back());
        EXPECT_EQ(std::vector<std::string>{}, watch.Changes());
    }
    RunProgram({"rm", "-rf", DriveC() + "/admin"});
}
