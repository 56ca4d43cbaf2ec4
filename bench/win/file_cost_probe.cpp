// Where the stub's time per extracted file goes: each step it takes for one file, timed alone
// over many iterations in %TEMP%, printed as "bench: STEP_us=N" (microseconds per iteration).
//   file_cost_probe [ITERATIONS]   (default 2000)
// The log steps append to %TEMP%\unpack.log like the stub; the file steps work in
// %TEMP%\costprobe\, which is removed at the end (untimed, but for the removal step).
#include <windows.h>
#include <winternl.h>

#include <cstdio>
#include <cstdlib>

#include "util/held_dir.h"
#include "util/log_path.h"
#include "util/temp_dir.h"
#include "util/utility.h"

namespace {

double Microseconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return 1e6 * static_cast<double>(to.QuadPart - from.QuadPart) /
           static_cast<double>(frequency.QuadPart);
}

template <class Step>
void Time(const char* name, int iterations, Step step) {
    LARGE_INTEGER from, to;
    QueryPerformanceCounter(&from);
    for (int i = 0; i < iterations; ++i) step(i);
    QueryPerformanceCounter(&to);
    std::printf("bench: %s_us=%.1f\n", name, Microseconds(from, to) / iterations);
    std::fflush(stdout);
}

// A line as long as the stub's per-file lines.
const wchar_t kLine[] =
    L"[4242]2026-12-10 17:00:00  [CUnPack::UnPackFiles] UnPack count:17 len:4096 "
    L"File:C:\\users\\bench\\Temp\\unpack\\part0017.dat (Last=0)";

void WriteLine(HANDLE file, bool seekToEnd) {
    if (seekToEnd) {
        LARGE_INTEGER end = {};
        SetFilePointerEx(file, end, nullptr, FILE_END);
    }
    DWORD written = 0;
    WriteFile(file, kLine, sizeof kLine - sizeof(wchar_t), &written, nullptr);
    WriteFile(file, L"\r\n", 4, &written, nullptr);
}

