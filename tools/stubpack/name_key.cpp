#include "name_key.h"

#include <stdexcept>

#ifdef _WIN32
#include <windows.h>
#else
#include <locale.h>
#include <wctype.h>
#endif

#include "package/record_name.h"
#include "record_names.h"

namespace stubpack {

namespace {

#ifdef _WIN32
// Without LCMAP_LINGUISTIC_CASING this is the file system's table, whatever the user's locale.
char16_t PlatformUpperCase(char16_t unit) {
    wchar_t in = static_cast<wchar_t>(unit), out = in;
    if (LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, &in, 1, &out, 1, nullptr, nullptr, 0) != 1)
        throw std::runtime_error("cannot compare names outside ASCII: LCMapStringEx failed");
    return static_cast<char16_t>(out);
}
#else
// The Unicode simple mapping from C.UTF-8, whatever the process locale. Windows' table holds only
// pairs that map back (final sigma aside): dotless i, long s, micro sign, title-case digraphs and
// Greek symbol forms such as beta symbol keep their own case there ("ı" is not "I"); so here.
char16_t PlatformUpperCase(char16_t unit) {
    static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    if (utf8 == static_cast<locale_t>(0))
        throw std::runtime_error("cannot compare names outside ASCII: no C.UTF-8 locale");
    const wint_t upper = towupper_l(unit, utf8);
    if (upper > 0xFFFF || towlower_l(upper, utf8) != unit) return unit;
    return static_cast<char16_t>(upper);
}
#endif

// A UTF-16 unit as the file system upper-cases it to compare names, by a table of 64 Ki units:
// sharp s stays (it has no one-unit capital, so "ß" is not "SS"), and letters beyond the BMP
// (surrogate pairs) are never upper-cased.
char16_t FileSystemUpperCase(char16_t unit) {
    if (unit < 0x80) return unit >= u'a' && unit <= u'z' ? static_cast<char16_t>(unit - 32) : unit;
    if (unit >= 0xD800 && unit <= 0xDFFF) return unit;
    // NTFS's table maps final sigma to capital sigma too, though that pair does not map back;
    // Wine 8's does not. Both builds do it here, so "σ" and "ς" are one name to either build.
    if (unit == u'\u03C2') return u'\u03A3';
    return PlatformUpperCase(unit);
}

}  // namespace

std::string StoredName(const std::string& utf8Name) {
    return utf8Name.substr(0, package::StoredNameLength(utf8Name.data(), utf8Name.size()));
}

std::u16string WindowsNameKey(const std::string& utf8Name) {
    std::u16string key;
    if (!Utf16Name(StoredName(utf8Name), &key))
        throw std::runtime_error("not a UTF-8 name: " + utf8Name);  // names reach here decoded
    for (char16_t& unit : key) unit = FileSystemUpperCase(unit);
    return key;
}

}  // namespace stubpack
