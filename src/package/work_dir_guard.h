// Protection of the working directory while the elevated stub uses it. Processes of the same
// user, not elevated, can write to the temporary directory: they must not be able to change what
// the stub extracts and runs.
#pragma once

#include <windows.h>

// The working directory's security: a protected access-control list with full control for
// SYSTEM, Administrators and the creating owner only, nothing inherited from the temporary
// directory. Descriptor() is null when it could not be built.
// The list in security-descriptor text form; tests point it at one that cannot be built.
extern const wchar_t* g_workDirSddl;

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
