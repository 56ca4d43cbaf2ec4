// What stubpack requires of a stub before it appends a package: a PE image (32-bit, or 64-bit for
// the build that runs under wine64) whose file ends where its last section's raw data ends, without
// a certificate table (pack first, sign after).
#pragma once

#include <cstdint>

#include "package/package_reader.h"

namespace stubpack {

struct StubImage {
    std::uint64_t length = 0;
    std::int32_t lfanew = 0;
};

// Throws InputError naming path with the reason when the stub is unusable.
StubImage CheckStubImage(package::ByteSource& stub, const char* path);

// Where the PE image of `file` ends: the end of its headers (SizeOfHeaders) or of its last
// section's raw data, whichever is later. Anything after it (an overlay: a package, a certificate
// table) is not part of the image. False when the NT headers or the section table cannot be read;
// *end is then untouched. Pure over the byte source; no exceptions.
bool PeImageEnd(package::ByteSource& file, std::uint64_t* end);

}  // namespace stubpack
