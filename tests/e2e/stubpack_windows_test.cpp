// stubpack.exe, the Windows build of stubpack, run under Wine as a release engineer on Windows
// would run it: the same packages byte for byte as the Linux build, the same reports apart from
// path spellings and line ends, the same exit codes, and Windows paths of every kind.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support.h"

using namespace e2e;

namespace {

RunResult StubpackExe(const std::vector<std::string>& args) { return RunWine(StubpackExePath(), args); }

std::string WithoutCarriageReturns(std::string text) {
    std::string out;
    for (char c : text)
        if (c != '\r') out += c;
    return out;
}

std::string JsonEscaped(const std::string& text) {
    std::string out;
    for (char c : text) out += c == '\\' ? std::string("\\\\") : std::string(1, c);
    return out;
}

// The report with the package's path, as given and as JSON writes it, replaced by PKG.
std::string Normalised(std::string report, const std::string& path) {
    report = WithoutCarriageReturns(report);
    for (const std::string& spelling : {JsonEscaped(path), path})
        for (std::size_t at; (at = report.find(spelling)) != std::string::npos;)
            report.replace(at, spelling.size(), "PKG");
    return report;
}

struct Inputs {
    std::vector<std::string> names = {"setup.msi", "run.bat", "caf\xC3\xA9.ini", "empty.txt"};
    std::vector<std::string> data = {std::string(300000, 'M'), "@exit 7\r\n", "[caf\xC3\xA9]", ""};
};

void WriteInputs(const std::string& dir, const Inputs& inputs) {
    for (std::size_t i = 0; i < inputs.names.size(); ++i) WriteFile(dir + "/" + inputs.names[i], inputs.data[i]);
}

}  // namespace

TEST(StubpackWindows, SamePackagesReportsAndFilesAsTheLinuxBuild) {
    TempDir dir;
    const Inputs inputs;
    WriteInputs(dir.Path(), inputs);

    std::vector<std::string> linuxArgs = {"create", "--codepage", "1252", "--stub", StubPath(), "-o",
                                          dir / "linux.exe"};
    // Drive letter and backslashes for the output and the stub, slashes for one input.
    std::vector<std::string> windowsArgs = {"create", "--codepage", "1252", "--stub", ToWindowsPath(StubPath()),
                                            "-o", ToWindowsPath(dir / "windows.exe")};
    for (std::size_t i = 0; i < inputs.names.size(); ++i) {
        linuxArgs.push_back(dir / inputs.names[i]);
        windowsArgs.push_back(i == 0 ? "Z:" + dir / inputs.names[i] : ToWindowsPath(dir / inputs.names[i]));
    }
    ASSERT_EQ(0, Stubpack(linuxArgs).exitCode);
    const RunResult created = StubpackExe(windowsArgs);
    ASSERT_EQ(0, created.exitCode) << created.out << created.err;
    EXPECT_EQ("", created.out);
    EXPECT_TRUE(ReadFile(dir / "linux.exe") == ReadFile(dir / "windows.exe")) << "the same bytes";

    for (const std::vector<std::string>& command : {std::vector<std::string>{"list"}, {"list", "--json"},
                                                    {"verify"}, {"verify", "--json"}}) {
        SCOPED_TRACE(command.back());
        std::vector<std::string> onLinux = command, onWindows = command;
        onLinux.push_back(dir / "linux.exe");
        onWindows.push_back(ToWindowsPath(dir / "windows.exe"));
        const RunResult l = Stubpack(onLinux), w = StubpackExe(onWindows);
        EXPECT_EQ(l.exitCode, w.exitCode);
        EXPECT_EQ(Normalised(l.out, dir / "linux.exe"), Normalised(w.out, ToWindowsPath(dir / "windows.exe")));
    }

    const RunResult extracted =
        StubpackExe({"extract", "--codepage", "1252", ToWindowsPath(dir / "windows.exe"), ToWindowsPath(dir / "out")});
    ASSERT_EQ(0, extracted.exitCode) << extracted.out << extracted.err;
    for (std::size_t i = 0; i < inputs.names.size(); ++i)
        EXPECT_TRUE(ReadFile(dir / ("out/" + inputs.names[i])) == inputs.data[i]) << inputs.names[i];

    // The stub extracts what stubpack.exe packed, and runs it.
    CleanWineTemp();
    EXPECT_EQ(0, RunWine(dir / "windows.exe").exitCode);
    const auto log = ReadLogMessages(WineTempDir() + "/unpack.log");
    ASSERT_FALSE(log.empty());
    EXPECT_EQ("[CUnPackFileApp::InitInstance] execute done code:7", log.back());
    CleanWineTemp();
}

// Paths longer than 260 characters, and the extended-length spelling, for every command.
TEST(StubpackWindows, LongAndExtendedLengthPaths) {
    TempDir dir;
    std::string deep = dir.Path();
    for (int level = 0; level < 5; ++level) deep += "/" + std::string(60, static_cast<char>('a' + level));
    RunProgram({"mkdir", "-p", deep});
    WriteFile(deep + "/run.bat", "@exit 0\r\n");
    const std::string input = ToWindowsPath(deep + "/run.bat");
    ASSERT_GT(input.size(), 300u);
    const std::string output = ToWindowsPath(deep + "/pkg.exe");

    const RunResult created = StubpackExe({"create", "--stub", ToWindowsPath(StubPath()), "-o", output, input});
    ASSERT_EQ(0, created.exitCode) << created.err;
    EXPECT_EQ(0, StubpackExe({"verify", "\\\\?\\" + output}).exitCode);
    EXPECT_EQ(0, StubpackExe({"list", output}).exitCode);
    const RunResult extracted = StubpackExe({"extract", output, ToWindowsPath(deep + "/out")});
    ASSERT_EQ(0, extracted.exitCode) << extracted.err;
    EXPECT_EQ("@exit 0\r\n", ReadFile(deep + "/out/run.bat"));
}

