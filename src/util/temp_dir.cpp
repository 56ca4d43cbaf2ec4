#include "util/temp_dir.h"

#include <shlobj.h>

#include "util/held_dir.h"
#include "util/log_path.h"
#include "util/utility.h"

namespace {

TempDir g_processTempDir;
bool g_found = false;

WString TemporaryPath() {
    wchar_t temp[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathW(MAX_PATH, temp);
    if (TempPathUsable(length, MAX_PATH)) return WString(temp, length);
    // No temporary directory, or one too long for the buffer (the query then writes nothing and
    // reports the length it needs): the Windows directory's Temp rather than a relative path,
    // whose clean-up would delete whatever "unpack" lies in the current directory.
    wchar_t windows[MAX_PATH + 1] = {};
    const UINT windowsLength = GetWindowsDirectoryW(windows, MAX_PATH);
    if (windowsLength == 0 || windowsLength >= MAX_PATH) return WString();
    WString path(windows, windowsLength);
    path.Append(L"\\Temp\\");
    if (path.Failed()) return WString();
    return path;
}

}  // namespace

const TempDir& TempDir::Current() {
    if (!g_found) FindAgain();
    return g_processTempDir;
}

void TempDir::FindAgain() {
    g_found = true;
    g_processTempDir.Release();
    g_processTempDir.Find();
}

void TempDir::Find() {
    m_path = TemporaryPath();
    if (m_path.IsEmpty() || m_path.Failed()) {
        m_path = WString();
        return;
    }
    // It may not exist yet: made with its missing parents. Its path is the user's to choose
    // (TMP and TEMP come from the user's environment), so links on the way are followed; what
    // counts is that everything below is reached through the one handle taken now.
    if (!CUtility::PathExists(m_path.c_str())) SHCreateDirectoryExW(nullptr, m_path.c_str(), nullptr);
    m_handle = helddir::OpenDirectory(m_path.c_str());
    if (m_handle == INVALID_HANDLE_VALUE) return;
    // A backstop: the path ends in a separator, which already keeps a file from opening (measured
    // under Wine, so no test there can take this check out and fail).
    FILE_ATTRIBUTE_TAG_INFO tag = {};
    if (!GetFileInformationByHandleEx(m_handle, FileAttributeTagInfo, &tag, sizeof tag) ||
        !(tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        Release();
        return;
    }
    m_handlePath = helddir::HandlePath(m_handle);
    if (m_handlePath.Failed()) Release();
}

WString TempDir::PathNow() const {
    WString path = helddir::DosPath(m_handle);
    path.AppendUnit(L'\\');
    return path;
}

void TempDir::Release() {
    if (m_handle != INVALID_HANDLE_VALUE) CloseHandle(m_handle);
    m_handle = INVALID_HANDLE_VALUE;
    m_handlePath = WString();
    m_knownLog = leftover::KnownFile();
}
