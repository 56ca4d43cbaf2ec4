// Large and many: a package of a thousand small files, and single records of up to more than
// 4 GiB (sparse inputs) extracted byte-identically with the stub's memory flat across sizes.
// The large records need HEAVY_TESTS=1: they write some 9 GiB and take minutes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <random>
#include <regex>

#include "file_set.h"
#include "held_run.h"
#include "log_pattern.h"
#include "support.h"
#include "work_dir_capture.h"

using namespace e2e;

namespace {

constexpr std::uint64_t kMiB = 1ull << 20, kGiB = 1ull << 30;
constexpr std::uint64_t kMarker = 4096;

bool Heavy() {
    const char* heavy = std::getenv("HEAVY_TESTS");
    return heavy && std::string(heavy) == "1";
}

std::uint64_t AvailableBytes(const std::string& path) {
    struct statvfs fs;
    return statvfs(path.c_str(), &fs) == 0 ? static_cast<std::uint64_t>(fs.f_bavail) * fs.f_frsize : 0;
}

std::uint64_t FileSize(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
}

// Marker blocks where a copy is most likely to go wrong: the start, across 2 GiB and 4 GiB (where
// a 32-bit signed or unsigned position wraps), and the end.
std::vector<std::uint64_t> MarkerOffsets(std::uint64_t size) {
    std::vector<std::uint64_t> at = {0};
    for (std::uint64_t edge : {2 * kGiB, 4 * kGiB})
        if (size > edge + kMarker) at.push_back(edge - kMarker / 2 - 3);
    at.push_back(size - kMarker);
    return at;
}

// A sparse file of size bytes: zeros, with seeded random marker blocks.
void MakeSparse(const std::string& path, std::uint64_t size, std::uint64_t seed) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0) << path;
    ASSERT_EQ(0, ftruncate(fd, static_cast<off_t>(size)));
    std::mt19937_64 rng(seed);
    std::string block(kMarker, '\0');
    for (std::uint64_t at : MarkerOffsets(size)) {
        for (auto& c : block) c = static_cast<char>(rng());
        ASSERT_EQ(static_cast<ssize_t>(kMarker), pwrite(fd, block.data(), kMarker, static_cast<off_t>(at)));
    }
    close(fd);
}

// The low 32 bits of a size, as the log's per-file lines print it.
std::string Low32(std::uint64_t size) {
    return std::to_string(static_cast<std::int32_t>(static_cast<std::uint32_t>(size)));
}

// Whether a message matches the pattern (placeholders of log_pattern.h).
bool HasLine(const std::vector<std::string>& log, const std::string& pattern) {
    for (const auto& line : log)
        if (testsupport::MatchesLogPattern(pattern, line)) return true;
    return false;
}

std::uint64_t ReportValue(const std::string& report, const std::string& key) {
    std::smatch m;
    return std::regex_search(report, m, std::regex(key + " (\\d+)")) ? std::stoull(m[1]) : 0;
}

}  // namespace

TEST(LargePackages, ThousandSmallFilesExtractCompletely) {
    TempDir dir;
    std::mt19937_64 rng(1000);
    std::vector<PackageFile> files;
    FileSet expected;
    for (int i = 1; i <= 1000; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "file%04d.txt", i);
        std::string data(rng() % 513, '\0');
        for (auto& c : data) c = static_cast<char>(rng());
        files.push_back({name, data});
        expected.files[NameKey(name)] = {name, data};
    }
    const std::string pkg = BuildPackage(dir, files);

    const CapturedRun run = RunCapturingWorkDir(pkg, dir / "out", {false, 600});
    EXPECT_TRUE(run.exitKnown && run.exitCode == 0) << run.launchOutput;
    ASSERT_FALSE(run.log.empty());
    EXPECT_TRUE(HasLine(run.log, "[CUnPack::UnPackFiles] UnPack total 1000 files."));
    EXPECT_TRUE(HasLine(run.log, "[CUnPack::UnPackFiles] (1000/1000)UnPack file name:" + WineTempWindowsDir() +
                                     "\\unpack\\file1000.txt ({n})"));
    EXPECT_EQ("[CUnPackFileApp::InitInstance] execute done code:0", run.log.back());
    const auto differences = Differences(expected, ExtractedSet(run));
    EXPECT_TRUE(differences.empty()) << differences.size() << " differences, first: " << differences.front();
    EXPECT_FALSE(run.workDirLeftBehind);
}

