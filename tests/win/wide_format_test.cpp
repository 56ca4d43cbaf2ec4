// The stub's formatting follows the Windows convention, where "%s" in a wide format is a wide
// string, also when mingw-w64's C library would read it as an 8-bit string.
#include <gtest/gtest.h>
#include <windows.h>

#include "util/wide_format.h"

TEST(WideFormat, PercentSTakesAWideStringUnderMingw) {
    wchar_t buffer[64];
    wfmt::Format(buffer, 64, L"[%s]", L"ab");
    EXPECT_STREQ(L"[ab]", buffer);
}

TEST(WideFormat, LogConversionsOnTheTarget) {
    wchar_t buffer[128];
    wfmt::Format(buffer, 128, L"[%s] %d %lld 0x%08X", L"CUnPack::FindHeader", -5,
                 static_cast<long long>(0x123456789LL), 0xABCu);
    EXPECT_STREQ(L"[CUnPack::FindHeader] -5 4886718345 0x00000ABC", buffer);
}
