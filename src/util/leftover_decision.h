// What the elevated stub may do with an entry it finds where it is about to work (a leftover
// working directory and everything in it, its log, the batch output), decided from what an open
// of the entry, made without following links, reports. Portable, so the host tests and fuzzers take it as it is.
#pragma once

#include <cstdint>

namespace leftover {

// The file attribute bits the decision reads (the Windows values).
constexpr std::uint32_t kReadOnly = 0x1;
constexpr std::uint32_t kDirectory = 0x10;
constexpr std::uint32_t kReparsePoint = 0x400;

struct EntryFacts {
    std::uint32_t attributes = 0;  // as the open handle reports them
    std::uint32_t links = 1;       // names the file has (hard links)
    // The handle's own path is the directory's path and the entry's name: false when the
    // file system followed a link and opened its target instead.
    bool atItsPlace = false;
};

enum class Action {
    DeleteFile,       // a plain file: deleted through its handle
    EmptyDirectory,   // a plain directory: its entries first, then itself through its handle
    DeleteLink,       // the handle is the link itself: deleting it removes the link only
    Keep,             // cannot be removed without reaching something else
};

inline Action Decide(const EntryFacts& entry) {
    // A handle on a link's target: deleting through it would delete the target.
    if (!entry.atItsPlace) return Action::Keep;
    if (entry.attributes & kReparsePoint) return Action::DeleteLink;
    if (entry.attributes & kDirectory) return Action::EmptyDirectory;
    // A read-only file must lose the attribute before it can be deleted; with other names
    // elsewhere, that would change a file outside the tree.
    if ((entry.attributes & kReadOnly) && entry.links > 1) return Action::Keep;
    return Action::DeleteFile;
}

// The read-only attribute is cleared on the entry itself before it is deleted (a directory's too:
// where the attribute is kept as write permission, it stops the deletion of what is inside).
inline bool ClearsReadOnlyFirst(const EntryFacts& entry) {
    const Action action = Decide(entry);
    return (action == Action::DeleteFile || action == Action::EmptyDirectory) &&
           (entry.attributes & kReadOnly);
}

// A file the stub may write to or hold as its own (its log, the batch output): a plain file
// reached at its own place, with no other name, which writing would change elsewhere too.
inline bool IsOwnPlainFile(const EntryFacts& entry) {
    return entry.atItsPlace && !(entry.attributes & (kDirectory | kReparsePoint)) && entry.links == 1;
}

// Whose a leftover at one of the stub's names in the temporary directory is. The user may point
// TEMP at a folder only administrators can change: what the elevated stub finds there is removed
// only when the stub made it (owned by the administrators group, with the stub's protected
// list) or the user could remove it anyway (owned by the user, or in a folder the user owns,
// whose owner can always give themselves the right to delete what is in it).
struct OwnerFacts {
    bool byAdministrators = false;
    bool byUser = false;
    bool stubsList = false;      // its access list is protected and is the one the stub gives
    bool folderByUser = false;   // the folder that holds it is owned by the user
};

enum class Whose { Stubs, Users, UsersFolder, Someone };

inline Whose Owner(const OwnerFacts& facts) {
    if (facts.byAdministrators && facts.stubsList) return Whose::Stubs;
    if (facts.byUser) return Whose::Users;
    if (facts.folderByUser) return Whose::UsersFolder;
    return Whose::Someone;
}

inline bool MayRemove(const OwnerFacts& facts) { return Owner(facts) != Whose::Someone; }

// FILE_PERSISTENT_ACLS: without it (FAT, exFAT) the working directory's protected list would be
// silently absent, and any process could change what the stub runs.
constexpr std::uint32_t kPersistentAcls = 0x8;
inline bool KeepsAccessLists(std::uint32_t volumeFlags) { return (volumeFlags & kPersistentAcls) != 0; }

}  // namespace leftover
