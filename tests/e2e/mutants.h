// Seeded hostile variants of a valid package executable. Only the package bytes change (from the
// end of the stub onward): a damaged stub or PE header gives a file Windows will not start at all.
// Pure code, no Wine: the same corpus seed, family and index always give the same bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace mutants {

// One file of the valid package, as it was packed.
struct Record {
    std::uint64_t headerOffset = 0;
    std::uint64_t dataOffset = 0;
    std::uint64_t size = 0;
    std::string name;
    std::string data;
};

// A package executable made by stubpack create, and where its parts lie.
struct Base {
    std::string bytes;
    std::uint64_t stubLength = 0;  // the first record starts here
    std::uint64_t trailerOffset = 0;
    std::vector<Record> records;
};

// Reads the layout of a package that stubpack made from files (in that order) and a stub of
// stubLength bytes; throws when the bytes do not have the expected layout.
Base DescribeBase(std::string bytes, std::uint64_t stubLength,
                  const std::vector<std::pair<std::string, std::string>>& files);

// The files of the base package for a corpus seed: sizes around the 1024-byte copy block,
// including an empty file, and names that differ from each other in each of their first four
// characters, so that no mutant with up to three flipped bits gives one file another's name.
std::vector<std::pair<std::string, std::string>> BaseFiles(std::uint64_t seed);

enum class Family {
    DataFlip,        // bits flipped in one file's data
    HeaderFlip,      // bits flipped in one record header
    TrailerFlip,     // bits flipped in the trailer
    Truncate,        // the file cut short anywhere after the stub
    CutKeepTrailer,  // records cut short, the trailer kept at the new end
    Count,           // one record's count replaced
    Size,            // one record's size replaced
    FirstOffset,     // the trailer's first-record offset replaced
    LongName,        // a long, full-field or unterminated name
    UnsafeName,      // a name that points outside the working directory or is no file name
};

const std::vector<Family>& AllFamilies();
const char* FamilyName(Family family);
// How many mutants of a family a corpus holds (heavy: the larger corpus).
std::size_t FamilySize(Family family, bool heavy);

// What a file of the package should be once extracted: the name its record holds now (up to
// its NUL, at most 260 bytes) and the data at the place the packer put it. Records whose
// header was cut away are not intended any more.
struct IntendedFile {
    std::size_t record = 0;  // 0-based position in the base package
    std::string name;
    std::string data;
    bool intact = false;     // header and data bytes exactly as packed, at the same offsets
    bool whole = false;      // header and data lie before the trailer: the record can come out
};

struct Mutant {
    Family family = Family::DataFlip;
    std::size_t index = 0;
    std::uint64_t seed = 0;
    std::string id;    // "family#index", for replay with the corpus seed
    std::string what;  // what was changed, for the failure message
    std::string bytes;
    std::vector<IntendedFile> intended;
    // Records before this one (0-based) are walked exactly as packed: the trailer still leads to
    // the first record, and no count or size before it changed and no cut lies before its end.
    std::size_t walkedAsPacked = 0;
};

// Names that must never become a file outside the working directory, with the Windows form of a
// directory the test watches (canaryDir, without a trailing backslash) used in absolute paths.
std::vector<std::string> UnsafeNames(const std::string& canaryDir);

Mutant Make(const Base& base, Family family, std::size_t index, std::uint64_t corpusSeed,
            const std::string& canaryDir);

// Fills in intended and walkedAsPacked by comparing the mutant's bytes with the base.
void Describe(const Base& base, Mutant& mutant);

}  // namespace mutants
