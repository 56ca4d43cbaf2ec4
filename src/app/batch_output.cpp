#include "app/batch_output.h"

#include "package/work_dir_guard.h"
#include "util/held_dir.h"
#include "util/log_path.h"
#include "util/temp_dir.h"

bool BatchOutputFile::Prepare(const wchar_t* path) {
    Release();
    const TempDir& temp = TempDir::Current();
    const LeftoverOwners owners;
    if (!temp.IsHeld() || !owners.User() ||
        !helddir::RemoveBelow(temp.Handle(), temp.HandlePath(), kBatchOutputName, kBatchOutputNameLength,
                              owners.Rule()))
        return false;
    // Owned by the user, as the user's batch output: the next run finds it to be the user's own
    // and may remove it. Its list is inherited from the temporary directory.
    SECURITY_DESCRIPTOR security;
    if (!InitializeSecurityDescriptor(&security, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorOwner(&security, owners.User(), FALSE))
        return false;
    // Read access, so that the hold counts against a deletion; the interpreter, which opens the
    // file for writing with read and write sharing, may open and truncate it.
    m_hold = helddir::OpenOwnFile(temp.Handle(), temp.HandlePath(), kBatchOutputName,
                                  kBatchOutputNameLength, FILE_READ_DATA,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, helddir::OwnFile::CreateNew,
                                  nullptr, &security);
    return m_hold != INVALID_HANDLE_VALUE && helddir::PathNamesHeld(path, m_hold);
}

void BatchOutputFile::Release() {
    if (m_hold != INVALID_HANDLE_VALUE) CloseHandle(m_hold);
    m_hold = INVALID_HANDLE_VALUE;
}
