// write_log_line MESSAGE: writes one diagnostic log line "[write_log_line] MESSAGE" through the
// stub's own log, as a run of the stub would.
#include <windows.h>

#include "tool_output.h"
#include "util/utility.h"

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        PrintLine(L"usage: write_log_line MESSAGE");
        return 2;
    }
    CUtility::WriteLog(L"[%s] %s", L"write_log_line", argv[1]);
    return 0;
}
