// The interactive user's token, and a scope guard that impersonates that user on this thread.
// The stub runs elevated, possibly under another account than the user logged on to the
// session; HKEY_CURRENT_USER access goes to the interactive user's hive through this.
#pragma once

#include <windows.h>

// Session value that stands for the session of the current process.
constexpr DWORD kCurrentSession = static_cast<DWORD>(-1);

// The primary token of the user logged on to session (WTSQueryUserToken), or else that of the
// first "explorer.exe" process (GetExplorerToken). On success the caller closes *token; on
// failure *token is nullptr.
bool GetInteractiveUserToken(HANDLE* token, DWORD session);

// A primary token duplicated from the first "explorer.exe" process of any session. On success
// the caller closes *token; on failure *token is nullptr.
bool GetExplorerToken(HANDLE* token);

class CImpersonateUser {
public:
    // Impersonates the interactive user when a token can be had and impersonation succeeds;
    // otherwise the thread keeps its own security context.
    CImpersonateUser();
    virtual ~CImpersonateUser();  // ends the impersonation and closes the token
    CImpersonateUser(const CImpersonateUser&) = delete;
    CImpersonateUser& operator=(const CImpersonateUser&) = delete;

    bool IsImpersonating() const { return m_impersonating; }

private:
    bool m_impersonating = false;
    HANDLE m_token = nullptr;
};
