// The extractor: locates the package through the PE headers and the trailer, then walks the
// records and copies each file in 1024-byte blocks into the working directory.
#include "package/unpack.h"

#include <winternl.h>

#include "package/handle_source.h"
#include "package/package_format.h"
#include "package/package_walk.h"
#include "package/record_name.h"
#include "package/running_image.h"
#include "util/file_exception.h"
#include "util/file_handle.h"
#include "util/resource_string.h"
#include "util/temp_dir.h"
#include "util/utility.h"

namespace {

const wchar_t kFindHeaderTag[] = L"CUnPack::FindHeader";
const wchar_t kUnPackFilesTag[] = L"CUnPack::UnPackFiles";
constexpr DWORD kBlockSize = 1024;
constexpr UINT kCaptionString = 130;
constexpr UINT kDiskSpaceString = 131;

// The record's name as UTF-16, decoded with the thread's ANSI code page and read only inside
// its field, so that a name without a NUL never runs into the next bytes.
WString RecordName(const package::PackageRecordHeader& header) {
    wchar_t wide[package::kNameFieldSize + 1] = {};
    const int length = MultiByteToWideChar(CP_THREAD_ACP, 0, header.name,
                                           static_cast<int>(package::NameLength(header)), wide,
                                           static_cast<int>(package::kNameFieldSize));
    return WString(wide, length > 0 ? static_cast<std::size_t>(length) : 0);
}

void ReportSystemError(DWORD systemError, const wchar_t* fileName) {
    CFileException error;
    error.SetFromSystemError(systemError, fileName);
    CUtility::FileException(error);
}

enum class CopyOutcome { Complete, PackageEnded, ReadFailed, WriteFailed };

// Copies the record's data in 1024-byte blocks: one read and one write per block, then the
// remainder. Stops early when the package ends.
CopyOutcome CopyRecordData(HandleSource& package, const package::RecordInfo& record, HANDLE output,
                           DWORD* systemError) {
    char buffer[kBlockSize] = {};
    const std::uint64_t size = record.header.size;
    std::uint64_t copied = 0;
    while (copied < size) {
        const DWORD want = size - copied < kBlockSize ? static_cast<DWORD>(size - copied) : kBlockSize;
        const std::size_t got = package.ReadAt(record.DataOffset() + copied, buffer, want);
        if (got == 0) {
            *systemError = package.LastError();
            return *systemError == ERROR_SUCCESS ? CopyOutcome::PackageEnded : CopyOutcome::ReadFailed;
        }
        DWORD put = 0;
        if (!WriteFile(output, buffer, static_cast<DWORD>(got), &put, nullptr) || put != got) {
            *systemError = GetLastError();
            if (*systemError == ERROR_SUCCESS) *systemError = ERROR_HANDLE_DISK_FULL;  // short write
            return CopyOutcome::WriteFailed;
        }
        copied += got;
    }
    return CopyOutcome::Complete;
}

// The total free bytes (what GetDiskFreeSpaceExW gives as its fourth figure) of the volume of
// the held temporary directory, asked through its handle: the files are written below that
// handle, while its path may by then name another place. It also spares the open and close of
// the directory by path that a query by path makes for every file.
bool FreeSpaceBelow(HANDLE directory, ULARGE_INTEGER* freeSpace) {
    IO_STATUS_BLOCK status = {};
    FILE_FS_FULL_SIZE_INFORMATION size = {};
    if (!NT_SUCCESS(NtQueryVolumeInformationFile(directory, &status, &size, sizeof size,
                                                 FileFsFullSizeInformation)))
        return false;
    freeSpace->QuadPart = static_cast<ULONGLONG>(size.ActualAvailableAllocationUnits.QuadPart) *
                          size.SectorsPerAllocationUnit * size.BytesPerSector;
    return true;
}

}  // namespace

WString CUnPack::PackagePath() const {
    return m_strPackagePath.IsEmpty() ? CUtility::GetModulePath() : m_strPackagePath;
}

int CUnPack::RunUnPack() {
    StartUnPackThread();
    if (!m_hThread) return 0;
    if (WaitForSingleObject(m_hThread, INFINITE) == WAIT_OBJECT_0) {
        CloseHandle(m_hThread);
        m_hThread = nullptr;
    }
    return 0;
}

void CUnPack::StartUnPackThread() {
    if (m_hThread) return;
    m_hThread = CreateThread(nullptr, 0, &CUnPack::UnPackThreadProc, this, 0, nullptr);
}

DWORD WINAPI CUnPack::UnPackThreadProc(LPVOID parameter) {
    if (!parameter) return 0;
    return static_cast<DWORD>(static_cast<CUnPack*>(parameter)->UnPackFiles());
}

bool CUnPack::OpenPackage(const WString& path) {
    if (m_hPackage != INVALID_HANDLE_VALUE) return true;
    // Shared for reading only: while the stub reads it, nobody can change, rename or delete it.
    RunningImageOpen open;
    if (m_strPackagePath.IsEmpty())
        open = TakeRunningImage();
    else
        open.file = OpenFileRecordingError(path.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING,
                                           &open.error);
    if (open.file == INVALID_HANDLE_VALUE) {
        CUtility::WriteLog(L"[%s] Fail", kFindHeaderTag);
        if (open.notTheImage)
            CUtility::WriteLog(L"[%s] Not the file this program was started from: nothing read",
                               kFindHeaderTag);
        else
            CUtility::FileException(open.error);
        return false;
    }
    m_hPackage = open.file;
    return true;
}

void CUnPack::ClosePackage() {
    if (m_hPackage != INVALID_HANDLE_VALUE) CloseHandle(m_hPackage);
    m_hPackage = INVALID_HANDLE_VALUE;
}

