// CRegistry against Wine's real registry, in scratch keys of this test under HKEY_CURRENT_USER
// (reached through the interactive user's hive) and HKEY_LOCAL_MACHINE.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "handle_count.h"
#include "registry/registry.h"
#include "registry_fixture.h"

using test::DwordBytes;
using test::ReadValue;
using test::StringBytes;

namespace {

const wchar_t kScratch[] = L"Software\\UnPackFileRegistryTest";
const wchar_t kSub[] = L"Software\\UnPackFileRegistryTest\\Sub";
const wchar_t kMissing[] = L"Software\\UnPackFileRegistryTest\\Missing";

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override { TearDown(); }
    void TearDown() override {
        test::DeleteTree(HKEY_CURRENT_USER, kScratch);
        test::DeleteTree(HKEY_LOCAL_MACHINE, kScratch);
    }
};

const wchar_t* PathOf(const CRegistry& r) { return r.CurrentPath(); }

}  // namespace

TEST_F(RegistryTest, StartsAtTheCurrentUsersRootWithAnEmptyPath) {
    CRegistry r;
    EXPECT_EQ(HKEY_CURRENT_USER, r.RootKey());
    EXPECT_STREQ(L"", PathOf(r));
    EXPECT_EQ(ERROR_SUCCESS, r.LastOpenStatus());
}

TEST_F(RegistryTest, SetRootKeyAcceptsOnlyTheFourPredefinedRoots) {
    CRegistry r;
    ASSERT_TRUE(r.OpenKeyDirect(kScratch, true));
    for (HKEY root : {HKEY_CLASSES_ROOT, HKEY_USERS, HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        EXPECT_TRUE(r.SetRootKey(root));
        EXPECT_EQ(root, r.RootKey());
        EXPECT_STREQ(kScratch, PathOf(r));  // the path is kept, now relative to the new root
    }
    ASSERT_TRUE(r.SetRootKey(HKEY_LOCAL_MACHINE));
    HKEY opened = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, &opened));
    for (HKEY other : {HKEY_CURRENT_CONFIG, HKEY_PERFORMANCE_DATA, HKEY_DYN_DATA,
                       reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000004)),
                       reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x7FFFFFFF)),
                       static_cast<HKEY>(nullptr), opened}) {
        EXPECT_FALSE(r.SetRootKey(other));
        EXPECT_EQ(HKEY_LOCAL_MACHINE, r.RootKey());
        EXPECT_STREQ(kScratch, PathOf(r));
    }
    RegCloseKey(opened);
}

TEST_F(RegistryTest, ResetRestoresTheStartButKeepsTheLastOpenStatus) {
    CRegistry r;
    ASSERT_TRUE(r.SetRootKey(HKEY_LOCAL_MACHINE));
    ASSERT_TRUE(r.OpenKeyDirect(kScratch, true));
    ASSERT_FALSE(r.OpenKeyDirect(kMissing, false));
    EXPECT_TRUE(r.Reset());
    EXPECT_EQ(HKEY_CURRENT_USER, r.RootKey());
    EXPECT_STREQ(L"", PathOf(r));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, r.LastOpenStatus());
}

TEST_F(RegistryTest, CreateMakesTheKeyWithItsMissingParents) {
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        CRegistry r;
        ASSERT_TRUE(r.SetRootKey(root));
        const wchar_t deep[] = L"Software\\UnPackFileRegistryTest\\A\\B\\C";
        EXPECT_TRUE(r.OpenKeyDirect(deep, true));
        EXPECT_STREQ(deep, PathOf(r));
        EXPECT_TRUE(test::KeyPresent(root, deep));
        // Creating an existing key is fine too, and leaves its values alone.
        ASSERT_TRUE(test::SetDword(root, deep, L"Kept", 7));
        EXPECT_TRUE(r.OpenKeyDirect(deep, true));
        EXPECT_EQ(DwordBytes(7), ReadValue(root, deep, L"Kept").data);
    }
}

