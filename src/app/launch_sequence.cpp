#include "app/launch_sequence.h"

#include <windows.h>
#include <shellapi.h>

#include "app/batch_output.h"
#include "app/child_environment.h"
#include "app/command_line.h"
#include "app/deployment_code_capture.h"
#include "app/launch_request.h"
#include "app/payload_wait.h"
#include "app/start_decision.h"
#include "package/unpack.h"
#include "util/log_path.h"
#include "util/temp_dir.h"
#include "util/utility.h"

namespace {

const wchar_t kTag[] = L"CUnPackFileApp::InitInstance";

// After cmd.exe has ended, its console host keeps the working directory as its current
// directory for a moment, so the first removal can fail; a few short retries clean up.
constexpr int kRemoveRetries = 20;
constexpr DWORD kRemoveRetryDelayMs = 100;

WString SystemDirectory() {
    wchar_t system[MAX_PATH + 1] = {};
    if (GetSystemDirectoryW(system, MAX_PATH) >= MAX_PATH) system[0] = 0;
    return WString(system);
}

LaunchCommand BuildDefaultCommand(const WString& systemDirectory) {
    LaunchCommand command;
    const bool useSysnative = !CUtility::IsVersionBelow6() && CUtility::IsWow64();
    wchar_t systemWindows[MAX_PATH + 1] = {};
    if (useSysnative && GetSystemWindowsDirectoryW(systemWindows, MAX_PATH) >= MAX_PATH)
        systemWindows[0] = 0;
    ChooseInterpreter(command.file, useSysnative, systemWindows, systemDirectory.c_str());
    command.comspec = InterpreterForChild(systemDirectory.c_str());
    command.ownFile = L"run.bat";
    // The log's path in the held temporary directory as its handle names it now, so that the
    // output goes where the batch output file of this run is (a failed path starts nothing).
    WString logPath = TempDir::Current().PathNow();
    logPath.Append(kLogFileName);
    command.parameters = DefaultParameters(logPath.c_str());
    command.batchOutput = BatchOutputPath(logPath.c_str());
    return command;
}

// The reason a command must not start, or null, decided before anything is made for it: it
// starts only in the working directory that this run made and filled, only with a file this
// run wrote there (run.bat, or a pass-through program named without a path), only when every
// part of it could be built whole, and never with a path the interpreter would expand.
const wchar_t* ReasonNotToStart(CUnPack& unpack, const LaunchCommand& command) {
    const WorkDirProblem problem =
        unpack.CheckWorkDirBeforeStart(command.ownFile.IsEmpty() ? nullptr : command.ownFile.c_str());
    const wchar_t* notWritten = command.passThrough
                                    ? L"the program is not a file this run wrote in the working directory"
                                    : L"run.bat is not a file this run wrote in the working directory";
    if (problem == WorkDirProblem::FileNotWritten || command.refused) return notWritten;
    if (problem != WorkDirProblem::None) return WorkDirProblemText(problem);
    if (!command.Complete()) return L"the command could not be built";
    const WString workDir = unpack.HeldWorkDirPath();
    if (start::HoldsExpandableText(workDir.c_str()) ||
        start::HoldsExpandableText(command.batchOutput.c_str()))
        return L"a path the command is given holds % or !, which the interpreter would expand";
    return nullptr;
}

// Makes what the command is given (its current directory, the batch output, the environment)
// and checks that each leads to what this run holds; the reason it cannot, or null. In this
// order, right before the start: nothing can be swapped in between.
const wchar_t* PrepareStart(CUnPack& unpack, const LaunchCommand& command,
                            BatchOutputFile& batchOutput) {
    if (!PrepareChildEnvironment(command.comspec.c_str()))
        return L"the command's environment could not be set";
    // The command's directory is named as the held handle names it now, and must still lead to
    // the held directory itself (a directory above renamed and replaced would not).
    if (command.passThrough)
        return unpack.IsHeldWorkDir(command.directory.c_str())
                   ? nullptr
                   : L"the command's directory is not the working directory";
    // The default command runs run.bat from the current directory: anywhere else (the download
    // folder the stub was started from) it could be someone else's.
    const WString workDir = unpack.HeldWorkDirPath();
    if (workDir.Failed() || !SetCurrentDirectoryW(workDir.c_str()) || !unpack.IsHeldWorkDir(L"."))
        return L"the working directory could not be made the current directory";
    if (!batchOutput.Prepare(command.batchOutput.c_str()))
        return L"the batch output file could not be made new";
    return nullptr;
}

void RemoveWorkDirWithRetries(CUnPack& unpack) {
    unpack.RemoveWorkDir();
    const WString workDir = unpack.GetWorkDir();
    for (int retry = 0; retry < kRemoveRetries && CUtility::PathExists(workDir.c_str()); ++retry) {
        Sleep(kRemoveRetryDelayMs);
        unpack.RemoveWorkDir();
    }
}

}  // namespace

void RunLaunchSequence() {
    // Found and held now, for the whole run: the log, the working directory and the batch
    // output are all reached through it.
    TempDir::Current();
    CUtility::OSInfo();

    CUnPack unpack;
    unpack.RunUnPack();

    // After the extraction and before the command starts, so the payload can read the values.
    CaptureDeploymentCode(CUtility::GetModulePath().c_str());

    const wchar_t* commandLine = GetCommandLineW();
    const WString workDir = unpack.GetWorkDir();
    const WString systemDirectory = SystemDirectory();
    const LaunchCommand command =
        UsesPassThrough(cmdline::CountArguments(commandLine))
            ? PassThroughCommand(commandLine, unpack.HeldWorkDirPath(),
                                 InterpreterForChild(systemDirectory.c_str()))
            : BuildDefaultCommand(systemDirectory);
    SHELLEXECUTEINFOW request = MakeLaunchRequest(command);

    CUtility::WriteLog(L"[%s] dir:%s file:%s param:%s", kTag, workDir.c_str(), request.lpFile,
                       request.lpParameters);
    // First what decides, then what is made for the start: a refusal leaves nothing new behind.
    BatchOutputFile batchOutput;
    const wchar_t* reason = ReasonNotToStart(unpack, command);
    if (!reason) reason = PrepareStart(unpack, command, batchOutput);
    if (reason) {
        // As after a failed start: the directory stays, and the next run clears it.
        CUtility::WriteLog(L"[%s] execute refused: %s", kTag, reason);
        return;
    }
    if (!ShellExecuteExW(&request)) {
        CUtility::WriteLog(L"[%s] execute fail", kTag);
        return;
    }
    CUtility::WriteLog(L"[%s] execute succ 0x%08X", kTag,
                       static_cast<unsigned>(reinterpret_cast<UINT_PTR>(request.hProcess)));
    if (!request.hProcess) return;

    CUtility::WriteLog(L"[%s] execute wait pid:%d", kTag,
                       static_cast<int>(GetProcessId(request.hProcess)));
    const DWORD exitCode = PollUntilEnded(request.hProcess);
    CloseHandle(request.hProcess);
    batchOutput.Release();
    RemoveWorkDirWithRetries(unpack);
    CUtility::WriteLog(L"[%s] execute done code:%d", kTag, static_cast<int>(exitCode));
}
