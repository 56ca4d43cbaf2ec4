// libFuzzer target: stubpack verify's checks over arbitrary bytes. Besides memory errors (under
// the sanitizers), it stops on a verdict that contradicts itself: a walk that fails without an
// error, or a final file the stub would not write completely under an accepted name.
#include <cstddef>
#include <cstdint>

#include "package/record_name.h"
#include "package_verifier.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    package::MemorySource source(data, size);
    const stubpack::VerifyReport report = stubpack::VerifyPackage(source);
    if (!report.stubExtractsEveryFile && report.Errors() == 0) __builtin_trap();
    for (const stubpack::FinalFile& f : stubpack::FinalFiles(report)) {
        if (f.name.empty() || !f.data->written) __builtin_trap();
        if (package::CheckRecordName(f.name.data(), f.name.size()) != package::NameProblem::None) __builtin_trap();
        if (report.stubExtractsEveryFile && (!f.data->complete || f.data->pastTrailer)) __builtin_trap();
    }
    return 0;
}
