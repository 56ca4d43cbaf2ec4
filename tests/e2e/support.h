// Helpers for the end-to-end tests: running programs, temporary directories, files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace e2e {

struct RunResult {
    int exitCode = -1;  // -1 when the program could not be run or was killed
    std::string out;
    std::string err;
};

// This process's environment with changes: "NAME=value" sets a variable, "NAME=" removes it.
std::vector<std::string> ChildEnvironment(const std::vector<std::string>& changes);

// Runs argv[0] (searched in PATH); env entries "NAME=value" set a variable, "NAME=" removes it.
RunResult RunProgram(const std::vector<std::string>& argv, const std::vector<std::string>& env = {});

// Runs argv[0] with a pseudo-terminal as its standard input, output and error; out holds
// everything it wrote there (err stays empty).
RunResult RunInTerminal(const std::vector<std::string>& argv);

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);

std::string StubPath();      // the built UnPackFile.exe (or E2E_STUB's)
// The path with every link resolved (the path itself when it does not exist).
std::string RealPath(const std::string& path);
std::string StubpackExePath();  // the built stubpack.exe (the Windows build of stubpack)
std::string StubpackPath();  // the built stubpack
std::string WinToolPath(const std::string& name);  // a Windows test tool, e.g. "launch.exe"

// A throwaway code-signing certificate and key, made once per test run with openssl.
struct SigningKey {
    std::string cert;
    std::string key;
};
const SigningKey& TestSigningKey();

// Signs in -> out with osslsigncode; returns its result.
RunResult Sign(const std::string& in, const std::string& out);

// --- Wine ---------------------------------------------------------------------------------
// The test run's prefix comes from WINEPREFIX (scripts/wine-session.sh sets it).

// Unix path of %TEMP% in the prefix (where the stub's log and working directory go).
std::string WineTempDir();
// The same directory as Windows names it (for example C:\users\root\Temp), no trailing backslash.
std::string WineTempWindowsDir();
// The Windows path of a Unix path (Wine maps / to Z:).
std::string ToWindowsPath(const std::string& unixPath);
// scripts/wine-run: wine with the test run's prefix, for argument vectors that start Windows programs.
std::string WineRunner();
// Runs a Windows program under Wine with the given (re-quoted) arguments.
RunResult RunWine(const std::string& exe, const std::vector<std::string>& args = {},
                  const std::vector<std::string>& env = {});
// Runs a Windows command line exactly as written, through the launch tool.
RunResult LaunchRaw(const std::string& commandLine, const std::vector<std::string>& env = {});

// The messages of the stub's log (UTF-16LE records), as UTF-8, without pid, time and last error.
std::vector<std::string> ReadLogMessages(const std::string& path);
std::string Utf16ToUtf8(const std::string& utf16le);

struct PackageFile {
    std::string name;
    std::string data;
};
// Writes the files into dir/in/ and packs them with stubpack into dir/outName; returns its path.
std::string BuildPackage(const TempDir& dir, const std::vector<PackageFile>& files,
                         const std::string& outName = "pkg.exe");

// Removes the stub's traces from the prefix's temporary directory (log, batch output,
// working directory), so that each test starts from nothing.
void CleanWineTemp();

// stubpack with the given arguments.
RunResult Stubpack(std::vector<std::string> args);

// Bytes as lower-case hexadecimal digits (how the Windows test tools take UTF-8 arguments).
std::string Hex(const std::string& bytes);

// SHA-256 of a file, as sha256sum prints it.
std::string Sha256(const std::string& path);

}  // namespace e2e
