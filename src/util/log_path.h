// The names of the files next to the working directory, and whether GetTempPathW's result can
// be used: it returns 0 on failure, and the length it would need (terminator included, so more
// than the capacity) when the path does not fit.
#pragma once

#include <cstddef>

// The log and the batch output (the log's name with ".txt"), in the temporary directory.
constexpr wchar_t kLogFileName[] = L"unpack.log";
constexpr wchar_t kBatchOutputName[] = L"unpack.log.txt";
constexpr std::size_t kLogFileNameLength = sizeof kLogFileName / sizeof kLogFileName[0] - 1;
constexpr std::size_t kBatchOutputNameLength = sizeof kBatchOutputName / sizeof kBatchOutputName[0] - 1;

inline bool TempPathUsable(unsigned long reportedLength, unsigned long capacity) {
    return reportedLength != 0 && reportedLength < capacity;
}
