// The alias "UNIVERSAL_PATH_CONVERT" resolved against product keys staged in Wine's registry:
// the machine's under HKEY_LOCAL_MACHINE (32-bit view) and the user's under HKEY_CURRENT_USER.
// Wine has one user and does not enforce key permissions, so the rows that need another user's
// hive or a key without full access are covered by the host's decision table only.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "registry/key_paths.h"
#include "registry/registry.h"
#include "registry_fixture.h"

namespace {

const wchar_t kVendorKey[] = L"Software\\Brevant Inc.";
const wchar_t kAlias[] = L"UNIVERSAL_PATH_CONVERT";
const wchar_t kRootValue[] = L"KVTBasedType";  // also staged in HKEY_LOCAL_MACHINE's root once

class ResolveKeyPathTest : public ::testing::Test {
protected:
    void SetUp() override { TearDown(); }
    void TearDown() override {
        test::DeleteTree(HKEY_LOCAL_MACHINE, kVendorKey);
        test::DeleteTree(HKEY_CURRENT_USER, kVendorKey);
        HKEY root = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, nullptr, 0, KEY_WRITE, &root) == ERROR_SUCCESS) {
            RegDeleteValueW(root, kRootValue);
            RegCloseKey(root);
        }
    }
};

std::wstring Resolve(const wchar_t* path, HKEY root) {
    return ResolveKeyPath(path, root).c_str();
}

// A DWORD staged in a product key; kNone leaves it out.
constexpr DWORD kNone = 0xFFFFFFFF;
void StageDword(HKEY root, const wchar_t* name, DWORD v) {
    if (v != kNone) ASSERT_TRUE(test::SetDword(root, ProductKeyPath, name, v));
}

}  // namespace

TEST_F(ResolveKeyPathTest, RowsOfMachineAndUserKeys) {
    const struct {
        const char* what;
        DWORD machineBasedType;
        DWORD machineServerMode;
        bool userKey;
        DWORD userServerMode;
        const wchar_t* expected;
    } cases[] = {
        {"no product key anywhere", kNone, kNone, false, kNone, ProductKeyPath},
        {"machine server mode 1, no based type", kNone, 1, false, kNone, BusinessKeyPath},
        {"machine server mode 2", kNone, 2, false, kNone, ProductKeyPath},
        {"based type 1: the user is not consulted", 1, 0, true, 1, ProductKeyPath},
        {"based type 1, machine server mode 1", 1, 1, true, 0, BusinessKeyPath},
        {"based type 0, no user key, machine 1", 0, 1, false, kNone, BusinessKeyPath},
        {"based type 0, no user key, machine 0", 0, 0, false, kNone, ProductKeyPath},
        {"based type 0, user key without value, machine 1", 0, 1, true, kNone, BusinessKeyPath},
        {"based type 0, user key without value, machine 0", 0, 0, true, kNone, ProductKeyPath},
        {"based type 0, user 1, machine 0", 0, 0, true, 1, BusinessKeyPath},
        {"based type 0, user 1, no machine value", 0, kNone, true, 1, BusinessKeyPath},
        {"based type 0, user 0, machine 1", 0, 1, true, 0, ProductKeyPath},
        {"based type 2, user 1, machine 0", 2, 0, true, 1, BusinessKeyPath},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TearDown();
        if (c.machineBasedType != kNone || c.machineServerMode != kNone)
            ASSERT_TRUE(test::CreateKey(HKEY_LOCAL_MACHINE, ProductKeyPath));
        StageDword(HKEY_LOCAL_MACHINE, L"KVTBasedType", c.machineBasedType);
        StageDword(HKEY_LOCAL_MACHINE, L"KVServerMode", c.machineServerMode);
        if (c.userKey) ASSERT_TRUE(test::CreateKey(HKEY_CURRENT_USER, ProductKeyPath));
        StageDword(HKEY_CURRENT_USER, L"KVServerMode", c.userServerMode);

        EXPECT_EQ(std::wstring(c.expected), Resolve(kAlias, nullptr));
    }
}

// Values are read as any 4 bytes, whatever their type; longer ones are unreadable.
TEST_F(ResolveKeyPathTest, ValuesOfOtherTypes) {
    // "KVTBasedType" too long to read counts as 1: the machine decides.
    ASSERT_TRUE(test::SetValue(HKEY_LOCAL_MACHINE, ProductKeyPath, L"KVTBasedType", REG_SZ,
                               test::StringBytes(L"user")));
    ASSERT_TRUE(test::SetDword(HKEY_CURRENT_USER, ProductKeyPath, L"KVServerMode", 1));
    EXPECT_EQ(std::wstring(ProductKeyPath), Resolve(kAlias, nullptr));

    // Four bytes 01 00 00 00 of a binary value are the number 1.
    ASSERT_TRUE(test::SetValue(HKEY_LOCAL_MACHINE, ProductKeyPath, L"KVServerMode", REG_BINARY,
                               {1, 0, 0, 0}));
    EXPECT_EQ(std::wstring(BusinessKeyPath), Resolve(kAlias, nullptr));

    // The user's "KVServerMode" exists but cannot be read as a number: the product key.
    ASSERT_TRUE(test::SetDword(HKEY_LOCAL_MACHINE, ProductKeyPath, L"KVTBasedType", 0));
    ASSERT_TRUE(test::SetValue(HKEY_CURRENT_USER, ProductKeyPath, L"KVServerMode", REG_SZ,
                               test::StringBytes(L"business")));
    EXPECT_EQ(std::wstring(ProductKeyPath), Resolve(kAlias, nullptr));
}

