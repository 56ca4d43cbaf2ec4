// stubpack create: the stub, one record per input file in the order given, alignment padding so
// that the trailer ends on an 8-byte boundary, then the trailer.
#include "commands.h"

#include <sys/stat.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "errors.h"
#include "file_source.h"
#include "name_key.h"
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

#ifdef _WIN32
const char kSeparators[] = "/\\";  // and a drive's colon: "C:setup.msi" is setup.msi in C:'s directory
#else
const char kSeparators[] = "/";
#endif

std::size_t LastSeparator(const std::string& path) {
    std::size_t at = path.find_last_of(kSeparators);
#ifdef _WIN32
    if (at == std::string::npos && path.size() >= 2 && path[1] == ':') at = 1;
#endif
    return at;
}

std::string DirectoryOf(const std::string& path) {
    const auto slash = LastSeparator(path);
    if (slash == std::string::npos) return ".";
    if (slash == 0 || (slash == 1 && path[1] == ':') || (slash == 2 && path[1] == ':'))
        return path.substr(0, slash + 1);  // a root: "/", "C:", "C:\"
    return path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
    const auto slash = LastSeparator(path);
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Two inputs that the stub would write to one file: the later would silently replace the earlier.
// The names are compared as verify compares the records' names, decoded from the stored bytes.
void RefuseSharedNames(const std::vector<Input>& inputs, unsigned codePage) {
    std::map<std::u16string, const Input*> seen;  // name key -> first input with it
    for (const Input& input : inputs) {
        std::string utf8;
        std::u16string units;
        // Cannot fail: the name was encoded in this code page.
        if (!DecodeRecordName(input.recordName, codePage, &utf8, &units)) continue;
        const auto found = seen.emplace(WindowsNameKey(utf8), &input);
        if (found.second) continue;
        const Input& first = *found.first->second;
        const std::string firstName = BaseName(first.path), name = BaseName(input.path);
        std::string shared =
            name == firstName ? "'" + name + "'" : "'" + name + "' is '" + firstName + "' on Windows";
        if (SameFile(first.path, input.path)) shared += ", the same file given twice";
        throw InputError(input.path, "has the same name as " + first.path + " (" + shared +
                                         "): the stub would replace that file with this one");
    }
}

// A file that ends before its length was copied changed while packing: nothing is written.
void CopyWhole(AtomicOutputFile& out, const FileSource& source, std::uint64_t n, Progress* progress) {
    if (out.CopyFrom(source, 0, n, progress) != n)
        throw InputError(source.Path(), "file ended early (was it changed while packing?)");
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
    RefuseSharedNames(inputs, options.codePage);

    const OutputDirectory outputDirectory(DirectoryOf(options.outputPath), false);
    AtomicOutputFile out(outputDirectory, BaseName(options.outputPath));
    CopyWhole(out, stub, image.length, nullptr);

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
        CopyWhole(out, *input.file, size, &progress);
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
