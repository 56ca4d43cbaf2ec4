// The baseline for extraction: the least a Win32 program can do to copy files in 1024-byte
// blocks, one ReadFile and one WriteFile per block, nothing else.
//   copy_loop DESTDIR FILE...   copies each FILE to DESTDIR\<its name>; prints the copy time.
#include <windows.h>

#include <cstdio>
#include <cwchar>

#include "bench_clock.h"

namespace {

constexpr DWORD kBlockSize = 1024;

const wchar_t* BaseName(const wchar_t* path) {
    const wchar_t* name = path;
    for (const wchar_t* p = path; *p; ++p)
        if (*p == L'\\' || *p == L'/') name = p + 1;
    return name;
}

bool CopyInBlocks(const wchar_t* source, const wchar_t* destination) {
    HANDLE in = CreateFileW(source, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                            nullptr);
    if (in == INVALID_HANDLE_VALUE) return false;
    HANDLE out = CreateFileW(destination, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (out == INVALID_HANDLE_VALUE) {
        CloseHandle(in);
        return false;
    }
    char buffer[kBlockSize];
    DWORD got = 0, put = 0;
    bool ok = true;
    while (ok && ReadFile(in, buffer, kBlockSize, &got, nullptr) && got > 0)
        ok = WriteFile(out, buffer, got, &put, nullptr) && put == got;
    CloseHandle(out);
    CloseHandle(in);
    return ok;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: copy_loop DESTDIR FILE...\n");
        return 2;
    }
    const BenchClock clock;
    CreateDirectoryW(argv[1], nullptr);
    for (int i = 2; i < argc; ++i) {
        wchar_t destination[MAX_PATH];
        std::swprintf(destination, MAX_PATH, L"%ls\\%ls", argv[1], BaseName(argv[i]));
        if (!CopyInBlocks(argv[i], destination)) {
            std::fprintf(stderr, "copy_loop: cannot copy file %d\n", i - 1);
            return 1;
        }
    }
    clock.Report();
    return 0;
}
