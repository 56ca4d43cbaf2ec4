// Whether GetTempPathW's result can be used: it returns 0 on failure, and the length it would
// need (terminator included, so more than the capacity) when the path does not fit.
#pragma once

inline bool TempPathUsable(unsigned long reportedLength, unsigned long capacity) {
    return reportedLength != 0 && reportedLength < capacity;
}
