// Hostile packages through the real stub under Wine, each next to stubpack verify's verdict on it.
// Every mutant must end with exit code 0 within the time limit, reach the end of the launch
// sequence, write nothing outside the working directory and leave none behind, and extract
// byte-identically the records left intact. Verify must agree: where it passes, the stub
// extracts every file of the package byte-identically; where it fails, the stub does not.
//
// HOSTILE_SEED=N picks another corpus, HOSTILE_ONLY=family#index replays one mutant,
// HEAVY_TESTS=1 runs the larger corpus, HOSTILE_REPORT=path appends one line per mutant there.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>

#include "file_set.h"
#include "mutants.h"
#include "support.h"
#include "tree_watch.h"
#include "verify_verdict.h"
#include "work_dir_capture.h"

using namespace e2e;

namespace {

constexpr std::uint64_t kDefaultSeed = 20240613;
const char kLastLine[] = "[CUnPackFileApp::InitInstance] execute done code:0";

std::uint64_t CorpusSeed() {
    const char* seed = std::getenv("HOSTILE_SEED");
    return seed && *seed ? std::strtoull(seed, nullptr, 0) : kDefaultSeed;
}
bool Heavy() {
    const char* heavy = std::getenv("HEAVY_TESTS");
    return heavy && std::string(heavy) == "1";
}
std::string Only() {
    const char* only = std::getenv("HOSTILE_ONLY");
    return only ? only : "";
}

std::string Join(const std::vector<std::string>& lines, std::size_t last = 0) {
    std::string out;
    const std::size_t from = last && lines.size() > last ? lines.size() - last : 0;
    for (std::size_t i = from; i < lines.size(); ++i) out += "  " + lines[i] + "\n";
    return out;
}

// The longest record name whose path in the working directory stays below MAX_PATH.
std::size_t LongestNameThatFits() {
    const std::string workDir = WineTempWindowsDir() + "\\unpack\\";
    return 259 - workDir.size();
}

bool HasWarning(const VerifyVerdict& verdict, const std::string& check) {
    for (const auto& c : verdict.warnings)
        if (c == check) return true;
    return false;
}

// Verify's warnings about a walk that differs from what the packer wrote.
bool HasWalkWarning(const VerifyVerdict& verdict) {
    return HasWarning(verdict, "index") || HasWarning(verdict, "running-total") || HasWarning(verdict, "count");
}

struct Tally {
    std::size_t mutants = 0, verifyOk = 0, everyFile = 0, complete = 0, agree = 0;
    std::size_t longNames = 0, warnedWalks = 0;  // verify passes, not every packed file comes out
};

class HostileCorpus : public ::testing::TestWithParam<mutants::Family> {
protected:
    static void SetUpTestSuite() {
        dir_ = std::make_unique<TempDir>();
        const auto files = mutants::BaseFiles(CorpusSeed());
        std::vector<PackageFile> packed;
        for (const auto& f : files) packed.push_back({f.first, f.second});
        const std::string base = BuildPackage(*dir_, packed, "base.exe");
        base_ = std::make_unique<mutants::Base>(
            mutants::DescribeBase(ReadFile(base), ReadFile(StubPath()).size(), files));
        RunProgram({"mkdir", "-p", *dir_ / "canary/sub"});
        WriteFile(*dir_ / "canary/keep.txt", "canary");
        WriteFile(*dir_ / "canary/sub/keep.txt", "canary below");
    }
    static void TearDownTestSuite() {
        base_.reset();
        dir_.reset();
    }

    // The prefix's drive C: and this test's directory, except what the run may write.
    TreeWatch Watch() const {
        const std::string temp = RealPath(WineTempDir());  // winepath answers through dosdevices
        return TreeWatch({std::string(std::getenv("WINEPREFIX")) + "/drive_c", dir_->Path()},
                         {temp + "/unpack.log", temp + "/unpack", *dir_ / "out", *dir_ / "mutant.exe"});
    }

    void Check(const mutants::Mutant& m, TreeWatch& watch, Tally& tally, std::ofstream& report);

