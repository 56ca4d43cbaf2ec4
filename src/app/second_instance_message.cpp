#include "app/second_instance_message.h"

#include "util/resource_string.h"

void ShowSecondInstanceMessage() {
    const WString text = LoadResourceString(kSecondInstanceTextId);
    const WString caption = LoadResourceString(kProductCaptionId);
    MessageBoxW(nullptr, text.c_str(), caption.c_str(), MB_OK | MB_ICONINFORMATION);
}
