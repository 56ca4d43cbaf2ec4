// stubpack: builds and inspects package executables (a stub with files appended).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "commands.h"
#include "errors.h"
#include "installed_stub.h"
#include "record_names.h"
#include "windows_text.h"

#ifndef STUBPACK_VERSION
#define STUBPACK_VERSION "0.0.0"
#endif

namespace stubpack {
namespace {

#define EXIT_STATUS_HELP                                                                   \
    "Exit status:\n"                                                                         \
    "  0  success\n"                                                                         \
    "  1  a package or input file is bad (or cannot be read or written)\n"                   \
    "  2  the command line is wrong\n"

const char kMainHelp[] =
    "Usage: stubpack COMMAND [OPTIONS] ARGS...\n"
    "       stubpack COMMAND --help\n"
    "\n"
    "Builds and inspects package executables: the installer stub with files appended.\n"
    "\n"
    "Commands:\n"
    "  create    append files to a copy of the stub\n"
    "  list      show the records of a package executable\n"
    "  verify    check a package executable the way the stub will read it\n"
    "  extract   write the packaged files into a directory, without running anything\n"
    "\n"
    "Options:\n"
    "  -h, --help     show this help (stubpack COMMAND --help for a command)\n"
    "  --version      show the version\n"
    "\n"
    "Results go to standard output, errors to standard error. Output depends only on the\n"
    "inputs (no time stamps): the same inputs give the same bytes.\n"
    "\n" EXIT_STATUS_HELP;

const char kCreateHelp[] =
    "Usage: stubpack create [--stub STUB] -o OUT [--codepage N] [--] FILE...\n"
    "\n"
    "Copies STUB to OUT and appends one record per FILE, in the order given; the stub extracts\n"
    "them in that order. OUT is ready for Authenticode signing: sign it after packing (the\n"
    "trailer ends on an 8-byte boundary, so the signing tool adds no padding before the\n"
    "certificate table). OUT is written completely or not at all. Progress is shown on\n"
    "standard error for files of 4 MiB or more when it is a terminal.\n"
    "\n"
    "Options:\n"
    "  --stub STUB     the unsigned stub (UnPackFile.exe); by default the one installed with\n"
    "                  stubpack (beside it, or in ../share/stubpack from its directory)\n"
    "  -o, --output OUT  the package executable to write\n"
    "  --codepage N    the Windows ANSI code page of the machines that will run OUT (for\n"
    "                  example 1252 or 932); needed for file names outside ASCII\n"
    "\n"
    "File names must be plain Windows file names: no separators, ':', '..', control\n"
    "characters, <>\"|?* or device names (CON, NUL, COM1...), at most 259 bytes. No two\n"
    "FILEs may have one name as Windows compares names (without case, letters outside\n"
    "ASCII too, as the file system upper-cases them; trailing dots and spaces dropped),\n"
    "whatever their folders: the stub would write both to one file. Such inputs are\n"
    "refused, as stubpack verify warns about such records.\n"
    "\n" EXIT_STATUS_HELP;

const char kListHelp[] =
    "Usage: stubpack list [--json] PKG\n"
    "\n"
    "Shows the records of package executable PKG as the stub will find them: offset, count,\n"
    "index, size, running total and name of each record, the trailer, and the certificate table\n"
    "when PKG is signed: where the PE headers put it and, when that is not right after the\n"
    "trailer, where the stub expects it (JSON: certificateTable.offset and .stubExpectsAt, as in\n"
    "stubpack verify --json). It does not judge them: see stubpack verify.\n"
    "\n"
    "Options:\n"
    "  --json          print the same as a JSON object\n"
    "\n" EXIT_STATUS_HELP;

const char kVerifyHelp[] =
    "Usage: stubpack verify [--json] [--codepage N] PKG\n"
    "\n"
    "Checks package executable PKG, signed or not, the way the stub will read it: the trailer\n"
    "where the stub looks for it (before the certificate table when signed), the first record\n"
    "at the trailer's offset, every record walking to the trailer (0-7 zero bytes of alignment\n"
    "before it are fine), no record running past the trailer or the end of the file, every name\n"
    "one that the stub will write, the certificate table right after the trailer and ending the\n"
    "file, and the first record right after the stub's image. Fields the stub does not read\n"
    "(index, running total, the trailer's other fields) are checked too, as warnings. It\n"
    "explains common breakages: a signing tool's padding, a truncated file, a package appended\n"
    "twice, data appended after the package or after signing.\n"
    "\n"
    "Prints one line per problem to standard output, \"PKG: error at offset N: ...\" or\n"
    "\"PKG: warning at offset N: ...\", then a summary line (\"PKG: OK: ...\" or\n"
    "\"PKG: FAILED: ...\").\n"
    "\n"
    "Options:\n"
    "  --json          print a JSON object instead: ok, stubExtractsEveryFile, the findings\n"
    "                  (severity, check, offset, message) and the files the stub will write\n"
    "  --codepage N    check names outside ASCII as decoded with Windows code page N, and\n"
    "                  compare them with the others (without it they are not compared)\n"
    "\n"
    "Exit status:\n"
    "  0  no errors (warnings allowed): the stub will extract every file\n"
    "  1  errors were found, or PKG cannot be read\n"
    "  2  the command line is wrong\n";

const char kExtractHelp[] =
    "Usage: stubpack extract [--codepage N] PKG DIR\n"
    "       stubpack extract --list-only [--json] PKG\n"
    "\n"
    "Writes the files of package executable PKG into directory DIR (created if missing) as the\n"
    "stub would leave them in its working directory, without running anything: same walk, the\n"
    "later of two records with the same name wins (names compared as Windows does), trailing\n"
    "dots and spaces of names dropped as Windows does. Each file appears complete or not at\n"
    "all (written to a temporary file in DIR, then renamed). Nothing is written outside DIR:\n"
    "names the stub refuses are not written, and symlinks in DIR are replaced, never followed.\n"
    "A record whose data run past the end of PKG (which the stub would write short) is not\n"
    "written; it is reported, the complete files are written, and the exit status is 1. Prints\n"
    "each file written to standard output; progress for files of 4 MiB or more goes to\n"
    "standard error when it is a terminal. Run stubpack verify to check PKG as a whole.\n"
    "\n"
    "Options:\n"
    "  --codepage N    decode names outside ASCII with Windows code page N (written as UTF-8);\n"
    "                  without it such names are refused\n"
    "  --list-only     write nothing; the same as stubpack list PKG\n"
    "  --json          with --list-only: as stubpack list --json\n"
    "\n"
    "Exit status:\n"
    "  0  every file was written\n"
    "  1  a record was not written (reported on standard error), or PKG or DIR is bad\n"
    "  2  the command line is wrong\n";

bool IsHelp(const std::string& arg) { return arg == "-h" || arg == "--help"; }

std::string NeedValue(const std::vector<std::string>& args, std::size_t* i, const char* option) {
    if (*i + 1 >= args.size()) throw UsageError(std::string(option) + " needs a value");
    return args[++*i];
}

unsigned ParseCodePage(const std::string& value) {
    char* end = nullptr;
    const unsigned long page = std::strtoul(value.c_str(), &end, 10);
    if (value.empty() || *end || page == 0 || page > 65535 || !IsKnownCodePage(page))
        throw UsageError("unknown code page '" + value + "'");
    return static_cast<unsigned>(page);
}

[[noreturn]] void UnknownOption(const char* command, const std::string& arg) {
    throw UsageError(std::string(command) + ": unknown option '" + arg + "' (try stubpack " + command +
                     " --help)");
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
            options.codePage = ParseCodePage(NeedValue(args, &i, "--codepage"));
        } else if (!filesOnly && arg == "--") {
            filesOnly = true;
        } else if (!filesOnly && arg.size() > 1 && arg[0] == '-') {
            UnknownOption("create", arg);
        } else {
            options.files.push_back(arg);
        }
    }
    if (options.stubPath.empty()) options.stubPath = InstalledStubPath();
    if (options.stubPath.empty())
        throw UsageError("create: --stub STUB is required (no UnPackFile.exe is installed with stubpack)");
    if (options.outputPath.empty()) throw UsageError("create: -o OUT is required");
    if (options.files.empty()) throw UsageError("create: no files to pack");
    return RunCreate(options);
}

