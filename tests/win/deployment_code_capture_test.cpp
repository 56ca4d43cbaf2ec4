// The deployment code capture against Wine's registry: exactly which values it leaves in the
// product key under HKEY_LOCAL_MACHINE, read back as the 32-bit process this test is.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <string>
#include <vector>

#include "app/deployment_code_capture.h"
#include "registry/key_paths.h"
#include "registry_fixture.h"

using test::DwordBytes;
using test::ReadValue;
using test::StringBytes;

namespace {

const wchar_t kVendorKey[] = L"Software\\Brevant Inc.";

class DeploymentCodeCaptureTest : public ::testing::Test {
protected:
    void SetUp() override { TearDown(); }
    void TearDown() override {
        test::DeleteTree(HKEY_LOCAL_MACHINE, kVendorKey);
        test::DeleteTree(HKEY_LOCAL_MACHINE, L"Software\\Wow6432Node\\Brevant Inc.");
    }
};

struct Expected {
    const wchar_t* dcode;   // nullptr: the key is not even created
    const wchar_t* region;  // nullptr: no "CloudRegion"
};

void ExpectStored(const Expected& e) {
    if (!e.dcode) {
        EXPECT_FALSE(test::KeyPresent(HKEY_LOCAL_MACHINE, ProductKeyPath));
        return;
    }
    std::vector<std::wstring> names = {L"Confirm_d", L"CKVTMode", L"DCode", L"CKVTLogin"};
    if (e.region) names.push_back(L"CloudRegion");
    auto stored = test::ValueNames(HKEY_LOCAL_MACHINE, ProductKeyPath);
    std::sort(names.begin(), names.end());
    std::sort(stored.begin(), stored.end());
    EXPECT_EQ(names, stored);

    const struct {
        const wchar_t* name;
        DWORD type;
        std::vector<BYTE> data;
    } values[] = {
        {L"Confirm_d", REG_DWORD, DwordBytes(1)},
        {L"CKVTMode", REG_DWORD, DwordBytes(1)},
        {L"DCode", REG_SZ, StringBytes(e.dcode)},
        {L"CKVTLogin", REG_DWORD, DwordBytes(0)},
        {L"CloudRegion", REG_SZ, StringBytes(e.region ? e.region : L"")},
    };
    for (const auto& v : values) {
        if (!e.region && std::wstring(v.name) == L"CloudRegion") continue;
        SCOPED_TRACE(std::string(v.name, v.name + wcslen(v.name)));
        const auto value = ReadValue(HKEY_LOCAL_MACHINE, ProductKeyPath, v.name);
        EXPECT_EQ(ERROR_SUCCESS, value.status);
        EXPECT_EQ(v.type, value.type);
        EXPECT_EQ(v.data, value.data);
    }
}

}  // namespace

TEST_F(DeploymentCodeCaptureTest, ValuesForModulePaths) {
    const struct {
        const wchar_t* path;
        Expected expected;
    } cases[] = {
        {L"C:\\Users\\u\\Downloads\\Setup-AB12CD34EF56us.exe", {L"AB12CD34EF56US", L"US"}},
        {L"C:\\Users\\u\\Downloads\\Setup-ab12cd34ef56EU.exe", {L"ab12cd34ef56EU", L"EU"}},
        {L"C:\\Users\\u\\Downloads\\Setup-AB12CD34EF56.exe", {L"AB12CD34EF56", nullptr}},
        {L"C:\\Users\\u\\Downloads\\Setup-AB12CD34EF56 (1).exe", {L"AB12CD34EF56", nullptr}},
        {L"C:\\my-dir\\Setup-AB12CD34EF56", {L"AB12CD34EF56", nullptr}},
        // Letters of any script count, as Windows classifies them; stored unchanged.
        {L"C:\\d\\Setup-\u00c9\u00e0\u00d6\u00df12\u0416\u04343\u03bb\u03a94.exe",
         {L"\u00c9\u00e0\u00d6\u00df12\u0416\u04343\u03bb\u03a94", nullptr}},
        {L"C:\\d\\Setup-AB12CD34EF56\u00e9a.exe", {L"AB12CD34EF56\u00e9A", L"\u00e9A"}},
        {L"C:\\d\\Setup-AB12CD34EF5.exe", {nullptr, nullptr}},
        {L"C:\\d\\Setup-AB12CD34EF56-1.2.exe", {nullptr, nullptr}},
        {L"C:\\x-AB12CD34EF56\\Setup.exe", {nullptr, nullptr}},
        {L"C:\\d\\Setup.exe", {nullptr, nullptr}},
        {L"C:\\d\\Setup-AB12CD_4EF56.exe", {nullptr, nullptr}},
        {L"", {nullptr, nullptr}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "path #" << (&c - cases));
        TearDown();
        CaptureDeploymentCode(c.path);
        ExpectStored(c.expected);
    }
    CaptureDeploymentCode(nullptr);
    EXPECT_FALSE(test::KeyPresent(HKEY_LOCAL_MACHINE, ProductKeyPath));
}

