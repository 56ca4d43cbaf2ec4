#include "mutants.h"

#include <cstring>
#include <random>
#include <stdexcept>

#include "package/package_format.h"
#include "text_output.h"

namespace mutants {

namespace {

using package::kHeaderSize;
using package::kNameFieldSize;

using package::kCountAt;
using package::kNameAt;
using package::kSizeAt;

std::uint64_t SplitMix(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// mt19937_64's output is fixed by the standard (the distributions are not), so draws are made
// from its raw numbers: a seed replays the same mutant with any standard library.
class Rng {
public:
    explicit Rng(std::uint64_t seed) : engine_(seed) {}
    std::uint64_t Next() { return engine_(); }
    std::uint64_t Below(std::uint64_t n) { return n ? Next() % n : 0; }
    std::uint64_t Between(std::uint64_t lo, std::uint64_t hi) { return lo + Below(hi - lo + 1); }
    bool Percent(unsigned p) { return Below(100) < p; }

private:
    std::mt19937_64 engine_;
};

std::uint64_t Get64(const std::string& b, std::uint64_t at) {
    std::uint64_t v = 0;
    std::memcpy(&v, b.data() + at, sizeof v);
    return v;
}
std::uint32_t Get32(const std::string& b, std::uint64_t at) {
    std::uint32_t v = 0;
    std::memcpy(&v, b.data() + at, sizeof v);
    return v;
}
void Put64(std::string& b, std::uint64_t at, std::uint64_t v) { std::memcpy(&b[at], &v, sizeof v); }
void Put32(std::string& b, std::uint64_t at, std::uint32_t v) { std::memcpy(&b[at], &v, sizeof v); }

std::string Hex(std::uint64_t v) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(v));
    return text;
}
std::string N(std::uint64_t v) { return std::to_string(v); }

// Flips `flips` distinct bits at byte offsets drawn by pick(); returns where, for the message.
template <class Pick>
std::string FlipBits(std::string& bytes, Rng& rng, unsigned flips, Pick pick) {
    std::vector<std::uint64_t> done;
    std::string where;
    while (done.size() < flips) {
        const std::uint64_t byte = pick();
        const std::uint64_t bit = byte * 8 + rng.Below(8);
        bool again = false;
        for (auto d : done) again = again || d == bit;
        if (again) continue;  // the same bit twice would undo itself
        done.push_back(bit);
        bytes[byte] = static_cast<char>(bytes[byte] ^ (1 << (bit % 8)));
        where += (where.empty() ? "" : ",") + N(byte) + "." + N(bit % 8);
    }
    return where;
}

void SetName(std::string& bytes, std::uint64_t header, const std::string& name) {
    std::memset(&bytes[header + kNameAt], 0, kNameFieldSize);
    std::memcpy(&bytes[header + kNameAt], name.data(), std::min(name.size(), kNameFieldSize));
}

std::string RandomName(Rng& rng, std::size_t length) {
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_-";
    std::string name = "L";  // no base name starts with a letter
    while (name.size() < length) name += alphabet[rng.Below(sizeof alphabet - 1)];
    return name;
}

class Maker {
public:
    Maker(const Base& base, Mutant& m, Rng& rng, const std::string& canaryDir)
        : base_(base), m_(m), rng_(rng), canaryDir_(canaryDir), n_(base.records.size()) {}

    void Run() {
        m_.bytes = base_.bytes;
        switch (m_.family) {
            case Family::DataFlip: DataFlip(); break;
            case Family::HeaderFlip: HeaderFlip(); break;
            case Family::TrailerFlip: TrailerFlip(); break;
            case Family::Truncate: Truncate(); break;
            case Family::CutKeepTrailer: CutKeepTrailer(); break;
            case Family::Count: Count(); break;
            case Family::Size: Size(); break;
            case Family::FirstOffset: FirstOffset(); break;
            case Family::LongName: LongName(); break;
            case Family::UnsafeName: UnsafeName(); break;
        }
    }

private:
    std::size_t AnyRecord() { return static_cast<std::size_t>(rng_.Below(n_)); }
    unsigned Flips() { return static_cast<unsigned>(rng_.Between(1, 3)); }

