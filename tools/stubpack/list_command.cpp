// stubpack list: the package's layout, found exactly the way the stub finds it.
#include <cinttypes>
#include <cstdio>
#include <string>

#include "commands.h"
#include "errors.h"
#include "file_source.h"
#include "package/package_reader.h"
#include "text_output.h"

namespace stubpack {

namespace {

using package::PackageRecordHeader;

void PrintRow(std::uint64_t offset, const PackageRecordHeader& h, const char* note) {
    const std::string name = PrintableName(h.name, package::NameLength(h));
    std::printf("%-14" PRIu64 " %-6" PRIu32 " %-6" PRIu32 " %-14" PRIu64 " %-14" PRIu64 " %s%s\n",
                offset, h.count, h.index, h.size, h.runningTotal, name.c_str(), note);
}

std::string JsonRecord(std::uint64_t offset, const PackageRecordHeader& h) {
    char numbers[160];
    std::snprintf(numbers, sizeof numbers,
                  "{\"offset\": %" PRIu64 ", \"count\": %" PRIu32 ", \"index\": %" PRIu32
                  ", \"size\": %" PRIu64 ", \"runningTotal\": %" PRIu64 ", \"name\": ",
                  offset, h.count, h.index, h.size, h.runningTotal);
    return numbers + JsonString(h.name, package::NameLength(h)) + "}";
}

bool IsSigned(const package::PackageLayout& layout) { return layout.certTableSize > 0; }

void PrintJson(const std::string& path, const package::PackageLayout& layout) {
    std::printf("{\n  \"file\": %s,\n  \"length\": %" PRIu64 ",\n", JsonString(path).c_str(),
                layout.fileLength);
    if (IsSigned(layout))
        std::printf("  \"certificateTable\": %s,\n", JsonCertificateTable(layout).c_str());
    else
        std::printf("  \"certificateTable\": null,\n");
    std::printf("  \"records\": [");
    for (std::size_t i = 0; i < layout.records.size(); ++i)
        std::printf("%s\n    %s", i ? "," : "",
                    JsonRecord(layout.records[i].offset, layout.records[i].header).c_str());
    std::printf("%s],\n  \"trailer\": %s\n}\n", layout.records.empty() ? "" : "\n  ",
                JsonRecord(layout.trailerOffset, layout.trailer).c_str());
}

void PrintTable(const std::string& path, const package::PackageLayout& layout) {
    std::printf("%s: %" PRIu64 " bytes, stub %" PRIu64 " bytes, %zu file record%s\n", path.c_str(),
                layout.fileLength, layout.trailer.size, layout.records.size(),
                layout.records.size() == 1 ? "" : "s");
    std::printf("%-14s %-6s %-6s %-14s %-14s %s\n", "offset", "count", "index", "size",
                "runningTotal", "name");
    for (const auto& record : layout.records) {
        const bool shortData = record.dataBytesAvailable < record.header.size ||
                               record.headerBytesRead < package::kHeaderSize;
        PrintRow(record.offset, record.header, shortData ? "  (truncated)" : "");
    }
    PrintRow(layout.trailerOffset, layout.trailer, "  (trailer)");
    if (IsSigned(layout)) {
        // Where the PE headers put it; and, when that is elsewhere, where the stub looks for it.
        const std::uint64_t expected = layout.trailerOffset + package::kHeaderSize;
        std::printf("certificate table: %" PRId32 " bytes at offset %" PRIu32, layout.certTableSize,
                    layout.certTableAddress);
        if (layout.certTableAddress != expected)
            std::printf(" (the stub expects it at offset %" PRIu64 ")", expected);
        std::printf("\n");
    } else
        std::printf("certificate table: none (unsigned)\n");
}

}  // namespace

int RunList(const ListOptions& options) {
    FileSource file(options.packagePath);
    const package::PackageLayout layout = package::ReadPackageLayout(file);
    if (layout.result != package::LocateResult::Found)
        throw InputError(options.packagePath,
                         std::string("no package found: ") + package::Describe(layout.result));
    if (options.json) PrintJson(options.packagePath, layout);
    else PrintTable(options.packagePath, layout);
    return kExitOk;
}

}  // namespace stubpack