TEST(LargePackages, LargeRecordsByteIdenticalWithFlatMemory) {
    if (!Heavy()) GTEST_SKIP() << "set HEAVY_TESTS=1 to run: writes some 9 GiB and runs for minutes";
    const struct {
        const char* what;
        std::uint64_t size;
    } rows[] = {
        {"1 MiB", kMiB + 3},
        {"1 GiB", kGiB + 7},
        {"over 4 GiB", 4 * kGiB + kMiB + 5},  // low 32 bits: 1048581
    };
    std::vector<std::uint64_t> peaks;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        TempDir dir;
        // The package and the extracted copy are real bytes; the input is sparse.
        const std::uint64_t needed = 2 * row.size + kGiB;
        if (AvailableBytes(dir.Path()) < needed || AvailableBytes(WineTempDir()) < needed)
            GTEST_SKIP() << "not enough free disk space for " << row.what;
        RunProgram({"mkdir", "-p", dir / "in"});
        const std::string input = dir / "in/big.bin";
        MakeSparse(input, row.size, row.size);

        const auto packStart = std::chrono::steady_clock::now();
        const RunResult packed = Stubpack({"create", "--stub", StubPath(), "-o", dir / "pkg.exe", input});
        ASSERT_EQ(0, packed.exitCode) << packed.err;
        const auto packEnd = std::chrono::steady_clock::now();

        CleanWineTemp();
        HeldRun run(dir / "pkg.exe", dir, 3600);
        ASSERT_TRUE(run.WaitUntilHeld(3600)) << run.Output();
        const auto extractEnd = std::chrono::steady_clock::now();
        const std::string extracted = WineTempDir() + "/unpack/big.bin";
        EXPECT_EQ(row.size, FileSize(extracted));
        const RunResult compared = RunProgram({"cmp", input, extracted});
        EXPECT_EQ(0, compared.exitCode) << compared.out << compared.err;
        const auto compareEnd = std::chrono::steady_clock::now();
        const std::string report = run.Report();
        run.Release();
        EXPECT_EQ(0, run.Wait(600)) << run.Output();

        const std::vector<std::string> log = ReadLogMessages(WineTempDir() + "/unpack.log");
        const std::string path = WineTempWindowsDir() + "\\unpack\\big.bin";
        EXPECT_TRUE(HasLine(log, "[CUnPack::UnPackFiles]  FreeSpace:{n} FileSize:" + std::to_string(row.size)));
        EXPECT_TRUE(HasLine(log, "[CUnPack::UnPackFiles] (1/1)UnPack file name:" + path + " (" + Low32(row.size) + ")"))
            << "the low 32 bits of the size";
        EXPECT_TRUE(HasLine(log, "[CUnPack::UnPackFiles] UnPack count:1 len:" + Low32(row.size) + " File:" + path));
        EXPECT_FALSE(FileExists(WineTempDir() + "/unpack"));

        const std::uint64_t peak = ReportValue(report, "peakWorkingSet");
        EXPECT_GT(peak, 0u) << report;
        peaks.push_back(peak);
        using seconds = std::chrono::duration<double>;
        std::cout << "[ large    ] " << row.what << " (" << row.size << " bytes): stubpack create "
                  << seconds(packEnd - packStart).count() << " s, stub start to payload "
                  << seconds(extractEnd - packEnd).count() << " s, cmp " << seconds(compareEnd - extractEnd).count()
                  << " s, stub peak working set " << peak / 1024 << " KiB, peak pagefile "
                  << ReportValue(report, "peakPagefile") / 1024 << " KiB\n";
        CleanWineTemp();
    }
    // Flat: the largest record costs the stub no more memory than the smallest, give or take
    // what the system's own bookkeeping varies by.
    ASSERT_EQ(3u, peaks.size());
    EXPECT_LT(peaks.back(), peaks.front() + 16 * kMiB) << peaks.front() << " -> " << peaks.back();
}
