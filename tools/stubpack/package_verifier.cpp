#include "package_verifier.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <utility>

#include "package/package_format.h"
#include "package/record_name.h"
#include "breakage_diagnosis.h"
#include "name_key.h"
#include "pe_stub.h"
#include "record_names.h"
#include "text_output.h"
#include "verify_support.h"

namespace stubpack {

namespace {

using namespace verify;
using package::ByteSource;
using package::kHeaderSize;
using package::LocateResult;
using package::PackageRecordHeader;

// The stub writes each file to <temporary directory>unpack\NAME without a long-path prefix, so
// the whole path must stay within MAX_PATH - 1 = 259 characters. The temporary directory is the
// target machine's: the shortest it can be is a drive root ("C:\"); a profile's, such as
// C:\Users\<user>\AppData\Local\Temp\, is usually well under 64 characters.
constexpr std::size_t kMaxPathUnits = 259;
constexpr std::size_t kWorkDirUnits = 7;  // "unpack\"
constexpr std::size_t kShortestTempUnits = 3;
constexpr std::size_t kUsualTempUnits = 64;

class Verifier {
public:
    Verifier(ByteSource& source, const VerifyOptions& options, VerifyReport& report)
        : source_(source), options_(options), r_(report), layout_(report.layout) {}

    void Run() {
        layout_ = package::ReadPackageLayout(source_);
        r_.isSigned = layout_.certTableSize > 0;
        r_.imageEndKnown = PeImageEnd(source_, &r_.imageEnd);

        if (!CheckPeHeaders()) return;
        CheckCertificateTable();
        if (layout_.result == LocateResult::Found) {
            CheckTrailerFields();
            CheckStubImage();
            CheckRecords();
            CheckWalkEnd();
        } else {
            ReportNoPackage();
        }
        r_.stubExtractsEveryFile = StubExtractsEveryFile();
        if (!r_.stubExtractsEveryFile) DiagnoseBreakage(source_, r_);
        if (r_.stubExtractsEveryFile && !r_.isSigned) CheckAlignmentForSigning();
    }

private:
    void Error(const char* check, std::uint64_t offset, std::string message) {
        AddFinding(r_, Severity::Error, check, offset, std::move(message));
    }
    void Warn(const char* check, std::uint64_t offset, std::string message) {
        AddFinding(r_, Severity::Warning, check, offset, std::move(message));
    }

    // False when nothing further can be read (no PE headers to find the trailer through).
    bool CheckPeHeaders() {
        unsigned char dos[package::kDosHeaderSize] = {};
        const std::size_t got = source_.ReadAt(0, dos, sizeof dos);
        if (got < sizeof dos) {
            Error("pe-header", 0, "the file is " + Plural(layout_.fileLength, "byte") +
                                      " long, too short for a DOS header: not a package executable");
            return false;
        }
        if (dos[0] != 'M' || dos[1] != 'Z')
            Error("pe-header", 0, "no MZ signature: not a Windows executable");
        if (layout_.result == LocateResult::LfanewOutOfRange) {
            Error("pe-header", package::kLfanewOffset,
                  "e_lfanew (" + std::to_string(layout_.lfanew) +
                      ") is negative or beyond the end of the file: the stub finds no package");
            return false;
        }
        const std::uint64_t lfanew = static_cast<std::uint64_t>(layout_.lfanew);
        unsigned char nt[4] = {};
        if (lfanew + package::kNtHeadersSize > layout_.fileLength) {
            Error("pe-header", lfanew, "the PE headers (248 bytes from e_lfanew) run past the end of the file");
        } else if (source_.ReadAt(lfanew, nt, sizeof nt) != sizeof nt ||
                   std::memcmp(nt, "PE\0\0", 4) != 0) {
            Error("pe-header", lfanew, "no PE signature at e_lfanew: not a Windows executable");
        }
        return true;
    }

    std::uint64_t SecurityDirectoryOffset() const {
        return static_cast<std::uint64_t>(layout_.lfanew) + layout_.certTableEntryAt;
    }

