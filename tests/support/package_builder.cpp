#include "package_builder.h"

#include <cstring>

namespace testsupport {

namespace {

std::string HeaderBlock(std::size_t length, std::int32_t lfanew, std::int32_t certTableSize) {
    std::string bytes(length, '\0');
    bytes[0] = 'M';
    bytes[1] = 'Z';
    std::memcpy(&bytes[package::kLfanewOffset], &lfanew, sizeof lfanew);
    if (lfanew >= 0 && static_cast<std::size_t>(lfanew) + package::kNtHeadersSize <= length) {
        bytes[lfanew] = 'P';
        bytes[lfanew + 1] = 'E';
        std::memcpy(&bytes[lfanew + package::kCertTableSizeOffset], &certTableSize, sizeof certTableSize);
    }
    return bytes;
}

void AppendHeader(std::string& bytes, const package::PackageRecordHeader& header) {
    bytes.append(reinterpret_cast<const char*>(&header), sizeof header);
}

}  // namespace

BuiltPackage TestPackage::BuildWithOffsets() const {
    BuiltPackage built;
    std::string& bytes = built.bytes;
    bytes = stub.empty() ? HeaderBlock(stubLength, lfanew, certTableSize) : stub;
    const std::uint64_t stubSize = bytes.size();
    std::uint64_t total = 0;
    for (std::size_t k = 0; k < records.size(); ++k) {
        const TestRecord& r = records[k];
        const std::uint64_t size = r.sizeOverride >= 0 ? static_cast<std::uint64_t>(r.sizeOverride)
                                                       : r.data.size();
        total += size;
        const auto count = static_cast<std::uint32_t>(r.countOverride >= 0 ? r.countOverride
                                                                            : records.size());
        package::PackageRecordHeader h = package::MakeFileRecord(
            count, static_cast<std::uint32_t>(k + 1), size, total, r.name.data(), r.name.size());
        if (r.rawName) std::memcpy(h.name, r.name.data(), package::kNameFieldSize);
        built.recordOffsets.push_back(bytes.size());
        AppendHeader(bytes, h);
        bytes += r.data;
    }
    if (align) bytes.append(static_cast<std::size_t>(package::AlignmentPadding(bytes.size())), '\0');
    package::PackageTrailer t = package::MakeTrailer(stubSize, trailerName.data(), trailerName.size());
    if (trailerSizeOverride >= 0) t.size = static_cast<std::uint64_t>(trailerSizeOverride);
    built.trailerOffset = bytes.size();
    AppendHeader(bytes, t);
    if (certTableSize > 0) bytes.append(static_cast<std::size_t>(certTableSize), '\xCC');
    return built;
}

}  // namespace testsupport
