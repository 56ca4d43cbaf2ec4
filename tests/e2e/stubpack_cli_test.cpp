// stubpack as an operator meets it: help, version, exit statuses, where output goes,
// reproducible packages, and progress only on a terminal.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

#include "support.h"

using namespace e2e;

TEST(StubpackCli, HelpForEveryCommand) {
    const std::vector<std::vector<std::string>> asks = {
        {"--help"}, {"-h"}, {"create", "--help"}, {"list", "-h"}, {"verify", "--help"},
        {"extract", "--help"}, {"extract", "x.exe", "--help"}};
    for (const auto& args : asks) {
        const RunResult r = Stubpack(args);
        SCOPED_TRACE(args[0] + " " + args.back());
        EXPECT_EQ(0, r.exitCode);
        EXPECT_EQ("", r.err);
        const std::string usage = args.size() == 1 ? "Usage: stubpack COMMAND" : "Usage: stubpack " + args[0];
        EXPECT_EQ(0u, r.out.find(usage)) << r.out;
        EXPECT_NE(std::string::npos, r.out.find("Exit status:\n  0  ")) << r.out;
        EXPECT_NE(std::string::npos, r.out.find("\n  1  ")) << r.out;
        EXPECT_NE(std::string::npos, r.out.find("\n  2  the command line is wrong\n")) << r.out;
    }
    const RunResult main = Stubpack({"--help"});
    for (const char* command : {"create", "list", "verify", "extract"})
        EXPECT_NE(std::string::npos, main.out.find("\n  " + std::string(command) + " ")) << command;
}

TEST(StubpackCli, Version) {
    const RunResult r = Stubpack({"--version"});
    EXPECT_EQ(0, r.exitCode);
    EXPECT_TRUE(std::regex_match(r.out, std::regex("stubpack [0-9]+\\.[0-9]+\\.[0-9]+\n"))) << r.out;
    EXPECT_EQ("", r.err);
}

// A wrong command line: status 2, one line on stderr that says what is wrong, nothing on stdout.
TEST(StubpackCli, UsageErrorsExitTwo) {
    const struct {
        std::vector<std::string> args;
        const char* message;
    } cases[] = {
        {{}, "no command given"},
        {{"frobnicate"}, "unknown command 'frobnicate'"},
        {{"list", "--bogus", "x.exe"}, "list: unknown option '--bogus' (try stubpack list --help)"},
        {{"verify", "--codepage"}, "--codepage needs a value"},
        {{"extract", "x.exe"}, "give a package and a directory"},
        {{"extract", "--list-only", "x.exe", "dir"}, "give one package and no directory"},
        {{"create", "--stub", "s.exe", "-o", "o.exe"}, "no files to pack"},
        {{"create", "--frob"}, "create: unknown option '--frob'"},
    };
    for (const auto& c : cases) {
        const RunResult r = Stubpack(c.args);
        EXPECT_EQ(2, r.exitCode) << c.message;
        EXPECT_EQ("", r.out);
        EXPECT_EQ(0u, r.err.find("stubpack: ")) << r.err;
        EXPECT_NE(std::string::npos, r.err.find(c.message)) << r.err;
        EXPECT_EQ(1, std::count(r.err.begin(), r.err.end(), '\n')) << r.err;
    }
}

// The same inputs give the same package, whatever the inputs' times or the run.
TEST(StubpackCli, CreateIsReproducible) {
    TempDir dir;
    WriteFile(dir / "setup.msi", std::string(70000, 'M'));
    WriteFile(dir / "run.bat", "PreVerCheck.exe");
    RunProgram({"mkdir", dir / "stub"});
    WriteFile(dir / "stub/UnPackFile.exe", ReadFile(StubPath()));
    const std::vector<std::string> inputs = {dir / "setup.msi", dir / "run.bat"};
    auto create = [&](const std::string& out) {
        std::vector<std::string> args = {"create", "--stub", dir / "stub/UnPackFile.exe", "-o", out};
        args.insert(args.end(), inputs.begin(), inputs.end());
        const RunResult r = Stubpack(args);
        EXPECT_EQ(0, r.exitCode) << r.err;
    };
    create(dir / "first.exe");
    RunProgram({"touch", "-d", "2001-02-03 04:05:06", dir / "setup.msi", dir / "run.bat", dir / "stub/UnPackFile.exe"});
    create(dir / "second.exe");
    const std::string first = Sha256(dir / "first.exe");
    ASSERT_EQ(64u, first.size());
    EXPECT_EQ(first, Sha256(dir / "second.exe"));
    EXPECT_TRUE(ReadFile(dir / "first.exe") == ReadFile(dir / "second.exe"));
    // And so are the reports about them, apart from the file's own name.
    const auto report = [&](const std::string& name) {
        const std::string path = dir / name;
        std::string out = Stubpack({"verify", "--json", path}).out;
        for (std::size_t at; (at = out.find(path)) != std::string::npos;) out.replace(at, path.size(), "PKG");
        return out;
    };
    const std::string firstReport = report("first.exe");
    EXPECT_NE(std::string::npos, firstReport.find("PKG")) << firstReport;
    EXPECT_EQ(firstReport, report("second.exe"));
}

// Progress for a large file when stderr is a terminal; nothing of it through a pipe or for a
// small file.
TEST(StubpackCli, ProgressOnlyOnATerminal) {
    TempDir dir;
    WriteFile(dir / "big.bin", std::string(6 << 20, 'B'));
    WriteFile(dir / "small.txt", "small");
    const std::vector<std::string> create = {StubpackPath(), "create", "--stub", StubPath(), "-o", dir / "pkg.exe",
                                             dir / "big.bin", dir / "small.txt"};

    const RunResult terminal = RunInTerminal(create);
    EXPECT_EQ(0, terminal.exitCode) << terminal.out;
    EXPECT_NE(std::string::npos, terminal.out.find("stubpack: packing " + dir / "big.bin" + ": 100% (6.0 of 6.0 MiB)"))
        << terminal.out;
    EXPECT_EQ(std::string::npos, terminal.out.find("small.txt")) << terminal.out;

    const RunResult extract = RunInTerminal({StubpackPath(), "extract", dir / "pkg.exe", dir / "out"});
    EXPECT_EQ(0, extract.exitCode) << extract.out;
    EXPECT_NE(std::string::npos, extract.out.find("stubpack: extracting big.bin: 100% (6.0 of 6.0 MiB)"))
        << extract.out;

    std::vector<std::string> piped(create.begin() + 1, create.end());
    piped[4] = dir / "piped.exe";
    const RunResult quiet = Stubpack(piped);
    EXPECT_EQ(0, quiet.exitCode);
    EXPECT_EQ("", quiet.err);
    EXPECT_EQ("", quiet.out);
    const RunResult quietExtract = Stubpack({"extract", dir / "piped.exe", dir / "out2"});
    EXPECT_EQ(0, quietExtract.exitCode);
    EXPECT_EQ("", quietExtract.err);
    EXPECT_TRUE(ReadFile(dir / "out2/big.bin") == ReadFile(dir / "big.bin"));
}
