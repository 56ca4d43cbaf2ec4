#include "package/work_dir_guard.h"

#include <aclapi.h>
#include <sddl.h>

namespace {

// P: protected, nothing inherited from the temporary directory. Files and sub-directories
// inherit the entries (OICI); the creator-owner entry applies to what is created inside (IO).
const wchar_t kWorkDirSddl[] = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICIIO;FA;;;CO)";

}  // namespace

WorkDirSecurity::WorkDirSecurity() {
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kWorkDirSddl, SDDL_REVISION_1,
                                                              &descriptor_, nullptr))
        descriptor_ = nullptr;
    attributes_.nLength = sizeof attributes_;
    attributes_.lpSecurityDescriptor = descriptor_;
    attributes_.bInheritHandle = FALSE;
}

WorkDirSecurity::~WorkDirSecurity() {
    if (descriptor_) LocalFree(descriptor_);
}

PACL WorkDirSecurity::Dacl() const {
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    if (!descriptor_ || !GetSecurityDescriptorDacl(descriptor_, &present, &dacl, &defaulted) ||
        !present)
        return nullptr;
    return dacl;
}

HANDLE HoldAndProtectDirectory(const wchar_t* path, const WorkDirSecurity& security) {
    const HANDLE directory =
        CreateFileW(path, FILE_LIST_DIRECTORY | FILE_TRAVERSE | READ_CONTROL | WRITE_DAC,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (directory == INVALID_HANDLE_VALUE) return INVALID_HANDLE_VALUE;

    BY_HANDLE_FILE_INFORMATION info = {};
    const bool plainDirectory = GetFileInformationByHandle(directory, &info) &&
                                (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                                !(info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
    if (!plainDirectory) {
        CloseHandle(directory);
        return INVALID_HANDLE_VALUE;
    }
    // A list that cannot be applied still leaves the directory held against replacement.
    if (PACL dacl = security.Dacl())
        SetSecurityInfo(directory, SE_FILE_OBJECT,
                        DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr,
                        nullptr, dacl, nullptr);
    return directory;
}
