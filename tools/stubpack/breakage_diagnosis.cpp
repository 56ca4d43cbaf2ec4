#include "breakage_diagnosis.h"

#include <algorithm>

#include "verify_support.h"

namespace stubpack {

using namespace verify;
using package::LocateResult;

namespace {

// A trailer-like header 0-7 zero bytes after `from` (the packer's alignment), ending by `limit`.
bool FindTrailerAfter(ByteSource& source, std::uint64_t from, std::uint64_t limit, std::uint64_t* at,
                      PackageRecordHeader* h) {
    for (std::uint64_t pad = 0; pad < package::kTrailerAlignment; ++pad) {
        const std::uint64_t candidate = from + pad;
        if (candidate + kHeaderSize > limit) return false;
        if (pad > 0 && !AllZero(source, candidate - 1, 1)) return false;
        if (ReadHeader(source, candidate, h) && LooksLikeTrailer(*h)) {
            *at = candidate;
            return true;
        }
    }
    return false;
}

class Diagnosis {
public:
    Diagnosis(ByteSource& source, VerifyReport& report)
        : source_(source), r_(report), layout_(report.layout) {}

    // The stub's view is broken: find out what the package was meant to be, to say why.
    void Diagnose() {
        if (r_.isSigned && DiagnoseSignerPadding()) return;
        if (!r_.imageEndKnown) return;
        // When the stub walks from the image end itself, its findings already say where it broke.
        if (layout_.result == LocateResult::Found && layout_.trailer.size == r_.imageEnd) return;
        DiagnoseFromImageEnd();
    }

    // A signing tool that pads the file to a multiple of 8 before appending the certificate
    // table leaves 1-7 zero bytes between a trailer that did not end on that boundary and the table.
    bool DiagnoseSignerPadding() {
        const std::uint64_t table = layout_.certTableAddress;
        if (table == 0 || AddSat(table, static_cast<std::uint64_t>(layout_.certTableSize)) != layout_.fileLength)
            return false;
        for (std::uint64_t pad = 1; pad < package::kTrailerAlignment; ++pad) {
            if (table < kHeaderSize + pad) break;
            const std::uint64_t at = table - pad - kHeaderSize;
            PackageRecordHeader h;
            if (!ReadHeader(source_, at, &h) || !LooksLikeTrailer(h) || !AllZero(source_, at + kHeaderSize, pad))
                continue;
            if (!package::IsPlausibleHeaderOffset(h.size, layout_.lfanew, at)) continue;
            Error("signer-padding", at + kHeaderSize,
                  Plural(pad, "zero byte") + " lie between the trailer (at " + N(at) +
                      ") and the certificate table (at " + N(table) +
                      "): a signing tool padded the file to a multiple of 8, so the stub looks for the "
                      "trailer " + Plural(pad, "byte") + " too late. Pack with stubpack create (its "
                      "trailer ends on an 8-byte boundary) and sign again");
            return true;
        }
        return false;
    }

    // stubpack writes the first record where the stub's image ends: walk from there, as the stub
    // would have if it had found the trailer, to tell truncation and appended data apart.
    void DiagnoseFromImageEnd() {
        const std::uint64_t start = r_.imageEnd;
        PackageRecordHeader first;
        if (!ReadHeader(source_, start, &first) || !LooksLikeFirstRecord(first)) {
            if (start >= layout_.fileLength && start > 0 && layout_.result != LocateResult::Found)
                Error("truncated", layout_.fileLength,
                      "the file ends at " + N(layout_.fileLength) + ", before the stub's image ends (at " +
                          N(start) + "): the file is truncated");
            return;
        }
        const package::RecordWalk walk = package::WalkRecords(source_, start);
        for (std::size_t i = 0; i < walk.records.size(); ++i) {
            const package::RecordInfo& info = walk.records[i];
            if (info.headerBytesRead == kHeaderSize && info.dataBytesAvailable == info.header.size) continue;
            const std::uint64_t missing = info.headerBytesRead < kHeaderSize
                                              ? kHeaderSize - info.headerBytesRead
                                              : info.header.size - info.dataBytesAvailable;
            Error("truncated", info.offset,
                  "the file is truncated: the package that starts after the stub (at " + N(start) +
                      ") has " + RecordLabel(i + 1, info.header) + " at " + N(info.offset) + ", which needs " +
                      N(missing) + " more bytes than the file holds");
            return;
        }
        // The records are whole: is there a trailer after them, and where should it be?
        const std::uint64_t expectedEnd =
            r_.isSigned ? std::min<std::uint64_t>(layout_.certTableAddress, layout_.fileLength)
                        : layout_.fileLength;
        std::uint64_t at = 0;
        PackageRecordHeader t;
        if (!FindTrailerAfter(source_, walk.end, layout_.fileLength, &at, &t) || t.size != start) {
            if (walk.end + kHeaderSize > layout_.fileLength)
                Error("truncated", walk.end,
                      "the file is truncated: the records that start after the stub (at " + N(start) +
                          ") end at " + N(walk.end) + " with no room left for the trailer");
            return;
        }
        const std::uint64_t trailerEnd = at + kHeaderSize;
        if (trailerEnd < expectedEnd)
            Error("appended-data", trailerEnd,
                  "the package's trailer is at " + N(at) + ", but " + Plural(expectedEnd - trailerEnd, "byte") +
                      " follow it before " + (r_.isSigned ? "the certificate table" : "the end of the file") +
                      ", where the stub looks for it (data appended after the package?)");
    }

private:
    void Error(const char* check, std::uint64_t offset, std::string message) {
        AddFinding(r_, Severity::Error, check, offset, std::move(message));
    }

    ByteSource& source_;
    VerifyReport& r_;
    const package::PackageLayout& layout_;
};

}  // namespace

void DiagnoseBreakage(ByteSource& source, VerifyReport& report) { Diagnosis(source, report).Diagnose(); }

std::string DescribeUnreadBytes(ByteSource& source, const package::PackageLayout& layout, std::uint64_t from,
                                std::uint64_t to) {
    std::uint64_t at = 0;
    PackageRecordHeader h;
    if (FindTrailerAfter(source, from, to, &at, &h)) {
        if (h.size == layout.trailer.size)
            return "they hold another trailer (at " + N(at) +
                   ") pointing at the same first record: the package was appended twice";
        return "they hold another trailer (at " + N(at) + "): a second package was appended";
    }
    if (ReadHeader(source, from, &h) && h.count > 0 && package::NameLength(h) < package::kNameFieldSize &&
        package::CheckRecordName(h.name, package::NameLength(h)) == package::NameProblem::None)
        return "they begin with what looks like one more record (" + Quoted(h.name, package::NameLength(h)) +
               "), so the records' count is too small";
    return "they are not the packer's 0-7 zero bytes of alignment";
}

}  // namespace stubpack