    void DataFlip() {
        std::vector<std::size_t> withData;
        for (std::size_t k = 0; k < n_; ++k)
            if (base_.records[k].size > 0) withData.push_back(k);
        const std::size_t k = withData[rng_.Below(withData.size())];
        const Record& r = base_.records[k];
        const std::string where =
            FlipBits(m_.bytes, rng_, Flips(), [&] { return r.dataOffset + rng_.Below(r.size); });
        m_.what = "record " + N(k + 1) + " data: bits flipped at byte.bit " + where;
    }

    void HeaderFlip() {
        const std::size_t k = AnyRecord();
        const Record& r = base_.records[k];
        // Half the flips in the numeric fields, half in the name and its NUL.
        const std::string where = FlipBits(m_.bytes, rng_, Flips(), [&] {
            return r.headerOffset + (rng_.Percent(50) ? rng_.Below(kNameAt)
                                                      : kNameAt + rng_.Below(r.name.size() + 1));
        });
        m_.what = "record " + N(k + 1) + " header: bits flipped at byte.bit " + where;
    }

    void TrailerFlip() {
        const std::uint64_t t = base_.trailerOffset;
        const std::string where = FlipBits(m_.bytes, rng_, Flips(), [&] {
            return t + (rng_.Percent(60) ? rng_.Below(kNameAt) : rng_.Below(kHeaderSize));
        });
        m_.what = "trailer: bits flipped at byte.bit " + where;
    }

    // Somewhere after the stub, chosen by the mutant's index: anywhere, inside the trailer, at
    // a record boundary, inside a header.
    void Truncate() {
        const std::uint64_t length = base_.bytes.size();
        std::uint64_t cut = 0;
        switch (m_.index % 4) {
            case 0: cut = rng_.Between(base_.stubLength, length - 1); break;
            case 1: cut = length - 1 - rng_.Below(kHeaderSize); break;
            case 2: cut = base_.records[AnyRecord()].headerOffset; break;
            default: cut = base_.records[AnyRecord()].headerOffset + rng_.Below(kHeaderSize); break;
        }
        m_.bytes.resize(cut);
        m_.what = "cut to " + N(cut) + " of " + N(length) + " bytes";
    }

    // The records cut at a boundary (or just the alignment bytes), inside a header or inside the
    // data, then the original trailer appended.
    void CutKeepTrailer() {
        std::uint64_t cut = 0;
        const std::size_t k = AnyRecord();
        const Record& r = base_.records[k];
        switch (m_.index % 3) {
            case 0: cut = k + 1 < n_ ? base_.records[k + 1].headerOffset : r.dataOffset + r.size; break;
            case 1: cut = r.headerOffset + rng_.Below(kHeaderSize); break;
            default: cut = r.dataOffset + rng_.Below(r.size + 1); break;
        }
        const std::string trailer = base_.bytes.substr(base_.trailerOffset, kHeaderSize);
        m_.bytes = base_.bytes.substr(0, cut) + trailer;
        m_.what = "records cut at " + N(cut) + ", trailer kept after it";
    }

    void Count() {
        const std::size_t k = AnyRecord();
        const std::uint32_t position = static_cast<std::uint32_t>(k + 1);
        const std::uint32_t n = static_cast<std::uint32_t>(n_);
        const std::uint32_t values[] = {0,         0xFFFFFFFFu,   0x80000000u,
                                        0x7FFFFFFFu, n - 1,       n + 1,
                                        position - 1, position,  static_cast<std::uint32_t>(rng_.Next()),
                                        static_cast<std::uint32_t>(rng_.Between(1, 2 * n))};
        std::uint32_t value = values[m_.index % (sizeof values / sizeof values[0])];
        if (value == n) value = n + 2;  // the packed count: no change
        const std::uint64_t at = base_.records[k].headerOffset + kCountAt;
        m_.what = "record " + N(k + 1) + " count " + N(Get32(m_.bytes, at)) + " -> " + N(value);
        Put32(m_.bytes, at, value);
    }

