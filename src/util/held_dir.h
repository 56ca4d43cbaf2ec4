// Entries below a directory the stub holds open. Names are resolved relative to the held handle,
// never through a path, and every entry is checked and deleted through its own handle, so that
// nothing another process swaps in between a check and an action can redirect the action.
// Directories are held without delete sharing: while the stub works below one, no process can
// rename it, or anything above it up to the first held directory, to put a link in its place.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "util/basic_string.h"
#include "util/known_file.h"
#include "util/leftover_decision.h"

namespace helddir {

// The share mode of every handle opened here: others may read and write, but not rename or
// delete what the stub holds.
constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE;

// Opens an existing directory by path (following links: it is the starting point, such as the
// user's temporary directory) for listing and for opens below it.
HANDLE OpenDirectory(const wchar_t* path);

// Opens or creates the entry name (length units, no separators) below directory, never
// following a link at that name. disposition is FILE_OPEN or FILE_CREATE only: an "open if"
// would create the target of a dangling link at that name before anything could check it.
// options as NtCreateFile takes them (FILE_DIRECTORY_FILE, FILE_NON_DIRECTORY_FILE); security
// applies to a created entry and may be null. On failure returns INVALID_HANDLE_VALUE and sets
// *error to the system error code.
HANDLE OpenBelow(HANDLE directory, const wchar_t* name, std::size_t length, ACCESS_MASK access,
                 ULONG disposition, ULONG options, PSECURITY_DESCRIPTOR security, DWORD* error,
                 DWORD share = kShare);

// What an entry opened below directory (whose HandlePath is directoryPath) is: its attributes,
// its number of names, and whether the handle is at the entry's own place. entryPath receives
// the handle's path. False when the handle cannot be asked.
bool ReadEntryFacts(HANDLE entry, const WString& directoryPath, const wchar_t* name,
                    std::size_t length, leftover::EntryFacts* facts, WString* entryPath);

// How OpenOwnFile may come by the file.
enum class OwnFile {
    CreateNew,      // only a file this call creates
    OpenOrCreate,   // an existing file, or else a new one
};

// The one way the stub opens a file of its own (the log, the batch output) in a directory it
// holds: below the held handle, never through a link, and then kept only when the handle is
// on a plain file at its own place with no other name (leftover::IsOwnPlainFile). Otherwise
// nothing is written, created or deleted there, and the result is INVALID_HANDLE_VALUE.
// *created (when given) tells whether this call made the file; security (when given) is the
// made file's. With known, an existing file that is still the one the last whole check found
// there (leftover::IsKnownOwnFile) is taken without the whole check; known is updated by every
// whole check.
HANDLE OpenOwnFile(HANDLE directory, const WString& directoryPath, const wchar_t* name,
                   std::size_t length, ACCESS_MASK access, DWORD share, OwnFile how,
                   bool* created = nullptr, PSECURITY_DESCRIPTOR security = nullptr,
                   leftover::KnownFile* known = nullptr);

// The file's 64-bit index, the number a directory listing reports as its FileId; 0 when it
// cannot be read.
std::uint64_t FileIndex(HANDLE file);

// The path of what a handle has open, as the file system names it (without the drive); a
// failed string when it cannot be read.
WString HandlePath(HANDLE handle);

// The path of what a handle has open, in the plain form that commands take ("C:\\..." or
// "\\\\server\\share\\..."); a failed string when it cannot be read or does not fit a path buffer.
WString DosPath(HANDLE handle);

// Whether path, opened now (following links, as a program given the path would), is the very
// file or directory that held is open on.
bool PathNamesHeld(const wchar_t* path, HANDLE held);

// Whose entries the stub may remove where the user has pointed it (leftover::MayRemove): the
// user is the process token's user, the stub's own list is stubsList (owned by administrators).
struct OwnerRule {
    PSID user = nullptr;
    const ACL* stubsList = nullptr;
};

// Removes the entry name below directory (whose HandlePath is directoryPath) with everything in
// it. True when nothing of that name is left, also when there was nothing. An entry that cannot
// be removed without reaching outside the tree (a link the file system follows, a read-only file
// with other names) stays, and so does every directory above it. With a rule, the entry itself
// (not what is in it) goes only when it is the stub's own or the user's own (a failed rule:
// never).
bool RemoveBelow(HANDLE directory, const WString& directoryPath, const wchar_t* name,
                 std::size_t length, const OwnerRule* rule = nullptr);

// The process token's user, or null; the caller frees it with LocalFree.
PSID TokenUser();

// Whose the entry is, as its security descriptor and its folder's owner say; false when they
// cannot be read.
bool ReadOwnerFacts(HANDLE entry, HANDLE folder, const OwnerRule& rule, leftover::OwnerFacts* facts);

// Calls visit(const FILE_ID_BOTH_DIR_INFO&) for every entry of a held directory but "." and "..",
// in the order the file system returns them; false when the listing cannot be read to its end.
// The handle needs FILE_LIST_DIRECTORY access and must not have been listed before.
template <class Visit>
bool ForEachEntry(HANDLE directory, Visit visit) {
    alignas(8) unsigned char buffer[2048];
    while (GetFileInformationByHandleEx(directory, FileIdBothDirectoryInfo, buffer, sizeof buffer)) {
        std::size_t at = 0;
        for (;;) {
            const auto& entry = *reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer + at);
            const std::size_t length = entry.FileNameLength / sizeof(wchar_t);
            const bool dots = entry.FileName[0] == L'.' &&
                              (length == 1 || (length == 2 && entry.FileName[1] == L'.'));
            if (!dots) visit(entry);
            if (entry.NextEntryOffset == 0) break;
            at += entry.NextEntryOffset;
        }
    }
    return GetLastError() == ERROR_NO_MORE_FILES;
}

// Runs between the check of an entry and its deletion; tests set it to try a swap there.
extern void (*g_beforeDelete)(const wchar_t* name, std::size_t length);

}  // namespace helddir