TEST_F(RegistryTest, OpenWithoutCreateRecordsItsStatus) {
    ASSERT_TRUE(test::CreateKey(HKEY_CURRENT_USER, kSub));
    CRegistry r;
    EXPECT_TRUE(r.OpenKeyDirect(kSub, false));
    EXPECT_EQ(ERROR_SUCCESS, r.LastOpenStatus());
    EXPECT_STREQ(kSub, PathOf(r));

    EXPECT_FALSE(r.OpenKeyDirect(kMissing, false));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, r.LastOpenStatus());
    EXPECT_STREQ(kSub, PathOf(r));  // unchanged
    EXPECT_FALSE(test::KeyPresent(HKEY_CURRENT_USER, kMissing));

    // A later successful open clears the status again.
    EXPECT_TRUE(r.OpenKey(kScratch, false));
    EXPECT_EQ(ERROR_SUCCESS, r.LastOpenStatus());
    EXPECT_STREQ(kScratch, PathOf(r));
}

// A non-volatile key cannot be created under a volatile one: a create that fails keeps both the
// current path and the last open status.
TEST_F(RegistryTest, FailedCreateKeepsPathAndStatus) {
    const wchar_t volatileKey[] = L"Software\\UnPackFileRegistryTest\\Volatile";
    const wchar_t child[] = L"Software\\UnPackFileRegistryTest\\Volatile\\Child";
    ASSERT_TRUE(test::CreateKey(HKEY_CURRENT_USER, kScratch));
    ASSERT_TRUE(test::CreateKey(HKEY_CURRENT_USER, volatileKey, REG_OPTION_VOLATILE));
    CRegistry r;
    ASSERT_FALSE(r.OpenKeyDirect(kMissing, false));
    ASSERT_TRUE(r.OpenKeyDirect(kScratch, true));
    EXPECT_FALSE(r.OpenKeyDirect(child, true));
    EXPECT_STREQ(kScratch, PathOf(r));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, r.LastOpenStatus());
    EXPECT_FALSE(test::KeyPresent(HKEY_CURRENT_USER, child));
}

// An empty path selects the root key itself; writes then land in the root.
TEST_F(RegistryTest, EmptyPathAddressesTheRootKey) {
    const wchar_t name[] = L"UnPackFileRegistryTestRootValue";
    CRegistry r;
    ASSERT_TRUE(r.OpenKeyDirect(kScratch, true));
    ASSERT_FALSE(r.OpenKeyDirect(kMissing, false));
    EXPECT_TRUE(r.OpenKey(L"", false));
    EXPECT_STREQ(L"", PathOf(r));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, r.LastOpenStatus());  // no open took place
    EXPECT_TRUE(r.WriteDword(name, 0x2A));
    const auto stored = ReadValue(HKEY_CURRENT_USER, L"", name);
    HKEY root = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, nullptr, 0, KEY_WRITE, &root));
    RegDeleteValueW(root, name);
    RegCloseKey(root);
    EXPECT_EQ(ERROR_SUCCESS, stored.status);
    EXPECT_EQ(DwordBytes(0x2A), stored.data);

    ASSERT_TRUE(r.OpenKeyDirect(kScratch, false));
    EXPECT_TRUE(r.OpenKeyDirect(nullptr, true));
    EXPECT_STREQ(L"", PathOf(r));
}

TEST_F(RegistryTest, WriteDwordStoresFourBytesOfTypeDword) {
    CRegistry r;
    ASSERT_TRUE(r.SetRootKey(HKEY_LOCAL_MACHINE));
    ASSERT_TRUE(r.OpenKey(kScratch, true));
    for (DWORD v : {0u, 1u, 0x89ABCDEFu}) {
        EXPECT_TRUE(r.WriteDword(L"Number", v));
        const auto stored = ReadValue(HKEY_LOCAL_MACHINE, kScratch, L"Number");
        EXPECT_EQ(DWORD(REG_DWORD), stored.type);
        EXPECT_EQ(DwordBytes(v), stored.data);
    }
}

TEST_F(RegistryTest, WriteStringCountsTheTerminatingNul) {
    const struct {
        const wchar_t* text;
        DWORD type;
        std::size_t bytes;
    } cases[] = {
        {L"", REG_SZ, 2},
        {L"ab", REG_SZ, 6},
        {L"%TEMP%\\x", REG_EXPAND_SZ, 18},
        {L"\u00e9\u0416", REG_SZ, 6},
        {nullptr, REG_SZ, 2},  // no text: stored as an empty string
    };
    CRegistry r;
    ASSERT_TRUE(r.OpenKey(kScratch, true));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes);
        EXPECT_TRUE(r.WriteString(L"Text", c.text, c.type));
        const auto stored = ReadValue(HKEY_CURRENT_USER, kScratch, L"Text");
        EXPECT_EQ(c.type, stored.type);
        EXPECT_EQ(StringBytes(c.text ? c.text : L""), stored.data);
        EXPECT_EQ(c.bytes, stored.data.size());
    }
}

