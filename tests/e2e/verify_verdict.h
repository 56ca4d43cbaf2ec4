// stubpack verify --json on a package, reduced to what the corpus compares with the real stub:
// the verdicts and, for each record of the stub's walk as the verifier sees it, where its data
// lies and whether the stub writes it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace e2e {

struct VerifiedFile {
    std::uint64_t headerOffset = 0;
    std::uint64_t dataOffset = 0;
    std::uint64_t size = 0;
    bool written = false;
    bool complete = false;
    std::size_t replacedBy = 0;
};

struct VerifyVerdict {
    bool parsed = false;    // the JSON had the fields this reads
    int exitCode = -1;
    bool ok = false;        // "ok": no errors
    bool everyFile = false; // "stubExtractsEveryFile"
    std::vector<VerifiedFile> files;
    std::vector<std::string> warnings;  // the check of each warning, such as "index"
    std::string json;
};

VerifyVerdict RunVerifyJson(const std::string& package, unsigned codePage);

}  // namespace e2e
