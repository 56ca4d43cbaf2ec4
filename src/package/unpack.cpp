// The extractor: locates the package through the PE headers and the trailer, then walks the
// records and copies each file in 1024-byte blocks into the working directory.
#include "package/unpack.h"

#include "package/package_format.h"
#include "package/record_name.h"
#include "util/file_exception.h"
#include "util/path_ancestor.h"
#include "util/resource_string.h"
#include "util/utility.h"

namespace {

const wchar_t kFindHeaderTag[] = L"CUnPack::FindHeader";
const wchar_t kUnPackFilesTag[] = L"CUnPack::UnPackFiles";
constexpr DWORD kBlockSize = 1024;
constexpr UINT kCaptionString = 130;
constexpr UINT kDiskSpaceString = 131;

// A small owner for the file handles of this file, so that every path closes them.
class FileHandle {
public:
    explicit FileHandle(HANDLE handle) : handle_(handle) {}
    ~FileHandle() { Close(); }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return handle_; }
    void Close() {
        if (IsOpen()) CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE handle_;
};

HANDLE OpenPackage(const wchar_t* path, CFileException* error) {
    return OpenFileRecordingError(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  OPEN_EXISTING, error);
}

DWORD ReadUpTo(HANDLE file, void* buffer, DWORD size) {
    DWORD got = 0;
    return ReadFile(file, buffer, size, &got, nullptr) ? got : 0;
}

bool SeekTo(HANDLE file, std::int64_t offset, DWORD method) {
    LARGE_INTEGER distance;
    distance.QuadPart = offset;
    return SetFilePointerEx(file, distance, nullptr, method) != FALSE;
}

std::uint64_t CurrentPosition(HANDLE file) {
    LARGE_INTEGER zero = {}, position = {};
    SetFilePointerEx(file, zero, &position, FILE_CURRENT);
    return static_cast<std::uint64_t>(position.QuadPart);
}

// Skips forward over data; false when the file system refuses the position. Nothing is then
// read as a record from a position the package did not point to.
bool SkipForward(HANDLE file, std::uint64_t bytes) {
    if (bytes > static_cast<std::uint64_t>(INT64_MAX)) return false;
    return SeekTo(file, static_cast<std::int64_t>(bytes), FILE_CURRENT);
}

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

// Copies size bytes from the package's current position in 1024-byte blocks: one read and one
// write per block, then the remainder. Stops early when the package ends.
CopyOutcome CopyRecordData(HANDLE package, HANDLE output, std::uint64_t size, DWORD* systemError) {
    char buffer[kBlockSize] = {};
    const std::uint64_t fullBlocks = size / kBlockSize;
    const DWORD remainder = static_cast<DWORD>(size % kBlockSize);
    for (std::uint64_t block = 0; block <= fullBlocks; ++block) {
        const DWORD want = block < fullBlocks ? kBlockSize : remainder;
        if (want == 0) break;
        DWORD got = 0, put = 0;
        if (!ReadFile(package, buffer, want, &got, nullptr)) {
            *systemError = GetLastError();
            return CopyOutcome::ReadFailed;
        }
        if (got == 0) return CopyOutcome::PackageEnded;
        if (!WriteFile(output, buffer, got, &put, nullptr) || put != got) {
            *systemError = GetLastError();
            if (*systemError == ERROR_SUCCESS) *systemError = ERROR_HANDLE_DISK_FULL;  // short write
            return CopyOutcome::WriteFailed;
        }
    }
    return CopyOutcome::Complete;
}

// The free space of the volume that will hold path: asked of path or, where it does not exist
// yet, of the nearest directory above it that does.
bool FreeSpaceOnTheWay(const WString& path, ULARGE_INTEGER* freeSpace) {
    WString directory(path);
    if (directory.IsEmpty() || directory.Failed()) return false;
    do {
        if (GetDiskFreeSpaceExW(directory.c_str(), nullptr, nullptr, freeSpace)) return true;
    } while (pathancestor::ToParentDirectory(directory));
    return false;
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

std::uint64_t CUnPack::FindHeader() {
    const WString path = PackagePath();
    CUtility::WriteLog(L"[%s] Name:%s", kFindHeaderTag, path.c_str());

    CFileException error;
    FileHandle file(OpenPackage(path.c_str(), &error));
    if (!file.IsOpen()) {
        CUtility::WriteLog(L"[%s] Fail", kFindHeaderTag);
        CUtility::FileException(error);
        return 0;
    }

    unsigned char dos[package::kDosHeaderSize] = {};
    ReadUpTo(file.Get(), dos, sizeof dos);
    const std::int32_t lfanew = package::LfanewFromDosHeader(dos);
    LARGE_INTEGER length = {};
    GetFileSizeEx(file.Get(), &length);
    const std::uint64_t fileLength = static_cast<std::uint64_t>(length.QuadPart);
    if (lfanew < 0 || static_cast<std::uint64_t>(lfanew) > fileLength) return 0;

    unsigned char nt[package::kNtHeadersSize] = {};
    SeekTo(file.Get(), lfanew, FILE_BEGIN);
    ReadUpTo(file.Get(), nt, sizeof nt);
    const std::int32_t certTableSize = package::CertTableSizeFromNtHeaders(nt);
    CUtility::WriteLog(L"[%s] Sign Size:%d", kFindHeaderTag, certTableSize);

    // A certificate table size larger than the file leaves no place for a trailer.
    std::uint64_t trailerOffset = 0;
    if (!package::TrailerOffset(fileLength, certTableSize, &trailerOffset)) return 0;
    package::PackageTrailer trailer = {};
    SeekTo(file.Get(), static_cast<std::int64_t>(trailerOffset), FILE_BEGIN);
    ReadUpTo(file.Get(), &trailer, sizeof trailer);

    const std::uint64_t headerOffset = trailer.size;
    CUtility::WriteLog(L"[%s] Header offset:%d", kFindHeaderTag, static_cast<int>(headerOffset));
    // The first record must lie after the PE headers and before the trailer; any other offset
    // means there is no package to walk.
    if (!package::IsPlausibleHeaderOffset(headerOffset, lfanew, trailerOffset)) return 0;
    return headerOffset;
}

int CUnPack::UnPackFiles() {
    const std::uint64_t headerOffset = FindHeader();
    if (headerOffset == 0) return 0;

    const WString path = PackagePath();
    CFileException error;
    FileHandle package(OpenPackage(path.c_str(), &error));
    if (!package.IsOpen()) {
        CUtility::FileException(error);
        return 0;
    }
    if (!SeekTo(package.Get(), static_cast<std::int64_t>(headerOffset), FILE_BEGIN)) return 0;

    // The files go to the working directory, so the free space of its volume is what counts
    // (the current directory may be on another, read-only or full, volume). The directory and
    // even the temporary directory may not exist yet: the nearest existing one on the way is
    // on the volume that will take the files.
    const WString workDirParent = WorkDirParent();
    package::PackageRecordHeader header = {};
    std::int32_t handled = 0;
    ULARGE_INTEGER freeSpace = {};
    for (;;) {
        if (ReadUpTo(package.Get(), &header, sizeof header) == 0) break;
        if (!package::WalkContinues(handled, header)) break;

        if (!FreeSpaceOnTheWay(workDirParent, &freeSpace)) freeSpace.QuadPart = 0;
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

        ++handled;
        CUtility::WriteLog(L"[%s] (%d/%d)UnPack file name:%s (%d)", kUnPackFilesTag, handled,
                           static_cast<int>(header.count), outputPath.c_str(),
                           static_cast<int>(header.size));

        const package::NameProblem problem = package::CheckRecordName(name.c_str(), name.Length());
        HANDLE created = INVALID_HANDLE_VALUE;
        if (problem != package::NameProblem::None) {
            CUtility::WriteLog(L"[%s] Refused unsafe file name, data skipped: %s", kUnPackFilesTag,
                               name.c_str());
        } else {
            CFileException outputError;
            created = CreateOutputFile(name, outputPath, &outputError);
            if (created == INVALID_HANDLE_VALUE) CUtility::FileException(outputError);
        }
        FileHandle output(created);

        if (!output.IsOpen()) {
            if (!SkipForward(package.Get(), header.size)) break;
        } else {
            const std::uint64_t dataStart = CurrentPosition(package.Get());
            DWORD systemError = 0;
            const CopyOutcome outcome = CopyRecordData(package.Get(), output.Get(), header.size,
                                                       &systemError);
            LARGE_INTEGER written = {};
            GetFileSizeEx(output.Get(), &written);
            CUtility::WriteLog(L"[%s] UnPack count:%d len:%d File:%s", kUnPackFilesTag, handled,
                               static_cast<int>(written.QuadPart), outputPath.c_str());
            output.Close();
            if (outcome == CopyOutcome::ReadFailed) {
                // The package position is unknown after a failed read: stop the walk.
                ReportSystemError(systemError, path.c_str());
                break;
            }
            if (outcome == CopyOutcome::WriteFailed) {
                ReportSystemError(systemError, outputPath.c_str());
                if (!SeekTo(package.Get(), static_cast<std::int64_t>(dataStart + header.size),
                            FILE_BEGIN))
                    break;
            }
        }
        if (handled == static_cast<std::int32_t>(header.count)) break;
    }

    CUtility::WriteLog(L"[%s] UnPack total %d files.", kUnPackFilesTag, handled);
    package.Close();
    m_bFinished = TRUE;
    return 1;
}
