#include "pe_stub.h"

#include <string>

#include "errors.h"

namespace stubpack {

namespace {

constexpr std::uint16_t kMachineI386 = 0x14C;
constexpr std::uint16_t kMachineAmd64 = 0x8664;  // the stub built for 64-bit Windows (PE32+)
constexpr std::size_t kFileHeaderOffset = 4;
constexpr std::size_t kSectionHeaderSize = 40;
constexpr std::size_t kSizeOfHeadersOffset = 60;  // inside the optional header

}  // namespace

StubImage CheckStubImage(package::ByteSource& stub, const char* path) {
    StubImage image;
    image.length = stub.Length();
    unsigned char dos[package::kDosHeaderSize] = {};
    if (stub.ReadAt(0, dos, sizeof dos) != sizeof dos || dos[0] != 'M' || dos[1] != 'Z')
        throw InputError(path, "not a Windows executable (no MZ header)");
    image.lfanew = package::LfanewFromDosHeader(dos);
    if (image.lfanew < 0 ||
        static_cast<std::uint64_t>(image.lfanew) + package::kNtHeadersSize > image.length)
        throw InputError(path, "not a PE executable (e_lfanew out of range)");

    unsigned char nt[package::kNtHeadersSize] = {};
    stub.ReadAt(static_cast<std::uint64_t>(image.lfanew), nt, sizeof nt);
    if (nt[0] != 'P' || nt[1] != 'E' || nt[2] != 0 || nt[3] != 0)
        throw InputError(path, "not a PE executable (no PE signature)");
    const std::uint16_t machine = package::ReadUInt16(nt + kFileHeaderOffset);
    const std::uint16_t magic = package::ReadUInt16(nt + package::kOptionalHeaderAt);
    if (!(machine == kMachineI386 && magic == package::kPe32Magic) &&
        !(machine == kMachineAmd64 && magic == package::kPe32PlusMagic))
        throw InputError(path, "not a 32-bit (PE32, i386) or 64-bit (PE32+, x64) Windows executable");
    if (package::CertTableSizeFromNtHeaders(nt) != 0 ||
        package::CertTableAddressFromNtHeaders(nt) != 0)
        throw InputError(path, "the stub is signed: pack the unsigned stub, then sign the package");

    std::uint64_t rawEnd = 0;
    if (!PeImageEnd(stub, &rawEnd)) throw InputError(path, "truncated section table");
    if (rawEnd > image.length) throw InputError(path, "truncated: sections run past the end of the file");
    if (rawEnd < image.length)
        throw InputError(path, std::to_string(image.length - rawEnd) +
                                   " bytes follow the last section (already packed?)");
    return image;
}

bool PeImageEnd(package::ByteSource& file, std::uint64_t* end) {
    unsigned char dos[package::kDosHeaderSize] = {};
    if (file.ReadAt(0, dos, sizeof dos) != sizeof dos) return false;
    const std::int32_t lfanew = package::LfanewFromDosHeader(dos);
    if (lfanew < 0) return false;
    unsigned char nt[package::kNtHeadersSize] = {};
    if (file.ReadAt(static_cast<std::uint64_t>(lfanew), nt, sizeof nt) != sizeof nt) return false;

    const std::uint16_t sections = package::ReadUInt16(nt + kFileHeaderOffset + 2);
    const std::uint16_t optionalSize = package::ReadUInt16(nt + kFileHeaderOffset + 16);
    const std::uint64_t table =
        static_cast<std::uint64_t>(lfanew) + package::kOptionalHeaderAt + optionalSize;
    std::uint64_t rawEnd = package::ReadUInt32(nt + package::kOptionalHeaderAt + kSizeOfHeadersOffset);
    for (std::uint16_t i = 0; i < sections; ++i) {
        unsigned char section[kSectionHeaderSize];
        if (file.ReadAt(table + i * kSectionHeaderSize, section, sizeof section) != sizeof section)
            return false;
        const std::uint64_t rawSize = package::ReadUInt32(section + 16);
        const std::uint64_t rawPointer = package::ReadUInt32(section + 20);
        if (rawSize && rawPointer + rawSize > rawEnd) rawEnd = rawPointer + rawSize;
    }
    *end = rawEnd;
    return true;
}

}  // namespace stubpack
