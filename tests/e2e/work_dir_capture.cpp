#include "work_dir_capture.h"

#include <sstream>

#include "support.h"

namespace e2e {

std::string FromHex(const std::string& hex) {
    std::string out;
    if (hex == "-") return out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return out;
}

namespace {

void ReadManifest(const std::string& outDir, CapturedRun& run) {
    const std::string text = ReadFile(outDir + "/manifest.txt");
    run.copied = !text.empty();
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> fields;
        std::istringstream split(line);
        for (std::string field; std::getline(split, field, '\t');) fields.push_back(field);
        if (fields.size() == 2 && fields[0] == "cwd") run.currentDirectory = FromHex(fields[1]);
        else if (fields.size() == 2 && fields[0] == "acp") run.codePage = static_cast<unsigned>(std::stoul(fields[1]));
        else if (fields.size() == 3 && fields[0] == "dir") run.directories.push_back(FromHex(fields[2]));
        else if (fields.size() == 5 && fields[0] == "file")
            run.files.push_back({FromHex(fields[1]), FromHex(fields[2]), ReadFile(outDir + "/" + fields[4])});
    }
}

}  // namespace

CapturedRun RunCapturingWorkDir(const std::string& exe, const std::string& outDir,
                                const CaptureOptions& options) {
    CleanWineTemp();
    RunProgram({"rm", "-rf", outDir});
    RunProgram({"mkdir", "-p", outDir});

    const std::string commandLine = "\"" + ToWindowsPath(exe) + "\" " +
                                    ToWindowsPath(WinToolPath("copy_tree.exe")) + " " + ToWindowsPath(outDir);
    std::vector<std::string> env = {"LAUNCH_COMMAND_LINE=" + commandLine,
                                    "LAUNCH_TIMEOUT_MS=" + std::to_string(options.timeoutSeconds * 1000)};
    if (!options.display) env.push_back("DISPLAY=");
    // The launcher ends a stub that outlives its time; the outer limit is for the launcher.
    const RunResult launched = RunProgram(
        {"timeout", "-k", "10", std::to_string(options.timeoutSeconds + 60),
         WineRunner(), WinToolPath("launch_bounded.exe")},
        env);

    CapturedRun run;
    run.launchOutput = launched.out + launched.err;
    run.timedOut = launched.exitCode == 124 || launched.out.find("timeout") != std::string::npos;
    const std::size_t exitAt = launched.out.find("exit 0x");
    if (exitAt != std::string::npos) {
        run.exitKnown = true;
        run.exitCode = static_cast<std::uint32_t>(std::stoul(launched.out.substr(exitAt + 7, 8), nullptr, 16));
    }
    ReadManifest(outDir, run);
    run.log = ReadLogMessages(WineTempDir() + "/unpack.log");
    run.workDirLeftBehind = FileExists(WineTempDir() + "/unpack");
    return run;
}

}  // namespace e2e
