// Package executables in memory for the tests of every tier: a stub (a minimal DOS and PE header
// block, or given bytes), records, alignment padding and trailer, and a stand-in certificate
// table, with every field open to tampering. stubpack is the real packer; this one lets a test
// build what stubpack never would.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "package/package_format.h"

namespace testsupport {

struct TestRecord {
    std::string name;
    std::string data;
    std::int64_t countOverride = -1;   // -1: the number of records
    std::int64_t sizeOverride = -1;    // -1: data.size()
    bool rawName = false;              // copy all 260 name bytes from name (no NUL added)
};

struct BuiltPackage {
    std::string bytes;
    std::vector<std::uint64_t> recordOffsets;  // where each record's header starts
    std::uint64_t trailerOffset = 0;
};

struct TestPackage {
    std::vector<TestRecord> records;
    std::string stub;                   // empty: a header block of stubLength bytes
    std::size_t stubLength = 1024;
    std::int32_t lfanew = 64;           // of the header block
    std::int32_t certTableSize = 0;     // in the header block; that many bytes follow the trailer
    std::int64_t trailerSizeOverride = -1;
    bool align = true;                  // zero bytes so that the trailer ends on 8 bytes
    std::string trailerName = "UnPackFile.exe";

    BuiltPackage BuildWithOffsets() const;
    std::string Build() const { return BuildWithOffsets().bytes; }
    // Offset of the first record (the stub's length).
    std::uint64_t FirstRecordOffset() const { return stub.empty() ? stubLength : stub.size(); }
};

}  // namespace testsupport
