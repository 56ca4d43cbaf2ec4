// Package executables built with stubpack and run under Wine as a user would: what lands on disk,
// what the log says in order, what the payload receives, and the exit code.
#include <gtest/gtest.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "background_program.h"
#include "expect_log.h"
#include "support.h"

using namespace e2e;
using testsupport::ExpectLog;
using testsupport::MatchesLogPattern;

namespace {

std::string Random(std::size_t n, unsigned seed) {
    std::string s(n, '\0');
    for (auto& c : s) {
        seed = seed * 1103515245u + 12345u;
        c = static_cast<char>(seed >> 16);
    }
    return s;
}

// A run.bat that copies the working directory's files to out (so they can be compared after
// the stub has removed the directory) and ends with the given code.
std::string CopyingRunBat(const std::string& outDir, int exitCode) {
    return "@copy /y * \"" + ToWindowsPath(outDir) + "\\\" >nul\r\n@exit " +
           std::to_string(exitCode) + "\r\n";
}

class StubRun : public ::testing::Test {
protected:
    void SetUp() override {
        CleanWineTemp();
        RunProgram({"mkdir", "-p", dir / "out"});
    }
    std::string TempUnix(const std::string& name) const { return WineTempDir() + "/" + name; }
    std::string WorkDirWindows() const { return WineTempWindowsDir() + "\\unpack\\"; }
    std::vector<std::string> Log() const { return ReadLogMessages(TempUnix("unpack.log")); }

    TempDir dir;
};

}  // namespace

TEST_F(StubRun, FiveFilesExtractedRunAndCleanedUp) {
    const std::vector<PackageFile> files = {
        {"setup.msi", Random(3 * 1024 * 1024 + 17, 1)},
        {"run.bat", CopyingRunBat(dir / "out", 0)},
        {"setup.ini", ""},
        {"PreVerCheck.exe", Random(8 * 1024, 2)},
        {"uninst.iss", "[Application]\r\nName=Demo\r\n"},
    };
    const std::string pkg = BuildPackage(dir, files);
    ASSERT_EQ(0, Sign(pkg, dir / "signed.exe").exitCode);

    for (const std::string& exe : {pkg, dir / "signed.exe"}) {
        CleanWineTemp();
        RunProgram({"sh", "-c", "rm -f " + dir.Path() + "/out/*"});
        const RunResult run = RunWine(exe);
        EXPECT_EQ(0, run.exitCode) << run.err;

        for (const auto& f : files)
            EXPECT_EQ(f.data, ReadFile(dir / ("out/" + f.name))) << f.name << " in " << exe;
        EXPECT_FALSE(FileExists(TempUnix("unpack"))) << "the working directory is removed";

        const std::string stubSize = std::to_string(ReadFile(StubPath()).size());
        const bool isSigned = exe != pkg;
        std::vector<std::string> expected = {
            // 64-bit Windows: the 32-bit stub runs under WOW64 and reaches the 64-bit
            // interpreter through sysnative.
            "[CUtility::OSInfo] OS {n}.{n}({n}) {*} x64:1",
            "[CUnPack::FindHeader] Name:" + ToWindowsPath(exe),
            isSigned ? "[CUnPack::FindHeader] Sign Size:{n}" : "[CUnPack::FindHeader] Sign Size:0",
            "[CUnPack::FindHeader] Header offset:" + stubSize,
        };
        for (std::size_t k = 0; k < files.size(); ++k) {
            const std::string n = std::to_string(k + 1), size = std::to_string(files[k].data.size());
            const std::string path = WorkDirWindows() + files[k].name;
            expected.push_back("[CUnPack::UnPackFiles]  FreeSpace:{n} FileSize:" + size);
            expected.push_back("[CUnPack::UnPackFiles] (" + n + "/5)UnPack file name:" + path + " (" + size + ")");
            expected.push_back("[CUnPack::UnPackFiles] UnPack count:" + n + " len:" + size + " File:" + path);
        }
        expected.push_back("[CUnPack::UnPackFiles] UnPack total 5 files.");
        expected.push_back("[CUnPackFileApp::InitInstance] dir:" + WorkDirWindows() +
                           " file:C:\\windows\\sysnative\\cmd.exe" +
                           " param:/d /c run.bat > \"" +
                           WineTempWindowsDir() + "\\unpack.log.txt\"");
        expected.push_back("[CUnPackFileApp::InitInstance] execute succ 0x{x}");
        expected.push_back("[CUnPackFileApp::InitInstance] execute wait pid:{n}");
        expected.push_back("[CUnPackFileApp::InitInstance] execute done code:0");
        ExpectLog(expected, Log());

        // The figure is the free space of the temporary directory's volume: all its free blocks
        // (the total free bytes, not what the caller may use), in bytes. Other jobs write to the
        // same disk meanwhile, so it is compared within 5 %.
        struct statvfs volume = {};
        ASSERT_EQ(0, statvfs(WineTempDir().c_str(), &volume));
        const double freeBytes = static_cast<double>(volume.f_bfree) * volume.f_frsize;
        const std::string prefix = "[CUnPack::UnPackFiles]  FreeSpace:";
        const auto log = Log();
        const auto line = std::find_if(log.begin(), log.end(), [&](const std::string& l) {
            return l.compare(0, prefix.size(), prefix) == 0;
        });
        ASSERT_NE(log.end(), line);
        const double logged = std::strtod(line->c_str() + prefix.size(), nullptr);
        EXPECT_NEAR(freeBytes, logged, freeBytes / 20) << *line;
    }
}