    void CheckCertificateTable() {
        const std::int32_t size = layout_.certTableSize;
        const std::uint64_t address = layout_.certTableAddress;
        if (size < 0) {
            Error("certificate-table", SecurityDirectoryOffset() + 4,
                  "the certificate table size (" + std::to_string(size) +
                      ") is negative: the stub takes the file as unsigned, Windows as badly signed");
            return;
        }
        if (size == 0) {
            if (address != 0)
                Warn("certificate-table", SecurityDirectoryOffset(),
                     "the security directory gives a certificate table offset (" + N(address) +
                         ") but size 0: taken as unsigned");
            return;
        }
        const std::uint64_t tableEnd = address + static_cast<std::uint64_t>(size);
        const std::uint64_t length = layout_.fileLength;
        if (address == 0) {
            Error("certificate-table", SecurityDirectoryOffset(),
                  "the security directory gives a certificate table of " + Plural(size, "byte") +
                      " but no offset");
        } else if (tableEnd > length) {
            Error("certificate-table", address,
                  "the certificate table (" + Plural(size, "byte") + " at " + N(address) +
                      ") runs past the end of the file (" + N(length) + "): the file is truncated");
        } else if (tableEnd < length) {
            Error("certificate-table", tableEnd,
                  Plural(length - tableEnd, "byte") + " follow the certificate table (" +
                      Plural(size, "byte") + " at " + N(address) +
                      "), which must end the file: the stub looks for the trailer " +
                      N(length - tableEnd) + " bytes too late (data appended after signing?)");
        }
        // Otherwise the table ends the file, so it begins exactly where the stub takes the trailer
        // to end. Whether the trailer really ends there is for the walk (and Diagnose) to show.
    }

    void ReportNoPackage() {
        switch (layout_.result) {
            case LocateResult::TrailerOutsideFile:
                Error("no-package", SecurityDirectoryOffset() + 4,
                      "the certificate table size (" + std::to_string(layout_.certTableSize) +
                          ") puts the trailer before the start of the file: the stub finds no package");
                break;
            case LocateResult::NoPackage:
                Error("no-package", layout_.trailerOffset,
                      "the trailer (the 284 bytes where the stub looks for it) gives the first record "
                      "at offset 0: the stub finds no package");
                break;
            case LocateResult::HeaderOffsetImplausible:
                Error("no-package", layout_.trailerOffset,
                      "the trailer (the 284 bytes where the stub looks for it) gives the first record "
                      "at " + N(layout_.trailer.size) + ", which is not between the end of the PE "
                      "headers (" + N(static_cast<std::uint64_t>(layout_.lfanew) + package::kNtHeadersSize) +
                      ") and the trailer: the stub finds no package");
                break;
            default:
                break;
        }
    }

    // Fields the stub does not read: only warnings.
    void CheckTrailerFields() {
        const PackageRecordHeader& t = layout_.trailer;
        const std::uint64_t at = layout_.trailerOffset;
        if (t.count != 0)
            Warn("trailer", at, "the trailer's count is " + N(t.count) + ", not 0");
        if (t.index != 1)
            Warn("trailer", at + package::kIndexAt, "the trailer's index is " + N(t.index) + ", not 1");
        if (t.runningTotal != t.size)
            Warn("trailer", at + package::kRunningTotalAt, "the trailer's running total (" + N(t.runningTotal) +
                                         ") differs from its size (" + N(t.size) + ")");
        const std::size_t length = package::NameLength(t);
        if (length == package::kNameFieldSize)
            Warn("trailer", at + package::kNameAt, "the trailer's name field has no NUL");
        else if (length == 0)
            Warn("trailer", at + package::kNameAt, "the trailer's name (the stub's file name) is empty");
        else
            CheckNamePadding(t, at, "the trailer");
    }

    void CheckNamePadding(const PackageRecordHeader& h, std::uint64_t headerOffset, const std::string& what) {
        const std::size_t length = package::NameLength(h);
        for (std::size_t i = length; i < package::kNameFieldSize; ++i) {
            if (h.name[i] != 0) {
                Warn("name-padding", headerOffset + package::kNameAt + i,
                     what + ": the name field holds non-zero bytes after the name's NUL");
                return;
            }
        }
    }

    // The first record should start where the stub's image ends, as stubpack create writes it.
    void CheckStubImage() {
        const std::uint64_t first = layout_.trailer.size;
        if (!r_.imageEndKnown) {
            Warn("stub-image", static_cast<std::uint64_t>(layout_.lfanew),
                 "cannot read the stub's section table to see where its image ends");
            return;
        }
        const std::uint64_t end = r_.imageEnd;
        if (first < end) {
            Error("stub-image", first,
                  "the first record (at " + N(first) + ") lies inside the stub's image, which ends at " +
                      N(end));
        } else if (first > end) {
            std::string message = Plural(first - end, "byte") + " between the end of the stub's image (" +
                                  N(end) + ") and the first record (at " + N(first) +
                                  ") are never read by the stub";
            PackageRecordHeader h;
            if (first - end >= kHeaderSize && ReadHeader(source_, first - kHeaderSize, &h) &&
                LooksLikeTrailer(h))
                message += ": they end with another trailer (at " + N(first - kHeaderSize) +
                           "), so this package was appended to an already packed stub (appended twice)";
            Error("stub-image", end, message);
        }
    }