    void Size() {
        const std::size_t k = AnyRecord();
        const Record& r = base_.records[k];
        const std::uint64_t toTrailer = base_.trailerOffset - r.dataOffset;
        // The size that makes this record swallow the next one, so the walk lands on the header
        // after it (or ends right at the trailer).
        const std::uint64_t swallow =
            (k + 2 < n_ ? base_.records[k + 2].headerOffset : base_.trailerOffset) - r.dataOffset;
        const std::uint64_t values[] = {0,
                                        r.size + 1,
                                        r.size ? r.size - 1 : 2,
                                        r.size + 1 + rng_.Below(2048),
                                        rng_.Next(),
                                        1ull << 40,  // more than any test disk holds
                                        1ull << 33,  // less than the free space, more than the file
                                        UINT64_MAX,
                                        0x8000000000000000ull,
                                        swallow,
                                        toTrailer,
                                        toTrailer + 1 + rng_.Below(kHeaderSize - 1),
                                        rng_.Below(base_.bytes.size())};
        std::uint64_t value = values[m_.index % (sizeof values / sizeof values[0])];
        if (value == r.size) value += 2;  // the packed size: no change
        const std::uint64_t at = r.headerOffset + kSizeAt;
        m_.what = "record " + N(k + 1) + " size " + N(r.size) + " -> " + Hex(value);
        Put64(m_.bytes, at, value);
    }

    void FirstOffset() {
        const std::uint64_t lfanew = Get32(m_.bytes, package::kLfanewOffset);
        const std::uint64_t headersEnd = lfanew + package::kNtHeadersSize;
        const std::uint64_t t = base_.trailerOffset;
        const std::uint64_t values[] = {0,
                                        1,
                                        lfanew,
                                        headersEnd,  // the first offset the stub accepts
                                        base_.stubLength - 1,
                                        base_.stubLength + 1,
                                        base_.records[1 + rng_.Below(n_ - 1)].headerOffset,
                                        base_.records[0].dataOffset,
                                        t - 1,
                                        t,
                                        t + 1,
                                        rng_.Below(t),
                                        rng_.Next(),
                                        rng_.Between(headersEnd, base_.stubLength - 1)};
        std::uint64_t value = values[m_.index % (sizeof values / sizeof values[0])];
        if (value == base_.stubLength) value += 1;  // the packed offset: no change
        m_.what = "trailer first-record offset " + N(base_.stubLength) + " -> " + Hex(value);
        Put64(m_.bytes, t + kSizeAt, value);
    }

    void LongName() {
        const std::size_t k = AnyRecord();
        const std::uint64_t header = base_.records[k].headerOffset;
        std::string name;
        switch (m_.index % 4) {
            case 0: name = RandomName(rng_, rng_.Between(100, 200)); break;
            case 1: name = RandomName(rng_, rng_.Between(201, 258)); break;
            case 2: name = RandomName(rng_, package::kMaxNameLength); break;  // NUL in the last byte
            default: name = RandomName(rng_, kNameFieldSize); break;           // no NUL at all
        }
        SetName(m_.bytes, header, name);
        m_.what = "record " + N(k + 1) + " name -> " + N(name.size()) + " bytes" +
                  (name.size() == kNameFieldSize ? ", no NUL" : "");
    }

