#include "registry/impersonate_user.h"

#include "registry/process_list.h"
#include "util/system_library.h"

namespace {

// Fixed values of the access model, spelled out: the headers' PROCESS_ALL_ACCESS depends on the
// targeted Windows version.
constexpr DWORD kProcessAllAccess = 0x1FFFFF;
constexpr DWORD kTokenAllAccess = 0xF01FF;

using WtsQueryUserTokenFn = BOOL(WINAPI*)(ULONG session, PHANDLE token);

// wtsapi32 is not a KnownDLL: it is loaded from the system directory only when needed, so the
// executable's static imports stay among the DLLs Windows always takes from there.
bool QuerySessionUserToken(DWORD session, HANDLE* token) {
    HMODULE wtsapi = LoadSystemLibrary(L"wtsapi32.dll");
    if (!wtsapi) return false;
    const auto query = reinterpret_cast<WtsQueryUserTokenFn>(
        reinterpret_cast<void*>(GetProcAddress(wtsapi, "WTSQueryUserToken")));
    const bool ok = query && query(session, token);
    FreeLibrary(wtsapi);
    return ok;
}

}  // namespace

bool GetInteractiveUserToken(HANDLE* token, DWORD session) {
    *token = nullptr;
    if (session == kCurrentSession && !ProcessIdToSessionId(GetCurrentProcessId(), &session))
        return GetExplorerToken(token);
    if (QuerySessionUserToken(session, token) && *token) return true;
    *token = nullptr;
    return GetExplorerToken(token);
}

bool GetExplorerToken(HANDLE* token) {
    *token = nullptr;
    ProcessIdList ids;
    FindProcessesByName(L"explorer.exe", &ids, kAnySession);
    if (ids.Count() == 0) return false;

    HANDLE process = OpenProcess(kProcessAllAccess, TRUE, ids[0]);
    if (!process) return false;
    bool duplicated = false;
    HANDLE processToken = nullptr;
    if (OpenProcessToken(process, kTokenAllAccess, &processToken)) {
        duplicated = DuplicateTokenEx(processToken, MAXIMUM_ALLOWED, nullptr,
                                      SecurityIdentification, TokenPrimary, token) != FALSE;
        CloseHandle(processToken);
    }
    CloseHandle(process);
    if (!duplicated) *token = nullptr;
    return duplicated;
}

CImpersonateUser::CImpersonateUser() {
    if (GetInteractiveUserToken(&m_token, kCurrentSession) && m_token &&
        ImpersonateLoggedOnUser(m_token))
        m_impersonating = true;
}

CImpersonateUser::~CImpersonateUser() {
    if (m_impersonating) RevertToSelf();
    if (m_token) CloseHandle(m_token);
    m_token = nullptr;
}