TEST_F(StubRun, BatchOutputAndExitCodeOfTheDefaultCommand) {
    const std::string pkg = BuildPackage(dir, {{"run.bat", "@echo batch says hello\r\n@exit 3\r\n"}});
    // A second run appends to the same log.
    for (int runNumber = 1; runNumber <= 2; ++runNumber) {
        const RunResult run = RunWine(pkg);
        EXPECT_EQ(0, run.exitCode);
        const auto log = Log();
        ASSERT_FALSE(log.empty());
        EXPECT_EQ("[CUnPackFileApp::InitInstance] execute done code:3", log.back());
        std::size_t osLines = 0;
        for (const auto& line : log) osLines += line.rfind("[CUtility::OSInfo]", 0) == 0;
        EXPECT_EQ(static_cast<std::size_t>(runNumber), osLines);
    }
    EXPECT_NE(std::string::npos, ReadFile(TempUnix("unpack.log.txt")).find("batch says hello"));
    EXPECT_FALSE(FileExists(TempUnix("unpack")));
}

TEST_F(StubRun, PayloadEndingWith259EndsTheWait) {
    const std::string pkg = BuildPackage(dir, {{"run.bat", "@exit 259\r\n"}});
    const RunResult run = RunWine(pkg);
    EXPECT_EQ(0, run.exitCode);
    EXPECT_EQ("[CUnPackFileApp::InitInstance] execute done code:259", Log().back());
}

TEST_F(StubRun, ProgramThatDoesNotExist) {
    const std::string pkg = BuildPackage(dir, {{"data.txt", "kept"}});
    const RunResult run = LaunchRaw("\"" + ToWindowsPath(pkg) + "\" C:\\no-such-program.exe /q");
    EXPECT_EQ(0, run.exitCode);
    const auto log = Log();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ("[CUnPackFileApp::InitInstance] dir:" + WorkDirWindows() +
                  " file:C:\\no-such-program.exe param:/q",
              log[log.size() - 2]);
    EXPECT_EQ("[CUnPackFileApp::InitInstance] execute fail", log.back());
    EXPECT_EQ("kept", ReadFile(TempUnix("unpack/data.txt")));
}