    void CheckRecords() {
        const auto& records = layout_.records;
        if (records.empty()) {
            PackageRecordHeader h;
            ReadHeader(source_, layout_.trailer.size, &h);
            Error("no-records", layout_.trailer.size,
                  "the first record's count is " + std::to_string(static_cast<std::int32_t>(h.count)) +
                      ": the stub extracts nothing");
            return;
        }
        const std::uint32_t firstCount = records.front().header.count;
        std::uint64_t running = 0;
        std::uint64_t writtenRunning = 0;  // the previous record's running total field
        for (std::size_t i = 0; i < records.size(); ++i) {
            const package::RecordInfo& info = records[i];
            const PackageRecordHeader& h = info.header;
            const std::size_t k = i + 1;
            PlannedFile f;
            f.record = k;
            f.headerOffset = info.offset;
            f.dataOffset = info.offset + info.headerBytesRead;
            f.size = h.size;
            f.available = info.dataBytesAvailable;
            f.nameBytes.assign(h.name, package::NameLength(h));
            f.complete = info.headerBytesRead == kHeaderSize && info.dataBytesAvailable == h.size;
            const std::uint64_t dataEnd = AddSat(f.dataOffset, h.size);
            f.pastTrailer = dataEnd > layout_.trailerOffset;
            const std::string label = RecordLabel(k, h);

            if (info.headerBytesRead < kHeaderSize) {
                Error("record-header", info.offset,
                      "record " + N(k) + ": the file ends inside its header (" +
                          N(info.headerBytesRead) + " of 284 bytes): the file is truncated");
            } else if (info.dataBytesAvailable < h.size) {
                Error("record-data", f.dataOffset,
                      label + ": its " + Plural(h.size, "byte") + " of data run past the end of the file (" +
                          N(layout_.fileLength) + "), " + N(h.size - info.dataBytesAvailable) +
                          " missing: the file is truncated and the stub would write it short");
            } else if (f.pastTrailer) {
                Error("record-past-trailer", info.offset,
                      label + ": its data (" + Plural(h.size, "byte") + " from " + N(f.dataOffset) +
                          ") run " + N(dataEnd - layout_.trailerOffset) +
                          " bytes past the start of the trailer at " + N(layout_.trailerOffset));
            }
            if (info.headerBytesRead == kHeaderSize) {
                CheckName(f, label);
                CheckNamePadding(h, info.offset, label);
                if (h.index != k + 1)
                    Warn("index", info.offset + package::kIndexAt,
                         label + ": index is " + N(h.index) + ", expected " + N(k + 1));
                running = AddSat(running, h.size);
                if (h.runningTotal != running)
                    Warn("running-total", info.offset + package::kRunningTotalAt,
                         label + ": running total is " + N(h.runningTotal) + ", expected " + N(running));
                if (h.count != firstCount)
                    Warn("count", info.offset,
                         label + ": count is " + N(h.count) + ", the first record's is " + N(firstCount));
                if (f.complete) CheckSizeAgainstRunningTotal(f, h, writtenRunning, i + 1 == records.size(), label);
                writtenRunning = h.runningTotal;
            }
            r_.files.push_back(std::move(f));
        }
        const std::uint32_t lastCount = records.back().header.count;
        if (lastCount != records.size() && records.back().headerBytesRead == kHeaderSize &&
            records.back().dataBytesAvailable == records.back().header.size)
            Warn("count", records.back().offset,
                 "the records' count is " + N(lastCount) + " but the stub's walk meets " +
                     Plural(records.size(), "record"));
        MarkDuplicates();
    }