// The positional arguments of a command, with its options taken out by `option`, which returns
// false for an option it does not know. After "--" everything is positional.
template <class OptionFn>
std::vector<std::string> Positionals(const std::vector<std::string>& args, const char* command,
                                     OptionFn option) {
    std::vector<std::string> positional;
    bool positionalOnly = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (positionalOnly || arg == "-" || arg.empty() || arg[0] != '-') {
            positional.push_back(arg);
        } else if (arg == "--") {
            positionalOnly = true;
        } else if (!option(arg, &i)) {
            UnknownOption(command, arg);
        }
    }
    return positional;
}

bool WantsHelp(const std::vector<std::string>& args) {
    for (const std::string& arg : args) {
        if (arg == "--") return false;
        if (IsHelp(arg)) return true;
    }
    return false;
}

int List(const std::vector<std::string>& args) {
    if (WantsHelp(args)) {
        std::fputs(kListHelp, stdout);
        return kExitOk;
    }
    ListOptions options;
    const auto positional = Positionals(args, "list", [&](const std::string& arg, std::size_t*) {
        if (arg != "--json") return false;
        options.json = true;
        return true;
    });
    if (positional.empty()) throw UsageError("list: no package given (try stubpack list --help)");
    if (positional.size() > 1) throw UsageError("list: only one package at a time");
    options.packagePath = positional[0];
    return RunList(options);
}

