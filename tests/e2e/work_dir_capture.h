// Runs a package executable through the real stub in pass-through mode with the copy_tree tool
// as its command, so that the files the stub extracted are seen after it removed its working
// directory. The run is bounded: a stub that hangs is ended and reported as timed out.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace e2e {

struct ExtractedFile {
    std::string ansiName;  // the name in the ANSI code page, as a package stores names; empty if
                           // it has no exact form there
    std::string utf8Name;
    std::string data;
};

struct CapturedRun {
    bool timedOut = false;
    bool exitKnown = false;
    std::uint32_t exitCode = 0;  // the stub's full exit code
    std::string launchOutput;    // what the launcher and Wine printed, for failure messages
    bool copied = false;         // the command ran and listed the working directory
    std::string currentDirectory;
    unsigned codePage = 0;
    std::vector<ExtractedFile> files;
    std::vector<std::string> directories;  // UTF-8 paths below the working directory
    std::vector<std::string> log;          // the run's log messages
    bool workDirLeftBehind = false;
};

struct CaptureOptions {
    bool display = false;  // false: no DISPLAY, so a message box fails at once
    int timeoutSeconds = 120;
};

// outDir is emptied first; the prefix's temporary directory is cleaned before the run.
CapturedRun RunCapturingWorkDir(const std::string& exe, const std::string& outDir,
                                const CaptureOptions& options = {});

std::string FromHex(const std::string& hex);

}  // namespace e2e
