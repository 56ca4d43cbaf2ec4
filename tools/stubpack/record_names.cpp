#include "record_names.h"

#include <vector>

#ifdef _WIN32
#include "windows_text.h"
#else
#include <iconv.h>
#endif

#include "errors.h"
#include "package/package_format.h"
#include "package/record_name.h"

namespace stubpack {

namespace {

#ifdef _WIN32
// The system's code page number for the names this file uses.
UINT CodePageNumber(const std::string& name) {
    if (name == "UTF-8") return CP_UTF8;
    if (name.rfind("CP", 0) == 0) return static_cast<UINT>(std::stoul(name.substr(2)));
    return 0;  // UTF-16LE
}

// Strict conversion: fails instead of substituting characters the target cannot hold.
bool Convert(const char* to, const char* from, const std::string& in, std::string* out) {
    std::wstring wide;
    if (std::string(from) == "UTF-16LE") {
        wide.assign(in.size() / 2, L'\0');
        for (size_t i = 0; i < wide.size(); ++i)
            wide[i] = static_cast<wchar_t>(static_cast<unsigned char>(in[2 * i]) |
                                           static_cast<unsigned char>(in[2 * i + 1]) << 8);
    } else if (!in.empty()) {
        const UINT page = CodePageNumber(from);
        const int n = MultiByteToWideChar(page, MB_ERR_INVALID_CHARS, in.data(), static_cast<int>(in.size()),
                                          nullptr, 0);
        if (n <= 0) return false;
        wide.assign(static_cast<size_t>(n), L'\0');
        MultiByteToWideChar(page, MB_ERR_INVALID_CHARS, in.data(), static_cast<int>(in.size()), &wide[0], n);
    }
    if (std::string(to) == "UTF-16LE") {
        out->clear();
        for (wchar_t unit : wide) {
            out->push_back(static_cast<char>(unit & 0xFF));
            out->push_back(static_cast<char>(unit >> 8));
        }
        return true;
    }
    out->clear();
    if (wide.empty()) return true;
    const UINT page = CodePageNumber(to);
    // UTF-8 takes no best-fit flag and has no default character to fall back on.
    const DWORD flags = page == CP_UTF8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    BOOL* usedDefaultOut = page == CP_UTF8 ? nullptr : &usedDefault;
    const int n = WideCharToMultiByte(page, flags, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                      nullptr, usedDefaultOut);
    if (n <= 0 || usedDefault) return false;
    out->assign(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(page, flags, wide.data(), static_cast<int>(wide.size()), &(*out)[0], n, nullptr,
                        usedDefaultOut);
    return !usedDefault;
}
#else
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
#endif

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
#ifdef _WIN32
    return codePage == 65001 || IsValidCodePage(codePage) != FALSE;
#else
    iconv_t cd = ::iconv_open(CodePageName(codePage).c_str(), "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    ::iconv_close(cd);
    return true;
#endif
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
    std::u16string units;
    if (!Utf16Name(utf8Name, &units)) throw InputError(file, "the name is not valid UTF-8");
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
    std::string decoded;
    if (!Convert("UTF-8", CodePageName(codePage).c_str(), bytes, &decoded)) return false;
    if (!Utf16Name(decoded, utf16)) return false;
    *utf8 = decoded;
    return true;
}

bool Utf16Name(const std::string& utf8, std::u16string* utf16) {
    std::string utf16le;
    if (!Convert("UTF-16LE", "UTF-8", utf8, &utf16le)) return false;
    *utf16 = Utf16Units(utf16le);
    return true;
}

}  // namespace stubpack