int Verify(const std::vector<std::string>& args) {
    if (WantsHelp(args)) {
        std::fputs(kVerifyHelp, stdout);
        return kExitOk;
    }
    VerifyCommandOptions options;
    const auto positional = Positionals(args, "verify", [&](const std::string& arg, std::size_t* i) {
        if (arg == "--json") options.json = true;
        else if (arg == "--codepage") options.codePage = ParseCodePage(NeedValue(args, i, "--codepage"));
        else return false;
        return true;
    });
    if (positional.empty()) throw UsageError("verify: no package given (try stubpack verify --help)");
    if (positional.size() > 1) throw UsageError("verify: only one package at a time");
    options.packagePath = positional[0];
    return RunVerify(options);
}

int Extract(const std::vector<std::string>& args) {
    if (WantsHelp(args)) {
        std::fputs(kExtractHelp, stdout);
        return kExitOk;
    }
    ExtractOptions options;
    bool listOnly = false, json = false;
    const auto positional = Positionals(args, "extract", [&](const std::string& arg, std::size_t* i) {
        if (arg == "--list-only") listOnly = true;
        else if (arg == "--json") json = true;
        else if (arg == "--codepage") options.codePage = ParseCodePage(NeedValue(args, i, "--codepage"));
        else return false;
        return true;
    });
    if (listOnly) {
        if (positional.size() != 1) throw UsageError("extract --list-only: give one package and no directory");
        ListOptions list;
        list.packagePath = positional[0];
        list.json = json;
        return RunList(list);
    }
    if (json) throw UsageError("extract: --json goes with --list-only");
    if (positional.size() != 2)
        throw UsageError("extract: give a package and a directory (try stubpack extract --help)");
    options.packagePath = positional[0];
    options.directory = positional[1];
    return RunExtract(options);
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
    if (command == "verify") return Verify(rest);
    if (command == "extract") return Extract(rest);
    throw UsageError("unknown command '" + command + "' (try stubpack --help)");
}

}  // namespace
}  // namespace stubpack

namespace {

int Run(const std::vector<std::string>& args) {
    try {
        const int status = stubpack::Main(args);
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

}  // namespace

#ifdef _WIN32
// File names arrive as UTF-16; stubpack works in UTF-8 and gives the system UTF-16 again.
int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.push_back(stubpack::Narrow(argv[i], std::wcslen(argv[i])));
    return Run(args);
}
#else
int main(int argc, char** argv) { return Run(std::vector<std::string>(argv + 1, argv + argc)); }
#endif
