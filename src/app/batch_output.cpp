#include "app/batch_output.h"

#include "util/held_dir.h"
#include "util/log_path.h"
#include "util/temp_dir.h"

bool BatchOutputFile::Prepare(const wchar_t* path) {
    Release();
    const TempDir& temp = TempDir::Current();
    if (!temp.IsHeld() ||
        !helddir::RemoveBelow(temp.Handle(), temp.HandlePath(), kBatchOutputName, kBatchOutputNameLength))
        return false;
    // Read access, so that the hold counts against a deletion; the interpreter, which opens the
    // file for writing with read and write sharing, may open and truncate it.
    m_hold = helddir::OpenOwnFile(temp.Handle(), temp.HandlePath(), kBatchOutputName,
                                  kBatchOutputNameLength, FILE_READ_DATA,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, helddir::OwnFile::CreateNew);
    return m_hold != INVALID_HANDLE_VALUE && helddir::PathNamesHeld(path, m_hold);
}

void BatchOutputFile::Release() {
    if (m_hold != INVALID_HANDLE_VALUE) CloseHandle(m_hold);
    m_hold = INVALID_HANDLE_VALUE;
}
