// When two record names are one file to the stub. It creates each file with CREATE_ALWAYS, so a
// later record whose name Windows takes for an earlier one's replaces that file. create refuses
// such inputs and verify warns about such records through this one key, so that what create
// writes verify never reports as a duplicate.
#pragma once

#include <string>

namespace stubpack {

// The name (UTF-8) as Windows stores it: a last path component loses trailing dots and spaces.
std::string StoredName(const std::string& utf8Name);

// Equal for two names that Windows takes as one: stored names, each UTF-16 unit upper-cased as
// the file system does. The name is UTF-8 as decoded from the record (ASCII, or --codepage).
std::u16string WindowsNameKey(const std::string& utf8Name);

}  // namespace stubpack
