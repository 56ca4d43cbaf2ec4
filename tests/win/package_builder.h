// Builds package files for the extractor's tests: a minimal PE header block standing in for the
// stub, records, padding and trailer, with every field open to tampering.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "package/package_format.h"

struct TestRecord {
    std::string name;
    std::string data;
    std::int64_t countOverride = -1;   // -1: the number of records
    std::int64_t sizeOverride = -1;    // -1: data.size()
    bool rawName = false;              // copy all 260 name bytes from name (no NUL added)
};

struct TestPackage {
    std::vector<TestRecord> records;
    std::int32_t lfanew = 64;
    std::int32_t certTableSize = 0;     // bytes of a fake table appended after the trailer
    std::int64_t trailerSizeOverride = -1;
    std::size_t stubLength = 1024;

    std::string Build() const;
    // Offset of the first record (the stub's length).
    std::uint64_t FirstRecordOffset() const { return stubLength; }
};
