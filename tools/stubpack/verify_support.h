// What the verifier's checks and its diagnosis of breakages share: reading headers where they
// should be, recognising what stubpack writes, and the wording of findings.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

#include "package/package_walk.h"
#include "package/record_name.h"
#include "package_verifier.h"
#include "text_output.h"

namespace stubpack {
namespace verify {

using package::ByteSource;
using package::kHeaderSize;
using package::PackageRecordHeader;

inline std::string N(std::uint64_t v) { return std::to_string(v); }

// a + b, or UINT64_MAX when it would wrap.
inline std::uint64_t AddSat(std::uint64_t a, std::uint64_t b) { return b > UINT64_MAX - a ? UINT64_MAX : a + b; }

inline std::string Plural(std::uint64_t n, const char* word) {
    return N(n) + " " + word + (n == 1 ? "" : "s");
}

inline std::string Quoted(const char* bytes, std::size_t length) {
    return "'" + PrintableName(bytes, length) + "'";
}

inline std::string RecordLabel(std::size_t k, const PackageRecordHeader& h) {
    return "record " + N(k) + " (" + Quoted(h.name, package::NameLength(h)) + ")";
}

inline bool AllZero(ByteSource& source, std::uint64_t from, std::uint64_t n) {
    unsigned char buffer[64];
    while (n > 0) {
        const std::size_t want = n < sizeof buffer ? static_cast<std::size_t>(n) : sizeof buffer;
        const std::size_t got = source.ReadAt(from, buffer, want);
        if (got != want) return false;
        for (std::size_t i = 0; i < got; ++i)
            if (buffer[i]) return false;
        from += got;
        n -= got;
    }
    return true;
}

inline bool ReadHeader(ByteSource& source, std::uint64_t offset, PackageRecordHeader* h) {
    std::memset(h, 0, sizeof *h);
    return source.ReadAt(offset, h, sizeof *h) == sizeof *h;
}

// A header that looks like a trailer stubpack writes: count 0, index 1.
inline bool LooksLikeTrailer(const PackageRecordHeader& h) { return h.count == 0 && h.index == 1 && h.size != 0; }

// A header that looks like a record stubpack writes, at position `index` (the first is 2).
inline bool LooksLikeRecord(const PackageRecordHeader& h, std::uint32_t index) {
    const std::size_t length = package::NameLength(h);
    return h.count > 0 && h.count < 0x80000000u && h.index == index && length < package::kNameFieldSize &&
           package::CheckRecordName(h.name, length) == package::NameProblem::None;
}

inline bool LooksLikeFirstRecord(const PackageRecordHeader& h) { return LooksLikeRecord(h, 2); }

inline void AddFinding(VerifyReport& report, Severity severity, const char* check, std::uint64_t offset,
                       std::string message) {
    report.findings.push_back({severity, check, offset, std::move(message)});
}

}  // namespace verify
}  // namespace stubpack
