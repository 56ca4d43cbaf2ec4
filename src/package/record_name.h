// Which record names may become a file in the working directory. The stub appends a name to the
// working directory path, so anything that could make that path point elsewhere (a separator, a
// drive or stream colon, "." or "..", a device name) is refused, and so is anything Windows cannot
// store as a file name. stubpack applies the same rules before it writes a package.
//
// Works on 8-bit names (the bytes in the package) and on UTF-16 names (after the stub converts
// them with the target's code page), so it takes the character type as a parameter.
#pragma once

#include <cstddef>

namespace package {

enum class NameProblem {
    None,
    Empty,
    TooLong,           // more than 259 units: the NUL would not fit in the field
    Separator,         // '\' or '/'
    Colon,             // drive letter or alternate data stream
    DotsOnly,          // ".", ".." or any name of dots and spaces, which Windows reduces to nothing
    ControlCharacter,  // 0x01-0x1F (and a NUL inside the given length)
    Wildcard,          // < > " | ? *: not allowed in Windows file names
    ReservedDevice,    // CON, PRN, AUX, NUL, COM0-9, LPT0-9, CONIN$, CONOUT$, with any extension
};

namespace detail {

template <class Ch>
unsigned Unit(Ch c) {
    if constexpr (sizeof(Ch) == 1) return static_cast<unsigned char>(c);
    else return static_cast<unsigned>(c);
}

inline unsigned FoldAscii(unsigned c) { return (c >= 'a' && c <= 'z') ? c - 32 : c; }

// Windows treats the part before the first dot, without trailing spaces, as the device name.
template <class Ch>
bool IsReservedDeviceName(const Ch* name, std::size_t length) {
    std::size_t base = 0;
    while (base < length && Unit(name[base]) != '.') ++base;
    while (base > 0 && Unit(name[base - 1]) == ' ') --base;

    auto equals = [&](const char* word) {
        std::size_t i = 0;
        for (; word[i]; ++i) {
            if (i >= base || FoldAscii(Unit(name[i])) != static_cast<unsigned char>(word[i]))
                return false;
        }
        return i == base;
    };
    if (equals("CON") || equals("PRN") || equals("AUX") || equals("NUL") || equals("CONIN$") ||
        equals("CONOUT$"))
        return true;
    if (base == 4) {
        const unsigned a = FoldAscii(Unit(name[0])), b = FoldAscii(Unit(name[1])),
                       c = FoldAscii(Unit(name[2])), d = Unit(name[3]);
        const bool com = a == 'C' && b == 'O' && c == 'M';
        const bool lpt = a == 'L' && b == 'P' && c == 'T';
        // Digits, and in UTF-16 the superscripts one to three, which Windows also reserves.
        const bool digit = (d >= '0' && d <= '9') ||
                           (sizeof(Ch) > 1 && (d == 0xB9 || d == 0xB2 || d == 0xB3));
        if ((com || lpt) && digit) return true;
    }
    return false;
}

}  // namespace detail

template <class Ch>
NameProblem CheckRecordName(const Ch* name, std::size_t length) {
    if (length == 0) return NameProblem::Empty;
    if (length > 259) return NameProblem::TooLong;
    bool onlyDotsAndSpaces = true;
    for (std::size_t i = 0; i < length; ++i) {
        const unsigned c = detail::Unit(name[i]);
        if (c == '\\' || c == '/') return NameProblem::Separator;
        if (c == ':') return NameProblem::Colon;
        if (c < 0x20) return NameProblem::ControlCharacter;
        if (c == '<' || c == '>' || c == '"' || c == '|' || c == '?' || c == '*')
            return NameProblem::Wildcard;
        if (c != '.' && c != ' ') onlyDotsAndSpaces = false;
    }
    if (onlyDotsAndSpaces) return NameProblem::DotsOnly;
    if (detail::IsReservedDeviceName(name, length)) return NameProblem::ReservedDevice;
    return NameProblem::None;
}

// The length of the name as Windows stores it: a path's last component loses its trailing dots
// and spaces. A name opened without that path handling must be cut the same way.
template <class Ch>
std::size_t StoredNameLength(const Ch* name, std::size_t length) {
    while (length > 0 && (detail::Unit(name[length - 1]) == '.' || detail::Unit(name[length - 1]) == ' '))
        --length;
    return length;
}

inline const char* Describe(NameProblem problem) {
    switch (problem) {
        case NameProblem::None: return "valid";
        case NameProblem::Empty: return "the name is empty";
        case NameProblem::TooLong: return "the name is longer than 259 bytes";
        case NameProblem::Separator: return "the name holds a path separator";
        case NameProblem::Colon: return "the name holds ':' (drive or stream)";
        case NameProblem::DotsOnly: return "the name is only dots and spaces (such as '..')";
        case NameProblem::ControlCharacter: return "the name holds a control character";
        case NameProblem::Wildcard: return "the name holds a character Windows forbids (<>\"|?*)";
        case NameProblem::ReservedDevice: return "the name is a reserved device name";
    }
    return "unknown";
}

}  // namespace package
