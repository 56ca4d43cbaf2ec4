// Which product key the alias "UNIVERSAL_PATH_CONVERT" stands for, row by row from the registry's
// answers, and which registry questions each row asks, in order.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "registry/key_alias.h"

using key_alias::ProductKey;

namespace {

// Answers from a table row; records each question as one letter.
struct Row {
    std::uint32_t machineBasedType;  // "KVTBasedType" as read (1 when missing or unreadable)
    bool userKeyExists;              // opens with full access
    bool userKeyOpens;               // opens for reading
    bool userHasServerMode;
    std::uint32_t userServerMode;  // as read (0 when unreadable)
    ProductKey machineRule;
};

class TableAnswers {
public:
    explicit TableAnswers(const Row& row) : row_(row) {}
    std::uint32_t MachineBasedType() { return Ask('T', row_.machineBasedType); }
    ProductKey MachineRule() { return Ask('M', row_.machineRule); }
    bool UserKeyExists() { return Ask('E', row_.userKeyExists); }
    bool OpenUserKey() { return Ask('O', row_.userKeyOpens); }
    bool UserHasServerMode() { return Ask('V', row_.userHasServerMode); }
    std::uint32_t UserServerMode() { return Ask('S', row_.userServerMode); }
    const std::string& Asked() const { return asked_; }

private:
    template <class T>
    T Ask(char question, T answer) {
        asked_ += question;
        return answer;
    }
    Row row_;
    std::string asked_;
};

constexpr ProductKey P = ProductKey::Product;
constexpr ProductKey B = ProductKey::Business;

}  // namespace

TEST(KeyAlias, DecisionTable) {
    const struct {
        const char* what;
        Row row;
        ProductKey expected;
        const char* asked;
    } cases[] = {
        // "KVTBasedType" 1, missing or unreadable (read as 1): the machine rule, user not asked.
        {"based type 1, machine business", {1, true, true, true, 0, B}, B, "TM"},
        {"based type 1, machine product", {1, true, true, true, 1, P}, P, "TM"},
        // Any other value, user's key missing or not fully accessible: the machine rule.
        {"based type 0, no user key, machine business", {0, false, true, true, 1, B}, B, "TEM"},
        {"based type 0, no user key, machine product", {0, false, true, true, 1, P}, P, "TEM"},
        {"based type 2, no user key, machine business", {2, false, false, false, 0, B}, B, "TEM"},
        // User's key exists but does not open for reading: the product key, machine not asked.
        {"user key unreadable, machine business", {0, true, false, true, 1, B}, P, "TEO"},
        // User's key without "KVServerMode": the machine rule.
        {"no user value, machine business", {0, true, true, false, 1, B}, B, "TEOVM"},
        {"no user value, machine product", {0, true, true, false, 1, P}, P, "TEOVM"},
        // User's "KVServerMode" decides, whatever the machine says.
        {"user value 1, machine product", {0, true, true, true, 1, P}, B, "TEOVS"},
        {"user value 1, machine business", {0, true, true, true, 1, B}, B, "TEOVS"},
        {"user value 0, machine business", {0, true, true, true, 0, B}, P, "TEOVS"},
        {"user value 2, machine business", {0xFFFFFFFF, true, true, true, 2, B}, P, "TEOVS"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TableAnswers answers(c.row);
        EXPECT_EQ(c.expected, key_alias::Decide(answers));
        EXPECT_EQ(c.asked, answers.Asked());
    }
}

namespace {

struct RootRow {
    bool rootAccepted;
    bool keyOpens;
    std::uint32_t serverMode;
};

class RootTableAnswers {
public:
    explicit RootTableAnswers(const RootRow& row) : row_(row) {}
    bool SelectRoot() { return Ask('R', row_.rootAccepted); }
    bool OpenProductKey() { return Ask('O', row_.keyOpens); }
    std::uint32_t ServerMode() { return Ask('S', row_.serverMode); }
    const std::string& Asked() const { return asked_; }

private:
    template <class T>
    T Ask(char question, T answer) {
        asked_ += question;
        return answer;
    }
    RootRow row_;
    std::string asked_;
};

}  // namespace

// The machine rule: "KVServerMode" = 1 in the product key under the root selects the business key.
TEST(KeyAlias, RootDecisionTable) {
    const struct {
        const char* what;
        RootRow row;
        ProductKey expected;
        const char* asked;
    } cases[] = {
        {"root refused", {false, true, 1}, P, "R"},
        {"product key missing", {true, false, 1}, P, "RO"},
        {"server mode 1", {true, true, 1}, B, "ROS"},
        {"server mode 0 (or missing)", {true, true, 0}, P, "ROS"},
        {"server mode 2", {true, true, 2}, P, "ROS"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        RootTableAnswers answers(c.row);
        EXPECT_EQ(c.expected, key_alias::DecideForRoot(answers));
        EXPECT_EQ(c.asked, answers.Asked());
    }
}

TEST(KeyAlias, RecognisedInAnyLetterCase) {
    EXPECT_TRUE(key_alias::IsAlias(u"UNIVERSAL_PATH_CONVERT"));
    EXPECT_TRUE(key_alias::IsAlias(u"universal_path_convert"));
    EXPECT_TRUE(key_alias::IsAlias(u"Universal_Path_Convert"));
    EXPECT_TRUE(key_alias::IsAlias(L"universal_PATH_convert"));
    EXPECT_FALSE(key_alias::IsAlias(u"UNIVERSAL_PATH_CONVERT\\Sub"));
    EXPECT_FALSE(key_alias::IsAlias(u"UNIVERSAL_PATH_CONVER"));
    EXPECT_FALSE(key_alias::IsAlias(u" UNIVERSAL_PATH_CONVERT"));
    EXPECT_FALSE(key_alias::IsAlias(u"Software\\Brevant Inc.\\Brevant Remote Server"));
    EXPECT_FALSE(key_alias::IsAlias(u""));
    EXPECT_FALSE(key_alias::IsAlias(static_cast<const char16_t*>(nullptr)));
    // Only A to Z fold: a dotless i and a Cyrillic Te are not "I" and "T".
    EXPECT_FALSE(key_alias::IsAlias(u"UN\u0131VERSAL_PATH_CONVERT"));
    EXPECT_FALSE(key_alias::IsAlias(u"UNIVERSAL_PATH_CONVER\u0422"));
}
