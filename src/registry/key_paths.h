// The product's registry key paths, relative to a root key.
#pragma once

inline constexpr wchar_t ProductKeyPath[] = L"Software\\Brevant Inc.\\Brevant Remote Server";
inline constexpr wchar_t BusinessKeyPath[] =
    L"Software\\Brevant Inc.\\Brevant Remote Server for Business";
