#include "app/payload_wait.h"

const PollOps& SystemPollOps() {
    static const PollOps ops = {&Sleep, &GetExitCodeProcess, &WaitForSingleObject};
    return ops;
}

DWORD PollUntilEnded(HANDLE process, const PollOps& ops) {
    DWORD code = STILL_ACTIVE;
    do {
        ops.sleep(kPollIntervalMs);
        if (!ops.getExitCode(process, &code)) return 0xFFFFFFFF;
        if (code == STILL_ACTIVE && ops.waitForSingleObject(process, 0) == WAIT_OBJECT_0) break;
    } while (code == STILL_ACTIVE);
    return code;
}
