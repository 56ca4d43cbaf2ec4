// The launch request for the payload command, built from the argument count: the command
// interpreter running run.bat (default), or argument 1 with the rest of the command line.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include "util/basic_string.h"

struct LaunchCommand {
    wchar_t file[MAX_PATH + 1];  // the command buffer ("cmd.exe"): the default command's program
    WString program;             // the pass-through command's program, whole however long
    WString parameters;
    WString directory;           // lpDirectory; empty for the default command
    WString batchOutput;         // the default command's output file, as its parameters name it
    // The file in the working directory that must be one this run wrote: run.bat, or the
    // pass-through program given by a plain name. Empty for a program given by its full path.
    WString ownFile;
    bool refused = false;        // a pass-through program that only a search could find
    WString comspec;             // COMSPEC for the started command: the interpreter by full path
    bool passThrough = false;

    // False when building a part failed: such a command is never started.
    bool Complete() const {
        return !program.Failed() && !parameters.Failed() && !directory.Failed() &&
               !batchOutput.Failed() && !ownFile.Failed() && !comspec.Failed() && !comspec.IsEmpty();
    }
};

// An argument count of 2 or less runs the default command.
inline bool UsesPassThrough(std::size_t argumentCount) { return argumentCount >= 3; }

// "<system Windows directory>\sysnative\cmd.exe" for a 32-bit process on 64-bit Windows 6 or
// later, where the 64-bit interpreter is reached through the sysnative alias; otherwise
// "<system directory>\cmd.exe". A bare "cmd.exe" would be searched for in the current
// directory first, which is the working directory; it remains only when neither path fits.
void ChooseInterpreter(wchar_t (&buffer)[MAX_PATH + 1], bool useSysnative,
                       const wchar_t* systemWindowsDirectory, const wchar_t* systemDirectory);

// "/d /c run.bat > "<log path>.txt"": /d, so that no AutoRun command of the user's runs first.
WString DefaultParameters(const wchar_t* logFilePath);
// "<system directory>\cmd.exe": the interpreter as the started command names it (the 64-bit one
// under WOW64 too, where sysnative is only the 32-bit stub's way to it). Failed when it does not fit.
WString InterpreterForChild(const wchar_t* systemDirectory);
// "<log path>.txt", the file the default command's output goes to.
WString BatchOutputPath(const wchar_t* logFilePath);

// Argument 1 of the command line as the program (never cut: a shortened path can name another
// file), the rest of the command line as its parameters, the working directory as its directory.
// A program given by a plain name becomes that name in the working directory, so that no search
// can find another file; one given by any other relative path is refused.
LaunchCommand PassThroughCommand(const wchar_t* commandLine, const WString& workDir,
                                 const WString& comspec);

// Zeroed request with cbSize 60, fMask 0x540 (process handle returned, launch completed before
// returning, no error dialog), verb "open", and the command's file, parameters, directory and
// show state (hidden for the default command, normal for a pass-through one).
SHELLEXECUTEINFOW MakeLaunchRequest(const LaunchCommand& command);
