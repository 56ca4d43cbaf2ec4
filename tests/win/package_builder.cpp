#include "package_builder.h"

#include <cstring>

std::string TestPackage::Build() const {
    std::string bytes(stubLength, '\0');
    bytes[0] = 'M';
    bytes[1] = 'Z';
    std::memcpy(&bytes[package::kLfanewOffset], &lfanew, 4);
    if (lfanew >= 0 && static_cast<std::size_t>(lfanew) + package::kNtHeadersSize <= stubLength) {
        bytes[lfanew] = 'P';
        bytes[lfanew + 1] = 'E';
        std::memcpy(&bytes[lfanew + package::kCertTableSizeOffset], &certTableSize, 4);
    }
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
        bytes.append(reinterpret_cast<const char*>(&h), sizeof h);
        bytes += r.data;
    }
    bytes.append(static_cast<std::size_t>(package::AlignmentPadding(bytes.size())), '\0');
    package::PackageTrailer t = package::MakeTrailer(stubLength, "UnPackFile.exe", 14);
    if (trailerSizeOverride >= 0) t.size = static_cast<std::uint64_t>(trailerSizeOverride);
    bytes.append(reinterpret_cast<const char*>(&t), sizeof t);
    if (certTableSize > 0) bytes.append(static_cast<std::size_t>(certTableSize), '\xCC');
    return bytes;
}
