// The corpus generator itself (no Wine): mutants replay from their seed, touch only the package
// bytes, and describe what they damaged the way each family should.
#include <gtest/gtest.h>

#include <set>

#include "mutants.h"
#include "support.h"

using namespace e2e;
using mutants::Family;

namespace {

class Mutants : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new TempDir;
        files_ = mutants::BaseFiles(kSeed);
        std::vector<PackageFile> packed;
        for (const auto& f : files_) packed.push_back({f.first, f.second});
        base_ = new mutants::Base(mutants::DescribeBase(ReadFile(BuildPackage(*dir_, packed)),
                                                        ReadFile(StubPath()).size(), files_));
    }
    static void TearDownTestSuite() {
        delete base_;
        delete dir_;
    }
    static mutants::Mutant Make(Family f, std::size_t i, std::uint64_t seed = kSeed) {
        return mutants::Make(*base_, f, i, seed, "Z:\\canary");
    }

    static constexpr std::uint64_t kSeed = 7;
    static TempDir* dir_;
    static std::vector<std::pair<std::string, std::string>> files_;
    static mutants::Base* base_;
};

TempDir* Mutants::dir_;
std::vector<std::pair<std::string, std::string>> Mutants::files_;
mutants::Base* Mutants::base_;

}  // namespace

TEST_F(Mutants, ReplayFromTheSeedAndChangeOnlyThePackage) {
    std::size_t differentWithOtherSeed = 0, total = 0;
    for (Family family : mutants::AllFamilies()) {
        for (std::size_t i = 0; i < mutants::FamilySize(family, true); ++i) {
            SCOPED_TRACE(std::string(mutants::FamilyName(family)) + "#" + std::to_string(i));
            const mutants::Mutant m = Make(family, i);
            EXPECT_EQ(m.bytes, Make(family, i).bytes);
            EXPECT_NE(base_->bytes, m.bytes) << m.what;
            ASSERT_GE(m.bytes.size(), base_->stubLength);
            EXPECT_EQ(0, m.bytes.compare(0, base_->stubLength, base_->bytes, 0, base_->stubLength))
                << "the stub's bytes changed";
            differentWithOtherSeed += m.bytes != Make(family, i, kSeed + 1).bytes;
            ++total;
        }
    }
    // Table-driven mutants may repeat across seeds; the random ones do not.
    EXPECT_GT(differentWithOtherSeed, total / 2);
}

TEST_F(Mutants, BaseNamesDifferInEachOfTheirFirstFourCharacters) {
    for (std::size_t a = 0; a < files_.size(); ++a)
        for (std::size_t b = a + 1; b < files_.size(); ++b)
            for (std::size_t i = 0; i < 4; ++i)
                EXPECT_NE(files_[a].first[i], files_[b].first[i]) << files_[a].first << " " << files_[b].first;
}

// What each family damages, as the corpus's judgement of intact records relies on it.
TEST_F(Mutants, DescriptionOfTheDamage) {
    const std::size_t n = files_.size();
    for (std::size_t i = 0; i < 40; ++i) {
        SCOPED_TRACE(i);
        const auto data = Make(Family::DataFlip, i);
        EXPECT_EQ(n, data.walkedAsPacked) << data.what;
        std::size_t damaged = 0;
        for (const auto& f : data.intended) damaged += !f.intact;
        EXPECT_EQ(1u, damaged) << data.what;
        ASSERT_EQ(n, data.intended.size());

        EXPECT_EQ(0u, Make(Family::Truncate, i).walkedAsPacked);

        const auto offset = Make(Family::FirstOffset, i);
        EXPECT_EQ(0u, offset.walkedAsPacked) << offset.what;
        for (const auto& f : offset.intended) EXPECT_TRUE(f.intact) << offset.what;

        const auto name = Make(Family::UnsafeName, i);
        std::set<std::string> names;
        for (const auto& f : name.intended) names.insert(f.name);
        EXPECT_EQ(n, names.size()) << name.what;
    }
    // A cut at a boundary keeps whole records only, all of them walked as packed.
    for (std::size_t i = 0; i < 30; i += 3) {
        const auto cut = Make(Family::CutKeepTrailer, i);
        EXPECT_EQ(cut.intended.size(), cut.walkedAsPacked) << cut.what;
        for (const auto& f : cut.intended) EXPECT_TRUE(f.intact) << cut.what;
    }
    // A cut inside a header leaves that record short, even one without data.
    for (std::size_t i = 1; i < 30; i += 3) {
        const auto cut = Make(Family::CutKeepTrailer, i);
        ASSERT_FALSE(cut.intended.empty()) << cut.what;
        EXPECT_FALSE(cut.intended.back().whole) << cut.what;
        EXPECT_EQ(cut.intended.size() - 1, cut.walkedAsPacked) << cut.what;
    }
    // A changed count or size stops the walk as packed at that record.
    for (std::size_t i = 0; i < 26; ++i) {
        for (Family f : {Family::Count, Family::Size}) {
            const auto m = Make(f, i);
            ASSERT_LT(m.walkedAsPacked, n) << m.what;
            EXPECT_FALSE(m.intended[m.walkedAsPacked].intact) << m.what;
            const std::string label = "record " + std::to_string(m.walkedAsPacked + 1) + " ";
            EXPECT_EQ(0u, m.what.rfind(label, 0)) << m.what;
        }
    }
}
