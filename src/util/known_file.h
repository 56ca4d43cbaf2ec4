// The log opened again by its name: whether the handle is still on the file that the last whole
// check found there (plain, at its own place, one name), told by queries that cost a few
// microseconds instead of the handle's path. Portable, so the host tests take it as it is.
#pragma once

#include <cstdint>

#include "util/leftover_decision.h"

namespace leftover {

// What the last whole check at a name in one held directory found: the file's index; 0 when it
// found no file of the stub's own (or none was made yet). Forgotten with the directory's handle.
struct KnownFile {
    std::uint64_t index = 0;
};

// The open does not follow a link, so the handle is on the entry at that name in the held
// directory, on that directory's volume, where a file index names one file. An equal index is
// then the very file the whole check found at its own place; one link means that name is still
// its only one, so it was neither moved (its one name would be elsewhere) nor given a second
// name; and its attributes show that it has not become a directory or a link where it stands.
// Whatever is put at the name instead (a link, another file or a second name of one) is another
// entry with another index, or shows its link or its names, and gets the whole check again.
// Wine follows a Unix link all the same; through one, an equal index is the log itself moved
// away, or a file on another device, and a process under Wine has no rights beyond the user's.
inline bool IsKnownOwnFile(const KnownFile& known, std::uint64_t index, std::uint32_t attributes,
                           std::uint32_t links) {
    EntryFacts facts;
    facts.attributes = attributes;
    facts.links = links;
    facts.atItsPlace = known.index != 0 && index == known.index;
    return IsOwnPlainFile(facts);
}

}  // namespace leftover