// Command lines exactly as typed: the program, its parameters, and what the payload receives.
TEST_F(StubRun, PassThroughCommandLines) {
    const std::string recordTool = dir / "rec.exe";
    RunProgram({"cp", WinToolPath("record_args.exe"), recordTool});
    const std::string spaced = dir / "setup two.exe";
    RunProgram({"cp", WinToolPath("record_args.exe"), spaced});
    const std::string pkg = BuildPackage(dir, {{"a.txt", "a"}});
    RunProgram({"cp", pkg, dir / "stub one.exe"});
    const std::string rec = ToWindowsPath(recordTool), two = ToWindowsPath(spaced);
    const std::string stub = ToWindowsPath(pkg), stubOne = ToWindowsPath(dir / "stub one.exe");

    const struct {
        std::string commandLine;
        std::string file;
        std::string parameters;
    } cases[] = {
        {stub + " " + rec + " /quiet /norestart", rec, "/quiet /norestart"},
        {"\"" + stubOne + "\" " + rec + " /quiet", rec, "/quiet"},
        {stub + " \"" + two + "\" /q", two, "/q"},
        {stub + "  " + rec + "  /q  ", rec, "/q"},
        {stub + " " + rec + " /x   /y", rec, "/x  /y"},
        {stub + " " + rec + " /x \"two  spaces\"", rec, "/x \"two spaces\""},
        {stub + "\t" + rec + "\t/q", rec, "/q "},
    };
    for (const auto& c : cases) {
        CleanWineTemp();
        RunProgram({"rm", "-f", dir / "received.txt"});
        const RunResult run = LaunchRaw(c.commandLine, {"RECORD_ARGS_FILE=" + ToWindowsPath(dir / "received.txt")});
        EXPECT_EQ(0, run.exitCode) << c.commandLine;
        const auto log = Log();
        ASSERT_GE(log.size(), 4u) << c.commandLine;
        EXPECT_EQ("[CUnPackFileApp::InitInstance] dir:" + WorkDirWindows() + " file:" + c.file +
                      " param:" + c.parameters,
                  log[log.size() - 4])
            << c.commandLine;
        EXPECT_EQ("[CUnPackFileApp::InitInstance] execute done code:0", log.back());
        // The program ran with those parameters, in the working directory.
        const std::string received = ReadFile(dir / "received.txt");
        EXPECT_NE(std::string::npos, received.find(c.parameters)) << received;
        EXPECT_NE(std::string::npos, received.find(WineTempWindowsDir() + "\\unpack")) << received;
    }
}

TEST_F(StubRun, SingleArgumentStillRunsTheDefaultCommand) {
    const std::string pkg = BuildPackage(dir, {{"run.bat", "@exit 5\r\n"}});
    const RunResult run = LaunchRaw("\"" + ToWindowsPath(pkg) + "\" setup.exe");
    EXPECT_EQ(0, run.exitCode);
    EXPECT_EQ("[CUnPackFileApp::InitInstance] execute done code:5", Log().back());
}

// What a process of the user, not elevated, can put at the working directory's name or into a
// leftover of it before the run, judged from outside: which batch file ran (the packaged one, a
// planted one, or one in the folder the stub was started from), what became of the files outside
// the working directory, and the log's last line. Wine cannot delete a Unix link without reaching
// its target, so there a directory holding one is never used and nothing starts.
TEST_F(StubRun, PlantedAtTheWorkingDirectory) {
    const std::string outside = dir / "outside", marker = dir / "out/ran.txt";
    const auto batch = [&](const std::string& who) {
        return "@echo " + who + ">>\"" + ToWindowsPath(marker) + "\"\r\n@exit 0\r\n";
    };
    const std::string pkg = BuildPackage(dir, {{"run.bat", batch("packaged")}, {"data.txt", "data"}});
    WriteFile(dir / "run.bat", batch("download folder"));  // beside the package, its start folder
    const std::string work = TempUnix("unpack");
    const std::string refused =
        "[CUnPackFileApp::InitInstance] execute refused: a leftover at the working directory's name could not be removed";
    const std::string done = "[CUnPackFileApp::InitInstance] execute done code:0";

    const struct {
        const char* what;
        std::vector<std::vector<std::string>> plant;  // commands run before the stub
        const char* ran;                               // the marker's text, "" for nothing
        std::string lastLine;
    } cases[] = {
        {"a directory link at its name", {{"ln", "-s", outside, work}}, "", refused},
        {"a file link at its name", {{"ln", "-s", outside + "/run.bat", work}}, "", refused},
        {"a file named like it", {{"sh", "-c", "echo plain > " + work}}, "packaged", done},
        {"a leftover with files and directories",
         {{"mkdir", "-p", work + "/sub/deeper"}, {"cp", outside + "/run.bat", work + "/run.bat"},
          {"cp", outside + "/canary.txt", work + "/sub/deeper/old.txt"}},
         "packaged", done},
        {"a link to a file in a leftover", {{"mkdir", work}, {"ln", "-s", outside + "/run.bat", work + "/run.bat"}}, "", refused},
        {"a link to a directory in a leftover", {{"mkdir", work}, {"ln", "-s", outside, work + "/link"}}, "", refused},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CleanWineTemp();
        RunProgram({"rm", "-rf", outside, marker});
        RunProgram({"mkdir", "-p", outside});
        WriteFile(outside + "/canary.txt", "canary");
        WriteFile(outside + "/run.bat", batch("planted"));
        for (const auto& command : c.plant) ASSERT_EQ(0, RunProgram(command).exitCode) << command[0];

        const RunResult run = RunProgram({"sh", "-c", "cd '" + dir.Path() + "' && exec '" + WineRunner() + "' pkg.exe"});
        EXPECT_EQ(0, run.exitCode) << run.err;
        const std::string ran = ReadFile(marker);
        EXPECT_EQ(*c.ran ? std::string(c.ran) + "\r\n" : "", ran);
        EXPECT_EQ("canary.txt\nrun.bat\n", RunProgram({"ls", "-A", outside}).out);
        EXPECT_EQ("canary", ReadFile(outside + "/canary.txt"));
        EXPECT_EQ(batch("planted"), ReadFile(outside + "/run.bat"));
        const auto log = Log();
        ASSERT_FALSE(log.empty());
        EXPECT_EQ(c.lastLine, log.back());
        if (c.lastLine == done) {
            EXPECT_FALSE(FileExists(work)) << "the working directory is removed";
        }
    }
    CleanWineTemp();
}