// Writes address the current key by path: once it is gone, they fail and create nothing.
TEST_F(RegistryTest, WritesFailWhenTheCurrentKeyIsGone) {
    CRegistry r;
    ASSERT_TRUE(r.OpenKey(kSub, true));
    test::DeleteTree(HKEY_CURRENT_USER, kSub);
    EXPECT_FALSE(r.WriteDword(L"Number", 1));
    EXPECT_FALSE(r.WriteString(L"Text", L"x", REG_SZ));
    EXPECT_FALSE(test::KeyPresent(HKEY_CURRENT_USER, kSub));
    EXPECT_STREQ(kSub, PathOf(r));
}

TEST_F(RegistryTest, ReadDwordReturnsAnyValueOfAtMostFourBytes) {
    const struct {
        const char* what;
        DWORD type;
        std::vector<BYTE> data;
        DWORD expected;
    } cases[] = {
        {"a DWORD", REG_DWORD, DwordBytes(0x12345678), 0x12345678},
        {"four bytes of another type", REG_BINARY, {0x78, 0x56, 0x34, 0x12}, 0x12345678},
        {"a one-character string (4 bytes)", REG_SZ, StringBytes(L"a"), 0x61},
        {"a string longer than 4 bytes", REG_SZ, StringBytes(L"abc"), 0xDEFA017},
        {"eight bytes", REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0}, 0xDEFA017},
        // Fewer than 4 bytes: the missing high bytes read as zero.
        {"two bytes", REG_BINARY, {0x34, 0x12}, 0x1234},
        {"no bytes", REG_BINARY, {}, 0},
    };
    CRegistry r;
    ASSERT_TRUE(r.OpenKey(kScratch, true));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(test::SetValue(HKEY_CURRENT_USER, kScratch, L"Value", c.type, c.data));
        EXPECT_EQ(c.expected, r.ReadDword(L"Value", 0xDEFA017));
    }
    EXPECT_EQ(0xDEFA017u, r.ReadDword(L"NoSuchValue", 0xDEFA017));
}

TEST_F(RegistryTest, ReadDwordFromASubKey) {
    ASSERT_TRUE(test::SetDword(HKEY_LOCAL_MACHINE, kScratch, L"Value", 1));
    ASSERT_TRUE(test::SetDword(HKEY_LOCAL_MACHINE, kSub, L"Value", 2));
    CRegistry r;
    ASSERT_TRUE(r.SetRootKey(HKEY_LOCAL_MACHINE));
    ASSERT_TRUE(r.OpenKey(kScratch, false));
    EXPECT_EQ(1u, r.ReadDword(L"Value", 9));
    EXPECT_EQ(1u, r.ReadDword(L"Value", 9, L""));
    EXPECT_EQ(2u, r.ReadDword(L"Value", 9, L"Sub"));
    EXPECT_EQ(9u, r.ReadDword(L"Value", 9, L"Missing"));
    EXPECT_STREQ(kScratch, PathOf(r));

    // With the root itself as the current key, the sub-key path is taken from the root.
    ASSERT_TRUE(r.OpenKey(L"", false));
    EXPECT_EQ(2u, r.ReadDword(L"Value", 9, kSub));

    // The current key is gone: the default.
    ASSERT_TRUE(r.OpenKey(kSub, false));
    test::DeleteTree(HKEY_LOCAL_MACHINE, kSub);
    EXPECT_EQ(9u, r.ReadDword(L"Value", 9));
}

TEST_F(RegistryTest, ValueExists) {
    ASSERT_TRUE(test::SetValue(HKEY_CURRENT_USER, kScratch, L"Text", REG_SZ, StringBytes(L"")));
    ASSERT_TRUE(test::SetValue(HKEY_CURRENT_USER, kScratch, L"Big", REG_BINARY,
                               std::vector<BYTE>(100, 1)));
    CRegistry r;
    ASSERT_TRUE(r.OpenKey(kScratch, false));
    EXPECT_TRUE(r.ValueExists(L"Text"));
    EXPECT_TRUE(r.ValueExists(L"Big"));
    EXPECT_FALSE(r.ValueExists(L"Missing"));
    test::DeleteTree(HKEY_CURRENT_USER, kScratch);
    EXPECT_FALSE(r.ValueExists(L"Text"));
}

