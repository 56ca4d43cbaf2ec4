// The name of an output file while it is written: hidden, and unlike any name a package holds.
#pragma once

#include <random>
#include <string>

namespace stubpack {

inline std::string TemporaryName(std::random_device& random) {
    const char alphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string name = ".stubpack-";
    for (int i = 0; i < 10; ++i) name += alphabet[random() % (sizeof alphabet - 1)];
    return name + ".tmp";
}

}  // namespace stubpack
