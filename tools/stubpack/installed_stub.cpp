#include "installed_stub.h"

#include <sys/stat.h>

#include <vector>

#ifdef _WIN32
#include "windows_text.h"
#else
#include <unistd.h>
#endif

#ifndef STUBPACK_STUB_DIR_FROM_BIN
#define STUBPACK_STUB_DIR_FROM_BIN "../share/stubpack"
#endif

namespace stubpack {

namespace {

const char kStubName[] = "UnPackFile.exe";

#ifdef _WIN32
constexpr char kSeparator = '\\';

std::string OwnPath() {
    std::vector<wchar_t> path(32768);
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    return n == 0 || n >= path.size() ? "" : Narrow(path.data(), n);
}

bool IsRegularFile(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(SystemPath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}
#else
constexpr char kSeparator = '/';

std::string OwnPath() {
    std::vector<char> path(4096);
    const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size() - 1);
    return n <= 0 ? "" : std::string(path.data(), static_cast<std::size_t>(n));
}

bool IsRegularFile(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}
#endif

std::string OwnDirectory() {
    const std::string exe = OwnPath();
    const auto slash = exe.find_last_of(kSeparator);
    return slash == std::string::npos ? "" : exe.substr(0, slash);
}

}  // namespace

std::string InstalledStubPath() {
    const std::string bin = OwnDirectory();
    if (bin.empty()) return "";
    const std::string fromBin = std::string(STUBPACK_STUB_DIR_FROM_BIN) + kSeparator + kStubName;
    for (const std::string& candidate : {bin + kSeparator + kStubName, bin + kSeparator + fromBin})
        if (IsRegularFile(candidate)) return candidate;
    return "";
}

}  // namespace stubpack
