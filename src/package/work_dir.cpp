// The working directory: created fresh for every run, deleted after the payload has ended.
#include <shlobj.h>

#include "package/unpack.h"
#include "package/work_dir_guard.h"
#include "util/log_path.h"
#include "util/utility.h"

namespace {

constexpr int kCreateRetries = 20;
constexpr DWORD kCreateRetryDelayMs = 100;

}  // namespace

WString WorkDirParent() {
    wchar_t temp[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathW(MAX_PATH, temp);
    if (TempPathUsable(length, MAX_PATH)) return WString(temp, length);
    // Without a usable temporary path the working directory would be relative to the current
    // directory, and its clean-up would delete whatever "unpack" lies there.
    wchar_t windows[MAX_PATH + 1] = {};
    const UINT windowsLength = GetWindowsDirectoryW(windows, MAX_PATH);
    if (windowsLength == 0 || windowsLength >= MAX_PATH) return WString();
    WString parent(windows, windowsLength);
    parent.Append(L"\\Temp\\");
    return parent;
}

WString CUnPack::GetWorkDir() {
    if (!m_strWorkDir.IsEmpty()) return m_strWorkDir;

    const WString parent = WorkDirParent();
    if (parent.IsEmpty()) return WString();
    m_strWorkDir = parent;
    m_strWorkDir.Append(L"unpack\\");

    if (CUtility::PathExists(m_strWorkDir.c_str())) RemoveWorkDir();

    // Created with its protected list from the start, so there is no moment in which another
    // process of the user could write into it.
    WorkDirSecurity security;
    int result = SHCreateDirectoryExW(nullptr, m_strWorkDir.c_str(), security.Attributes());
    for (int retries = 0; result != ERROR_SUCCESS && retries < kCreateRetries; ++retries) {
        result = SHCreateDirectoryExW(nullptr, m_strWorkDir.c_str(), security.Attributes());
        Sleep(kCreateRetryDelayMs);
    }
    // Whether made now or left over, the directory is held and protected from here on; a link
    // in its place is not held, and the extraction then refuses to write through it.
    m_hWorkDir = HoldAndProtectDirectory(m_strWorkDir.c_str(), security);
    return m_strWorkDir;
}

void CUnPack::ReleaseWorkDir() {
    if (m_hWorkDir != INVALID_HANDLE_VALUE) CloseHandle(m_hWorkDir);
    m_hWorkDir = INVALID_HANDLE_VALUE;
}

void CUnPack::RemoveWorkDir() {
    if (m_strWorkDir.IsEmpty()) return;
    ReleaseWorkDir();
    CUtility::DeleteDirectoryTree(m_strWorkDir.c_str());

    // The directory cannot be removed while it is the current directory: move to its parent
    // and remove it once more.
    WString parent(m_strWorkDir);
    while (!parent.IsEmpty() && parent[parent.Length() - 1] == L'\\') parent.Truncate(parent.Length() - 1);
    CUtility::StripPathComponents(parent, 1);
    SetCurrentDirectoryW(parent.c_str());
    // Never remove a link put in the directory's place: that could remove its target.
    const DWORD attributes = GetFileAttributesW(m_strWorkDir.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        RemoveDirectoryW(m_strWorkDir.c_str());
}
