#include "package/work_dir_guard.h"

#include <sddl.h>

namespace {

// O:BA: the owner is the administrators group whatever the token's default owner is, so that a
// leftover of this stub can be told by it. P: protected, nothing inherited from the temporary
// directory. Files and sub-directories inherit the entries (OICI); the creator-owner entry
// applies to what is created inside (IO).
const wchar_t kWorkDirSddl[] = L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICIIO;FA;;;CO)";

}  // namespace

const wchar_t* g_workDirSddl = kWorkDirSddl;
BOOL(WINAPI* g_volumeInformation)(HANDLE, LPWSTR, DWORD, LPDWORD, LPDWORD, LPDWORD, LPWSTR, DWORD) =
    &GetVolumeInformationByHandleW;

WorkDirSecurity::WorkDirSecurity() {
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(g_workDirSddl, SDDL_REVISION_1,
                                                              &m_descriptor, nullptr))
        m_descriptor = nullptr;
}

WorkDirSecurity::~WorkDirSecurity() {
    if (m_descriptor) LocalFree(m_descriptor);
}

PACL WorkDirSecurity::Dacl() const {
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    if (!m_descriptor || !GetSecurityDescriptorDacl(m_descriptor, &present, &dacl, &defaulted) ||
        !present)
        return nullptr;
    return dacl;
}
