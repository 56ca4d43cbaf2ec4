// When the stub's view of a package is broken, what the package was meant to be: the usual
// breakages (a signing tool's padding, a truncated file, data or a second package appended, a
// count too small) named with where they are, so that a release engineer knows what to redo.
#pragma once

#include <cstdint>
#include <string>

#include "package/package_reader.h"
#include "package_verifier.h"

namespace stubpack {

// Adds the findings that say why the stub will not extract every file. Called once the checks
// have filled the report and found that it will not.
void DiagnoseBreakage(package::ByteSource& source, VerifyReport& report);

// What the bytes between the end of the stub's walk (from) and the trailer (to) hold, as the
// rest of a finding's sentence.
std::string DescribeUnreadBytes(package::ByteSource& source, const package::PackageLayout& layout,
                                std::uint64_t from, std::uint64_t to);

}  // namespace stubpack
