// answer_message_box CAPTION_HEX TIMEOUT_MS: waits for a message box (window class "#32770")
// whose caption is the UTF-8 text CAPTION_HEX, prints what the box itself shows, and presses OK.
//
// Output, UTF-8, one item a line:
//   caption: TEXT      the window's caption, read back from the window
//   text: TEXT         the message, from the static control 0xFFFF
//   owner: none|other  whether the box has an owner window
//   buttons: IDS       the ids of the push buttons, comma-separated
//   closed             once the box has gone after OK
// Exit code 0 when the box was found and closed, 1 when none appeared in time, 3 when it did not
// close after OK. When no box with that caption appears but another message box is open, its
// caption is printed as "other box: TEXT" and it is answered too, so that its program can end.
#include <windows.h>

#include <string>

#include "tool_output.h"

namespace {

std::wstring WindowText(HWND window) {
    wchar_t text[4096] = {};
    GetWindowTextW(window, text, 4096);
    return text;
}

BOOL CALLBACK AddButtonId(HWND child, LPARAM list) {
    wchar_t className[64] = {};
    GetClassNameW(child, className, 64);
    const LONG style = GetWindowLongW(child, GWL_STYLE);
    const LONG kind = style & BS_TYPEMASK;
    if (std::wstring(className) == L"Button" && (kind == BS_PUSHBUTTON || kind == BS_DEFPUSHBUTTON)) {
        auto* ids = reinterpret_cast<std::wstring*>(list);
        if (!ids->empty()) *ids += L",";
        *ids += std::to_wstring(GetDlgCtrlID(child));
    }
    return TRUE;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        PrintLine(L"usage: answer_message_box CAPTION_HEX TIMEOUT_MS");
        return 2;
    }
    const std::wstring caption = FromUtf8(FromHex(argv[1]));
    const DWORD timeout = static_cast<DWORD>(_wtoi(argv[2]));

    HWND box = nullptr;
    const DWORD start = GetTickCount();
    while (!(box = FindWindowW(L"#32770", caption.c_str())) || !IsWindowVisible(box)) {
        if (GetTickCount() - start > timeout) {
            PrintLine(L"no message box");
            if (const HWND other = FindWindowW(L"#32770", nullptr)) {
                PrintLine(L"other box: " + WindowText(other));
                PostMessageW(other, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
            }
            return 1;
        }
        Sleep(50);
    }

    wchar_t text[4096] = {};
    GetDlgItemTextW(box, 0xFFFF, text, 4096);
    std::wstring buttons;
    EnumChildWindows(box, AddButtonId, reinterpret_cast<LPARAM>(&buttons));
    PrintLine(L"caption: " + WindowText(box));
    PrintLine(L"text: " + std::wstring(text));
    PrintLine(std::wstring(L"owner: ") + (GetWindow(box, GW_OWNER) ? L"other" : L"none"));
    PrintLine(L"buttons: " + buttons);

    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
    const DWORD pressed = GetTickCount();
    while (IsWindow(box)) {
        if (GetTickCount() - pressed > timeout) {
            PrintLine(L"still open");
            return 3;
        }
        Sleep(50);
    }
    PrintLine(L"closed");
    return 0;
}
