#include "package/running_image.h"

#include <winternl.h>

#include "util/utility.h"

extern "C" NTSTATUS NTAPI NtAreMappedFilesTheSame(PVOID imageView, PVOID fileView);

namespace {

struct EarlyHold {
    ~EarlyHold() {
        if (open.file != INVALID_HANDLE_VALUE) CloseHandle(open.file);
    }
    RunningImageOpen open;
    bool held = false;
};

// Constructed ahead of the stub's early open (init_priority 102 in main.cpp).
EarlyHold g_early __attribute__((init_priority(101)));

// Whether file is the file of the process image: a view of it and the image are views of one
// file. The system compares the files themselves, so no rename or copy can pass for it.
bool IsFileOfTheImage(HANDLE file) {
    const HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (!mapping) return false;
    bool same = false;
    if (void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 1)) {
        same = NT_SUCCESS(NtAreMappedFilesTheSame(GetModuleHandleW(nullptr), view));
        UnmapViewOfFile(view);
    }
    CloseHandle(mapping);
    return same;
}

}  // namespace

RunningImageOpen OpenRunningImage(const wchar_t* path) {
    RunningImageOpen open;
    open.file = OpenFileRecordingError(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, &open.error);
    if (open.file != INVALID_HANDLE_VALUE && !IsFileOfTheImage(open.file)) {
        CloseHandle(open.file);
        open.file = INVALID_HANDLE_VALUE;
        open.notTheImage = true;
    }
    return open;
}

void HoldRunningImageEarly() {
    EarlyHold& early = g_early;
    if (early.held) return;
    early.open = OpenRunningImage(CUtility::GetModulePath().c_str());
    early.held = true;
}

RunningImageOpen TakeRunningImage() {
    EarlyHold& early = g_early;
    if (!early.held) return OpenRunningImage(CUtility::GetModulePath().c_str());
    early.held = false;
    RunningImageOpen taken = early.open;
    early.open.file = INVALID_HANDLE_VALUE;
    return taken;
}
