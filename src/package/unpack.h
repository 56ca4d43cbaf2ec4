// CUnPack: finds the package inside the running executable and copies its files into the
// working directory ("unpack\" in the temporary directory) on the extraction thread.
#pragma once

#include <windows.h>

#include <cstdint>

#include "package/written_files.h"
#include "util/basic_string.h"

// Why the working directory cannot take files or have a command started in it.
enum class WorkDirProblem {
    None,
    NoTemporaryDirectory,
    NoAccessLists,     // its volume keeps none (FAT, exFAT): the protection would be absent
    NoProtectedList,   // its access-control list could not be built: it is not made at all
    LeftoverRemains,   // something at its name could not be removed completely (or safely)
    NotCreated,        // no fresh directory could be made
    ForeignEntries,    // it holds entries that this run did not write
    FileNotWritten,    // the file a command needs there is not one this run wrote
};

// The reason as the log states it.
const wchar_t* WorkDirProblemText(WorkDirProblem problem);

class CUnPack {
public:
    CUnPack() = default;
    // Reads the package of another file instead of the running executable (tests, benchmarks).
    explicit CUnPack(const wchar_t* packagePath) : m_strPackagePath(packagePath) {}
    // Leaves the working directory on disk (only RemoveWorkDir deletes it), but lets it go.
    ~CUnPack();
    CUnPack(const CUnPack&) = delete;
    CUnPack& operator=(const CUnPack&) = delete;

    // Starts the extraction thread and waits for it without a time-out; always 0.
    int RunUnPack();
    void StartUnPackThread();
    static DWORD WINAPI UnPackThreadProc(LPVOID parameter);

    // File offset of the first record header; 0 when there is no package to walk.
    std::uint64_t FindHeader();
    // 1 when the record walk ran to its end; 0 when there is no package, the file cannot be
    // opened or a file does not fit on the disk.
    int UnPackFiles();

    // The working directory path (with a trailing backslash); the first call makes the
    // directory fresh, removing a leftover one first. Empty when no temporary directory can be
    // found. Files go into it, and commands start there, only while HoldsWorkDir(). The path is
    // the name for the log and for file errors; commands are given HeldWorkDirPath().
    WString GetWorkDir();
    // Deletes the working directory with everything in it.
    void RemoveWorkDir();

    bool Finished() const { return m_bFinished != FALSE; }

    // Whether this run made the working directory fresh and holds it against being renamed or
    // replaced.
    bool HoldsWorkDir() const { return m_hWorkDir != INVALID_HANDLE_VALUE; }
    // Why it does not, once GetWorkDir has been asked.
    WorkDirProblem Problem() const { return m_workDirProblem; }

    // Checks through the held handle that the working directory holds nothing but the files
    // this run wrote, and, when ownFile is given, that a file of that name is one of them (the
    // check runs while this run still holds them); a directory that fails stays unusable.
    // Asked before a command starts.
    WorkDirProblem CheckWorkDirBeforeStart(const wchar_t* ownFile = nullptr);

    // The held working directory's path as the system names it through the handle now (with a
    // trailing backslash): where a command is started. A failed string when it is not held or
    // its path does not fit a path buffer.
    WString HeldWorkDirPath() const;
    // Whether path, resolved now, is the held working directory itself. Asked of the current
    // directory and of a command's directory just before the start: under Wine a handle keeps
    // the name it was opened by when a directory above is renamed, so the path above may be
    // someone else's directory by then.
    bool IsHeldWorkDir(const wchar_t* path) const;

    // Creates the packaged file name (a checked plain name) in the held working directory, or
    // opens it again when this run wrote it before (a package may name a file twice). Never
    // opens an entry that this run did not create. fullPath is for the error record. *created
    // tells which: a file this call created is handed to HoldWrittenFile once it is written.
    HANDLE CreateOutputFile(const WString& name, const WString& fullPath, class CFileException* error,
                            bool* created);
    // Keeps a file this run created, by its writing handle (owned from here on), until the check
    // before the start; without a record of it that check fails, and the handle is closed.
    void HoldWrittenFile(HANDLE file);

private:
    WString PackagePath() const;
    bool OpenPackage(const WString& path);
    void ClosePackage();
    int UnPackRecords();
    void PrepareWorkDir();
    void ReleaseWorkDir();
    void ReleaseWrittenFiles();

    HANDLE m_hThread = nullptr;
    WString m_strWorkDir;
    BOOL m_bFinished = FALSE;
    WString m_strPackagePath;  // empty: the running executable
    // The package file, opened once by FindHeader and held (read sharing only) until the end
    // of UnPackFiles.
    HANDLE m_hPackage = INVALID_HANDLE_VALUE;
    HANDLE m_hWorkDir = INVALID_HANDLE_VALUE;  // held from creation until the removal
    WorkDirProblem m_workDirProblem = WorkDirProblem::None;
    WrittenFiles m_written;
};
