// The information message that a second instance shows before it ends.
#pragma once

#include <windows.h>

constexpr UINT kSecondInstanceTextId = 129;
constexpr UINT kProductCaptionId = 130;

// Shows string 129 with caption 130, owned by no window, and returns once the user has
// dismissed it.
void ShowSecondInstanceMessage();
