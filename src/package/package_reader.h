// The whole package at once, for stubpack and the fuzzers: the location and every record the
// walk (package_walk.h, the stub's own) yields, collected in memory.
#pragma once

#include <cstdint>
#include <vector>

#include "package/package_walk.h"

namespace package {

struct PackageLayout : PackageLocation {
    std::vector<RecordInfo> records;      // in walk order, as the stub handles them
    std::uint64_t walkEnd = 0;            // file position after the last record's data
};

PackageLayout ReadPackageLayout(ByteSource& source);

// The record walk alone, from a given first-record offset. ReadPackageLayout uses it from the
// trailer's offset; a verifier can use it from elsewhere to find out what a package was meant to be.
struct RecordWalk {
    std::vector<RecordInfo> records;
    std::uint64_t end = 0;  // file position after the last record's data (where the walk stopped)
};
RecordWalk WalkRecords(ByteSource& source, std::uint64_t first);

}  // namespace package
