// Whether the log opened again by its name is still the file its last whole check found there.
#include <gtest/gtest.h>

#include "util/known_file.h"

TEST(KnownFile, StillTheFileTheWholeCheckFound) {
    using leftover::kDirectory;
    using leftover::kReparsePoint;
    const struct {
        const char* what;
        std::uint64_t known, index;
        std::uint32_t attributes, links;
        bool same;
    } rows[] = {
        {"the same file", 7, 7, 0x20, 1, true},
        {"the same file, attributes changed", 7, 7, 0x80, 1, true},
        {"nothing checked yet", 0, 7, 0x20, 1, false},
        {"an index that could not be read", 7, 0, 0x20, 1, false},
        {"another file at the name (put there, or a link followed)", 7, 8, 0x20, 1, false},
        {"the file given a second name", 7, 7, 0x20, 2, false},
        {"the file made a link where it stands", 7, 7, kReparsePoint, 1, false},
        {"a directory", 7, 7, kDirectory, 1, false},
    };
    for (const auto& row : rows) {
        leftover::KnownFile known;
        known.index = row.known;
        EXPECT_EQ(row.same, leftover::IsKnownOwnFile(known, row.index, row.attributes, row.links))
            << row.what;
    }
}
