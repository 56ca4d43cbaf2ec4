// A stub run whose pass-through command (hold_until) waits until the test lets it go: while it
// waits, the stub has finished extracting and still runs, so the test can look at the working
// directory, start other instances, and read the stub's peak memory that hold_until reports.
#pragma once

#include <string>
#include <vector>

#include "background_program.h"
#include "support.h"

namespace e2e {

class HeldRun {
public:
    // exe: the package executable; dir: where the ready and go files go.
    HeldRun(const std::string& exe, const TempDir& dir, int timeoutSeconds, bool display = true)
        : ready_(dir / "held.ready"), go_(dir / "held.go"),
          program_({WineRunner(), WinToolPath("launch_bounded.exe")},
                   Environment(exe, timeoutSeconds, display)) {}

    ~HeldRun() { Release(); }

    bool Started() const { return program_.Started(); }

    // True once the command runs; false if the stub ended first or time ran out.
    bool WaitUntilHeld(int seconds) {
        for (int tick = 0; tick < seconds * 10; ++tick) {
            if (FileExists(ready_)) return true;
            if (program_.Wait(0) != -1) return FileExists(ready_);  // the stub has ended
            Pause();
        }
        return false;
    }

    // What hold_until wrote: "pid N", "parent N", "peakWorkingSet N", "peakPagefile N" lines.
    std::string Report() const { return ReadFile(ready_); }

    // Lets the command end; the stub then removes its working directory and exits.
    void Release() {
        if (!FileExists(go_)) WriteFile(go_, "go");
    }

    // The stub's exit code as launch_bounded reports it (124: ended after its time).
    int Wait(int seconds) { return program_.Wait(seconds); }
    std::string Output() const { return program_.Output() + program_.Errors(); }

    HeldRun(const HeldRun&) = delete;
    HeldRun& operator=(const HeldRun&) = delete;

private:
    std::vector<std::string> Environment(const std::string& exe, int timeoutSeconds, bool display) const {
        const std::string command = "\"" + ToWindowsPath(exe) + "\" " + ToWindowsPath(WinToolPath("hold_until.exe")) +
                                    " " + ToWindowsPath(ready_) + " " + ToWindowsPath(go_) + " " +
                                    std::to_string(timeoutSeconds * 1000);
        std::vector<std::string> env = {"LAUNCH_COMMAND_LINE=" + command,
                                        "LAUNCH_TIMEOUT_MS=" + std::to_string((timeoutSeconds + 30) * 1000)};
        if (!display) env.push_back("DISPLAY=");
        return env;
    }

    static void Pause() {
        const timespec step = {0, 100 * 1000 * 1000};
        nanosleep(&step, nullptr);
    }

    std::string ready_, go_;
    BackgroundProgram program_;
};

}  // namespace e2e
