#include "util/resource_string.h"

WString LoadResourceString(UINT id) {
    // With a buffer size of 0, LoadStringW returns a pointer into the resource itself (not
    // NUL-terminated) and its length, so no text is ever cut.
    const wchar_t* text = nullptr;
    const int length = LoadStringW(GetModuleHandleW(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || !text) return WString();
    return WString(text, static_cast<std::size_t>(length));
}
