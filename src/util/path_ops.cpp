// Path operations of the working directory.
#include "util/utility.h"

#include "util/file_handle.h"
#include "util/held_dir.h"

WString CUtility::GetModulePath() {
    wchar_t path[MAX_PATH + 1] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    // A path cut to the buffer is not the executable's path: treat it like a failed call.
    if (length == 0 || length >= MAX_PATH) return WString();
    return WString(path, length);
}

bool CUtility::PathExists(const wchar_t* path) {
    return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

// Deletes the directory with everything in it, through handles (util/held_dir.h): links are
// never followed, and an entry that cannot be removed safely stays with the directories above it.
bool CUtility::DeleteDirectoryTree(const wchar_t* path) {
    WString parent(path);
    while (!parent.IsEmpty() && parent[parent.Length() - 1] == L'\\') parent.Truncate(parent.Length() - 1);
    const std::size_t slash = parent.FindLast(L'\\');
    if (parent.Failed() || slash == WString::npos) return false;
    const WString name(parent.c_str() + slash + 1, parent.Length() - slash - 1);
    parent.Truncate(slash + 1);
    const FileHandle directory(helddir::OpenDirectory(parent.c_str()));
    if (!directory.IsOpen() || name.Failed()) return false;
    return helddir::RemoveBelow(directory.Get(), helddir::HandlePath(directory.Get()), name.c_str(),
                                name.Length());
}

void CUtility::StripPathComponents(WString& path, int count) {
    for (int i = 0; i < count; ++i) {
        const std::size_t slash = path.FindLast(L'\\');
        if (slash == WString::npos) return;
        path.Truncate(slash);
    }
}