TEST_F(RegistryTest, KeyExistsUnderTheRootOrAGivenParent) {
    ASSERT_TRUE(test::CreateKey(HKEY_CURRENT_USER, kSub));
    CRegistry r;
    EXPECT_TRUE(r.KeyExists(kSub));
    EXPECT_FALSE(r.KeyExists(kMissing));
    ASSERT_TRUE(r.SetRootKey(HKEY_LOCAL_MACHINE));
    EXPECT_FALSE(r.KeyExists(kSub));  // only under the current user's root

    HKEY parent = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, kScratch, 0, KEY_READ, &parent));
    EXPECT_TRUE(r.KeyExists(L"Sub", parent));
    EXPECT_FALSE(r.KeyExists(L"Missing", parent));
    // The parent stays open for its owner.
    EXPECT_EQ(ERROR_SUCCESS, RegQueryInfoKeyW(parent, nullptr, nullptr, nullptr, nullptr, nullptr,
                                              nullptr, nullptr, nullptr, nullptr, nullptr,
                                              nullptr));
    RegCloseKey(parent);
}

TEST_F(RegistryTest, EffectiveRoot) {
    CRegistry r;
    for (HKEY root : {HKEY_CLASSES_ROOT, HKEY_LOCAL_MACHINE, HKEY_USERS}) {
        ASSERT_TRUE(r.SetRootKey(root));
        EXPECT_EQ(root, r.GetEffectiveRoot());
    }

    // The current user's root is the interactive user's hive, opened as a key of its own.
    ASSERT_TRUE(test::SetDword(HKEY_CURRENT_USER, kScratch, L"Value", 5));
    ASSERT_TRUE(r.SetRootKey(HKEY_CURRENT_USER));
    const long before = test::OwnHandleCount();
    HKEY hive = r.GetEffectiveRoot();
    ASSERT_NE(nullptr, hive);
    EXPECT_NE(HKEY_CURRENT_USER, hive);
    if (before >= 0) EXPECT_EQ(before + 1, test::OwnHandleCount());
    EXPECT_EQ(DwordBytes(5), ReadValue(hive, kScratch, L"Value").data);
    CRegistry::CloseRootKey(hive);
    if (before >= 0) EXPECT_EQ(before, test::OwnHandleCount());
}

// Every operation closes what it opened, on its success and its failure paths.
TEST_F(RegistryTest, NoHandleOutlivesAnOperation) {
    ASSERT_GE(test::OwnHandleCount(), 0) << "the handle table cannot be read";
    ASSERT_TRUE(test::SetDword(HKEY_CURRENT_USER, kScratch, L"Value", 1));
    ASSERT_TRUE(test::SetDword(HKEY_LOCAL_MACHINE, kScratch, L"Value", 1));
    auto exercise = [](HKEY root) {
        CRegistry r;
        r.SetRootKey(root);
        r.OpenKeyDirect(kMissing, false);
        r.OpenKey(kScratch, false);
        r.OpenKey(kSub, true);
        r.OpenKey(kScratch, true);
        r.WriteDword(L"Number", 1);
        r.WriteString(L"Text", L"abc", REG_SZ);
        r.ReadDword(L"Value", 0);
        r.ReadDword(L"Missing", 0);
        r.ReadDword(L"Value", 0, L"Sub");
        r.ValueExists(L"Value");
        r.ValueExists(L"Missing");
        r.KeyExists(L"Software");
        r.KeyExists(kMissing);
        r.CloseRootKey(r.GetEffectiveRoot());
        r.OpenKey(L"UNIVERSAL_PATH_CONVERT", false);
        ResolveKeyPath(L"UNIVERSAL_PATH_CONVERT", root);
        // The failure paths of the value operations: the current key is gone.
        r.OpenKey(kSub, false);
        test::DeleteTree(root, kSub);
        r.WriteDword(L"Number", 1);
        r.WriteString(L"Text", L"abc", REG_SZ);
        r.ReadDword(L"Value", 0);
        r.ValueExists(L"Value");
    };
    // Wine opens the predefined roots on first use and keeps them: warm up once.
    exercise(HKEY_CURRENT_USER);
    exercise(HKEY_LOCAL_MACHINE);
    const long before = test::OwnHandleCount();
    for (int i = 0; i < 3; ++i) {
        exercise(HKEY_CURRENT_USER);
        exercise(HKEY_LOCAL_MACHINE);
    }
    EXPECT_EQ(before, test::OwnHandleCount());
}
