// The decisions around the working directory that need no system: what may be done with a
// leftover entry, and the match of the directory's listing against the files this run wrote.
#include <gtest/gtest.h>

#include <string>

#include "package/written_files.h"
#include "util/leftover_decision.h"

using leftover::Action;

namespace {

leftover::EntryFacts Facts(std::uint32_t attributes, std::uint32_t links, bool atItsPlace) {
    leftover::EntryFacts facts;
    facts.attributes = attributes;
    facts.links = links;
    facts.atItsPlace = atItsPlace;
    return facts;
}

}  // namespace

TEST(LeftoverDecision, WhatMayBeDeleted) {
    using leftover::kDirectory;
    using leftover::kReadOnly;
    using leftover::kReparsePoint;
    const struct {
        std::uint32_t attributes, links;
        bool atItsPlace;
        Action action;
        bool clearsReadOnly;
    } rows[] = {
        {0x20, 1, true, Action::DeleteFile, false},
        {kReadOnly, 1, true, Action::DeleteFile, true},
        {kReadOnly, 2, true, Action::Keep, false},  // clearing it would change the other names' file
        {0x20, 3, true, Action::DeleteFile, false}, // deleting one name leaves the others alone
        {kDirectory, 2, true, Action::EmptyDirectory, false},
        {kDirectory | kReadOnly, 2, true, Action::EmptyDirectory, true},
        {kDirectory | kReparsePoint, 1, true, Action::DeleteLink, false},
        {kReparsePoint, 1, true, Action::DeleteLink, false},
        // Opened through a link: the handle is on the target, whatever it looks like.
        {kDirectory, 1, false, Action::Keep, false},
        {0x20, 1, false, Action::Keep, false},
        {kReparsePoint, 1, false, Action::Keep, false},
    };
    for (const auto& row : rows) {
        const leftover::EntryFacts facts = Facts(row.attributes, row.links, row.atItsPlace);
        EXPECT_EQ(row.action, leftover::Decide(facts)) << std::hex << row.attributes << " " << row.links;
        EXPECT_EQ(row.clearsReadOnly, leftover::ClearsReadOnlyFirst(facts)) << std::hex << row.attributes;
    }
}

// The log and the batch output: only a plain file at its own place with no other name.
TEST(LeftoverDecision, WhatIsTheStubsOwnFile) {
    using leftover::kDirectory;
    using leftover::kReadOnly;
    using leftover::kReparsePoint;
    const struct {
        std::uint32_t attributes, links;
        bool atItsPlace, own;
    } rows[] = {
        {0x20, 1, true, true},
        {0x80, 1, true, true},
        {kReadOnly, 1, true, true},         // opening it for writing fails by itself
        {0x20, 2, true, false},             // a hard link: writing changes the file elsewhere too
        {0x20, 1, false, false},            // a link the file system followed (Wine's Unix links)
        {kReparsePoint, 1, true, false},    // the link itself (Windows)
        {kDirectory, 1, true, false},
        {kDirectory | kReparsePoint, 1, true, false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(row.own, leftover::IsOwnPlainFile(Facts(row.attributes, row.links, row.atItsPlace))) << std::hex << row.attributes << " " << row.links;
    }
}

// A leftover at the stub's names: the stub's own or the user's own may go, anything else stays.
TEST(LeftoverDecision, WhoseLeftoverMayBeRemoved) {
    using leftover::Whose;
    const struct {
        bool byAdministrators, byUser, stubsList, folderByUser;
        Whose whose;
    } rows[] = {
        {true, false, true, false, Whose::Stubs},
        {true, false, false, false, Whose::Someone},  // another elevated program's, or an administrator's
        {false, true, false, false, Whose::Users},
        {false, true, true, false, Whose::Users},
        {false, false, true, false, Whose::Someone},  // the list alone proves nothing
        {false, false, false, false, Whose::Someone},
        // An administrator's file in the user's own TEMP (an earlier stub's batch output).
        {true, false, false, true, Whose::UsersFolder},
        {false, false, false, true, Whose::UsersFolder},
    };
    for (const auto& row : rows) {
        leftover::OwnerFacts facts;
        facts.byAdministrators = row.byAdministrators;
        facts.byUser = row.byUser;
        facts.stubsList = row.stubsList;
        facts.folderByUser = row.folderByUser;
        EXPECT_EQ(row.whose, leftover::Owner(facts))
            << row.byAdministrators << row.byUser << row.stubsList << row.folderByUser;
        EXPECT_EQ(row.whose != Whose::Someone, leftover::MayRemove(facts));
    }
}

// Wine's drives report 0x0000000a (measured: case-preserved names, persistent access lists), so
// the check lets its runs go on; a volume without the flag starts nothing.
TEST(LeftoverDecision, VolumesThatKeepAccessLists) {
    EXPECT_TRUE(leftover::KeepsAccessLists(0x0000000a));
    EXPECT_TRUE(leftover::KeepsAccessLists(0x03e700ff));   // many features, the lists among them
    EXPECT_FALSE(leftover::KeepsAccessLists(0x00000206));  // case-preserved, Unicode names only
    EXPECT_FALSE(leftover::KeepsAccessLists(0));
}

TEST(WrittenFiles, ListingMatch) {
    WrittenFiles written;
    for (std::uint64_t index : {0x700000001ull, 5ull, 42ull}) EXPECT_TRUE(written.Add(index, nullptr));
    EXPECT_TRUE(written.Contains(5));
    EXPECT_FALSE(written.Contains(6));

    written.BeginMatch();
    EXPECT_TRUE(written.Claim(42));
    EXPECT_FALSE(written.Claim(42)) << "a second name for a written file";
    EXPECT_FALSE(written.Claim(0x1)) << "a file this run did not write";
    EXPECT_TRUE(written.Claim(0x700000001ull));

    written.BeginMatch();  // a new listing: claims start again
    EXPECT_TRUE(written.Claim(42));

    WrittenFiles many;
    for (std::uint64_t i = 0; i < 1000; ++i) many.Add(999 - i, nullptr);
    many.BeginMatch();
    for (std::uint64_t i = 0; i < 1000; ++i) ASSERT_TRUE(many.Claim(i)) << i;
}

TEST(WrittenFiles, HoldsAreReleasedOnce) {
    int holds[3] = {};
    WrittenFiles written;
    for (int& hold : holds) written.Add(reinterpret_cast<std::uintptr_t>(&hold), &hold);
    written.Release([](void* hold) { ++*static_cast<int*>(hold); });
    written.Release([](void* hold) { ++*static_cast<int*>(hold); });
    for (int count : holds) EXPECT_EQ(1, count);
}
