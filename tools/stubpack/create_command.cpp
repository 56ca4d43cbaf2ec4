// stubpack create: the stub, one record per input file in the order given, alignment padding so
// that the trailer ends on an 8-byte boundary, then the trailer.
#include "commands.h"

#include <sys/stat.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "errors.h"
#include "file_source.h"
#include "package/package_format.h"
#include "pe_stub.h"
#include "progress.h"
#include "record_names.h"

namespace stubpack {

namespace {

struct Input {
    std::string path;
    std::string recordName;
    std::unique_ptr<FileSource> file;
};

std::string DirectoryOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A file that ends before its length was copied changed while packing: nothing is written.
void CopyWhole(AtomicOutputFile& out, int sourceFd, std::uint64_t n, const std::string& sourceName,
               Progress* progress) {
    if (out.CopyFrom(sourceFd, 0, n, sourceName, progress) != n)
        throw InputError(sourceName, "file ended early (was it changed while packing?)");
}

}  // namespace

int RunCreate(const CreateOptions& options) {
    FileSource stub(options.stubPath);
    const StubImage image = CheckStubImage(stub, options.stubPath.c_str());

    if (SameFile(options.outputPath, options.stubPath))
        throw InputError(options.outputPath, "the output would overwrite the stub");

    // Every input is checked before anything is written.
    std::vector<Input> inputs;
    for (const std::string& path : options.files) {
        if (SameFile(options.outputPath, path))
            throw InputError(options.outputPath, "the output would overwrite an input file");
        Input input;
        input.path = path;
        input.file = std::make_unique<FileSource>(path);
        input.recordName = EncodeRecordName(BaseName(path), options.codePage, path);
        inputs.push_back(std::move(input));
    }
    if (inputs.size() > 0x7FFFFFFF) throw UsageError("too many files");

    const OutputDirectory outputDirectory(DirectoryOf(options.outputPath), false);
    AtomicOutputFile out(outputDirectory, BaseName(options.outputPath));
    CopyWhole(out, stub.Descriptor(), image.length, options.stubPath, nullptr);

    const auto count = static_cast<std::uint32_t>(inputs.size());
    std::uint64_t runningTotal = 0;
    for (std::uint32_t k = 0; k < count; ++k) {
        const Input& input = inputs[k];
        const std::uint64_t size = input.file->Length();
        runningTotal += size;
        const package::PackageRecordHeader header = package::MakeFileRecord(
            count, k + 1, size, runningTotal, input.recordName.data(), input.recordName.size());
        out.Write(&header, sizeof header);
        Progress progress("packing " + input.path, size);
        CopyWhole(out, input.file->Descriptor(), size, input.path, &progress);
    }

    static const char zeros[package::kTrailerAlignment] = {};
    out.Write(zeros, static_cast<std::size_t>(package::AlignmentPadding(out.Position())));

    const std::string stubName = BaseName(options.stubPath);
    const package::PackageTrailer trailer =
        package::MakeTrailer(image.length, stubName.data(), stubName.size());
    out.Write(&trailer, sizeof trailer);
    out.Commit(0755);
    return kExitOk;
}

}  // namespace stubpack
