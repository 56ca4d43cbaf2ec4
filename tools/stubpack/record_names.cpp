#include "record_names.h"

#include <iconv.h>
#include <vector>

#include "errors.h"
#include "package/package_format.h"
#include "package/record_name.h"

namespace stubpack {

namespace {

// Strict conversion: fails instead of substituting characters the target cannot hold.
bool Convert(const char* to, const char* from, const std::string& in, std::string* out) {
    iconv_t cd = ::iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    std::vector<char> buffer(in.size() * 4 + 16);
    char* inPtr = const_cast<char*>(in.data());
    size_t inLeft = in.size();
    char* outPtr = buffer.data();
    size_t outLeft = buffer.size();
    const size_t result = ::iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    ::iconv_close(cd);
    if (result == static_cast<size_t>(-1) || inLeft != 0) return false;
    out->assign(buffer.data(), buffer.size() - outLeft);
    return true;
}

std::string CodePageName(unsigned codePage) {
    return codePage == 65001 ? "UTF-8" : "CP" + std::to_string(codePage);
}

std::u16string Utf16Units(const std::string& utf16le) {
    std::u16string units(utf16le.size() / 2, u'\0');
    for (size_t i = 0; i < units.size(); ++i)
        units[i] = static_cast<char16_t>(static_cast<unsigned char>(utf16le[2 * i]) |
                                         static_cast<unsigned char>(utf16le[2 * i + 1]) << 8);
    return units;
}

void Refuse(const std::string& file, package::NameProblem problem) {
    throw InputError(file, std::string("cannot be packed: ") + package::Describe(problem));
}

}  // namespace

bool IsKnownCodePage(unsigned codePage) {
    iconv_t cd = ::iconv_open(CodePageName(codePage).c_str(), "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    ::iconv_close(cd);
    return true;
}

std::string EncodeRecordName(const std::string& utf8Name, unsigned codePage, const std::string& file) {
    bool ascii = true;
    for (unsigned char c : utf8Name) ascii = ascii && c < 0x80;

    if (ascii) {
        const auto problem = package::CheckRecordName(utf8Name.data(), utf8Name.size());
        if (problem != package::NameProblem::None) Refuse(file, problem);
        return utf8Name;
    }
    if (codePage == 0)
        throw InputError(file, "the name holds characters outside ASCII: give the target machines' "
                               "ANSI code page with --codepage N");

    // Check the name the way the stub will see it: as UTF-16 after decoding.
    std::string utf16;
    if (!Convert("UTF-16LE", "UTF-8", utf8Name, &utf16))
        throw InputError(file, "the name is not valid UTF-8");
    const std::u16string units = Utf16Units(utf16);
    const auto problem = package::CheckRecordName(units.data(), units.size());
    if (problem != package::NameProblem::None) Refuse(file, problem);

    std::string encoded;
    if (!Convert(CodePageName(codePage).c_str(), "UTF-8", utf8Name, &encoded))
        throw InputError(file, "the name cannot be written in code page " + std::to_string(codePage));
    if (encoded.size() > package::kMaxNameLength) Refuse(file, package::NameProblem::TooLong);
    return encoded;
}

bool DecodeRecordName(const std::string& bytes, unsigned codePage, std::string* utf8,
                      std::u16string* utf16) {
    bool ascii = true;
    for (unsigned char c : bytes) ascii = ascii && c < 0x80;
    if (ascii) {
        *utf8 = bytes;
        utf16->assign(bytes.begin(), bytes.end());
        return true;
    }
    if (codePage == 0) return false;
    std::string decoded, utf16le;
    if (!Convert("UTF-8", CodePageName(codePage).c_str(), bytes, &decoded)) return false;
    if (!Convert("UTF-16LE", "UTF-8", decoded, &utf16le)) return false;
    *utf8 = decoded;
    *utf16 = Utf16Units(utf16le);
    return true;
}

}  // namespace stubpack
