// The working directory: made fresh for every run, deleted after the payload has ended.
//
// The stub runs elevated in a temporary directory that the user's other processes can write.
// It therefore starts a command only in a directory that this run created itself (anything left
// at its name is removed first, completely, or the run starts nothing), created and held through
// one handle, and holding nothing but the files this run wrote.
#include <winternl.h>

#include "package/unpack.h"
#include "package/record_name.h"
#include "package/work_dir_guard.h"
#include "util/file_exception.h"
#include "util/held_dir.h"
#include "util/temp_dir.h"
#include "util/utility.h"

namespace {

constexpr int kCreateRetries = 20;
constexpr DWORD kCreateRetryDelayMs = 100;
const wchar_t kWorkDirName[] = L"unpack";
constexpr std::size_t kWorkDirNameLength = 6;

// Held from creation to removal: listing (the check before a start), opens below it. Neither
// delete access nor delete sharing: the process and the payload can make it their current
// directory, and nobody can rename it away.
constexpr ACCESS_MASK kHoldAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES;

}  // namespace

const wchar_t* WorkDirProblemText(WorkDirProblem problem) {
    switch (problem) {
        case WorkDirProblem::None: return L"none";
        case WorkDirProblem::NoTemporaryDirectory: return L"no temporary directory";
        case WorkDirProblem::NoAccessLists:
            return L"the temporary directory's volume keeps no access-control lists";
        case WorkDirProblem::NoProtectedList:
            return L"the working directory's access-control list could not be built";
        case WorkDirProblem::LeftoverRemains:
            return L"a leftover at the working directory's name could not be removed";
        case WorkDirProblem::NotCreated: return L"the working directory could not be created";
        case WorkDirProblem::ForeignEntries:
            return L"the working directory holds entries this run did not write";
        case WorkDirProblem::FileNotWritten:
            return L"the file to start is not one this run wrote in the working directory";
    }
    return L"unknown";
}

WString CUnPack::GetWorkDir() {
    if (!m_strWorkDir.IsEmpty() || m_workDirProblem != WorkDirProblem::None) return m_strWorkDir;

    const TempDir& temp = TempDir::Current();
    WString path(temp.Path());
    path.Append(kWorkDirName);
    path.AppendUnit(L'\\');
    // Never a shorter path: that would be the temporary directory itself.
    if (!temp.IsHeld() || path.Failed()) {
        m_workDirProblem = WorkDirProblem::NoTemporaryDirectory;
        return WString();
    }
    m_strWorkDir = path;
    PrepareWorkDir();
    return m_strWorkDir;
}

void CUnPack::PrepareWorkDir() {
    const TempDir& temp = TempDir::Current();
    // Created with its protected list from the start and held from that moment, so there is no
    // instant in which another process of the user could write into it or swap it. Without the
    // list it would take the temporary directory's, which lets the user in: not made at all.
    WorkDirSecurity security;
    if (!security.Descriptor()) {
        m_workDirProblem = WorkDirProblem::NoProtectedList;
        return;
    }
    DWORD volumeFlags = 0;
    if (!g_volumeInformation(temp.Handle(), nullptr, 0, nullptr, nullptr, &volumeFlags, nullptr, 0) ||
        !leftover::KeepsAccessLists(volumeFlags)) {
        m_workDirProblem = WorkDirProblem::NoAccessLists;
        return;
    }
    const LeftoverOwners owners;
    bool leftoverRemains = false;
    const auto attempt = [&]() -> HANDLE {
        leftoverRemains = !helddir::RemoveBelow(temp.Handle(), temp.HandlePath(), kWorkDirName,
                                                kWorkDirNameLength, owners.Rule());
        if (leftoverRemains) return INVALID_HANDLE_VALUE;
        DWORD error = 0;
        return helddir::OpenBelow(temp.Handle(), kWorkDirName, kWorkDirNameLength, kHoldAccess,
                                  FILE_CREATE, FILE_DIRECTORY_FILE, security.Descriptor(), &error);
    };
    // A leftover that another process still holds for a moment (a console host that keeps it as
    // its current directory) goes on a later attempt. Deliberate: the first retry follows a
    // failure at once, and the 100 ms sleep comes after every retry, a successful one included,
    // so a run that needed retries takes as long as the creation retries always have.
    HANDLE directory = attempt();
    for (int retries = 0; directory == INVALID_HANDLE_VALUE && retries < kCreateRetries; ++retries) {
        directory = attempt();
        Sleep(kCreateRetryDelayMs);
    }
    m_hWorkDir = directory;
    if (directory == INVALID_HANDLE_VALUE)
        m_workDirProblem = leftoverRemains ? WorkDirProblem::LeftoverRemains : WorkDirProblem::NotCreated;
}

using helddir::FileIndex;