HANDLE OpenLog(const wchar_t* path, DWORD access) {
    return CreateFileW(path, access, 0, nullptr, OPEN_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const int n = argc > 1 ? _wtoi(argv[1]) : 2000;
    if (n <= 0) {
        std::fprintf(stderr, "usage: file_cost_probe [ITERATIONS]\n");
        return 2;
    }
    const WString log = CUtility::GetLogFilePath();
    const wchar_t* logPath = log.c_str();

    // The log line, as a whole and piece by piece.
    Time("write_log", n, [](int i) {
        CUtility::WriteLog(L"[%s] UnPack count:%d len:%d File:%s", L"CUnPack::UnPackFiles", i, 4096,
                           L"C:\\users\\bench\\Temp\\unpack\\part0017.dat");
    });
    Time("append_log_file", n, [](int) { CUtility::AppendLogFile(kLine); });
    Time("debug_output", n, [](int) { OutputDebugStringW(kLine); });
    Time("log_path", n, [](int) { CUtility::GetLogFilePath(); });
    Time("timestamp", n, [](int) {
        FILETIME utc, local;
        SYSTEMTIME t;
        GetSystemTimeAsFileTime(&utc);
        FileTimeToLocalFileTime(&utc, &local);
        FileTimeToSystemTime(&local, &t);
    });
    Time("open_rw_close", n, [&](int) { CloseHandle(OpenLog(logPath, GENERIC_READ | GENERIC_WRITE)); });
    Time("open_rw_info_close", n, [&](int) {
        const HANDLE file = OpenLog(logPath, GENERIC_READ | GENERIC_WRITE);
        BY_HANDLE_FILE_INFORMATION info;
        GetFileInformationByHandle(file, &info);
        CloseHandle(file);
    });
    Time("open_rw_tag_close", n, [&](int) {
        const HANDLE file = OpenLog(logPath, GENERIC_READ | GENERIC_WRITE);
        FILE_ATTRIBUTE_TAG_INFO tag;
        GetFileInformationByHandleEx(file, FileAttributeTagInfo, &tag, sizeof tag);
        CloseHandle(file);
    });
    // The queries the stub can make on an open handle, each alone.
    {
        const HANDLE file = OpenLog(logPath, GENERIC_READ | GENERIC_WRITE);
        Time("query_by_handle_information", n, [&](int) {
            BY_HANDLE_FILE_INFORMATION info;
            GetFileInformationByHandle(file, &info);
        });
        Time("query_attribute_tag", n, [&](int) {
            FILE_ATTRIBUTE_TAG_INFO tag;
            GetFileInformationByHandleEx(file, FileAttributeTagInfo, &tag, sizeof tag);
        });
        Time("query_standard", n, [&](int) {
            FILE_STANDARD_INFO standard;
            GetFileInformationByHandleEx(file, FileStandardInfo, &standard, sizeof standard);
        });
        Time("query_internal_index", n, [&](int) {
            IO_STATUS_BLOCK status;
            FILE_INTERNAL_INFORMATION internal;
            NtQueryInformationFile(file, &status, &internal, sizeof internal, FileInternalInformation);
        });
        Time("query_name", n, [&](int) { helddir::HandlePath(file); });
        CloseHandle(file);
    }
    // The log's own open, below the held temporary directory, and the two ways to check what it
    // opened: the whole check (attributes, links, the handle's own path), and the comparison with
    // the file a whole check found before (attributes, links, file index).
    {
        const TempDir& held = TempDir::Current();
        const auto openLog = [&]() {
            DWORD error = 0;
            return helddir::OpenBelow(held.Handle(), kLogFileName, kLogFileNameLength,
                                      GENERIC_READ | GENERIC_WRITE | FILE_READ_ATTRIBUTES, FILE_OPEN,
                                      FILE_NON_DIRECTORY_FILE, nullptr, &error, 0);
        };
        Time("open_below_close", n, [&](int) { CloseHandle(openLog()); });
        const HANDLE file = openLog();
        Time("whole_check", n, [&](int) {
            leftover::EntryFacts facts;
            WString path;
            helddir::ReadEntryFacts(file, held.HandlePath(), kLogFileName, kLogFileNameLength, &facts,
                                    &path);
        });
        Time("known_file_check", n, [&](int) {
            FILE_ATTRIBUTE_TAG_INFO tag;
            FILE_STANDARD_INFO standard;
            IO_STATUS_BLOCK status;
            FILE_INTERNAL_INFORMATION internal;
            GetFileInformationByHandleEx(file, FileAttributeTagInfo, &tag, sizeof tag);
            GetFileInformationByHandleEx(file, FileStandardInfo, &standard, sizeof standard);
            NtQueryInformationFile(file, &status, &internal, sizeof internal, FileInternalInformation);
        });
        CloseHandle(file);
    }
    Time("open_rw_seek_write_close", n, [&](int) {
        const HANDLE file = OpenLog(logPath, GENERIC_READ | GENERIC_WRITE);
        WriteLine(file, true);
        CloseHandle(file);
    });
    Time("open_append_write_close", n, [&](int) {
        const HANDLE file = OpenLog(logPath, FILE_APPEND_DATA | SYNCHRONIZE);
        WriteLine(file, false);
        CloseHandle(file);
    });

    // The steps around one file.
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, temp);
    Time("free_space", n, [&](int) {
        ULARGE_INTEGER available;
        GetDiskFreeSpaceExW(temp, nullptr, nullptr, &available);
    });

    const HANDLE tempDir = helddir::OpenDirectory(temp);
    // The same figure asked of the held directory's volume through its handle.
    Time("free_space_by_handle", n, [&](int) {
        IO_STATUS_BLOCK status;
        FILE_FS_FULL_SIZE_INFORMATION size;
        NtQueryVolumeInformationFile(tempDir, &status, &size, sizeof size, FileFsFullSizeInformation);
    });
    const WString tempName = helddir::HandlePath(tempDir);
    helddir::RemoveBelow(tempDir, tempName, L"costprobe", 9);
    DWORD error = 0;
    const HANDLE dir = helddir::OpenBelow(tempDir, L"costprobe", 9, FILE_LIST_DIRECTORY | FILE_TRAVERSE,
                                          FILE_CREATE, FILE_DIRECTORY_FILE, nullptr, &error);
    if (dir == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "file_cost_probe: cannot create %%TEMP%%\\costprobe (%lu)\n", error);
        return 1;
    }
    static char block[1024];
    HANDLE* holds = static_cast<HANDLE*>(std::calloc(static_cast<std::size_t>(n), sizeof(HANDLE)));
    const auto name = [](int i, wchar_t (&buffer)[16]) {
        return static_cast<std::size_t>(swprintf(buffer, 16, L"f%06d.dat", i));
    };
    Time("create_write_4k_close", n, [&](int i) {
        wchar_t entry[16];
        const std::size_t length = name(i, entry);
        const HANDLE file = helddir::OpenBelow(dir, entry, length, GENERIC_WRITE, FILE_CREATE,
                                               FILE_NON_DIRECTORY_FILE, nullptr, &error);
        DWORD written = 0;
        for (int b = 0; b < 4; ++b) WriteFile(file, block, sizeof block, &written, nullptr);
        CloseHandle(file);
    });
    // The same with n files more in the directory: Wine looks for a name that differs only in
    // case by listing the directory, so a creation costs more the more files are there.
    Time("create_close_beside_more", n, [&](int i) {
        wchar_t entry[16];
        const std::size_t length = name(n + i, entry);
        CloseHandle(helddir::OpenBelow(dir, entry, length, GENERIC_WRITE, FILE_CREATE,
                                       FILE_NON_DIRECTORY_FILE, nullptr, &error));
    });
    {
        wchar_t entry[16];
        const HANDLE file = helddir::OpenBelow(dir, entry, name(2 * n, entry), GENERIC_READ | GENERIC_WRITE, FILE_CREATE,
                                               FILE_NON_DIRECTORY_FILE, nullptr, &error);
        Time("write_1k", n, [&](int) {
            DWORD written = 0;
            WriteFile(file, block, sizeof block, &written, nullptr);
        });
        // The copy loop's other half: reads going on from the file pointer, as the walk reads.
        SetFilePointer(file, 0, nullptr, FILE_BEGIN);
        Time("read_1k", n, [&](int) {
            DWORD got = 0;
            ReadFile(file, block, sizeof block, &got, nullptr);
        });
        CloseHandle(file);
    }
    Time("hold_and_index", n, [&](int i) {
        wchar_t entry[16];
        const std::size_t length = name(i, entry);
        holds[i] = helddir::OpenBelow(dir, entry, length, FILE_READ_DATA, FILE_OPEN,
                                      FILE_NON_DIRECTORY_FILE, nullptr, &error);
        IO_STATUS_BLOCK status;
        FILE_INTERNAL_INFORMATION internal;
        NtQueryInformationFile(holds[i], &status, &internal, sizeof internal, FileInternalInformation);
    });
    Time("release_hold", n, [&](int i) { CloseHandle(holds[i]); });
    // The hold taken through the writing handle instead of by the name: the writers are opened
    // first (untimed), as the extractor has its file open when it takes the hold.
    {
        HANDLE* writers = static_cast<HANDLE*>(std::calloc(static_cast<std::size_t>(n), sizeof(HANDLE)));
        for (int i = 0; i < n; ++i) {
            wchar_t entry[16];
            const std::size_t length = name(i, entry);
            writers[i] = helddir::OpenBelow(dir, entry, length, GENERIC_WRITE, FILE_OPEN,
                                            FILE_NON_DIRECTORY_FILE, nullptr, &error);
        }
        const auto index = [](HANDLE file) {
            IO_STATUS_BLOCK status;
            FILE_INTERNAL_INFORMATION internal;
            NtQueryInformationFile(file, &status, &internal, sizeof internal, FileInternalInformation);
        };
        Time("hold_by_name_and_index", n, [&](int i) {
            wchar_t entry[16];
            const std::size_t length = name(i, entry);
            holds[i] = helddir::OpenBelow(dir, entry, length, FILE_READ_DATA, FILE_OPEN,
                                          FILE_NON_DIRECTORY_FILE, nullptr, &error);
            index(holds[i]);
            index(writers[i]);
        });
        for (int i = 0; i < n; ++i) CloseHandle(holds[i]);
        Time("hold_reopen_nt_and_index", n, [&](int i) {
            UNICODE_STRING empty = {};
            OBJECT_ATTRIBUTES attributes;
            InitializeObjectAttributes(&attributes, &empty, 0, writers[i], nullptr);
            IO_STATUS_BLOCK status = {};
            holds[i] = INVALID_HANDLE_VALUE;
            NtCreateFile(&holds[i], FILE_READ_DATA | SYNCHRONIZE, &attributes, &status, nullptr, 0,
                         helddir::kShare, FILE_OPEN, FILE_NON_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT,
                         nullptr, 0);
            index(holds[i]);
            index(writers[i]);
        });
        for (int i = 0; i < n; ++i) CloseHandle(holds[i]);
        Time("hold_reopen_file_and_index", n, [&](int i) {
            holds[i] = ReOpenFile(writers[i], FILE_READ_DATA, helddir::kShare, 0);
            index(holds[i]);
            index(writers[i]);
        });
        for (int i = 0; i < n; ++i) CloseHandle(holds[i]);
        // The hold as a duplicate of the writing handle: no open at all, and no second index
        // to compare (a duplicate is the same open file).
        Time("hold_duplicate_and_index", n, [&](int i) {
            index(writers[i]);
            DuplicateHandle(GetCurrentProcess(), writers[i], GetCurrentProcess(), &holds[i], 0, FALSE, 0);
        });
        Time("release_duplicate", n, [&](int i) { CloseHandle(holds[i]); });
        for (int i = 0; i < n; ++i) CloseHandle(writers[i]);
        std::free(writers);
    }
    std::free(holds);
    CloseHandle(dir);
    LARGE_INTEGER from, to;
    QueryPerformanceCounter(&from);
    helddir::RemoveBelow(tempDir, tempName, L"costprobe", 9);
    QueryPerformanceCounter(&to);
    // Every file the steps above created: n written, n empty, one written in blocks.
    std::printf("bench: remove_tree_per_file_us=%.1f\n", Microseconds(from, to) / (2 * n + 1));
    std::printf("bench: files=%d\n", n);
    CloseHandle(tempDir);
    return 0;
}
