// Turns an input file's name into the bytes stored in its record. The stub decodes those bytes
// with the ANSI code page of the target machine, which stubpack cannot know: names outside ASCII
// are accepted only when --codepage names that code page.
#pragma once

#include <string>

namespace stubpack {

// Whether this machine can convert names to that Windows code page.
bool IsKnownCodePage(unsigned codePage);

// codePage 0 means ASCII only. Throws InputError naming file when the name is unusable.
std::string EncodeRecordName(const std::string& utf8Name, unsigned codePage, const std::string& file);

// The other way, for verify and extract: the bytes of a record's name as the machines running the
// package will read them. codePage 0 accepts ASCII only. On success fills the name as UTF-8 (for
// a Linux file name) and as UTF-16 (for the stub's name rules); false when it cannot be decoded.
bool DecodeRecordName(const std::string& bytes, unsigned codePage, std::string* utf8,
                      std::u16string* utf16);

// A name held as UTF-8 as the stub's UTF-16 units; false when it is not UTF-8.
bool Utf16Name(const std::string& utf8, std::u16string* utf16);

}  // namespace stubpack
