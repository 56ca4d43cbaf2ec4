// Protection of the working directory while the elevated stub uses it. Processes of the same
// user, not elevated, can write to the temporary directory: they must not be able to change what
// the stub extracts and runs.
#pragma once

#include <windows.h>

#include "util/held_dir.h"

// The working directory's security: owned by the administrators group, and a protected
// access-control list with full control for SYSTEM, Administrators and the creating owner only,
// nothing inherited from the temporary directory. Descriptor() is null when it could not be built.
// The list in security-descriptor text form; tests point it at one that cannot be built.
extern const wchar_t* g_workDirSddl;
// The volume query for the temporary directory (GetVolumeInformationByHandleW); tests point it
// at a volume without access lists, which Wine's drives never are.
extern BOOL(WINAPI* g_volumeInformation)(HANDLE, LPWSTR, DWORD, LPDWORD, LPDWORD, LPDWORD, LPWSTR, DWORD);

class WorkDirSecurity {
public:
    WorkDirSecurity();
    ~WorkDirSecurity();
    WorkDirSecurity(const WorkDirSecurity&) = delete;
    WorkDirSecurity& operator=(const WorkDirSecurity&) = delete;

    PSECURITY_DESCRIPTOR Descriptor() const { return m_descriptor; }
    PACL Dacl() const;

private:
    PSECURITY_DESCRIPTOR m_descriptor = nullptr;
};

// Whose leftovers the stub removes at its names in the temporary directory (helddir::OwnerRule):
// its own, by the list above, or the user's. The user may point TEMP at a folder that only
// administrators can change, where everything else stays (and then nothing starts).
class LeftoverOwners {
public:
    LeftoverOwners() : m_user(helddir::TokenUser()) {
        m_rule.user = m_user;
        m_rule.stubsList = m_security.Dacl();
    }
    ~LeftoverOwners() {
        if (m_user) LocalFree(m_user);
    }
    LeftoverOwners(const LeftoverOwners&) = delete;
    LeftoverOwners& operator=(const LeftoverOwners&) = delete;

    const helddir::OwnerRule* Rule() const { return &m_rule; }
    PSID User() const { return m_user; }

private:
    WorkDirSecurity m_security;
    PSID m_user;
    helddir::OwnerRule m_rule;
};
