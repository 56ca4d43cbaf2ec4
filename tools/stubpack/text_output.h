// Rendering helpers shared by the commands' table and JSON output.
#pragma once

#include <string>

#include "package/package_walk.h"

namespace stubpack {

// A record name's bytes for a terminal: printable ASCII as is, anything else as \xNN.
std::string PrintableName(const char* bytes, std::size_t length);

// A JSON string literal; bytes above 0x7F become \u00NN (the code page is not known here).
std::string JsonString(const char* bytes, std::size_t length);
inline std::string JsonString(const std::string& s) { return JsonString(s.data(), s.size()); }

// The certificate table of a signed package as JSON: its offset as the PE security directory
// gives it, its size, and where the stub expects it (right after the trailer). The two offsets
// differ when bytes stand between the trailer and the table.
std::string JsonCertificateTable(const package::PackageLocation& location);

}  // namespace stubpack
