#include "file_set.h"

#include <cstdio>
#include <iterator>

#include "package/package_format.h"
#include "package/record_name.h"
#include "text_output.h"

namespace e2e {

std::string StoredName(const std::string& name) {
    return name.substr(0, package::StoredNameLength(name.data(), name.size()));
}

std::string NameKey(const std::string& name) {
    std::string key = StoredName(name);
    for (char& c : key)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return key;
}

namespace {

void Add(FileSet& set, const std::string& name, const std::string& data, bool replaces) {
    const std::string key = NameKey(name);
    auto found = set.files.find(key);
    if (found == set.files.end()) {
        set.files[key] = {StoredName(name), data};
    } else if (replaces) {
        found->second.data = data;  // the first spelling stays
    } else {
        set.ambiguous = true;
    }
}

}  // namespace

FileSet IntendedSet(const mutants::Mutant& mutant) {
    FileSet set;
    for (const auto& f : mutant.intended) {
        Add(set, f.name, f.data, false);
        set.partial = set.partial || !f.whole;
    }
    return set;
}

FileSet VerifiedSet(const VerifyVerdict& verdict, const std::string& bytes) {
    FileSet set;
    for (const auto& f : verdict.files) {
        if (!f.written) continue;
        const std::uint64_t nameAt = f.headerOffset + 24;
        std::string field = nameAt < bytes.size() ? bytes.substr(nameAt, package::kNameFieldSize) : "";
        field = field.substr(0, field.find('\0'));
        const std::string data = f.dataOffset < bytes.size() ? bytes.substr(f.dataOffset, f.size) : "";
        Add(set, field, data, true);
    }
    return set;
}

FileSet ExtractedSet(const CapturedRun& run) {
    FileSet set;
    for (const auto& f : run.files)
        Add(set, f.ansiName.empty() ? "<not ANSI>" + f.utf8Name : f.ansiName, f.data, false);
    return set;
}

FileSet WithoutNamesOver(const FileSet& set, std::size_t maxLength) {
    FileSet out = set;
    for (auto it = out.files.begin(); it != out.files.end();)
        it = it->second.name.size() > maxLength ? out.files.erase(it) : std::next(it);
    return out;
}

std::vector<std::string> Differences(const FileSet& expected, const FileSet& actual) {
    std::vector<std::string> out;
    for (const auto& [key, want] : expected.files) {
        const auto got = actual.files.find(key);
        if (got == actual.files.end())
            out.push_back("missing '" + stubpack::PrintableName(want.name.data(), want.name.size()) + "'");
        else if (got->second.data != want.data)
            out.push_back("differs '" + stubpack::PrintableName(want.name.data(), want.name.size()) + "' (size " +
                          std::to_string(got->second.data.size()) + ", expected " +
                          std::to_string(want.data.size()) + ")");
    }
    for (const auto& [key, got] : actual.files)
        if (!expected.files.count(key)) out.push_back("extra '" + stubpack::PrintableName(got.name.data(), got.name.size()) + "'");
    return out;
}

}  // namespace e2e
