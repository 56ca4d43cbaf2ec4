// stubpack reports every problem as one line on stderr and an exit status: 1 when a package or
// input is bad, 2 when the command line is.
#pragma once

#include <stdexcept>
#include <string>

namespace stubpack {

constexpr int kExitOk = 0;
constexpr int kExitBadInput = 1;
constexpr int kExitUsage = 2;

// A bad input file or package: "FILE: reason".
class InputError : public std::runtime_error {
public:
    InputError(const std::string& file, const std::string& reason)
        : std::runtime_error(file + ": " + reason) {}
};

class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace stubpack
