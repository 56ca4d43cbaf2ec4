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

struct VerifyCommandOptions {
    std::string packagePath;
    bool json = false;
    unsigned codePage = 0;  // 0: names must be ASCII to be checked as the stub will see them
};

struct ExtractOptions {
    std::string packagePath;
    std::string directory;
    unsigned codePage = 0;  // 0: names outside ASCII are refused
};

int RunCreate(const CreateOptions& options);
int RunList(const ListOptions& options);
int RunVerify(const VerifyCommandOptions& options);
int RunExtract(const ExtractOptions& options);

}  // namespace stubpack
