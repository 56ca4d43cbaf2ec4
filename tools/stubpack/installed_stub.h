// The stub that ships with stubpack, so that `create` needs --stub only to choose another one.
#pragma once

#include <string>

namespace stubpack {

// UnPackFile.exe found from stubpack's own executable: beside it (the Windows zip), or in the
// data directory of the same installation (bin/../share/stubpack, whatever the prefix or the
// root the package was unpacked into). Empty when there is none.
std::string InstalledStubPath();

}  // namespace stubpack
