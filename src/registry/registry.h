// CRegistry: one registry key at a time under a chosen root.
//
// The accessor remembers a root and a sub-key path; every value operation opens the key by that
// path, does its work and closes it again, so no key handle is held between operations. With the
// root HKEY_CURRENT_USER it works on the hive of the interactive user (see GetEffectiveRoot), not
// on that of the process's own (elevated) account. Results: true on success; nothing is logged.
#pragma once

#include <windows.h>

#include "util/basic_string.h"

class CRegistry {
public:
    CRegistry();
    virtual ~CRegistry();
    CRegistry(const CRegistry&) = delete;
    CRegistry& operator=(const CRegistry&) = delete;

    // Empty path, root HKEY_CURRENT_USER, no flushing. Keeps the last open status.
    bool Reset();
    // Accepts only HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE and HKEY_USERS; any
    // other value returns false and keeps the root. The current path stays as it is.
    bool SetRootKey(HKEY root);
    // OpenKeyDirect after replacing the alias "UNIVERSAL_PATH_CONVERT" by the product key path
    // that applies (ResolveKeyPath).
    bool OpenKey(const wchar_t* path, bool create);
    // Opens (create = false, read access) or creates with missing parents (create = true, full
    // access) the sub-key path under the root and makes it the current path. An empty path
    // selects the root key itself without opening anything. A failure keeps the current path.
    bool OpenKeyDirect(const wchar_t* path, bool create);

    bool WriteDword(const wchar_t* name, DWORD value);
    // Stores the text with its terminating NUL: (length + 1) * 2 bytes of the given type.
    bool WriteString(const wchar_t* name, const wchar_t* text, DWORD type);
    // Any value of at most 4 bytes of the current key (or of its sub-key subPath), whatever its
    // type; defaultValue when the key or the value cannot be read or the value is longer.
    DWORD ReadDword(const wchar_t* name, DWORD defaultValue, const wchar_t* subPath = nullptr);
    // The current key opens with full access and has a value of that name.
    bool ValueExists(const wchar_t* name);
    // path opens with full access under parent (never closed here), or under the effective root
    // when parent is nullptr. A key the caller may read but not fully control counts as missing.
    bool KeyExists(const wchar_t* path, HKEY parent = nullptr);

    // The key that stands for the root in registry calls: the root itself, or for
    // HKEY_CURRENT_USER the interactive user's hive when it can be opened. Release it with
    // CloseRootKey.
    HKEY GetEffectiveRoot();
    // Closes a key from GetEffectiveRoot; the four predefined roots are never closed.
    static void CloseRootKey(HKEY key);

    LONG LastOpenStatus() const { return m_lastOpenStatus; }
    HKEY RootKey() const { return m_root; }
    const wchar_t* CurrentPath() const { return m_path.c_str(); }

private:
    bool Open(const wchar_t* path, bool create, bool resolveAlias);
    REGSAM Access(REGSAM mask) const { return m_view64 ? mask | KEY_WOW64_64KEY : mask; }
    bool KeyExistsUnder(HKEY parent, const wchar_t* path) const;
    void CloseAfterChange(HKEY key) const;

    LONG m_lastOpenStatus = ERROR_SUCCESS;  // of the most recent open without create
    HKEY m_root = HKEY_CURRENT_USER;
    BasicStr<wchar_t> m_path;               // relative to the root; empty: the root itself
    bool m_noFlush = true;                  // while false, changed keys are flushed before closing
    bool m_view64 = false;                  // the 64-bit registry view: never set by this program
};

// path unchanged, or for the alias "UNIVERSAL_PATH_CONVERT" (any letter case) the product key
// path that applies: under root when one is given (nullptr: none), otherwise as decided by the
// machine's and the interactive user's product keys (key_alias::Decide).
BasicStr<wchar_t> ResolveKeyPath(const wchar_t* path, HKEY root);