    // A size made larger than the packer wrote can take what follows into this file while the
    // walk still ends cleanly at the trailer: the next records' headers and data, or the last
    // record's alignment bytes. Only the running total, which the stub does not read, tells where
    // the packer ended the record; when the next record's header, or exactly the alignment before
    // the trailer, stands there, the size was changed and the stub writes a wrong file.
    void CheckSizeAgainstRunningTotal(const PlannedFile& f, const PackageRecordHeader& h,
                                      std::uint64_t previousRunning, bool last, const std::string& label) {
        if (h.runningTotal < previousRunning) return;
        const std::uint64_t packedSize = h.runningTotal - previousRunning;
        if (packedSize >= h.size) return;
        const std::uint64_t packedEnd = f.dataOffset + packedSize;
        const std::string sizes =
            label + ": its size is " + N(h.size) + " but its running total gives " + N(packedSize);
        PackageRecordHeader n;
        if (h.index != UINT32_MAX && ReadHeader(source_, packedEnd, &n) && LooksLikeRecord(n, h.index + 1)) {
            sizeChanged_ = true;
            Error("swallowed-records", packedEnd,
                  sizes + ", and the next record (" + Quoted(n.name, package::NameLength(n)) +
                      ") begins there, inside its data: the stub writes that record into this file and "
                      "never extracts it (a changed size?)");
        } else if (last && packedEnd + package::AlignmentPadding(packedEnd) == layout_.trailerOffset) {
            sizeChanged_ = true;
            Error("swallowed-padding", packedEnd,
                  sizes + ", and the " + Plural(h.size - packedSize, "byte") +
                      " after that are the packer's alignment before the trailer: the stub writes them "
                      "at the end of this file (a changed size?)");
        }
    }

    // The path the stub builds must fit in MAX_PATH; how much room the name has depends on the
    // target machine's temporary directory. False when no temporary directory leaves room.
    bool NameFitsAPath(PlannedFile& f, std::size_t units, const std::string& label, std::uint64_t at) {
        const std::size_t room = kMaxPathUnits - kWorkDirUnits;  // for the temporary path and the name
        if (units + kShortestTempUnits > room) {
            Error("name-length", at,
                  label + ": the name is " + N(units) + " characters long: even under the shortest "
                      "working directory (C:\\unpack\\) the path exceeds " + N(kMaxPathUnits) +
                      " characters, so the stub cannot create the file on any machine and skips it");
            f.pathTooLong = true;
            return false;
        }
        if (units + kUsualTempUnits > room) {
            Warn("name-length", at,
                 label + ": the name is " + N(units) + " characters long: the stub can create the file only "
                         "where the temporary directory's path has at most " + N(room - units) +
                         " characters (C:\\Windows\\Temp\\ has 16, a profile's temporary directory "
                         "usually 30-60); elsewhere it skips it");
        }
        return true;
    }

    void CheckName(PlannedFile& f, const std::string& label) {
        const std::uint64_t at = f.headerOffset + package::kNameAt;
        if (f.nameBytes.size() == package::kNameFieldSize) {
            f.nameProblem = package::NameProblem::TooLong;
            Error("name", at, label + ": the name field has no NUL inside its 260 bytes: the stub skips this file");
            return;
        }
        f.nameProblem = package::CheckRecordName(f.nameBytes.data(), f.nameBytes.size());
        if (f.nameProblem != package::NameProblem::None) {
            Error("name", at, label + ": " + package::Describe(f.nameProblem) + ": the stub skips this file");
            return;
        }
        std::u16string units;
        if (DecodeRecordName(f.nameBytes, options_.codePage, &f.utf8Name, &units)) {
            f.nameProblem = package::CheckRecordName(units.data(), units.size());
            if (f.nameProblem != package::NameProblem::None) {
                Error("name", at, label + ": in code page " + N(options_.codePage) + ", " +
                                      package::Describe(f.nameProblem) + ": the stub skips this file");
                f.utf8Name.clear();
                return;
            }
            if (!NameFitsAPath(f, units.size(), label, at)) {
                f.utf8Name.clear();
                return;
            }
            f.storedName = StoredName(f.utf8Name);
            if (f.storedName != f.utf8Name)
                Warn("name-trailing", at, label + ": the name ends with a dot or a space, which Windows "
                                          "drops: the file is written as " +
                                              Quoted(f.storedName.data(), f.storedName.size()));
        } else if (options_.codePage == 0) {
            Warn("name-code-page", at,
                 label + ": the name holds bytes outside ASCII, which the stub decodes with the ANSI "
                         "code page of the machine that runs it, so it was not compared with the other "
                         "names: give --codepage N to check and compare it as those machines will see it");
        } else {
            Warn("name-code-page", at,
                 label + ": the name cannot be decoded in code page " + N(options_.codePage) +
                     ": checked as bytes only, and not compared with the other names");
        }
        f.written = true;
    }

