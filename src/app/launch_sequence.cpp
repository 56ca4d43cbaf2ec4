#include "app/launch_sequence.h"

#include <windows.h>
#include <shellapi.h>

#include "app/batch_output.h"
#include "app/command_line.h"
#include "app/deployment_code_capture.h"
#include "app/launch_request.h"
#include "app/payload_wait.h"
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

LaunchCommand BuildDefaultCommand() {
    LaunchCommand command;
    const bool useSysnative = !CUtility::IsVersionBelow6() && CUtility::IsWow64();
    wchar_t systemWindows[MAX_PATH + 1] = {}, system[MAX_PATH + 1] = {};
    if (useSysnative && GetSystemWindowsDirectoryW(systemWindows, MAX_PATH) >= MAX_PATH)
        systemWindows[0] = 0;
    if (GetSystemDirectoryW(system, MAX_PATH) >= MAX_PATH) system[0] = 0;
    ChooseInterpreter(command.file, useSysnative, systemWindows, system);
    // The log's path in the held temporary directory as its handle names it now, so that the
    // output goes where the batch output file of this run is (a failed path starts nothing).
    WString logPath = TempDir::Current().PathNow();
    logPath.Append(kLogFileName);
    command.parameters = DefaultParameters(logPath.c_str());
    command.batchOutput = BatchOutputPath(logPath.c_str());
    return command;
}

// The reason a command must not start, or null: it starts only in the working directory that
// this run made and filled, only when every part of it could be built whole, and the default
// command only with a batch output file this run made.
const wchar_t* ReasonNotToStart(CUnPack& unpack, const LaunchCommand& command,
                                BatchOutputFile& batchOutput) {
    const WorkDirProblem problem = unpack.CheckWorkDirBeforeStart();
    if (problem != WorkDirProblem::None) return WorkDirProblemText(problem);
    if (!command.Complete()) return L"the command could not be built";
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
    const LaunchCommand command = UsesPassThrough(cmdline::CountArguments(commandLine))
                                      ? PassThroughCommand(commandLine, unpack.HeldWorkDirPath())
                                      : BuildDefaultCommand();
    SHELLEXECUTEINFOW request = MakeLaunchRequest(command);

    CUtility::WriteLog(L"[%s] dir:%s file:%s param:%s", kTag, workDir.c_str(), request.lpFile,
                       request.lpParameters);
    BatchOutputFile batchOutput;
    if (const wchar_t* reason = ReasonNotToStart(unpack, command, batchOutput)) {
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
