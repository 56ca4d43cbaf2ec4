// stubpack verify: the verifier's report as text (one line per problem) or JSON, and the exit
// status: 0 when the stub will extract every file and nothing else is wrong, 1 otherwise.
#include <cinttypes>
#include <cstdio>
#include <string>

#include "commands.h"
#include "errors.h"
#include "file_source.h"
#include "package_verifier.h"
#include "text_output.h"

namespace stubpack {

namespace {

const char* SeverityName(Severity s) { return s == Severity::Error ? "error" : "warning"; }

std::string Count(std::size_t n, const char* word) {
    return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

void PrintText(const std::string& path, const VerifyReport& report) {
    for (const Finding& f : report.findings)
        std::printf("%s: %s at offset %" PRIu64 ": %s\n", path.c_str(), SeverityName(f.severity),
                    f.offset, f.message.c_str());
    if (report.Passed()) {
        std::string how = report.isSigned
                              ? "signed, certificate table of " +
                                    std::to_string(report.layout.certTableSize) + " bytes at " +
                                    std::to_string(report.layout.certTableAddress)
                              : "unsigned";
        if (report.Warnings()) how += ", " + Count(report.Warnings(), "warning");
        std::printf("%s: OK: the stub will extract all %s (%s)\n", path.c_str(),
                    Count(report.files.size(), "file").c_str(), how.c_str());
    } else {
        std::printf("%s: FAILED: %s, %s\n", path.c_str(), Count(report.Errors(), "error").c_str(),
                    Count(report.Warnings(), "warning").c_str());
    }
}

void PrintJson(const std::string& path, const VerifyReport& report) {
    const auto& layout = report.layout;
    std::printf("{\n  \"file\": %s,\n  \"length\": %" PRIu64 ",\n", JsonString(path).c_str(),
                layout.fileLength);
    std::printf("  \"ok\": %s,\n  \"stubExtractsEveryFile\": %s,\n", report.Passed() ? "true" : "false",
                report.stubExtractsEveryFile ? "true" : "false");
    std::printf("  \"errors\": %zu,\n  \"warnings\": %zu,\n", report.Errors(), report.Warnings());
    if (report.isSigned)
        std::printf("  \"certificateTable\": %s,\n", JsonCertificateTable(layout).c_str());
    else
        std::printf("  \"certificateTable\": null,\n");
    if (layout.hasTrailer)
        std::printf("  \"trailer\": {\"offset\": %" PRIu64 ", \"firstRecord\": %" PRIu64 "},\n",
                    layout.trailerOffset, layout.trailer.size);
    else
        std::printf("  \"trailer\": null,\n");

    std::printf("  \"findings\": [");
    for (std::size_t i = 0; i < report.findings.size(); ++i) {
        const Finding& f = report.findings[i];
        std::printf("%s\n    {\"severity\": \"%s\", \"check\": %s, \"offset\": %" PRIu64 ", \"message\": %s}",
                    i ? "," : "", SeverityName(f.severity), JsonString(f.check).c_str(), f.offset,
                    JsonString(f.message).c_str());
    }
    std::printf("%s],\n", report.findings.empty() ? "" : "\n  ");

    std::printf("  \"files\": [");
    for (std::size_t i = 0; i < report.files.size(); ++i) {
        const PlannedFile& f = report.files[i];
        std::printf("%s\n    {\"record\": %zu, \"offset\": %" PRIu64 ", \"dataOffset\": %" PRIu64
                    ", \"size\": %" PRIu64 ", \"name\": %s, \"written\": %s, \"complete\": %s, "
                    "\"replacedBy\": %zu}",
                    i ? "," : "", f.record, f.headerOffset, f.dataOffset, f.size,
                    JsonString(f.nameBytes).c_str(), f.written ? "true" : "false",
                    f.complete ? "true" : "false", f.replacedBy);
    }
    std::printf("%s]\n}\n", report.files.empty() ? "" : "\n  ");
}

}  // namespace

int RunVerify(const VerifyCommandOptions& options) {
    FileSource file(options.packagePath);
    VerifyOptions verifyOptions;
    verifyOptions.codePage = options.codePage;
    const VerifyReport report = VerifyPackage(file, verifyOptions);
    if (options.json) PrintJson(options.packagePath, report);
    else PrintText(options.packagePath, report);
    return report.Passed() ? kExitOk : kExitBadInput;
}

}  // namespace stubpack