HANDLE CUnPack::CreateOutputFile(const WString& name, const WString& fullPath, CFileException* error,
                                 bool* created) {
    *created = false;
    if (name.Failed() || fullPath.Failed() || fullPath.Length() >= MAX_PATH) {
        // The path the stub reports and the payload uses must be a plain Windows path.
        error->SetBadPath(fullPath.c_str());
        return INVALID_HANDLE_VALUE;
    }
    // Opened below the held directory, the name skips the path handling that would drop its
    // trailing dots and spaces: drop them here, so the file is the one the path names.
    const std::size_t length = package::StoredNameLength(name.c_str(), name.Length());
    DWORD systemError = 0;
    HANDLE file = helddir::OpenBelow(m_hWorkDir, name.c_str(), length, GENERIC_WRITE, FILE_CREATE,
                                     FILE_NON_DIRECTORY_FILE, nullptr, &systemError);
    if (file != INVALID_HANDLE_VALUE) {
        *created = true;
        return file;
    }
    if (systemError == ERROR_ALREADY_EXISTS || systemError == ERROR_FILE_EXISTS) {
        // A name given twice: the later record replaces the file, but only a file this run made.
        file = helddir::OpenBelow(m_hWorkDir, name.c_str(), length, GENERIC_WRITE, FILE_OPEN,
                                  FILE_NON_DIRECTORY_FILE, nullptr, &systemError);
        if (file != INVALID_HANDLE_VALUE) {
            const bool ours = m_written.Contains(FileIndex(file));
            if (ours && SetEndOfFile(file)) return file;
            systemError = ours ? GetLastError() : ERROR_FILE_EXISTS;
            CloseHandle(file);
        }
    }
    error->SetFromSystemError(systemError, fullPath.c_str());
    return INVALID_HANDLE_VALUE;
}

void CUnPack::HoldWrittenFile(HANDLE file) {
    // The writing handle itself is the hold: open without delete sharing, so that nobody can
    // delete, rename or replace the file before the check, and always the very file written,
    // whatever happens at its name. Deliberate: the file is therefore closed when the holds end,
    // just before the start, rather than right after its last log line. To every other process
    // that is the same as a second handle on the same open file (one that shares only reading
    // cannot open it until then; the payload starts after), and it spares an open and a close.
    const std::uint64_t index = FileIndex(file);
    // Unrecorded: the check before the start will find an entry this run did not write.
    if (index == 0 || !m_written.Add(index, file)) CloseHandle(file);
}

void CUnPack::ReleaseWrittenFiles() {
    m_written.Release([](void* hold) { CloseHandle(static_cast<HANDLE>(hold)); });
}

WorkDirProblem CUnPack::CheckWorkDirBeforeStart(const wchar_t* ownFile) {
    GetWorkDir();
    if (m_workDirProblem != WorkDirProblem::None) return m_workDirProblem;
    bool onlyOurs = true, ownFileFound = false;
    m_written.BeginMatch();
    const bool listed = helddir::ForEachEntry(m_hWorkDir, [&](const FILE_ID_BOTH_DIR_INFO& entry) {
        const bool plainFile =
            !(entry.FileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
        if (!plainFile || !m_written.Claim(static_cast<std::uint64_t>(entry.FileId.QuadPart))) {
            onlyOurs = false;
            return;
        }
        // Named as the file system compares names, so that it is the file the interpreter or
        // the shell will open by that name.
        if (ownFile &&
            CompareStringOrdinal(entry.FileName, static_cast<int>(entry.FileNameLength / sizeof(wchar_t)),
                                 ownFile, -1, TRUE) == CSTR_EQUAL)
            ownFileFound = true;
    });
    // From here on the payload owns its files (it may change or delete them).
    ReleaseWrittenFiles();
    if (!listed || !onlyOurs) {
        m_workDirProblem = WorkDirProblem::ForeignEntries;
        ReleaseWorkDir();  // nothing more goes into it; the next run clears it
    }
    if (m_workDirProblem == WorkDirProblem::None && ownFile && !ownFileFound)
        return WorkDirProblem::FileNotWritten;
    return m_workDirProblem;
}

WString CUnPack::HeldWorkDirPath() const {
    WString path = helddir::DosPath(m_hWorkDir);
    path.AppendUnit(L'\\');
    if (path.Length() >= MAX_PATH) path.MarkFailed();
    return path;
}

bool CUnPack::IsHeldWorkDir(const wchar_t* path) const {
    return helddir::PathNamesHeld(path, m_hWorkDir);
}

CUnPack::~CUnPack() {
    ClosePackage();
    ReleaseWrittenFiles();
    ReleaseWorkDir();
}

void CUnPack::ReleaseWorkDir() {
    if (m_hWorkDir != INVALID_HANDLE_VALUE) CloseHandle(m_hWorkDir);
    m_hWorkDir = INVALID_HANDLE_VALUE;
}

void CUnPack::RemoveWorkDir() {
    const TempDir& temp = TempDir::Current();
    if (m_strWorkDir.IsEmpty() || !temp.IsHeld()) return;
    ReleaseWrittenFiles();
    ReleaseWorkDir();
    // A directory cannot be removed while it is the current directory: move to its parent.
    WString parent(m_strWorkDir);
    while (!parent.IsEmpty() && parent[parent.Length() - 1] == L'\\') parent.Truncate(parent.Length() - 1);
    CUtility::StripPathComponents(parent, 1);
    if (!parent.Failed()) SetCurrentDirectoryW(parent.c_str());
    const LeftoverOwners owners;
    helddir::RemoveBelow(temp.Handle(), temp.HandlePath(), kWorkDirName, kWorkDirNameLength, owners.Rule());
}
