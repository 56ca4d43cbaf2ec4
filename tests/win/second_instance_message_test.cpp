// The second-instance message as this process shows it: text 129 and caption 130 loaded at the
// time of use, an information icon, OK only, and no owner window. A helper thread reads the box
// and answers it, since the call returns only once the box is dismissed.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <thread>

#include "app/second_instance_message.h"

namespace {

struct SeenBox {
    bool found = false;
    std::wstring caption, text;
    bool owned = true;
    HICON icon = nullptr;
    int buttons = 0;
    bool okButton = false;
};

struct ChildScan {
    HICON icon = nullptr;
    int buttons = 0;
};

BOOL CALLBACK ScanChild(HWND child, LPARAM param) {
    auto* scan = reinterpret_cast<ChildScan*>(param);
    wchar_t className[32] = {};
    GetClassNameW(child, className, 32);
    const LONG style = GetWindowLongW(child, GWL_STYLE);
    if (lstrcmpiW(className, L"Static") == 0 && (style & SS_TYPEMASK) == SS_ICON)
        scan->icon = reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0));
    if (lstrcmpiW(className, L"Button") == 0) ++scan->buttons;
    return TRUE;
}

struct BoxSearch {
    HWND box = nullptr;
};

BOOL CALLBACK FindOwnBox(HWND window, LPARAM param) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    wchar_t className[16] = {};
    GetClassNameW(window, className, 16);
    if (process == GetCurrentProcessId() && lstrcmpW(className, L"#32770") == 0 &&
        IsWindowVisible(window)) {
        reinterpret_cast<BoxSearch*>(param)->box = window;
        return FALSE;
    }
    return TRUE;
}

// Waits for this process's message box, records it and presses OK.
void AnswerBox(SeenBox* seen) {
    BoxSearch search;
    for (int tick = 0; tick < 1200 && !search.box; ++tick) {
        EnumWindows(FindOwnBox, reinterpret_cast<LPARAM>(&search));
        if (!search.box) Sleep(50);
    }
    if (!search.box) return;
    const HWND box = search.box;
    wchar_t buffer[1024] = {};
    GetWindowTextW(box, buffer, 1024);
    seen->caption = buffer;
    GetDlgItemTextW(box, 0xFFFF, buffer, 1024);
    seen->text = buffer;
    seen->owned = GetWindow(box, GW_OWNER) != nullptr;
    ChildScan scan;
    EnumChildWindows(box, ScanChild, reinterpret_cast<LPARAM>(&scan));
    seen->icon = scan.icon;
    seen->buttons = scan.buttons;
    seen->okButton = GetDlgItem(box, IDOK) != nullptr;
    seen->found = true;
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

}  // namespace

TEST(SecondInstanceMessage, InformationBoxWithOkOnlyAndNoOwner) {
    SeenBox seen;
    std::thread answer(AnswerBox, &seen);
    ShowSecondInstanceMessage();  // returns once the helper has pressed OK
    answer.join();

    ASSERT_TRUE(seen.found) << "no message box appeared";
    EXPECT_EQ(L"Brevant\u00AE Kelvor", seen.caption);
    EXPECT_EQ(L"Another installation is in progress. You must complete that installation before "
              L"starting this one.",
              seen.text);
    EXPECT_FALSE(seen.owned);
    EXPECT_EQ(1, seen.buttons);
    EXPECT_TRUE(seen.okButton);
    EXPECT_EQ(LoadIconW(nullptr, IDI_INFORMATION), seen.icon);
    EXPECT_NE(LoadIconW(nullptr, IDI_WARNING), seen.icon);
}
