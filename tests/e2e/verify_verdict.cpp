#include "verify_verdict.h"

#include <regex>
#include <sstream>

#include "support.h"

namespace e2e {

VerifyVerdict RunVerifyJson(const std::string& package, unsigned codePage) {
    const RunResult r = Stubpack({"verify", "--json", "--codepage", std::to_string(codePage), package});
    VerifyVerdict v;
    v.exitCode = r.exitCode;
    v.json = r.out;
    std::smatch m;
    const std::regex ok("\n  \"ok\": (true|false),\n  \"stubExtractsEveryFile\": (true|false),");
    if (!std::regex_search(r.out, m, ok)) return v;
    v.ok = m[1] == "true";
    v.everyFile = m[2] == "true";
    // One record a line; the name, which may hold anything, is skipped over.
    const std::regex file(
        "^    \\{\"record\": \\d+, \"offset\": (\\d+), \"dataOffset\": (\\d+), \"size\": (\\d+), "
        "\"name\": .*, \"written\": (true|false), \"complete\": (true|false), \"replacedBy\": (\\d+)\\},?$");
    const std::regex warning("^    \\{\"severity\": \"warning\", \"check\": \"([a-z-]+)\",");
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);) {
        if (std::regex_search(line, m, warning)) v.warnings.push_back(m[1]);
        if (!std::regex_match(line, m, file)) continue;
        VerifiedFile f;
        f.headerOffset = std::stoull(m[1]);
        f.dataOffset = std::stoull(m[2]);
        f.size = std::stoull(m[3]);
        f.written = m[4] == "true";
        f.complete = m[5] == "true";
        f.replacedBy = std::stoul(m[6]);
        v.files.push_back(f);
    }
    v.parsed = true;
    return v;
}

}  // namespace e2e
