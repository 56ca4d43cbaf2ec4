// write_log_line MESSAGE [GO SECOND]: writes one diagnostic log line "[write_log_line] MESSAGE"
// through the stub's own log, as a run of the stub would. With GO and SECOND, it then waits until
// the file GO exists (at most a minute) and writes "[write_log_line] SECOND" from the same
// process: a test can change what stands at the log's name between two lines of one run.
#include <windows.h>

#include "tool_output.h"
#include "util/utility.h"

int wmain(int argc, wchar_t** argv) {
    if (argc != 2 && argc != 4) {
        PrintLine(L"usage: write_log_line MESSAGE [GO SECOND]");
        return 2;
    }
    CUtility::WriteLog(L"[%s] %s", L"write_log_line", argv[1]);
    if (argc == 2) return 0;
    for (int tick = 0; GetFileAttributesW(argv[2]) == INVALID_FILE_ATTRIBUTES; ++tick) {
        if (tick == 1200) return 1;
        Sleep(50);
    }
    CUtility::WriteLog(L"[%s] %s", L"write_log_line", argv[3]);
    return 0;
}
