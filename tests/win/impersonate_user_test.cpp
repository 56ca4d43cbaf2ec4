// The interactive user's token, the process list and the impersonation guard under Wine, where
// the one user is logged on to the session and the desktop runs as "explorer.exe".
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "handle_count.h"
#include "registry/impersonate_user.h"
#include "registry/process_list.h"

namespace {

std::wstring OwnExeName() {
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring full(path, n);
    return full.substr(full.find_last_of(L'\\') + 1);
}

bool Contains(const ProcessIdList& ids, DWORD id) {
    for (std::size_t i = 0; i < ids.Count(); ++i)
        if (ids[i] == id) return true;
    return false;
}

bool IsPrimaryToken(HANDLE token) {
    TOKEN_TYPE type{};
    DWORD size = 0;
    return GetTokenInformation(token, TokenType, &type, sizeof type, &size) &&
           type == TokenPrimary;
}

bool ThreadHasToken() {
    HANDLE token = nullptr;
    if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token)) return false;
    CloseHandle(token);
    return true;
}

// Wine starts its desktop process (explorer.exe) when a program first needs the desktop.
void EnsureDesktop() { GetDesktopWindow(); }

}  // namespace

TEST(ProcessList, FindsProcessesByNameAndSession) {
    const std::wstring name = OwnExeName();
    DWORD session = 0;
    ASSERT_TRUE(ProcessIdToSessionId(GetCurrentProcessId(), &session));
    ProcessIdList ids;

    EXPECT_TRUE(FindProcessesByName(name.c_str(), &ids, kAnySession));
    EXPECT_TRUE(Contains(ids, GetCurrentProcessId()));

    std::wstring upper = name;
    for (auto& c : upper)
        if (c >= L'a' && c <= L'z') c = wchar_t(c - L'a' + L'A');
    EXPECT_TRUE(FindProcessesByName(upper.c_str(), &ids, session));
    EXPECT_TRUE(Contains(ids, GetCurrentProcessId()));

    EXPECT_TRUE(FindProcessesByName(name.c_str(), &ids, session + 1000));
    EXPECT_EQ(0u, ids.Count());

    ASSERT_TRUE(FindProcessesByName(name.c_str(), &ids, kAnySession));
    EXPECT_TRUE(FindProcessesByName(L"no-such-program.exe", &ids, kAnySession));
    EXPECT_EQ(0u, ids.Count());  // cleared before the walk
    EXPECT_TRUE(FindProcessesByName((name + L"x").c_str(), &ids, kAnySession));
    EXPECT_EQ(0u, ids.Count());
}

TEST(ProcessList, KeepsIdsInOrderAsItGrows) {
    ProcessIdList ids;
    for (DWORD i = 0; i < 100; ++i) ASSERT_TRUE(ids.Add(i * 4));
    ASSERT_EQ(100u, ids.Count());
    for (DWORD i = 0; i < 100; ++i) EXPECT_EQ(i * 4, ids[i]);
    ids.Clear();
    EXPECT_EQ(0u, ids.Count());
}

TEST(UserToken, ExplorerTokenIsAPrimaryToken) {
    EnsureDesktop();
    ProcessIdList ids;
    ASSERT_TRUE(FindProcessesByName(L"Explorer.EXE", &ids, kAnySession));
    ASSERT_GT(ids.Count(), 0u) << "no explorer.exe is running";
    const long before = test::OwnHandleCount();
    HANDLE token = nullptr;
    ASSERT_TRUE(GetExplorerToken(&token));
    ASSERT_NE(nullptr, token);
    EXPECT_TRUE(IsPrimaryToken(token));
    CloseHandle(token);
    EXPECT_EQ(before, test::OwnHandleCount());
}

TEST(UserToken, InteractiveUserTokenLoadsTheSessionLibraryOnlyForTheCall) {
    ASSERT_EQ(nullptr, GetModuleHandleW(L"wtsapi32.dll"));
    const long before = test::OwnHandleCount();
    HANDLE token = nullptr;
    ASSERT_TRUE(GetInteractiveUserToken(&token, kCurrentSession));
    ASSERT_NE(nullptr, token);
    EXPECT_TRUE(IsPrimaryToken(token));
    CloseHandle(token);
    EXPECT_EQ(before, test::OwnHandleCount());
    EXPECT_EQ(nullptr, GetModuleHandleW(L"wtsapi32.dll"));
}

TEST(UserToken, ImpersonationLastsForTheGuardsScope) {
    ASSERT_FALSE(ThreadHasToken());
    const long before = test::OwnHandleCount();
    {
        CImpersonateUser guard;
        EXPECT_TRUE(guard.IsImpersonating());
        EXPECT_TRUE(ThreadHasToken());
    }
    EXPECT_FALSE(ThreadHasToken());
    EXPECT_EQ(before, test::OwnHandleCount());
}
