#include "app/launch_request.h"

#include "app/command_line.h"
#include "app/start_decision.h"
#include "util/wide_format.h"

static_assert(sizeof(void*) != 4 || sizeof(SHELLEXECUTEINFOW) == 60, "the 32-bit launch request");

namespace {

// Formats "<directory><suffix>" into buffer when it fits; leaves buffer alone otherwise.
bool FormatInterpreter(wchar_t (&buffer)[MAX_PATH + 1], const wchar_t* directory,
                       const wchar_t* suffix) {
    if (!directory || !*directory) return false;
    if (WString::UnitLength(directory) + WString::UnitLength(suffix) >= MAX_PATH) return false;
    wfmt::Format(buffer, MAX_PATH, L"%s%s", directory, suffix);
    return true;
}

}  // namespace

void ChooseInterpreter(wchar_t (&buffer)[MAX_PATH + 1], bool useSysnative,
                       const wchar_t* systemWindowsDirectory, const wchar_t* systemDirectory) {
    for (auto& unit : buffer) unit = 0;
    if (useSysnative && FormatInterpreter(buffer, systemWindowsDirectory, L"\\sysnative\\cmd.exe"))
        return;
    if (FormatInterpreter(buffer, systemDirectory, L"\\cmd.exe")) return;
    wfmt::Format(buffer, MAX_PATH, L"cmd.exe");
}

WString BatchOutputPath(const wchar_t* logFilePath) {
    WString path(logFilePath);
    path.Append(L".txt");
    return path;
}

WString DefaultParameters(const wchar_t* logFilePath) {
    WString parameters(L"/d /c run.bat > \"");
    parameters.Append(BatchOutputPath(logFilePath));
    parameters.AppendUnit(L'"');
    return parameters;
}

WString InterpreterForChild(const wchar_t* systemDirectory) {
    WString path(systemDirectory);
    if (path.IsEmpty()) path.MarkFailed();
    path.Append(L"\\cmd.exe");
    if (path.Length() >= MAX_PATH) path.MarkFailed();
    return path;
}

LaunchCommand PassThroughCommand(const wchar_t* commandLine, const WString& workDir,
                                 const WString& comspec) {
    LaunchCommand command;
    command.passThrough = true;
    command.file[0] = 0;
    command.program = cmdline::Argument(commandLine, 1);
    command.parameters = cmdline::PassThroughParameters(commandLine);
    command.directory = workDir;
    command.comspec = comspec;
    switch (start::PlaceOf(command.program.c_str())) {
        case start::ProgramPlace::AsGiven: break;
        case start::ProgramPlace::WorkDir:
            command.ownFile = command.program;
            command.program = workDir;
            command.program.Append(command.ownFile);
            break;
        case start::ProgramPlace::Refused: command.refused = true; break;
    }
    return command;
}

SHELLEXECUTEINFOW MakeLaunchRequest(const LaunchCommand& command) {
    SHELLEXECUTEINFOW request = {};
    request.cbSize = sizeof request;
    request.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    request.hwnd = nullptr;
    request.lpVerb = L"open";
    request.lpFile = command.passThrough ? command.program.c_str() : command.file;
    request.lpParameters = command.parameters.c_str();
    request.lpDirectory = command.passThrough ? command.directory.c_str() : nullptr;
    request.nShow = command.passThrough ? SW_SHOWNORMAL : SW_HIDE;
    return request;
}