    void UnsafeName() {
        const std::vector<std::string> names = UnsafeNames(canaryDir_);
        const std::string& name = names[m_.index % names.size()];
        const std::size_t k = AnyRecord();
        const Record& r = base_.records[k];
        SetName(m_.bytes, r.headerOffset, name);
        m_.what = "record " + N(k + 1) + " name -> '" + stubpack::PrintableName(name.data(), name.size()) + "'";
        // Past the table, the refused record also claims another size, so the skip over its data
        // goes elsewhere.
        if (m_.index >= names.size()) {
            const std::uint64_t size = rng_.Percent(50) ? rng_.Below(base_.bytes.size()) : rng_.Next();
            Put64(m_.bytes, r.headerOffset + kSizeAt, size);
            m_.what += ", size -> " + Hex(size);
        }
    }

    const Base& base_;
    Mutant& m_;
    Rng& rng_;
    const std::string& canaryDir_;
    const std::size_t n_;
};

}  // namespace

Base DescribeBase(std::string bytes, std::uint64_t stubLength,
                  const std::vector<std::pair<std::string, std::string>>& files) {
    Base base;
    base.bytes = std::move(bytes);
    base.stubLength = stubLength;
    std::uint64_t at = stubLength;
    for (const auto& file : files) {
        Record r;
        r.headerOffset = at;
        r.dataOffset = at + kHeaderSize;
        r.size = file.second.size();
        r.name = file.first;
        r.data = file.second;
        if (r.dataOffset + r.size > base.bytes.size() || Get64(base.bytes, at + kSizeAt) != r.size ||
            base.bytes.compare(at + kNameAt, r.name.size() + 1, r.name.c_str(), r.name.size() + 1) != 0 ||
            base.bytes.compare(r.dataOffset, r.size, r.data) != 0)
            throw std::runtime_error("unexpected layout at record " + r.name);
        at = r.dataOffset + r.size;
        base.records.push_back(r);
    }
    base.trailerOffset = base.bytes.size() - kHeaderSize;
    if (base.trailerOffset < at || base.trailerOffset - at >= package::kTrailerAlignment ||
        Get64(base.bytes, base.trailerOffset + kSizeAt) != stubLength)
        throw std::runtime_error("unexpected trailer");
    return base;
}

std::vector<std::pair<std::string, std::string>> BaseFiles(std::uint64_t seed) {
    Rng rng(SplitMix(seed));
    const std::pair<const char*, std::uint64_t> shapes[] = {
        {"0000-alpha.dat", 1024},
        {"1111-bravo.bin", 0},
        {"2222-charlie.txt", rng.Between(1, 1023)},
        {"3333-delta", 1025},
        {"4444-echo.cab", rng.Between(2048, 9000)},
        {"5555-foxtrot.msi", rng.Between(20000, 40000)},
    };
    std::vector<std::pair<std::string, std::string>> files;
    for (const auto& shape : shapes) {
        std::string data(shape.second, '\0');
        for (auto& c : data) c = static_cast<char>(rng.Next());
        files.emplace_back(shape.first, data);
    }
    return files;
}

const std::vector<Family>& AllFamilies() {
    static const std::vector<Family> all = {
        Family::DataFlip, Family::HeaderFlip, Family::TrailerFlip, Family::Truncate,
        Family::CutKeepTrailer, Family::Count, Family::Size, Family::FirstOffset,
        Family::LongName, Family::UnsafeName};
    return all;
}

const char* FamilyName(Family family) {
    switch (family) {
        case Family::DataFlip: return "data-flip";
        case Family::HeaderFlip: return "header-flip";
        case Family::TrailerFlip: return "trailer-flip";
        case Family::Truncate: return "truncate";
        case Family::CutKeepTrailer: return "cut-keep-trailer";
        case Family::Count: return "count";
        case Family::Size: return "size";
        case Family::FirstOffset: return "first-offset";
        case Family::LongName: return "long-name";
        case Family::UnsafeName: return "unsafe-name";
    }
    return "?";
}