// A leftover batch file that another process holds open cannot be deleted or overwritten: the
// run starts nothing rather than run it, and the next run, once it is let go, works as usual.
TEST_F(StubRun, LeftoverHeldOpenIsNeverRun) {
    const std::string marker = dir / "out/ran.txt";
    const auto batch = [&](const std::string& who) {
        return "@echo " + who + ">>\"" + ToWindowsPath(marker) + "\"\r\n@exit 0\r\n";
    };
    const std::string pkg = BuildPackage(dir, {{"run.bat", batch("packaged")}});
    RunProgram({"mkdir", "-p", TempUnix("unpack")});
    WriteFile(TempUnix("unpack/run.bat"), batch("leftover"));
    {
        BackgroundProgram holder({WineRunner(), WinToolPath("hold_file.exe"),
                                  WineTempWindowsDir() + "\\unpack\\run.bat", ToWindowsPath(dir / "held"),
                                  ToWindowsPath(dir / "go"), "60000"});
        for (int tick = 0; tick < 300 && !FileExists(dir / "held"); ++tick) usleep(100 * 1000);
        ASSERT_TRUE(FileExists(dir / "held"));
        EXPECT_EQ(0, RunWine(pkg).exitCode);
        EXPECT_EQ("", ReadFile(marker)) << "no batch file ran";
        EXPECT_EQ(batch("leftover"), ReadFile(TempUnix("unpack/run.bat")));
        const auto log = Log();
        ASSERT_FALSE(log.empty());
        EXPECT_EQ("[CUnPackFileApp::InitInstance] execute refused: a leftover at the working directory's name "
                  "could not be removed",
                  log.back());
        WriteFile(dir / "go", "go");
        EXPECT_EQ(0, holder.Wait(30));
    }
    EXPECT_EQ(0, RunWine(pkg).exitCode);
    EXPECT_EQ("packaged\r\n", ReadFile(marker));
    EXPECT_FALSE(FileExists(TempUnix("unpack")));
}

