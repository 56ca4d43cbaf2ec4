// The batch output file ("unpack.log.txt" next to the log), which the interpreter's ">" writes.
// It lies in the user's temporary directory, so before the default command starts, whatever
// stands at its name is removed and the file is made new through the held temporary directory;
// it is then held, without delete sharing, until the command has ended: the interpreter opens
// the file this run made, and nothing can be put in its place in between.
#pragma once

#include <windows.h>

class BatchOutputFile {
public:
    BatchOutputFile() = default;
    ~BatchOutputFile() { Release(); }
    BatchOutputFile(const BatchOutputFile&) = delete;
    BatchOutputFile& operator=(const BatchOutputFile&) = delete;

    // False when what stands at the name cannot be removed safely (a link whose removal would
    // reach its target, a file held open), no new file can be made, or path (as the command
    // names the file) does not lead to the file made: then nothing may start.
    bool Prepare(const wchar_t* path);
    void Release();

private:
    HANDLE m_hold = INVALID_HANDLE_VALUE;
};
