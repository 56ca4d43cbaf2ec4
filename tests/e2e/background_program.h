// A program that runs beside the test while the test drives others: its standard input is a pipe
// that the test closes to tell it to stop, and its output goes to files that the test reads
// while it runs.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "support.h"


namespace e2e {

class BackgroundProgram {
public:
    // Starts argv[0] (searched in PATH) with the extra environment entries "NAME=value".
    BackgroundProgram(const std::vector<std::string>& argv, const std::vector<std::string>& env = {})
        : outPath_(dir_ / "stdout"), errPath_(dir_ / "stderr") {
        int input[2];
        if (pipe(input) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, input[0], 0);
        posix_spawn_file_actions_addclose(&actions, input[1]);
        posix_spawn_file_actions_addopen(&actions, 1, outPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addopen(&actions, 2, errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);

        std::vector<std::string> envStrings = ChildEnvironment(env);
        std::vector<char*> envp, args;
        for (auto& s : envStrings) envp.push_back(&s[0]);
        envp.push_back(nullptr);
        std::vector<std::string> argCopy = argv;
        for (auto& s : argCopy) args.push_back(&s[0]);
        args.push_back(nullptr);

        pid_t pid;
        if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), envp.data()) == 0) {
            pid_ = pid;
            started_ = true;
        }
        posix_spawn_file_actions_destroy(&actions);
        close(input[0]);
        if (pid_ > 0) input_ = input[1];
        else close(input[1]);
    }

    ~BackgroundProgram() {
        CloseInput();
        if (pid_ > 0 && Wait(30) < 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    BackgroundProgram(const BackgroundProgram&) = delete;
    BackgroundProgram& operator=(const BackgroundProgram&) = delete;

    bool Started() const { return started_; }
    std::string Output() const { return ReadFile(outPath_); }
    std::string Errors() const { return ReadFile(errPath_); }

    // Waits until the output holds text; false if the program ended or time ran out first.
    bool WaitForOutput(const std::string& text, int seconds) {
        for (int tick = 0; tick < seconds * 20; ++tick) {
            if (Output().find(text) != std::string::npos) return true;
            if (Poll()) return Output().find(text) != std::string::npos;
            Pause();
        }
        return false;
    }

    void CloseInput() {
        if (input_ >= 0) close(input_);
        input_ = -1;
    }

    // The exit code once the program has ended; -1 when it is still running after the given
    // time (it is left running) or did not end normally.
    int Wait(int seconds) {
        for (int tick = 0; tick <= seconds * 20; ++tick) {
            if (Poll()) return exitCode_;
            Pause();
        }
        return -1;
    }

private:
    // True once the program has ended (its exit code is then kept).
    bool Poll() {
        if (pid_ <= 0) return true;
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) != pid_) return false;
        exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        pid_ = 0;
        return true;
    }

    static void Pause() {
        const timespec step = {0, 50 * 1000 * 1000};
        nanosleep(&step, nullptr);
    }

    TempDir dir_;
    std::string outPath_, errPath_;
    pid_t pid_ = 0;
    int input_ = -1;
    int exitCode_ = -1;
    bool started_ = false;
};

}  // namespace e2e
