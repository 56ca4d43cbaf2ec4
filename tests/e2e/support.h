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

std::string StubPath();      // the built UnPackFile.exe
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

// stubpack with the given arguments.
RunResult Stubpack(std::vector<std::string> args);

// SHA-256 of a file, as sha256sum prints it.
std::string Sha256(const std::string& path);

}  // namespace e2e
