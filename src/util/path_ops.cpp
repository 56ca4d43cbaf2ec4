// Path operations of the working directory.
#include "util/utility.h"

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

// Deletes what lies in the directory, depth first, then the directory itself. A directory link
// (junction or symbolic link) is never walked into and never removed: deleting through it would
// reach outside the tree, and removing the link itself is not safe everywhere (some file systems
// remove an empty target instead). The link stays, and so do the directories above it.
void CUtility::DeleteDirectoryTree(const wchar_t* path) {
    const DWORD attributes = GetFileAttributesW(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return;

    WString prefix(path);
    if (prefix.IsEmpty() || prefix[prefix.Length() - 1] != L'\\') prefix.AppendUnit(L'\\');
    WString pattern(prefix);
    pattern.AppendUnit(L'*');

    WIN32_FIND_DATAW entry;
    const HANDLE find = FindFirstFileW(pattern.c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const wchar_t* name = entry.cFileName;
            const bool dot = name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0));
            if (dot) continue;
            WString child(prefix);
            child.Append(name);
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                    DeleteDirectoryTree(child.c_str());
            } else {
                // A file link is deleted itself, never its target.
                DeleteFileW(child.c_str());
            }
        } while (FindNextFileW(find, &entry));
        FindClose(find);
    }
    RemoveDirectoryW(path);
}

void CUtility::StripPathComponents(WString& path, int count) {
    for (int i = 0; i < count; ++i) {
        const std::size_t slash = path.FindLast(L'\\');
        if (slash == WString::npos) return;
        path.Truncate(slash);
    }
}