// The temporary directory does not exist yet: it is made with its parents, and the run goes on
// as usual.
TEST_F(StubRun, MissingTemporaryDirectory) {
    const std::string pkg = BuildPackage(dir, {{"run.bat", CopyingRunBat(dir / "out", 0)}, {"data.txt", "data"}});
    const std::string missing = TempUnix("not/yet");
    RunProgram({"rm", "-rf", TempUnix("not")});
    const std::string windows = WineTempWindowsDir() + "\\not\\yet";
    EXPECT_EQ(0, RunWine(WinToolPath("run_with_temp.exe"), {windows, ToWindowsPath(pkg)}).exitCode);
    EXPECT_EQ("data", ReadFile(dir / "out/data.txt"));
    const auto log = ReadLogMessages(missing + "/unpack.log");
    ASSERT_FALSE(log.empty());
    EXPECT_EQ("[CUnPackFileApp::InitInstance] execute done code:0", log.back());
    RunProgram({"rm", "-rf", TempUnix("not")});
}

// A temporary directory that cannot be made or held (TEMP on a drive that does not exist): the
// extraction is given up for that reason, not for a lack of disk space, so no message box waits
// for the user, and nothing is made anywhere else.
TEST_F(StubRun, TemporaryDirectoryOnAMissingDrive) {
    const std::string pkg = BuildPackage(dir, {{"run.bat", CopyingRunBat(dir / "out", 0)}, {"data.txt", "data"}});
    BackgroundProgram stub({"sh", "-c", "cd '" + dir.Path() + "' && exec '" + WineRunner() + "' '" +
                                            WinToolPath("run_with_temp.exe") + "' 'Q:\\nowhere' pkg.exe"});
    const int exitCode = stub.Wait(90);
    if (exitCode == -1)  // a message box holds the stub: answer it, so that the run can end
        RunWine(WinToolPath("answer_message_box.exe"), {Hex("Brevant\xC2\xAE Kelvor"), "10000"});
    EXPECT_EQ(0, exitCode) << "the stub ended by itself";
    EXPECT_FALSE(FileExists(dir / "out/run.bat")) << "nothing ran";
    EXPECT_FALSE(FileExists(dir / "unpack")) << "no working directory in the start folder";
}

TEST_F(StubRun, MalformedPackagesEndNormally) {
    // The bare stub: no package, so no run.bat of this run: nothing starts.
    const RunResult bare = RunWine(StubPath());
    EXPECT_EQ(0, bare.exitCode);
    const auto log = Log();
    ASSERT_GE(log.size(), 6u);
    // Whatever the stub's last bytes say, they do not point into the file after its headers.
    EXPECT_EQ(0u, log[3].rfind("[CUnPack::FindHeader] Header offset:", 0)) << log[3];
    EXPECT_EQ(0u, log[4].rfind("[CUnPackFileApp::InitInstance] dir:", 0)) << log[4];
    EXPECT_EQ("[CUnPackFileApp::InitInstance] execute refused: run.bat is not a file this run wrote in the "
              "working directory",
              log[5]);

    // Unsafe names: refused, nothing written outside the working directory.
    CleanWineTemp();
    std::string bytes = ReadFile(BuildPackage(dir, {{"xxxxxxxxxxxxx.txt", "EVIL"}, {"run.bat", CopyingRunBat(dir / "out", 0)}}));
    const std::size_t at = bytes.find("xxxxxxxxxxxxx.txt");
    bytes.replace(at, 17, "..\\escaped.txt\0\0\0", 17);
    WriteFile(dir / "evil.exe", bytes);
    EXPECT_EQ(0, RunWine(dir / "evil.exe").exitCode);
    EXPECT_FALSE(FileExists(TempUnix("escaped.txt")));
    bool refused = false;
    for (const auto& line : Log()) refused = refused || line.find("Refused unsafe file name") != std::string::npos;
    EXPECT_TRUE(refused);
    EXPECT_TRUE(FileExists(dir / "out/run.bat")) << "the walk went on after the refused record";
}

