// The file this process runs from, which carries its package. It is opened once, as early as the
// process can (before the single-instance guard), and shared for reading only: from then on
// nobody can change, rename or delete it until the extraction lets it go. It is kept only when it
// is the very file the process image was mapped from. That is told by identity, not content: a
// copy of the same stub with another package, put at the path after the process started, has
// the same headers but is another file.
#pragma once

#include <windows.h>

#include "util/file_exception.h"

struct RunningImageOpen {
    HANDLE file = INVALID_HANDLE_VALUE;  // owned by whoever holds this
    CFileException error;                // why the open failed
    bool notTheImage = false;            // opened, but another file than the running image's
};

// Opens path for reading, shared for reading only, and keeps it only when it is the file the
// process image was mapped from.
RunningImageOpen OpenRunningImage(const wchar_t* path);

// Opens the running executable's file now, at the start of the process, and holds it.
void HoldRunningImageEarly();

// Hands over the file held since the start (or, if there is none, opens it now); the caller
// closes it.
RunningImageOpen TakeRunningImage();
