// stubpack extract: writes the files that the stub would leave in its working directory into DIR,
// without running anything.
//
// Same walk as the stub (the verifier's plan), same outcome for duplicate names (the later record
// replaces the earlier file, under the first spelling, as Windows compares names), same names
// (trailing dots and spaces dropped, as Windows does). Where the stub would do something that
// cannot be undone or is unsafe, extract refuses and reports instead, and exits 1:
// - a name the stub refuses (separator, "..", ':', device name, no NUL...) is not written, as the
//   stub skips it too;
// - a record whose data run past the end of the file, which the stub would write short, is not
//   written at all: every file in DIR is complete;
// - a name outside ASCII needs --codepage to be turned into a Linux (UTF-8) name.
// The other files are written. Nothing is written outside DIR: every file is created as a new
// temporary file inside DIR (O_CREAT|O_EXCL|O_NOFOLLOW, relative to DIR's descriptor) and renamed
// over its name inside DIR, which replaces a planted symlink instead of following it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "commands.h"
#include "errors.h"
#include "file_source.h"
#include "package_verifier.h"
#include "progress.h"
#include "text_output.h"

namespace stubpack {

namespace {

// Defence in depth: the verifier has applied the stub's name rules already.
bool IsSafeEntryName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

std::string Label(const PlannedFile& f) {
    return "record " + std::to_string(f.record) + " at offset " + std::to_string(f.headerOffset) + " ('" +
           PrintableName(f.nameBytes.data(), f.nameBytes.size()) + "')";
}

}  // namespace

int RunExtract(const ExtractOptions& options) {
    FileSource package(options.packagePath);
    VerifyOptions verifyOptions;
    verifyOptions.codePage = options.codePage;
    const VerifyReport report = VerifyPackage(package, verifyOptions);
    if (report.layout.result != package::LocateResult::Found)
        throw InputError(options.packagePath,
                         std::string("no package found: ") + package::Describe(report.layout.result));
    if (report.files.empty()) throw InputError(options.packagePath, "the package holds no file records");

    std::map<std::size_t, std::string> finalName;  // record -> name on disk
    for (const FinalFile& f : FinalFiles(report)) finalName[f.data->record] = f.name;

    const OutputDirectory dir(options.directory, true);
    const std::string& pkg = options.packagePath;
    std::size_t refused = 0;
    auto refuse = [&](const PlannedFile& f, const std::string& why) {
        std::fprintf(stderr, "stubpack: %s: %s: not written: %s\n", pkg.c_str(), Label(f).c_str(), why.c_str());
        ++refused;
    };

    for (const PlannedFile& f : report.files) {
        if (f.dataOffset - f.headerOffset < package::kHeaderSize) {
            refuse(f, "the file ends inside its header");
        } else if (f.pathTooLong) {
            refuse(f, "the name is too long for a path under any working directory (the stub cannot "
                      "create it either)");
        } else if (!f.written) {
            refuse(f, std::string(package::Describe(f.nameProblem)) + " (the stub skips it too)");
        } else if (f.storedName.empty()) {
            refuse(f, options.codePage == 0
                          ? "the name holds bytes outside ASCII: give the code page of the target "
                            "machines with --codepage N"
                          : "the name cannot be decoded in code page " + std::to_string(options.codePage));
        } else if (f.replacedBy != 0) {
            std::fprintf(stderr, "stubpack: %s: warning: %s is replaced by record %zu of the same name, "
                                 "as the stub does\n", pkg.c_str(), Label(f).c_str(), f.replacedBy);
        } else if (!f.complete) {
            refuse(f, "its data run past the end of the file (" + std::to_string(f.available) + " of " +
                          std::to_string(f.size) + " bytes): the stub would write it short");
        } else {
            const std::string& name = finalName.at(f.record);
            if (!IsSafeEntryName(name)) {
                refuse(f, "unsafe name");
                continue;
            }
            const std::string shown = dir.Entry(name);
            try {
                AtomicOutputFile out(dir, name);
                Progress progress("extracting " + name, f.size);
                if (out.CopyFrom(package, f.dataOffset, f.size, &progress) != f.size)
                    throw InputError(pkg, "the file ended early (was it changed while reading?)");
                out.Commit(0644);
            } catch (const InputError& e) {
                // One file that cannot be stored here (a name too long for this file system, a
                // directory in the way, a full disk) does not stop the others.
                refuse(f, e.what());
                continue;
            }
            std::printf("%s (%" PRIu64 " bytes)\n", shown.c_str(), f.size);
        }
    }
    if (refused) {
        std::fprintf(stderr, "stubpack: %s: %zu of %zu records not written\n", pkg.c_str(), refused,
                     report.files.size());
        return kExitBadInput;
    }
    return kExitOk;
}

}  // namespace stubpack
