// Direct registry access for the tests: staging values and reading back exactly what is stored,
// without going through the accessor under test.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace test {

struct StoredValue {
    LONG status = ERROR_FILE_NOT_FOUND;  // of opening the key or querying the value
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

inline StoredValue ReadValue(HKEY root, const wchar_t* path, const wchar_t* name,
                             REGSAM view = 0) {
    StoredValue value;
    HKEY key = nullptr;
    value.status = RegOpenKeyExW(root, path, 0, KEY_READ | view, &key);
    if (value.status != ERROR_SUCCESS) return value;
    DWORD size = 0;
    value.status = RegQueryValueExW(key, name, nullptr, &value.type, nullptr, &size);
    if (value.status == ERROR_SUCCESS) {
        value.data.resize(size);
        value.status = RegQueryValueExW(key, name, nullptr, &value.type,
                                        size ? value.data.data() : nullptr, &size);
        value.data.resize(size);
    }
    RegCloseKey(key);
    return value;
}

inline std::vector<BYTE> DwordBytes(DWORD v) {
    return {static_cast<BYTE>(v), static_cast<BYTE>(v >> 8), static_cast<BYTE>(v >> 16),
            static_cast<BYTE>(v >> 24)};
}

// The UTF-16 units of text and its terminating NUL, as REG_SZ data.
inline std::vector<BYTE> StringBytes(const std::wstring& text) {
    const auto* p = reinterpret_cast<const BYTE*>(text.c_str());
    return std::vector<BYTE>(p, p + (text.size() + 1) * sizeof(wchar_t));
}

inline bool SetValue(HKEY root, const wchar_t* path, const wchar_t* name, DWORD type,
                     const std::vector<BYTE>& data, DWORD options = REG_OPTION_NON_VOLATILE) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(root, path, 0, nullptr, options, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return false;
    const LONG status = RegSetValueExW(key, name, 0, type, data.data(),
                                       static_cast<DWORD>(data.size()));
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

inline bool SetDword(HKEY root, const wchar_t* path, const wchar_t* name, DWORD v) {
    return SetValue(root, path, name, REG_DWORD, DwordBytes(v));
}

inline bool CreateKey(HKEY root, const wchar_t* path, DWORD options = REG_OPTION_NON_VOLATILE) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(root, path, 0, nullptr, options, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

inline bool KeyPresent(HKEY root, const wchar_t* path, REGSAM view = 0) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path, 0, KEY_READ | view, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

// Removes a key with everything under it; a missing key is fine.
inline void DeleteTree(HKEY root, const wchar_t* path) { RegDeleteTreeW(root, path); }

// Names of the values of a key, in enumeration order.
inline std::vector<std::wstring> ValueNames(HKEY root, const wchar_t* path) {
    std::vector<std::wstring> names;
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return names;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD length = 256;
        if (RegEnumValueW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        names.emplace_back(name, length);
    }
    RegCloseKey(key);
    return names;
}

}  // namespace test