// A later run without a region code overwrites the other values and keeps the earlier
// "CloudRegion"; values of other names in the key are left alone.
TEST_F(DeploymentCodeCaptureTest, LaterRunKeepsCloudRegionAndOtherValues) {
    CaptureDeploymentCode(L"C:\\d\\Setup-AB12CD34EF56us.exe");
    ASSERT_TRUE(test::SetDword(HKEY_LOCAL_MACHINE, ProductKeyPath, L"CKVTLogin", 7));
    ASSERT_TRUE(test::SetDword(HKEY_LOCAL_MACHINE, ProductKeyPath, L"Other", 9));
    CaptureDeploymentCode(L"C:\\d\\Setup-ZZ98YY76XX54.exe");

    EXPECT_EQ(StringBytes(L"ZZ98YY76XX54"),
              ReadValue(HKEY_LOCAL_MACHINE, ProductKeyPath, L"DCode").data);
    EXPECT_EQ(StringBytes(L"US"),
              ReadValue(HKEY_LOCAL_MACHINE, ProductKeyPath, L"CloudRegion").data);
    EXPECT_EQ(DwordBytes(0), ReadValue(HKEY_LOCAL_MACHINE, ProductKeyPath, L"CKVTLogin").data);
    EXPECT_EQ(DwordBytes(9), ReadValue(HKEY_LOCAL_MACHINE, ProductKeyPath, L"Other").data);

    // A path without a code changes nothing.
    CaptureDeploymentCode(L"C:\\d\\Setup.exe");
    EXPECT_EQ(StringBytes(L"ZZ98YY76XX54"),
              ReadValue(HKEY_LOCAL_MACHINE, ProductKeyPath, L"DCode").data);
}

// The values live in the view a 32-bit process sees (Software\Wow6432Node in the 64-bit view of a
// 64-bit Windows), never in the 64-bit view of HKEY_LOCAL_MACHINE\Software.
TEST_F(DeploymentCodeCaptureTest, WritesTheThirtyTwoBitView) {
    BOOL wow64 = FALSE;
    IsWow64Process(GetCurrentProcess(), &wow64);
    if (!wow64) GTEST_SKIP() << "not a 64-bit Windows: there is only one view";
    CaptureDeploymentCode(L"C:\\d\\Setup-AB12CD34EF56us.exe");
    EXPECT_EQ(ERROR_SUCCESS, ReadValue(HKEY_LOCAL_MACHINE, ProductKeyPath, L"DCode").status);
    EXPECT_FALSE(test::KeyPresent(HKEY_LOCAL_MACHINE, ProductKeyPath, KEY_WOW64_64KEY));
    EXPECT_EQ(StringBytes(L"AB12CD34EF56US"),
              ReadValue(HKEY_LOCAL_MACHINE,
                        L"Software\\Wow6432Node\\Brevant Inc.\\Brevant Remote Server", L"DCode",
                        KEY_WOW64_64KEY)
                  .data);
}

// When the product key cannot be created (here: its parent is volatile), nothing is written,
// neither there nor into HKEY_LOCAL_MACHINE's root key.
TEST_F(DeploymentCodeCaptureTest, NothingWrittenWhenTheKeyCannotBeCreated) {
    const wchar_t* const names[] = {L"CloudRegion", L"Confirm_d", L"CKVTMode", L"DCode",
                                    L"CKVTLogin"};
    HKEY root = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, nullptr, 0, KEY_ALL_ACCESS, &root));
    for (const wchar_t* name : names) RegDeleteValueW(root, name);

    ASSERT_TRUE(test::CreateKey(HKEY_LOCAL_MACHINE, kVendorKey, REG_OPTION_VOLATILE));
    CaptureDeploymentCode(L"C:\\d\\Setup-AB12CD34EF56us.exe");
    EXPECT_FALSE(test::KeyPresent(HKEY_LOCAL_MACHINE, ProductKeyPath));
    for (const wchar_t* name : names) {
        EXPECT_EQ(ERROR_FILE_NOT_FOUND, ReadValue(HKEY_LOCAL_MACHINE, L"", name).status);
        RegDeleteValueW(root, name);
    }
    RegCloseKey(root);
}

// What counts as a letter or digit of a code: Windows' alphabetic, digit, upper- and lower-case
// classes.
TEST(DeploymentCodeUnit, LettersAndDigitsOfAnyScript) {
    for (wchar_t c : {L'0', L'9', L'a', L'Z', L'\u00e9', L'\u00df', L'\u0416', L'\u03a9', L'\u05d0',
                      L'\u4e2d'})
        EXPECT_TRUE(IsDeploymentCodeUnit(c)) << static_cast<unsigned>(c);
    for (wchar_t c : {L' ', L'_', L'.', L'-', L'(', L'\\', L'\u00d7', L'\t', L'\0', L'\u3000'})
        EXPECT_FALSE(IsDeploymentCodeUnit(c)) << static_cast<unsigned>(c);
}
