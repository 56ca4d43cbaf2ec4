#include "util/held_dir.h"

#include <winternl.h>
#include <aclapi.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "util/file_handle.h"
#include "util/leftover_decision.h"

namespace helddir {

void (*g_beforeDelete)(const wchar_t* name, std::size_t length) = nullptr;

namespace {

// A leftover tree deeper than this is not the stub's (it writes plain names only): it is
// left alone rather than walked with a stack that another process could make grow at will.
constexpr int kMaxDepth = 16;

// Opened on each entry that may be deleted: enough to read what it is, clear its read-only
// attribute, list it if it is a directory, and delete it through the handle.
constexpr ACCESS_MASK kRemoveAccess = DELETE | READ_CONTROL | FILE_READ_ATTRIBUTES |
                                     FILE_WRITE_ATTRIBUTES | FILE_LIST_DIRECTORY | FILE_TRAVERSE;

// directoryPath + "\" + name, compared without regard to case as the file system does.
bool IsAt(const WString& handlePath, const WString& directoryPath, const wchar_t* name,
          std::size_t length) {
    if (handlePath.Failed() || directoryPath.Failed() || directoryPath.IsEmpty()) return false;
    WString expected(directoryPath);
    if (expected[expected.Length() - 1] != L'\\') expected.AppendUnit(L'\\');
    expected.Append(name, length);
    if (expected.Failed()) return false;
    return CompareStringOrdinal(handlePath.c_str(), static_cast<int>(handlePath.Length()),
                                expected.c_str(), static_cast<int>(expected.Length()),
                                TRUE) == CSTR_EQUAL;
}

bool ClearReadOnly(HANDLE entry, DWORD attributes) {
    FILE_BASIC_INFO basic = {};
    basic.FileAttributes = attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
    if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    return SetFileInformationByHandle(entry, FileBasicInfo, &basic, sizeof basic) != FALSE;
}

bool DeleteThrough(HANDLE entry) {
    FILE_DISPOSITION_INFO disposition = {TRUE};
    return SetFileInformationByHandle(entry, FileDispositionInfo, &disposition,
                                      sizeof disposition) != FALSE;
}

bool RemoveEntry(HANDLE directory, const WString& directoryPath, const wchar_t* name,
                 std::size_t length, int depth, const OwnerRule* rule);

// The same entries, each the same size and bytes, in the same order.
bool SameAces(const ACL* a, const ACL* b) {
    if (!a || !b || a->AceCount != b->AceCount) return false;
    for (WORD i = 0; i < a->AceCount; ++i) {
        void* x = nullptr;
        void* y = nullptr;
        if (!GetAce(const_cast<ACL*>(a), i, &x) || !GetAce(const_cast<ACL*>(b), i, &y)) return false;
        const WORD size = static_cast<const ACE_HEADER*>(x)->AceSize;
        if (size != static_cast<const ACE_HEADER*>(y)->AceSize || std::memcmp(x, y, size) != 0) return false;
    }
    return true;
}

// Deletes what lies in a held directory; true when every entry went.
bool EmptyDirectory(HANDLE directory, const WString& path, int depth) {
    if (depth >= kMaxDepth) return false;
    bool all = true;
    const bool listed = ForEachEntry(directory, [&](const FILE_ID_BOTH_DIR_INFO& entry) {
        if (!RemoveEntry(directory, path, entry.FileName, entry.FileNameLength / sizeof(wchar_t),
                         depth + 1, nullptr))
            all = false;
    });
    return listed && all;
}

bool RemoveEntry(HANDLE directory, const WString& directoryPath, const wchar_t* name,
                 std::size_t length, int depth, const OwnerRule* rule) {
    DWORD error = 0;
    HANDLE opened = OpenBelow(directory, name, length, kRemoveAccess, FILE_OPEN, 0, nullptr, &error);
    // Wine grants attribute writes only where the Unix file is writable, so a read-only file
    // cannot be opened with them there; it lets such a handle clear the attribute all the same.
    if (opened == INVALID_HANDLE_VALUE && error == ERROR_ACCESS_DENIED)
        opened = OpenBelow(directory, name, length, kRemoveAccess & ~FILE_WRITE_ATTRIBUTES, FILE_OPEN,
                           0, nullptr, &error);
    FileHandle entry(opened);
    if (!entry.IsOpen()) return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;

    leftover::EntryFacts facts;
    WString entryPath;
    if (!ReadEntryFacts(entry.Get(), directoryPath, name, length, &facts, &entryPath)) return false;
    leftover::OwnerFacts owner;
    if (rule && (!ReadOwnerFacts(entry.Get(), directory, *rule, &owner) || !leftover::MayRemove(owner)))
        return false;
    const leftover::Action action = leftover::Decide(facts);
    if (action == leftover::Action::Keep) return false;
    if (leftover::ClearsReadOnlyFirst(facts) && !ClearReadOnly(entry.Get(), facts.attributes))
        return false;
    if (action == leftover::Action::EmptyDirectory && !EmptyDirectory(entry.Get(), entryPath, depth))
        return false;
    if (g_beforeDelete) g_beforeDelete(name, length);
    return DeleteThrough(entry.Get());
}

}  // namespace

HANDLE OpenDirectory(const wchar_t* path) {
    // READ_CONTROL: whose it is decides what the stub may remove in it.
    return CreateFileW(path, FILE_LIST_DIRECTORY | FILE_TRAVERSE | READ_CONTROL | SYNCHRONIZE, kShare, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

HANDLE OpenBelow(HANDLE directory, const wchar_t* name, std::size_t length, ACCESS_MASK access,
                 ULONG disposition, ULONG options, PSECURITY_DESCRIPTOR security, DWORD* error,
                 DWORD share) {
    *error = ERROR_INVALID_PARAMETER;
    if (disposition != FILE_OPEN && disposition != FILE_CREATE) return INVALID_HANDLE_VALUE;
    *error = ERROR_INVALID_NAME;
    if (directory == INVALID_HANDLE_VALUE || length == 0 || length > 255) return INVALID_HANDLE_VALUE;
    for (std::size_t i = 0; i < length; ++i)
        if (name[i] == L'\\' || name[i] == L'/' || name[i] == 0) return INVALID_HANDLE_VALUE;

    UNICODE_STRING unicodeName;
    unicodeName.Buffer = const_cast<wchar_t*>(name);
    unicodeName.Length = unicodeName.MaximumLength = static_cast<USHORT>(length * sizeof(wchar_t));
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &unicodeName, OBJ_CASE_INSENSITIVE, directory, security);
    IO_STATUS_BLOCK status = {};
    HANDLE handle = INVALID_HANDLE_VALUE;
    const NTSTATUS result = NtCreateFile(
        &handle, access | SYNCHRONIZE, &attributes, &status, nullptr, FILE_ATTRIBUTE_NORMAL, share,
        disposition,
        options | FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_FOR_BACKUP_INTENT,
        nullptr, 0);
    if (!NT_SUCCESS(result)) {
        *error = RtlNtStatusToDosError(result);
        return INVALID_HANDLE_VALUE;
    }
    *error = ERROR_SUCCESS;
    return handle;
}

bool ReadEntryFacts(HANDLE entry, const WString& directoryPath, const wchar_t* name,
                    std::size_t length, leftover::EntryFacts* facts, WString* entryPath) {
    // Attributes and link count by two narrow queries: the whole-file one costs several times
    // the rest under Wine, where it also asks the volume for its serial number.
    FILE_ATTRIBUTE_TAG_INFO tag = {};
    FILE_STANDARD_INFO standard = {};
    if (!GetFileInformationByHandleEx(entry, FileAttributeTagInfo, &tag, sizeof tag) ||
        !GetFileInformationByHandleEx(entry, FileStandardInfo, &standard, sizeof standard))
        return false;
    *entryPath = HandlePath(entry);
    facts->attributes = tag.FileAttributes;
    facts->links = standard.NumberOfLinks;
    facts->atItsPlace = IsAt(*entryPath, directoryPath, name, length);
    return true;
}

std::uint64_t FileIndex(HANDLE file) {
    // Asked for alone: the whole-file query costs several times a file's creation under Wine,
    // where it also asks the volume for its serial number.
    IO_STATUS_BLOCK status = {};
    FILE_INTERNAL_INFORMATION internal = {};
    if (!NT_SUCCESS(NtQueryInformationFile(file, &status, &internal, sizeof internal,
                                           FileInternalInformation)))
        return 0;
    return static_cast<std::uint64_t>(internal.IndexNumber.QuadPart);
}

namespace {

bool IsKnownOwnFile(HANDLE file, const leftover::KnownFile& known) {
    FILE_ATTRIBUTE_TAG_INFO tag = {};
    FILE_STANDARD_INFO standard = {};
    return known.index != 0 &&
           GetFileInformationByHandleEx(file, FileAttributeTagInfo, &tag, sizeof tag) &&
           GetFileInformationByHandleEx(file, FileStandardInfo, &standard, sizeof standard) &&
           leftover::IsKnownOwnFile(known, FileIndex(file), tag.FileAttributes, standard.NumberOfLinks);
}

}  // namespace

HANDLE OpenOwnFile(HANDLE directory, const WString& directoryPath, const wchar_t* name,
                   std::size_t length, ACCESS_MASK access, DWORD share, OwnFile how, bool* created,
                   PSECURITY_DESCRIPTOR security, leftover::KnownFile* known) {
    // Read access for the checks; "open existing" or "create new" only, so that nothing is
    // created through a link. A file that appears between a failed open and the creation is
    // opened once more.
    access |= FILE_READ_ATTRIBUTES;
    DWORD error = 0;
    HANDLE file = INVALID_HANDLE_VALUE;
    if (created) *created = false;
    for (int attempt = 0; attempt < 2 && file == INVALID_HANDLE_VALUE; ++attempt) {
        if (how == OwnFile::OpenOrCreate) {
            file = OpenBelow(directory, name, length, access, FILE_OPEN, FILE_NON_DIRECTORY_FILE,
                             nullptr, &error, share);
            if (file != INVALID_HANDLE_VALUE || error != ERROR_FILE_NOT_FOUND) break;
        }
        file = OpenBelow(directory, name, length, access, FILE_CREATE, FILE_NON_DIRECTORY_FILE,
                         security, &error, share);
        if (created) *created = file != INVALID_HANDLE_VALUE;
        if (how == OwnFile::CreateNew || (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS))
            break;
    }
    if (file == INVALID_HANDLE_VALUE) return file;
    // The handle's path, the whole check's dear part under Wine, is read once per file.
    if (known && IsKnownOwnFile(file, *known)) return file;
    leftover::EntryFacts facts;
    WString path;
    const bool own = ReadEntryFacts(file, directoryPath, name, length, &facts, &path) &&
                     leftover::IsOwnPlainFile(facts);
    if (known) known->index = own ? FileIndex(file) : 0;
    if (!own) {
        CloseHandle(file);
        return INVALID_HANDLE_VALUE;
    }
    return file;
}

WString HandlePath(HANDLE handle) {
    // FILE_NAME_INFO with room for a path of any length the stub can meet.
    constexpr DWORD kUnits = 4096;
    const DWORD size = sizeof(FILE_NAME_INFO) + kUnits * sizeof(wchar_t);
    auto* info = static_cast<FILE_NAME_INFO*>(std::malloc(size));
    WString path;
    if (info && GetFileInformationByHandleEx(handle, FileNameInfo, info, size) &&
        info->FileNameLength <= kUnits * sizeof(wchar_t))
        path.Append(info->FileName, info->FileNameLength / sizeof(wchar_t));
    else
        path.MarkFailed();
    std::free(info);
    return path;
}

WString DosPath(HANDLE handle) {
    WString path;
    wchar_t buffer[MAX_PATH + 8];
    const DWORD length = handle == INVALID_HANDLE_VALUE
                             ? 0
                             : GetFinalPathNameByHandleW(handle, buffer, MAX_PATH + 8,
                                                         FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0 || length >= MAX_PATH + 8) {
        path.MarkFailed();
        return path;
    }
    const wchar_t* at = buffer;
    if (wcsncmp(at, L"\\\\?\\UNC\\", 8) == 0) {
        path.Append(L"\\\\");
        at += 8;
    } else if (wcsncmp(at, L"\\\\?\\", 4) == 0) {
        at += 4;
    }
    path.Append(at);
    if (path.Length() >= MAX_PATH) path.MarkFailed();
    return path;
}

bool PathNamesHeld(const wchar_t* path, HANDLE held) {
    if (!path || held == INVALID_HANDLE_VALUE) return false;
    const FileHandle opened(CreateFileW(path, FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    // The volume and the file's index: one query each, made once per run.
    BY_HANDLE_FILE_INFORMATION a = {}, b = {};
    return opened.IsOpen() && GetFileInformationByHandle(opened.Get(), &a) &&
           GetFileInformationByHandle(held, &b) && a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}

bool RemoveBelow(HANDLE directory, const WString& directoryPath, const wchar_t* name,
                 std::size_t length, const OwnerRule* rule) {
    return RemoveEntry(directory, directoryPath, name, length, 0, rule);
}

PSID TokenUser() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return nullptr;
    alignas(8) unsigned char buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    DWORD size = 0;
    PSID copy = nullptr;
    if (GetTokenInformation(token, ::TokenUser, buffer, sizeof buffer, &size)) {
        const PSID sid = reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid;
        const DWORD length = GetLengthSid(sid);
        copy = LocalAlloc(LMEM_FIXED, length);
        if (copy && !CopySid(length, copy, sid)) {
            LocalFree(copy);
            copy = nullptr;
        }
    }
    CloseHandle(token);
    return copy;
}

bool ReadOwnerFacts(HANDLE entry, HANDLE folder, const OwnerRule& rule, leftover::OwnerFacts* facts) {
    PSID folderOwner = nullptr;
    PSECURITY_DESCRIPTOR folderDescriptor = nullptr;
    if (GetSecurityInfo(folder, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &folderOwner, nullptr,
                        nullptr, nullptr, &folderDescriptor) != ERROR_SUCCESS)
        return false;
    facts->folderByUser = folderOwner && rule.user && EqualSid(folderOwner, rule.user);
    LocalFree(folderDescriptor);
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(entry, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                        &owner, nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS)
        return false;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    const bool read = owner && GetSecurityDescriptorControl(descriptor, &control, &revision);
    if (read) {
        facts->byAdministrators = IsWellKnownSid(owner, WinBuiltinAdministratorsSid) != FALSE;
        facts->byUser = rule.user && EqualSid(owner, rule.user);
        facts->stubsList = (control & SE_DACL_PROTECTED) && SameAces(dacl, rule.stubsList);
    }
    LocalFree(descriptor);
    return read;
}

}  // namespace helddir
