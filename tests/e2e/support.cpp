#include "support.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iconv.h>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace e2e {

std::vector<std::string> ChildEnvironment(const std::vector<std::string>& changes) {
    std::vector<std::string> envStrings;
    for (char** e = environ; *e; ++e) envStrings.emplace_back(*e);
    for (const auto& change : changes) {
        const std::string name = change.substr(0, change.find('=') + 1);
        for (auto it = envStrings.begin(); it != envStrings.end();)
            it = it->compare(0, name.size(), name) == 0 ? envStrings.erase(it) : it + 1;
        if (change.size() > name.size()) envStrings.push_back(change);
    }
    return envStrings;
}

RunResult RunProgram(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
    RunResult result;
    int outPipe[2], errPipe[2];
    if (pipe(outPipe) != 0 || pipe(errPipe) != 0) return result;

    std::vector<std::string> envStrings = ChildEnvironment(env);
    std::vector<char*> envp, args;
    for (auto& s : envStrings) envp.push_back(s.data());
    envp.push_back(nullptr);
    std::vector<std::string> argCopy = argv;
    for (auto& s : argCopy) args.push_back(s.data());
    args.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    posix_spawn_file_actions_addclose(&actions, outPipe[0]);
    posix_spawn_file_actions_addclose(&actions, errPipe[0]);
    pid_t pid;
    const int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(outPipe[1]);
    close(errPipe[1]);
    if (spawned != 0) {
        close(outPipe[0]);
        close(errPipe[0]);
        result.err = std::string("cannot run ") + argv[0] + ": " + std::strerror(spawned);
        return result;
    }

    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    int open = 2;
    while (open > 0) {
        if (poll(fds, 2, -1) < 0) break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            char buffer[4096];
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, static_cast<std::size_t>(n));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    int status = 0;
    waitpid(pid, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

RunResult RunInTerminal(const std::vector<std::string>& argv) {
    RunResult result;
    std::vector<std::string> argCopy = argv;
    std::vector<char*> args;
    for (auto& s : argCopy) args.push_back(s.data());
    args.push_back(nullptr);
    int master = -1;
    const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
    if (pid < 0) return result;
    if (pid == 0) {
        execvp(args[0], args.data());
        _exit(127);
    }
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(master, buffer, sizeof buffer);
        if (n > 0) result.out.append(buffer, static_cast<std::size_t>(n));
        else if (n < 0 && errno == EINTR) continue;
        else break;  // EIO once the child has closed the terminal
    }
    close(master);
    int status = 0;
    waitpid(pid, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/e2e.XXXXXX";
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() { RunProgram({"rm", "-rf", path_}); }

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

bool FileExists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

std::string StubPath() {
    // E2E_STUB runs the tests against another build of the stub (an earlier one, to compare).
    const char* other = std::getenv("E2E_STUB");
    return other && *other ? other : std::string(STUB_BUILD_DIR) + "/src/UnPackFile.exe";
}

std::string RealPath(const std::string& path) {
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) ? resolved : path;
}
std::string StubpackExePath() { return std::string(STUB_BUILD_DIR) + "/tools/stubpack/stubpack.exe"; }
std::string StubpackPath() { return STUBPACK_EXE; }
std::string WinToolPath(const std::string& name) {
    return std::string(STUB_BUILD_DIR) + "/tests/win/" + name;
}

const SigningKey& TestSigningKey() {
    static TempDir dir;
    static SigningKey key = [] {
        SigningKey k{dir / "cert.pem", dir / "key.pem"};
        const RunResult made = RunProgram({"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes",
                                    "-keyout", k.key, "-out", k.cert, "-days", "2", "-subj",
                                    "/CN=Package Test Signer"});
        if (made.exitCode != 0) throw std::runtime_error("openssl: " + made.err);
        return k;
    }();
    return key;
}

RunResult Sign(const std::string& in, const std::string& out) {
    const SigningKey& k = TestSigningKey();
    return RunProgram({"osslsigncode", "sign", "-certs", k.cert, "-key", k.key, "-n", "Package Test",
                "-in", in, "-out", out});
}

std::string WineTempWindowsDir() {
    static const std::string dir = [] {
        const RunResult echo = RunWine("cmd", {"/c", "echo %TEMP%"});
        std::string windowsPath = echo.out;
        while (!windowsPath.empty() && (windowsPath.back() == '\n' || windowsPath.back() == '\r'))
            windowsPath.pop_back();
        if (echo.exitCode != 0 || windowsPath.empty())
            throw std::runtime_error("cannot ask Wine for %TEMP%: " + echo.err);
        return windowsPath;
    }();
    return dir;
}

std::string WineTempDir() {
    static const std::string dir = [] {
        const std::string windowsPath = WineTempWindowsDir();
        const RunResult unix = RunWine("winepath", {"-u", windowsPath});
        std::string path = unix.out;
        while (!path.empty() && (path.back() == '\n' || path.back() == '/')) path.pop_back();
        if (path.empty()) throw std::runtime_error("winepath failed: " + unix.err);
        return path;
    }();
    return dir;
}

std::string ToWindowsPath(const std::string& unixPath) {
    std::string path = "Z:" + unixPath;
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

std::string WineRunner() { return std::string(SOURCE_DIR) + "/scripts/wine-run"; }

RunResult RunWine(const std::string& exe, const std::vector<std::string>& args,
                  const std::vector<std::string>& env) {
    std::vector<std::string> argv = {WineRunner(), exe};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProgram(argv, env);
}

RunResult LaunchRaw(const std::string& commandLine, const std::vector<std::string>& env) {
    std::vector<std::string> all = env;
    all.push_back("LAUNCH_COMMAND_LINE=" + commandLine);
    return RunWine(WinToolPath("launch.exe"), {}, all);
}

std::string Utf16ToUtf8(const std::string& utf16le) {
    iconv_t cd = iconv_open("UTF-8", "UTF-16LE");
    std::string out(utf16le.size() * 2 + 16, '\0');
    char* in = const_cast<char*>(utf16le.data());
    size_t inLeft = utf16le.size(), outLeft = out.size();
    char* o = out.data();
    iconv(cd, &in, &inLeft, &o, &outLeft);
    iconv_close(cd);
    out.resize(out.size() - outLeft);
    return out;
}

std::vector<std::string> ReadLogMessages(const std::string& path) {
    const std::string text = Utf16ToUtf8(ReadFile(path));
    std::vector<std::string> messages;
    std::size_t start = 0, end;
    while ((end = text.find("\r\n", start)) != std::string::npos) {
        const std::string record = text.substr(start, end - start);
        const std::size_t gap = record.find("  ");
        const std::size_t last = record.rfind(" (Last=");
        messages.push_back(gap != std::string::npos && last != std::string::npos && last >= gap + 2
                               ? record.substr(gap + 2, last - gap - 2)
                               : record);
        start = end + 2;
    }
    return messages;
}

std::string BuildPackage(const TempDir& dir, const std::vector<PackageFile>& files,
                         const std::string& outName) {
    RunProgram({"mkdir", "-p", dir / "in"});
    std::vector<std::string> args = {StubpackPath(), "create", "--stub", StubPath(), "-o", dir / outName};
    for (const auto& f : files) {
        WriteFile(dir / ("in/" + f.name), f.data);
        args.push_back(dir / ("in/" + f.name));
    }
    const RunResult r = RunProgram(args);
    if (r.exitCode != 0) throw std::runtime_error("stubpack create failed: " + r.err);
    return dir / outName;
}

void CleanWineTemp() {
    const std::string temp = WineTempDir();
    RunProgram({"rm", "-rf", temp + "/unpack", temp + "/unpack.log", temp + "/unpack.log.txt"});
}

RunResult Stubpack(std::vector<std::string> args) {
    args.insert(args.begin(), StubpackPath());
    return RunProgram(args);
}

std::string Sha256(const std::string& path) {
    const RunResult r = RunProgram({"sha256sum", path});
    return r.exitCode == 0 ? r.out.substr(0, 64) : "";
}

std::string Hex(const std::string& bytes) {
    std::string out;
    char digits[3];
    for (unsigned char c : bytes) {
        std::snprintf(digits, sizeof digits, "%02x", c);
        out += digits;
    }
    return out;
}

}  // namespace e2e