std::uint64_t CUnPack::FindHeader() {
    const WString path = PackagePath();
    CUtility::WriteLog(L"[%s] Name:%s", kFindHeaderTag, path.c_str());
    if (!OpenPackage(path)) return 0;

    // From the start of the file, however far an earlier search read.
    LARGE_INTEGER start = {};
    SetFilePointerEx(m_hPackage, start, nullptr, FILE_BEGIN);
    HandleSource source(m_hPackage);
    const package::PackageLocation location = package::LocatePackage(source);
    // Each line as far as the search got: the certificate table size once the PE headers were
    // reached, the first record's offset once the trailer was read.
    if (location.ReachedCertTable())
        CUtility::WriteLog(L"[%s] Sign Size:%d", kFindHeaderTag, location.certTableSize);
    if (location.hasTrailer)
        CUtility::WriteLog(L"[%s] Header offset:%d", kFindHeaderTag,
                           static_cast<int>(location.firstRecord));
    return location.result == package::LocateResult::Found ? location.firstRecord : 0;
}

int CUnPack::UnPackFiles() {
    // The file is opened once, by the search, and read by the walk through the same handle:
    // both see one file, held from the search to the end of the walk.
    const int result = UnPackRecords();
    ClosePackage();
    return result;
}

int CUnPack::UnPackRecords() {
    const std::uint64_t headerOffset = FindHeader();
    if (headerOffset == 0) return 0;

    const WString path = PackagePath();
    LARGE_INTEGER start = {};
    SetFilePointerEx(m_hPackage, start, nullptr, FILE_BEGIN);
    HandleSource source(m_hPackage);
    package::RecordWalker walk(source, headerOffset);

    // The files go to the working directory, so the free space of its volume is what counts
    // (the current directory may be on another, read-only or full, volume).
    const TempDir& temp = TempDir::Current();
    ULARGE_INTEGER freeSpace = {};
    while (walk.Next()) {
        const package::RecordInfo& record = walk.Current();
        const package::PackageRecordHeader& header = record.header;

        // Without a temporary directory there is nowhere to put the file: that is the reason
        // to give, not a lack of space.
        if (!temp.IsHeld()) {
            CUtility::WriteLog(L"[%s] No temporary directory: extraction given up", kUnPackFilesTag);
            return 0;
        }
        // A failed query keeps the last figure (0 before the first).
        ULARGE_INTEGER queried = {};
        if (FreeSpaceBelow(temp.Handle(), &queried)) freeSpace = queried;
        CUtility::WriteLog(L"[%s]  FreeSpace:%lld FileSize:%lld", kUnPackFilesTag,
                           static_cast<long long>(freeSpace.QuadPart),
                           static_cast<long long>(header.size));
        if (freeSpace.QuadPart < header.size) {
            const WString caption = LoadResourceString(kCaptionString);
            const WString text = LoadResourceString(kDiskSpaceString);
            CUtility::WriteLog(L"[%s] %s", kUnPackFilesTag, text.c_str());
            MessageBoxW(nullptr, text.c_str(), caption.c_str(), MB_OK);
            return 0;
        }

        const WString name = RecordName(header);
        const WString workDir = GetWorkDir();
        if (workDir.IsEmpty()) {
            CUtility::WriteLog(L"[%s] No temporary directory: extraction given up", kUnPackFilesTag);
            return 0;
        }
        // Files are written only into a directory this run made and holds: a link put in its
        // place would take them elsewhere, and a leftover could hold files of someone else's.
        if (!HoldsWorkDir()) {
            CUtility::WriteLog(L"[%s] Working directory unusable: extraction given up",
                               kUnPackFilesTag);
            return 0;
        }
        WString outputPath(workDir);
        outputPath.Append(name);  // a failed path is refused below as a bad path

        CUtility::WriteLog(L"[%s] (%d/%d)UnPack file name:%s (%d)", kUnPackFilesTag, walk.Handled(),
                           static_cast<int>(header.count), outputPath.c_str(),
                           static_cast<int>(header.size));

        const package::NameProblem problem = package::CheckRecordName(name.c_str(), name.Length());
        HANDLE created = INVALID_HANDLE_VALUE;
        bool createdNew = false;
        if (problem != package::NameProblem::None) {
            CUtility::WriteLog(L"[%s] Refused unsafe file name, data skipped: %s", kUnPackFilesTag,
                               name.c_str());
        } else {
            CFileException outputError;
            created = CreateOutputFile(name, outputPath, &outputError, &createdNew);
            if (created == INVALID_HANDLE_VALUE) CUtility::FileException(outputError);
        }
        FileHandle output(created);
        if (!output.IsOpen()) continue;  // its data is skipped: the walk reads on after it

        DWORD systemError = 0;
        const CopyOutcome outcome = CopyRecordData(source, record, output.Get(), &systemError);
        LARGE_INTEGER written = {};
        GetFileSizeEx(output.Get(), &written);
        CUtility::WriteLog(L"[%s] UnPack count:%d len:%d File:%s", kUnPackFilesTag, walk.Handled(),
                           static_cast<int>(written.QuadPart), outputPath.c_str());
        // Closed now, or when the holds end for a file this record created (HoldWrittenFile).
        if (createdNew)
            HoldWrittenFile(output.Release());
        else
            output.Close();
        if (outcome == CopyOutcome::ReadFailed) {
            // The package file itself fails: stop the walk rather than read on from it.
            ReportSystemError(systemError, path.c_str());
            break;
        }
        if (outcome == CopyOutcome::WriteFailed) ReportSystemError(systemError, outputPath.c_str());
    }

    CUtility::WriteLog(L"[%s] UnPack total %d files.", kUnPackFilesTag, walk.Handled());
    m_bFinished = TRUE;
    return 1;
}