std::size_t FamilySize(Family family, bool heavy) {
    const std::size_t unsafe = UnsafeNames("C:").size();
    switch (family) {
        case Family::DataFlip: return heavy ? 24 : 4;
        case Family::HeaderFlip: return heavy ? 60 : 12;
        case Family::TrailerFlip: return heavy ? 24 : 6;
        case Family::Truncate: return heavy ? 32 : 8;
        case Family::CutKeepTrailer: return heavy ? 36 : 9;
        case Family::Count: return heavy ? 40 : 10;
        case Family::Size: return heavy ? 52 : 13;
        case Family::FirstOffset: return heavy ? 42 : 14;
        case Family::LongName: return heavy ? 24 : 4;
        case Family::UnsafeName: return heavy ? 3 * unsafe : unsafe;
    }
    return 0;
}

std::vector<std::string> UnsafeNames(const std::string& canaryDir) {
    return {
        "..\\escaped-1.txt",
        "../escaped-2.txt",
        "..\\..\\..\\..\\..\\escaped-3.txt",
        "x\\..\\..\\escaped-4.txt",
        "C:\\escaped-5.txt",
        "C:escaped-6.txt",
        "\\escaped-7.txt",
        "\\\\?\\C:\\escaped-8.txt",
        "\\\\.\\C:\\escaped-9.txt",
        canaryDir + "\\escaped-10.txt",
        "..\\unpack.log",
        "sub\\inside.txt",
        "..",
        ".",
        "... ",
        "",
        "CON",
        "nul.txt",
        "COM1",
        "lpt9.log",
        "CONIN$",
        "AUX .dat",
        "name:stream",
        "a\x01" "b",
        "tab\tname",
        "star*",
        "a<b>c",
        "quote\"name",
    };
}

Mutant Make(const Base& base, Family family, std::size_t index, std::uint64_t corpusSeed,
            const std::string& canaryDir) {
    Mutant m;
    m.family = family;
    m.index = index;
    m.seed = SplitMix(corpusSeed ^ (static_cast<std::uint64_t>(family) << 40) ^ index);
    m.id = std::string(FamilyName(family)) + "#" + N(index);
    Rng rng(m.seed);
    Maker(base, m, rng, canaryDir).Run();
    Describe(base, m);
    return m;
}

void Describe(const Base& base, Mutant& m) {
    const std::string& b = m.bytes;
    // The stub reads the trailer from the last 284 bytes (the mutants are unsigned).
    const bool hasTrailer = b.size() >= kHeaderSize;
    const std::uint64_t trailer = hasTrailer ? b.size() - kHeaderSize : 0;
    const bool trailerLeads = hasTrailer && Get64(b, trailer + kSizeAt) == base.stubLength;

    m.intended.clear();
    m.walkedAsPacked = trailerLeads ? base.records.size() : 0;
    for (std::size_t k = 0; k < base.records.size(); ++k) {
        const Record& r = base.records[k];
        const std::uint64_t end = r.dataOffset + r.size;
        const bool whole = end <= trailer;
        if (whole && (b.compare(r.headerOffset + kCountAt, 4, base.bytes, r.headerOffset + kCountAt, 4) ||
                      b.compare(r.headerOffset + kSizeAt, 8, base.bytes, r.headerOffset + kSizeAt, 8)) &&
            k < m.walkedAsPacked)
            m.walkedAsPacked = k;
        if (!whole && k < m.walkedAsPacked) m.walkedAsPacked = k;
        // Records cut away from a package that still leads to its first record are no longer
        // part of it; without that, the package's files are still the packed ones.
        if (r.headerOffset >= trailer && trailerLeads) continue;

        IntendedFile f;
        f.record = k;
        const std::uint64_t nameAt = r.headerOffset + kNameAt;
        const std::string field = whole ? b.substr(nameAt, kNameFieldSize) : r.name;
        f.name = field.substr(0, field.find('\0'));
        f.whole = whole;
        f.data = whole ? b.substr(r.dataOffset, r.size) : r.data;
        f.intact = whole && b.compare(r.headerOffset, end - r.headerOffset, base.bytes, r.headerOffset,
                                      end - r.headerOffset) == 0;
        m.intended.push_back(f);
    }
}

}  // namespace mutants