// Bad input: the same exit code from both builds, the same one-line message, nothing written.
TEST(StubpackWindows, BadInputAsOnLinux) {
    TempDir dir;
    WriteFile(dir / "run.bat", "x");
    WriteFile(dir / "\xE6\x97\xA5\xE6\x9C\xAC.txt", "x");  // not in code page 1252
    RunProgram({"mkdir", dir / "folder"});
    WriteFile(dir / "RUN.BAT", "x");
    WriteFile(dir / "folder/run.bat", "x");
    const std::string stub = StubPath();
    const struct {
        const char* what;
        std::vector<std::string> args;  // Linux paths; the Windows run gets them in Windows spelling
        const char* says = "";          // in both builds' message
    } cases[] = {
        {"missing stub", {"create", "--stub", dir / "none.exe", "-o", dir / "o.exe", dir / "run.bat"}},
        {"missing input", {"create", "--stub", stub, "-o", dir / "o.exe", dir / "none.txt"}},
        {"a directory as a file", {"create", "--stub", stub, "-o", dir / "o.exe", dir / "folder"}},
        {"a name the code page cannot hold",
         {"create", "--codepage", "1252", "--stub", stub, "-o", dir / "o.exe", dir / "\xE6\x97\xA5\xE6\x9C\xAC.txt"}},
        {"no output", {"create", "--stub", stub, dir / "run.bat"}},
        {"not a package", {"verify", dir / "run.bat"}},
        {"unknown command", {"frobnicate"}},
        {"names that differ in case", {"create", "--stub", stub, "-o", dir / "o.exe", dir / "RUN.BAT", dir / "run.bat"},
         "('run.bat' is 'RUN.BAT' on Windows): the stub would replace that file with this one"},
        {"one name in two folders",
         {"create", "--stub", stub, "-o", dir / "o.exe", dir / "run.bat", dir / "folder/run.bat"},
         "('run.bat'): the stub would replace that file with this one"},
        {"one file twice", {"create", "--stub", stub, "-o", dir / "o.exe", dir / "run.bat", dir / "run.bat"},
         "('run.bat', the same file given twice)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> windowsArgs;
        for (const std::string& arg : c.args) windowsArgs.push_back(arg[0] == '/' ? ToWindowsPath(arg) : arg);
        const RunResult l = Stubpack(c.args), w = StubpackExe(windowsArgs);
        EXPECT_NE(0, l.exitCode);
        EXPECT_EQ(l.exitCode, w.exitCode) << l.err << w.err;
        // One line on stderr where the Linux build gives one (verify reports on stdout).
        EXPECT_EQ(std::count(l.err.begin(), l.err.end(), '\n'), std::count(w.err.begin(), w.err.end(), '\n'))
            << w.err;
        if (!l.err.empty()) {
            EXPECT_EQ(0u, w.err.find("stubpack: ")) << w.err;
        }
        EXPECT_NE(std::string::npos, l.err.find(c.says)) << l.err;
        EXPECT_NE(std::string::npos, w.err.find(c.says)) << w.err;
        EXPECT_FALSE(FileExists(dir / "o.exe"));
    }
}

// The Windows zip: stubpack.exe finds the stub beside it, so --stub is needed only to choose
// another. (Progress on a real console cannot be staged here: Wine gives these runs pipes.)
TEST(StubpackWindows, ZipRunsWithTheStubBesideIt) {
    TempDir dir;
    const RunResult packed = RunProgram(
        {"cpack", "--config", std::string(STUB_BUILD_DIR) + "/CPackConfig.cmake", "-B", dir / "packages"});
    ASSERT_EQ(0, packed.exitCode) << packed.out << packed.err;
    const RunResult unzipped = RunProgram({"sh", "-c", "cd '" + dir.Path() + "' && unzip -q packages/stubpack-*-win32.zip"});
    ASSERT_EQ(0, unzipped.exitCode) << unzipped.err;
    const RunResult found = RunProgram({"sh", "-c", "ls -d '" + dir.Path() + "'/stubpack-*-win32"});
    const std::string unpacked = found.out.substr(0, found.out.find('\n'));
    ASSERT_TRUE(FileExists(unpacked + "/stubpack.exe") && FileExists(unpacked + "/README.md"));

    WriteFile(dir / "run.bat", "@exit 0\r\n");
    WriteFile(dir / "setup.msi", std::string(5 << 20, 'M'));  // large enough for progress on a console
    const RunResult created = RunWine(unpacked + "/stubpack.exe", {"create", "-o", ToWindowsPath(dir / "pkg.exe"),
                                                                   ToWindowsPath(dir / "run.bat"),
                                                                   ToWindowsPath(dir / "setup.msi")});
    ASSERT_EQ(0, created.exitCode) << created.err;
    EXPECT_EQ("", created.out + created.err) << "no progress when the output is not a console";
    const std::string stub = ReadFile(unpacked + "/UnPackFile.exe");
    EXPECT_TRUE(stub == ReadFile(StubPath()));
    EXPECT_TRUE(ReadFile(dir / "pkg.exe").compare(0, stub.size(), stub) == 0) << "packed behind the zip's stub";
}