// Without a machine product key, "KVTBasedType" is looked up in HKEY_LOCAL_MACHINE's root key.
TEST_F(ResolveKeyPathTest, BasedTypeInTheRootWhenTheMachineKeyIsMissing) {
    ASSERT_TRUE(test::SetDword(HKEY_CURRENT_USER, ProductKeyPath, L"KVServerMode", 1));
    EXPECT_EQ(std::wstring(ProductKeyPath), Resolve(kAlias, nullptr));
    HKEY root = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, nullptr, 0, KEY_WRITE, &root));
    const DWORD zero = 0;
    const LONG set = RegSetValueExW(root, kRootValue, 0, REG_DWORD,
                                    reinterpret_cast<const BYTE*>(&zero), sizeof zero);
    RegCloseKey(root);
    ASSERT_EQ(ERROR_SUCCESS, set);
    EXPECT_EQ(std::wstring(BusinessKeyPath), Resolve(kAlias, nullptr));
}

TEST_F(ResolveKeyPathTest, WithAGivenRoot) {
    ASSERT_TRUE(test::SetDword(HKEY_LOCAL_MACHINE, ProductKeyPath, L"KVServerMode", 1));
    ASSERT_TRUE(test::SetDword(HKEY_CURRENT_USER, ProductKeyPath, L"KVServerMode", 0));
    EXPECT_EQ(std::wstring(BusinessKeyPath), Resolve(kAlias, HKEY_LOCAL_MACHINE));
    EXPECT_EQ(std::wstring(ProductKeyPath), Resolve(kAlias, HKEY_CURRENT_USER));
    EXPECT_EQ(std::wstring(ProductKeyPath), Resolve(kAlias, HKEY_CURRENT_CONFIG));  // refused
    ASSERT_TRUE(test::SetDword(HKEY_CURRENT_USER, ProductKeyPath, L"KVServerMode", 1));
    EXPECT_EQ(std::wstring(BusinessKeyPath), Resolve(kAlias, HKEY_CURRENT_USER));
    test::DeleteTree(HKEY_LOCAL_MACHINE, kVendorKey);
    EXPECT_EQ(std::wstring(ProductKeyPath), Resolve(kAlias, HKEY_LOCAL_MACHINE));
}

TEST_F(ResolveKeyPathTest, OtherPathsPassThroughUnchanged) {
    ASSERT_TRUE(test::SetDword(HKEY_LOCAL_MACHINE, ProductKeyPath, L"KVServerMode", 1));
    for (const wchar_t* path : {ProductKeyPath, L"Software\\Other", L"UNIVERSAL_PATH_CONVERT\\x",
                                L"UNIVERSAL_PATH_CONVERTX", L""}) {
        EXPECT_EQ(std::wstring(path), Resolve(path, nullptr));
        EXPECT_EQ(std::wstring(path), Resolve(path, HKEY_LOCAL_MACHINE));
    }
    CRegistry r;
    ASSERT_TRUE(r.SetRootKey(HKEY_LOCAL_MACHINE));
    EXPECT_TRUE(r.OpenKey(ProductKeyPath, false));
    EXPECT_STREQ(ProductKeyPath, r.CurrentPath());
}

// OpenKey resolves the alias in any letter case and opens or creates the key it stands for.
TEST_F(ResolveKeyPathTest, OpenKeyResolvesTheAlias) {
    CRegistry r;
    ASSERT_TRUE(r.SetRootKey(HKEY_LOCAL_MACHINE));
    EXPECT_FALSE(r.OpenKey(L"universal_path_convert", false));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, r.LastOpenStatus());
    EXPECT_TRUE(r.OpenKey(L"universal_path_convert", true));
    EXPECT_STREQ(ProductKeyPath, r.CurrentPath());
    EXPECT_TRUE(test::KeyPresent(HKEY_LOCAL_MACHINE, ProductKeyPath));

    ASSERT_TRUE(r.WriteDword(L"KVServerMode", 1));
    ASSERT_TRUE(test::CreateKey(HKEY_LOCAL_MACHINE, BusinessKeyPath));
    EXPECT_TRUE(r.OpenKey(L"Universal_Path_Convert", false));
    EXPECT_STREQ(BusinessKeyPath, r.CurrentPath());
}
