// The process error mode of per-process initialisation: no critical-error and no
// file-not-found dialogs from the system for this process.
#pragma once

#include <windows.h>

// Adds the two quiet flags to mode and keeps every flag already set.
constexpr UINT WithQuietErrorMode(UINT mode) {
    return mode | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX;
}

// Applies WithQuietErrorMode to the process's current error mode.
void AddQuietErrorMode();
