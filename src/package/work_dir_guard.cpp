#include "package/work_dir_guard.h"

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
