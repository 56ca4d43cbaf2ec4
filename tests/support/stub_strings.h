// Texts of the stub that the tests read back from its windows and objects (UTF-8).
#pragma once

namespace testsupport {

inline constexpr char kMessageCaption[] = "Brevant\xC2\xAE Kelvor";  // string 130
inline constexpr char kSecondInstanceText[] =                         // string 129
    "Another installation is in progress. You must complete that installation before starting "
    "this one.";
inline constexpr char kSingleInstanceMutex[] = "Global\\{47B9233E-7E50-46F2-B442-6A53F0D0F508}";

}  // namespace testsupport
