// stubpack verify, as pure code over a byte source: checks a package executable the way the stub
// will read it, and says for each record what the stub will write. No file system, no output:
// the verify and extract commands render and act on the report, and tests and fuzzers call
// VerifyPackage on memory images.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "package/package_reader.h"
#include "package/record_name.h"

namespace stubpack {

enum class Severity {
    Error,    // the stub will not extract every file as packed, or the file is not a sound package
    Warning,  // a field the stub does not read is inconsistent, or something will bite later
};

// One problem at one place in the file.
struct Finding {
    Severity severity = Severity::Error;
    // A stable identifier of the check, for JSON readers and tests. Errors: pe-header,
    // certificate-table, signer-padding, no-package, no-records, record-header, record-data,
    // record-past-trailer, swallowed-records, swallowed-padding, name, name-length, unread-bytes,
    // stub-image, truncated, appended-data. Warnings: index, running-total, count, trailer,
    // name-padding, name-code-page, name-trailing, name-length (fits only under a short temporary
    // directory), duplicate-name, alignment (and stub-image when the section table cannot be read).
    std::string check;
    std::uint64_t offset = 0;  // file offset the message is about
    std::string message;       // one line, without the file name or the offset
};

// A record met by the stub's walk and what the stub does with it.
struct PlannedFile {
    std::size_t record = 0;            // 1-based position in the walk
    std::uint64_t headerOffset = 0;
    std::uint64_t dataOffset = 0;      // first data byte (headerOffset + 284)
    std::uint64_t size = 0;            // the header's size field
    std::uint64_t available = 0;       // of size, the bytes that lie inside the file
    std::string nameBytes;             // the name field up to its NUL, at most 260 bytes
    std::string utf8Name;              // the name decoded (see VerifyOptions); empty if it cannot be
    std::string storedName;            // utf8Name as Windows stores it: trailing dots and spaces dropped
    package::NameProblem nameProblem = package::NameProblem::None;
    bool written = false;      // the stub accepts the name and writes this file
    bool pathTooLong = false;  // the name is acceptable but makes every possible path exceed MAX_PATH
    bool complete = false;     // the header and all size data bytes are inside the file
    bool pastTrailer = false;  // the data reaches into the trailer or past it (the stub copies those bytes)
    std::size_t replacedBy = 0;  // record number of a later written file with the same name; 0: none
};

struct VerifyOptions {
    // The ANSI code page of the machines that will run the package (as for create --codepage).
    // 0: names outside ASCII are checked as bytes only and cannot be decoded.
    unsigned codePage = 0;
};

struct VerifyReport {
    package::PackageLayout layout;  // the stub's view: trailer, records, walk end
    bool isSigned = false;          // certificate table size > 0 in the PE headers
    bool imageEndKnown = false;
    std::uint64_t imageEnd = 0;     // where the stub's PE image ends (its last section's raw data)
    std::vector<Finding> findings;  // in the order found
    std::vector<PlannedFile> files; // every record of the stub's walk, in walk order

    // The answer to "will the stub extract every file byte-identically?": it finds the package,
    // walks from the trailer's offset record by record to the trailer (0-7 zero bytes of
    // alignment before it), every record's header and data lie inside the file and before the
    // trailer, no record's data takes in the next record or the alignment where the packer put
    // them, it accepts every name, and every name fits a path under some temporary directory
    // (a warning says when only a short one will do). Duplicate names still count as extracted
    // (the later file replaces the earlier, which is a warning). Whenever this is false there
    // is an error.
    bool stubExtractsEveryFile = false;

    std::size_t Errors() const;
    std::size_t Warnings() const;
    bool Passed() const { return Errors() == 0; }
};

VerifyReport VerifyPackage(package::ByteSource& source, const VerifyOptions& options = {});

// The files that the stub leaves in its directory: one per name as Windows compares names
// (without case as the file system compares them, trailing dots and spaces dropped; names
// outside ASCII only when decoded with the code page), the data of the last written
// record with that name under the spelling of the first, in the order the final versions are
// written. Includes files the stub would write short (complete == false).
struct FinalFile {
    const PlannedFile* data;  // the record whose data the file ends up with
    std::string name;         // the name the file has on disk (UTF-8; the first record's spelling)
};
std::vector<FinalFile> FinalFiles(const VerifyReport& report);

}  // namespace stubpack
