// The subcommands of stubpack. Each returns the exit status or throws InputError / UsageError.
#pragma once

#include <string>
#include <vector>

namespace stubpack {

struct CreateOptions {
    std::string stubPath;
    std::string outputPath;
    std::vector<std::string> files;
    unsigned codePage = 0;  // 0: names must be ASCII
};

struct ListOptions {
    std::string packagePath;
    bool json = false;
};

int RunCreate(const CreateOptions& options);
int RunList(const ListOptions& options);

}  // namespace stubpack