// A record that declares far more bytes than the disk has: the real message box, the files
// written before it kept, no closing total line, exit code 0.
TEST_F(StubRun, NotEnoughDiskSpace) {
    std::string bytes = ReadFile(BuildPackage(
        dir, {{"run.bat", CopyingRunBat(dir / "out", 0)}, {"first.txt", "kept"}, {"huge.bin", "x"},
              {"after.txt", "never"}}));
    const std::size_t name = bytes.find(std::string("huge.bin") + '\0');
    ASSERT_NE(std::string::npos, name);
    const std::uint64_t huge = 1ull << 50;  // 1 PiB: no disk here has that much free
    std::memcpy(&bytes[name - 24 + 8], &huge, sizeof huge);
    WriteFile(dir / "big.exe", bytes);

    BackgroundProgram stub({WineRunner(), dir / "big.exe"});
    const std::string caption = "Brevant\xC2\xAE Kelvor";
    const RunResult box = RunWine(WinToolPath("answer_message_box.exe"), {Hex(caption), "60000"});
    EXPECT_EQ(0, box.exitCode) << box.out << box.err;
    EXPECT_NE(std::string::npos, box.out.find("caption: " + caption)) << box.out;
    EXPECT_NE(std::string::npos, box.out.find("text: There is not enough disk space to install .\n"))
        << box.out;
    EXPECT_NE(std::string::npos, box.out.find("buttons: 1\n")) << box.out;
    EXPECT_EQ(0, stub.Wait(120));

    EXPECT_EQ("kept", ReadFile(dir / "out/first.txt"));
    EXPECT_FALSE(FileExists(dir / "out/after.txt"));
    const auto log = Log();
    const auto at = std::find(log.begin(), log.end(),
                              "[CUnPack::UnPackFiles] There is not enough disk space to install .");
    ASSERT_NE(log.end(), at);
    EXPECT_TRUE(MatchesLogPattern("[CUnPack::UnPackFiles]  FreeSpace:{n} FileSize:" + std::to_string(huge),
                                  *(at - 1)))
        << *(at - 1);
    for (const auto& line : log) EXPECT_EQ(std::string::npos, line.find("UnPack total")) << line;
}

// A 32-bit Windows (a win32 prefix): no WOW64, so the interpreter is the system directory's,
// by its full path. Then the same prefix set to report Windows 10: the version line shows 10.0,
// which the system reports only to an executable whose manifest declares Windows 10.
TEST_F(StubRun, ThirtyTwoBitWindowsAndWindows10) {
    const std::string prefix = dir / "prefix32";
    const std::vector<std::string> env = {"WINEPREFIX=" + prefix, "WINEARCH=win32"};
    const RunResult boot = RunProgram({"wineboot", "-i"}, env);
    ASSERT_EQ(0, boot.exitCode) << boot.err;
    const std::string pkg = BuildPackage(dir, {{"run.bat", "@exit 4\r\n"}});

    const auto runAndReadLog = [&] {
        EXPECT_EQ(0, RunProgram({"wine", pkg}, env).exitCode);
        const RunResult temp = RunProgram({"wine", "cmd", "/c", "echo %TEMP%"}, env);
        std::string windowsTemp = temp.out.substr(0, temp.out.find_first_of("\r\n"));
        std::string unixTemp = RunProgram({"winepath", "-u", windowsTemp}, env).out;
        unixTemp = unixTemp.substr(0, unixTemp.find('\n'));
        return ReadLogMessages(unixTemp + "/unpack.log");
    };

    std::vector<std::string> log = runAndReadLog();
    ASSERT_GE(log.size(), 5u);
    EXPECT_TRUE(MatchesLogPattern(std::string("[CUtility::OSInfo] OS {n}.{n}({n}) {*} x64:0"), log[0]))
        << log[0];
    bool interpreter = false;
    for (const auto& line : log)
        interpreter = interpreter || line.find(" file:C:\\windows\\system32\\cmd.exe param:/d /c run.bat > \"") != std::string::npos;
    EXPECT_TRUE(interpreter);
    EXPECT_EQ("[CUnPackFileApp::InitInstance] execute done code:4", log.back());

    ASSERT_EQ(0, RunProgram({"wine", "winecfg", "/v", "win10"}, env).exitCode);
    log = runAndReadLog();
    std::vector<std::string> osLines;
    for (const auto& line : log)
        if (line.rfind("[CUtility::OSInfo]", 0) == 0) osLines.push_back(line);
    ASSERT_EQ(2u, osLines.size());
    EXPECT_TRUE(MatchesLogPattern(std::string("[CUtility::OSInfo] OS 10.0({n}) {*} x64:0"), osLines[1]))
        << osLines[1];
    RunProgram({"wineserver", "-k"}, env);
}
