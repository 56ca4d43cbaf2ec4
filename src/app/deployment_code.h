// Reads the deployment code from the path of the running executable: twelve letters or digits
// right after the last dash of the path, optionally followed by a two-character region code, as
// in "Setup-AB12CD34EF56us.exe".
//
// Portable: works on UTF-16 units of any unit type, and takes the test for "letter or digit" as
// a parameter (the stub asks Windows' character-type classes; the host tests pass their own).
#pragma once

#include <cstddef>

namespace deployment {

constexpr std::size_t kCodeLength = 12;
constexpr std::size_t kRegionLength = 2;

template <class Ch>
struct DeploymentCode {
    bool found = false;
    Ch code[kCodeLength + 1] = {};      // as written in the path, letter case kept
    Ch region[kRegionLength + 1] = {};  // a to z upper-cased; empty when there is no valid one
    bool HasRegion() const { return region[0] != 0; }

    // The code followed by the region code when there is one: 12 or 14 units and a NUL.
    void Combined(Ch (&out)[kCodeLength + kRegionLength + 1]) const {
        std::size_t n = 0;
        for (std::size_t i = 0; code[i]; ++i) out[n++] = code[i];
        for (std::size_t i = 0; region[i]; ++i) out[n++] = region[i];
        out[n] = 0;
    }
};

// Upper-cases a to z only, whatever the user's language.
template <class Ch>
Ch UpperAscii(Ch c) {
    return (c >= Ch('a') && c <= Ch('z')) ? Ch(c - Ch('a') + Ch('A')) : c;
}

// path holds length units. isAlphaNumeric(Ch) -> bool decides what counts as a letter or digit.
//
// The code is found when, after the last '-' of the whole path, there are 12 units that are all
// letters or digits and no backslash follows the dash (a dash in a directory name never counts).
// The two units after the code become the region code when, upper-cased, both are letters or
// digits; anything after them (the extension) is ignored.
template <class Ch, class IsAlphaNumeric>
DeploymentCode<Ch> ParseDeploymentCode(const Ch* path, std::size_t length,
                                       IsAlphaNumeric isAlphaNumeric) {
    DeploymentCode<Ch> result;
    std::size_t start = 0;
    bool dash = false;
    for (std::size_t i = length; i > 0; --i) {
        if (path[i - 1] == Ch('-')) {
            start = i;
            dash = true;
            break;
        }
    }
    if (!dash) return result;
    const std::size_t tail = length - start;
    if (tail < kCodeLength) return result;
    for (std::size_t i = start; i < length; ++i)
        if (path[i] == Ch('\\')) return result;
    // Checked whole before it is copied: a result that is not found carries no part of a code.
    for (std::size_t i = 0; i < kCodeLength; ++i)
        if (!isAlphaNumeric(path[start + i])) return result;
    for (std::size_t i = 0; i < kCodeLength; ++i) result.code[i] = path[start + i];
    result.found = true;

    if (tail >= kCodeLength + kRegionLength) {
        const Ch first = UpperAscii(path[start + kCodeLength]);
        const Ch second = UpperAscii(path[start + kCodeLength + 1]);
        if (isAlphaNumeric(first) && isAlphaNumeric(second)) {
            result.region[0] = first;
            result.region[1] = second;
        }
    }
    return result;
}

}  // namespace deployment
