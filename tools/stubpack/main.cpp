// stubpack: builds and inspects package executables (a stub with files appended).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "commands.h"
#include "errors.h"
#include "record_names.h"

#ifndef STUBPACK_VERSION
#define STUBPACK_VERSION "0.0.0"
#endif

namespace stubpack {
namespace {

const char kMainHelp[] =
    "Usage: stubpack COMMAND [OPTIONS] ...\n"
    "\n"
    "Builds and inspects package executables: the installer stub with files appended.\n"
    "\n"
    "Commands:\n"
    "  create   append files to a copy of the stub\n"
    "  list     show the records of a package executable\n"
    "\n"
    "Options:\n"
    "  -h, --help     show this help (stubpack COMMAND --help for a command)\n"
    "  --version      show the version\n"
    "\n"
    "Exit status: 0 ok, 1 a package or input file is bad, 2 the command line is wrong.\n";

const char kCreateHelp[] =
    "Usage: stubpack create --stub STUB -o OUT [--codepage N] FILE...\n"
    "\n"
    "Copies STUB to OUT and appends one record per FILE, in the order given; the stub extracts\n"
    "them in that order. OUT is ready for Authenticode signing: sign it after packing. OUT is\n"
    "written completely or not at all.\n"
    "\n"
    "File names must be plain Windows file names. Names outside ASCII need --codepage N, the\n"
    "Windows ANSI code page of the machines that will run OUT (for example 1252 or 932).\n"
    "\n"
    "Exit status: 0 ok, 1 a package or input file is bad, 2 the command line is wrong.\n";

const char kListHelp[] =
    "Usage: stubpack list [--json] PKG\n"
    "\n"
    "Shows the records of package executable PKG as the stub will find them: offset, count,\n"
    "index, size, running total and name of each record, the trailer, and the certificate table\n"
    "when PKG is signed. --json prints the same as a JSON object.\n"
    "\n"
    "Exit status: 0 ok, 1 a package or input file is bad, 2 the command line is wrong.\n";

bool IsHelp(const std::string& arg) { return arg == "-h" || arg == "--help"; }

std::string NeedValue(const std::vector<std::string>& args, std::size_t* i, const char* option) {
    if (*i + 1 >= args.size()) throw UsageError(std::string(option) + " needs a value");
    return args[++*i];
}

int Create(const std::vector<std::string>& args) {
    CreateOptions options;
    bool filesOnly = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (!filesOnly && IsHelp(arg)) {
            std::fputs(kCreateHelp, stdout);
            return kExitOk;
        } else if (!filesOnly && arg == "--stub") {
            options.stubPath = NeedValue(args, &i, "--stub");
        } else if (!filesOnly && (arg == "-o" || arg == "--output")) {
            options.outputPath = NeedValue(args, &i, "-o");
        } else if (!filesOnly && arg == "--codepage") {
            const std::string value = NeedValue(args, &i, "--codepage");
            char* end = nullptr;
            const unsigned long page = std::strtoul(value.c_str(), &end, 10);
            if (value.empty() || *end || page == 0 || page > 65535 || !IsKnownCodePage(page))
                throw UsageError("unknown code page '" + value + "'");
            options.codePage = static_cast<unsigned>(page);
        } else if (!filesOnly && arg == "--") {
            filesOnly = true;
        } else if (!filesOnly && arg.size() > 1 && arg[0] == '-') {
            throw UsageError("create: unknown option '" + arg + "'");
        } else {
            options.files.push_back(arg);
        }
    }
    if (options.stubPath.empty()) throw UsageError("create: --stub STUB is required");
    if (options.outputPath.empty()) throw UsageError("create: -o OUT is required");
    if (options.files.empty()) throw UsageError("create: no files to pack");
    return RunCreate(options);
}

int List(const std::vector<std::string>& args) {
    ListOptions options;
    for (const std::string& arg : args) {
        if (IsHelp(arg)) {
            std::fputs(kListHelp, stdout);
            return kExitOk;
        } else if (arg == "--json") {
            options.json = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            throw UsageError("list: unknown option '" + arg + "'");
        } else if (options.packagePath.empty()) {
            options.packagePath = arg;
        } else {
            throw UsageError("list: only one package at a time");
        }
    }
    if (options.packagePath.empty()) throw UsageError("list: no package given");
    return RunList(options);
}

int Main(const std::vector<std::string>& args) {
    if (args.empty()) throw UsageError("no command given (try stubpack --help)");
    const std::string& command = args[0];
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (IsHelp(command)) {
        std::fputs(kMainHelp, stdout);
        return kExitOk;
    }
    if (command == "--version") {
        std::printf("stubpack %s\n", STUBPACK_VERSION);
        return kExitOk;
    }
    if (command == "create") return Create(rest);
    if (command == "list") return List(rest);
    throw UsageError("unknown command '" + command + "' (try stubpack --help)");
}

}  // namespace
}  // namespace stubpack

int main(int argc, char** argv) {
    try {
        const int status = stubpack::Main(std::vector<std::string>(argv + 1, argv + argc));
        if (std::fflush(stdout) != 0) {
            std::fprintf(stderr, "stubpack: cannot write the output\n");
            return stubpack::kExitBadInput;
        }
        return status;
    } catch (const stubpack::UsageError& e) {
        std::fprintf(stderr, "stubpack: %s\n", e.what());
        return stubpack::kExitUsage;
    } catch (const stubpack::InputError& e) {
        std::fprintf(stderr, "stubpack: %s\n", e.what());
        return stubpack::kExitBadInput;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "stubpack: %s\n", e.what());
        return stubpack::kExitBadInput;
    }
}