    static std::unique_ptr<TempDir> dir_;
    static std::unique_ptr<mutants::Base> base_;
};

std::unique_ptr<TempDir> HostileCorpus::dir_;
std::unique_ptr<mutants::Base> HostileCorpus::base_;

void HostileCorpus::Check(const mutants::Mutant& m, TreeWatch& watch, Tally& tally,
                          std::ofstream& report) {
    SCOPED_TRACE("replay with HOSTILE_SEED=" + std::to_string(CorpusSeed()) + " HOSTILE_ONLY=" + m.id +
                 " (mutant seed " + std::to_string(m.seed) + "): " + m.what);
    const std::string exe = *dir_ / "mutant.exe";
    WriteFile(exe, m.bytes);
    const VerifyVerdict verdict = RunVerifyJson(exe, 1252);
    ASSERT_TRUE(verdict.parsed) << verdict.json;

    CleanWineTemp();  // before the watch starts: earlier tests leave their traces there
    watch.Start();
    const CapturedRun run = RunCapturingWorkDir(exe, *dir_ / "out");
    const std::vector<std::string> outside = watch.Changes();

    // The run ends normally.
    EXPECT_FALSE(run.timedOut) << run.launchOutput;
    EXPECT_TRUE(run.exitKnown && run.exitCode == 0)
        << "exit code 0x" << std::hex << run.exitCode << std::dec << "\n" << run.launchOutput;
    EXPECT_TRUE(!run.log.empty() && run.log.back() == kLastLine)
        << "the launch sequence did not reach its end; log ends with\n" << Join(run.log, 8);
    // The log was cleaned before the run: it holds this run's records and nothing written over them.
    EXPECT_TRUE(!run.log.empty() && run.log.front().rfind("[CUtility::OSInfo] ", 0) == 0)
        << "the log does not begin with the run's first record:\n" << Join(run.log, 3);
    EXPECT_TRUE(run.copied) << "the command did not run";
    EXPECT_EQ(WineTempWindowsDir() + "\\unpack", run.currentDirectory);
    EXPECT_FALSE(run.workDirLeftBehind);
    EXPECT_TRUE(outside.empty()) << "written outside the working directory:\n" << Join(outside);

    // Intact records come out byte-identical; those before any damage to the walk come out at all.
    const FileSet extracted = ExtractedSet(run);
    for (const auto& f : m.intended) {
        if (!f.intact) continue;
        const auto got = extracted.files.find(NameKey(f.name));
        if (f.record < m.walkedAsPacked) {
            EXPECT_TRUE(got != extracted.files.end()) << "intact record " << f.record + 1 << " not extracted";
        }
        if (got != extracted.files.end()) {
            EXPECT_TRUE(got->second.data == f.data) << "intact record " << f.record + 1 << " extracted with other bytes";
        }
    }

    // Verify's verdict against what the stub did.
    const FileSet intended = IntendedSet(m);
    const FileSet verified = VerifiedSet(verdict, m.bytes);
    const bool complete = !intended.ambiguous && !intended.partial && Differences(intended, extracted).empty();
    EXPECT_FALSE(intended.ambiguous) << "two intended files share a name: the corpus cannot judge this mutant";
    // Two ways in which verify passes a package whose files do not all come out, counted and
    // reported rather than failed: a name too long for this machine's working directory path,
    // which verify cannot know but must warn about, and a walk that verify predicts exactly but
    // only warns about.
    const std::size_t longest = LongestNameThatFits();
    const bool onlyLongNamesMissing = HasWarning(verdict, "name-length") && !intended.partial &&
                                      Differences(WithoutNamesOver(intended, longest), extracted).empty();
    const bool predictedWithWarnings = verdict.everyFile && HasWalkWarning(verdict) &&
                                       Differences(verified, extracted).empty();
    if (verdict.ok && !complete) {
        EXPECT_TRUE(onlyLongNamesMissing || predictedWithWarnings)
            << "verify passes, but the stub did not extract every file:\n"
            << Join(Differences(intended, extracted)) << verdict.json;
    }
    if (!verdict.ok) {
        EXPECT_FALSE(complete) << "verify fails, but the stub extracted every file\n" << verdict.json;
    }
    // Where verify says the stub writes every file, it says which: those must come out.
    const auto toVerified = Differences(WithoutNamesOver(verified, longest), extracted);
    if (verdict.everyFile) {
        EXPECT_TRUE(toVerified.empty()) << "the stub did not write what verify says it writes:\n"
                                        << Join(toVerified) << verdict.json;
    }
    const char* gap = !verdict.ok || complete ? ""
                      : onlyLongNamesMissing  ? "long-name"
                      : predictedWithWarnings ? "warned-walk"
                                              : "DISAGREES";

    ++tally.mutants;
    tally.verifyOk += verdict.ok;
    tally.everyFile += verdict.everyFile;
    tally.complete += complete;
    tally.agree += verdict.ok == complete;
    tally.longNames += std::string(gap) == "long-name";
    tally.warnedWalks += std::string(gap) == "warned-walk";
    if (report)
        report << CorpusSeed() << '\t' << m.id << '\t' << m.seed << '\t' << m.what << '\t'
               << (verdict.ok ? "verify-ok" : "verify-fails") << '\t'
               << (verdict.everyFile ? "every-file" : "not-every-file") << '\t'
               << (complete ? "complete" : "incomplete") << '\t' << extracted.files.size() << " files\t"
               << (run.exitKnown ? std::to_string(run.exitCode) : "no-exit") << '\t'
               << (outside.empty() ? "inside" : "OUTSIDE") << '\t' << gap << '\n';
}

}  // namespace

TEST_P(HostileCorpus, RunThroughTheStubAndVerify) {
    const mutants::Family family = GetParam();
    const std::string only = Only();
    std::ofstream report;
    if (const char* path = std::getenv("HOSTILE_REPORT")) report.open(path, std::ios::app);

    TreeWatch watch = Watch();
    Tally tally;
    const std::size_t size = mutants::FamilySize(family, Heavy());
    for (std::size_t i = 0; i < size; ++i) {
        const mutants::Mutant m = mutants::Make(*base_, family, i, CorpusSeed(), ToWindowsPath(*dir_ / "canary"));
        if (!only.empty() && only != m.id) continue;
        Check(m, watch, tally, report);
    }
    if (tally.mutants == 0) GTEST_SKIP() << "no mutant of this family selected (HOSTILE_ONLY=" << only << ")";
    std::cout << "[ corpus   ] " << mutants::FamilyName(family) << ": " << tally.mutants << " mutants, verify ok "
              << tally.verifyOk << ", stubExtractsEveryFile " << tally.everyFile << ", extracted completely "
              << tally.complete << ", verify agrees " << tally.agree << "/" << tally.mutants
              << "; verify passes but not every packed file comes out: " << tally.longNames
              << " with a name too long for the working directory, " << tally.warnedWalks
              << " with a walk verify predicts and warns about\n";
}

INSTANTIATE_TEST_SUITE_P(Families, HostileCorpus, ::testing::ValuesIn(mutants::AllFamilies()),
                         [](const ::testing::TestParamInfo<mutants::Family>& info) {
                             std::string name = mutants::FamilyName(info.param);
                             for (char& c : name)
                                 if (c == '-') c = '_';
                             return name;
                         });
