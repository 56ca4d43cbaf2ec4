// Sets of extracted files keyed the way Windows compares names (trailing dots and spaces
// dropped, ASCII letters without case), built from what a package should give, from what
// stubpack verify says the stub writes, and from what the stub really wrote.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "mutants.h"
#include "verify_verdict.h"
#include "work_dir_capture.h"

namespace e2e {

struct NamedData {
    std::string name;  // 8-bit, as in the package
    std::string data;
};

struct FileSet {
    std::map<std::string, NamedData> files;
    bool ambiguous = false;  // two entries had the same name: which one wins is not this set's call
    bool partial = false;    // a file was cut short in the package: the set cannot come out as it is
};

std::string StoredName(const std::string& name);  // without trailing dots and spaces
std::string NameKey(const std::string& name);

// The files the package should give: every intended file that was not cut away (partial when
// one of them was cut short).
FileSet IntendedSet(const mutants::Mutant& mutant);
// What verify says the stub leaves: each written record's data in the package, a later record
// replacing an earlier one of the same name.
FileSet VerifiedSet(const VerifyVerdict& verdict, const std::string& packageBytes);
// What the stub wrote (a name with no ANSI form is kept under its UTF-8 form, marked).
FileSet ExtractedSet(const CapturedRun& run);

// The set without the files whose names are longer than maxLength bytes.
FileSet WithoutNamesOver(const FileSet& set, std::size_t maxLength);

// "missing NAME", "extra NAME", "differs NAME (size A, expected B)"; empty when equal.
std::vector<std::string> Differences(const FileSet& expected, const FileSet& actual);

}  // namespace e2e
