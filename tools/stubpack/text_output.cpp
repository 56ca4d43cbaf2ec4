#include "text_output.h"

#include <cstdio>

namespace stubpack {

std::string PrintableName(const char* bytes, std::size_t length) {
    std::string out;
    for (std::size_t i = 0; i < length; ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            out += escaped;
        }
    }
    return out;
}

std::string JsonString(const char* bytes, std::size_t length) {
    std::string out = "\"";
    for (std::size_t i = 0; i < length; ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        }
    }
    return out + "\"";
}

std::string JsonCertificateTable(const package::PackageLocation& location) {
    return "{\"offset\": " + std::to_string(location.certTableAddress) + ", \"size\": " +
           std::to_string(location.certTableSize) + ", \"stubExpectsAt\": " +
           std::to_string(location.trailerOffset + package::kHeaderSize) + "}";
}

}  // namespace stubpack
