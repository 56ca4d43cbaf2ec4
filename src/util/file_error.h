// The portable half of a file error: which cause a system error code stands for, and the
// description text built from the cause's text and the file name. CFileException
// (file_exception.h) wraps these with the string table; the host tests and fuzzers use them
// directly with char16_t.
#pragma once

#include <cstddef>
#include <cstdint>

#include "util/basic_string.h"

// File error causes 0-14; the description of cause c is string 61856 + c.
enum FileErrorCause : int {
    kCauseNone = 0,
    kCauseGeneric = 1,
    kCauseFileNotFound = 2,
    kCauseBadPath = 3,
    kCauseTooManyOpenFiles = 4,
    kCauseAccessDenied = 5,
    kCauseInvalidFile = 6,
    kCauseRemoveCurrentDir = 7,
    kCauseDirectoryFull = 8,
    kCauseBadSeek = 9,
    kCauseHardIO = 10,
    kCauseSharingViolation = 11,
    kCauseLockViolation = 12,
    kCauseDiskFull = 13,
    kCauseEndOfFile = 14,
};

constexpr unsigned kFileErrorStringBase = 61856;
constexpr unsigned kUnnamedFileString = 61446;

// Maps a system error code to its cause; every code not listed is the generic cause.
int FileErrorCauseFromSystemError(std::uint32_t systemError);

// Replaces every "%1" in text by name.
template <class Ch>
BasicStr<Ch> SubstituteFileName(const Ch* text, const Ch* name) {
    BasicStr<Ch> out;
    for (const Ch* p = text; *p; ++p) {
        if (p[0] == Ch('%') && p[1] == Ch('1')) {
            out.Append(name);
            ++p;
        } else {
            out.AppendUnit(*p);
        }
    }
    return out;
}

// Writes the description: causeText with "%1" replaced by fileName (by unnamedText when the name
// is empty), cut to capacity - 1 units and NUL-terminated. Writes nothing and returns false when
// buffer is missing or capacity is 0.
template <class Ch>
bool WriteFileErrorDescription(const Ch* causeText, const Ch* fileName, const Ch* unnamedText,
                               Ch* buffer, std::size_t capacity) {
    if (!buffer || capacity == 0) return false;
    const Ch* name = fileName && *fileName ? fileName : unnamedText;
    const BasicStr<Ch> text = SubstituteFileName(causeText, name);
    const std::size_t n = text.Length() < capacity - 1 ? text.Length() : capacity - 1;
    for (std::size_t i = 0; i < n; ++i) buffer[i] = text[i];
    buffer[n] = 0;
    return true;
}
