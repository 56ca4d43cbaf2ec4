#include "app/launch_request.h"

#include "util/wide_format.h"

static_assert(sizeof(SHELLEXECUTEINFOW) == 60, "the 32-bit launch request");

void ChooseInterpreter(wchar_t (&buffer)[MAX_PATH + 1], bool useSysnative,
                       const wchar_t* systemWindowsDirectory) {
    static const wchar_t kDefault[] = L"cmd.exe";
    for (auto& unit : buffer) unit = 0;
    for (std::size_t i = 0; kDefault[i]; ++i) buffer[i] = kDefault[i];
    if (!useSysnative || !systemWindowsDirectory || !*systemWindowsDirectory) return;

    // A path that does not fit the buffer would name some other file: keep "cmd.exe" then.
    const std::size_t needed =
        WString::UnitLength(systemWindowsDirectory) + WString::UnitLength(L"\\sysnative\\cmd.exe");
    if (needed >= MAX_PATH) return;
    wfmt::Format(buffer, MAX_PATH, L"%s\\sysnative\\cmd.exe", systemWindowsDirectory);
}

WString DefaultParameters(const wchar_t* logFilePath) {
    WString parameters(L"/c run.bat > \"");
    parameters.Append(logFilePath);
    parameters.Append(L".txt\"");
    return parameters;
}

SHELLEXECUTEINFOW MakeLaunchRequest(const LaunchCommand& command) {
    SHELLEXECUTEINFOW request = {};
    request.cbSize = sizeof request;
    request.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    request.hwnd = nullptr;
    request.lpVerb = L"open";
    request.lpFile = command.file;
    request.lpParameters = command.parameters.c_str();
    request.lpDirectory = command.passThrough ? command.directory.c_str() : nullptr;
    request.nShow = command.passThrough ? SW_SHOWNORMAL : SW_HIDE;
    return request;
}