    // A later record with the same name (name_key.h) replaces the earlier file.
    void MarkDuplicates() {
        std::map<std::u16string, std::size_t> last;  // key -> index in r_.files
        for (std::size_t i = 0; i < r_.files.size(); ++i) {
            PlannedFile& f = r_.files[i];
            if (!f.written || f.storedName.empty()) continue;
            const std::u16string key = WindowsNameKey(f.storedName);
            const auto found = last.find(key);
            if (found != last.end()) {
                PlannedFile& earlier = r_.files[found->second];
                earlier.replacedBy = f.record;
                Warn("duplicate-name", f.headerOffset + package::kNameAt,
                     "record " + N(f.record) + " (" + Quoted(f.nameBytes.data(), f.nameBytes.size()) +
                         ") has the same name as record " + N(earlier.record) + " (at " +
                         N(earlier.headerOffset) + "): the stub replaces that file with this one");
                found->second = i;
            } else {
                last.emplace(key, i);
            }
        }
    }

    // Between the end of the walk and the trailer: nothing, or the packer's 0-7 zero bytes.
    void CheckWalkEnd() {
        const auto& records = layout_.records;
        if (records.empty()) return;
        for (const auto& f : r_.files)
            if (!f.complete || f.pastTrailer) return;  // already reported where the walk broke
        const std::uint64_t end = layout_.walkEnd;
        const std::uint64_t trailer = layout_.trailerOffset;
        if (end > trailer) return;
        const std::uint64_t gap = trailer - end;
        if (gap == 0 || (gap < package::kTrailerAlignment && AllZero(source_, end, gap))) return;

        std::string message = "the stub's walk ends after " + Plural(records.size(), "record") + " at " +
                              N(end) + ", and the " + Plural(gap, "byte") +
                              " from there to the trailer (at " + N(trailer) + ") are never read";
        if (gap < package::kTrailerAlignment) {
            message += ": alignment bytes before the trailer must be zero";
        } else {
            message += ": " + DescribeUnreadBytes(source_, layout_, end, trailer);
        }
        Error("unread-bytes", end, message);
    }

    bool StubExtractsEveryFile() const {
        if (layout_.result != LocateResult::Found || r_.files.empty() || sizeChanged_) return false;
        for (const auto& f : r_.files)
            if (!f.written || !f.complete || f.pastTrailer) return false;
        const std::uint64_t end = layout_.walkEnd;
        if (end > layout_.trailerOffset) return false;
        const std::uint64_t gap = layout_.trailerOffset - end;
        return gap == 0 || (gap < package::kTrailerAlignment && AllZero(source_, end, gap));
    }

    // An unsigned package that will be signed: a signing tool pads to a multiple of 8 first.
    void CheckAlignmentForSigning() {
        const std::uint64_t end = layout_.trailerOffset + kHeaderSize;
        if (end % package::kTrailerAlignment != 0)
            Warn("alignment", layout_.trailerOffset,
                 "the trailer ends at " + N(end) + ", not on an 8-byte boundary: signing this file "
                 "will put padding between the trailer and the certificate table and break the package");
    }

    ByteSource& source_;
    const VerifyOptions& options_;
    VerifyReport& r_;
    package::PackageLayout& layout_;
    bool sizeChanged_ = false;
};

}  // namespace

std::size_t VerifyReport::Errors() const {
    return static_cast<std::size_t>(std::count_if(findings.begin(), findings.end(), [](const Finding& f) {
        return f.severity == Severity::Error;
    }));
}

std::size_t VerifyReport::Warnings() const { return findings.size() - Errors(); }

VerifyReport VerifyPackage(ByteSource& source, const VerifyOptions& options) {
    VerifyReport report;
    Verifier(source, options, report).Run();
    return report;
}

std::vector<FinalFile> FinalFiles(const VerifyReport& report) {
    std::map<std::u16string, std::string> firstSpelling;
    for (const PlannedFile& f : report.files)
        if (f.written && !f.storedName.empty())
            firstSpelling.emplace(WindowsNameKey(f.storedName), f.storedName);
    std::vector<FinalFile> out;
    for (const PlannedFile& f : report.files)
        if (f.written && !f.storedName.empty() && f.replacedBy == 0)
            out.push_back({&f, firstSpelling[WindowsNameKey(f.storedName)]});
    return out;
}

}  // namespace stubpack
