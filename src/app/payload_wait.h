// Waiting for the payload: every 3000 ms its exit code is read, until it is no longer
// STILL_ACTIVE (259). The system calls come in through PollOps so that tests can count them.
#pragma once

#include <windows.h>

constexpr DWORD kPollIntervalMs = 3000;

struct PollOps {
    void(WINAPI* sleep)(DWORD milliseconds);
    BOOL(WINAPI* getExitCode)(HANDLE process, LPDWORD code);
    DWORD(WINAPI* waitForSingleObject)(HANDLE handle, DWORD milliseconds);
};

const PollOps& SystemPollOps();

// Sleeps first, then reads the exit code; repeats while it is 259. A process that itself ended
// with 259 is recognised by its signalled handle, so it cannot keep the stub waiting forever.
// When the exit code cannot be read the wait ends and the result is 0xFFFFFFFF (logged as -1),
// a value no exit code read by the poll takes on that path.
DWORD PollUntilEnded(HANDLE process, const PollOps& ops = SystemPollOps());
