#include "registry/registry.h"

#include <utility>

#include "registry/impersonate_user.h"
#include "registry/key_alias.h"
#include "registry/key_paths.h"

namespace {

// The masks are fixed values of the registry's access model; named here so that the 64-bit-view
// flag is the only thing ever added to them.
constexpr REGSAM kFullAccess = KEY_ALL_ACCESS;  // 0xF003F
constexpr REGSAM kReadAccess = KEY_READ;        // 0x20019
constexpr REGSAM kWriteAccess = KEY_WRITE;      // 0x20006
static_assert(kFullAccess == 0xF003F && kReadAccess == 0x20019 && kWriteAccess == 0x20006,
              "registry access masks");

bool IsPredefinedRoot(HKEY key) {
    return key == HKEY_CLASSES_ROOT || key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE ||
           key == HKEY_USERS;
}

bool IsEmpty(const wchar_t* text) { return text == nullptr || text[0] == 0; }

// The effective root of one operation, released on every way out of it.
class EffectiveRoot {
public:
    explicit EffectiveRoot(CRegistry& registry) : m_key(registry.GetEffectiveRoot()) {}
    ~EffectiveRoot() { CRegistry::CloseRootKey(m_key); }
    EffectiveRoot(const EffectiveRoot&) = delete;
    EffectiveRoot& operator=(const EffectiveRoot&) = delete;
    HKEY get() const { return m_key; }

private:
    HKEY m_key;
};

}  // namespace

CRegistry::CRegistry() = default;

CRegistry::~CRegistry() { Reset(); }

bool CRegistry::Reset() {
    m_path.Clear();
    m_root = HKEY_CURRENT_USER;
    m_noFlush = true;
    return true;
}

bool CRegistry::SetRootKey(HKEY root) {
    if (!IsPredefinedRoot(root)) return false;
    m_root = root;
    return true;
}

bool CRegistry::OpenKey(const wchar_t* path, bool create) { return Open(path, create, true); }

bool CRegistry::OpenKeyDirect(const wchar_t* path, bool create) {
    return Open(path, create, false);
}

bool CRegistry::Open(const wchar_t* path, bool create, bool resolveAlias) {
    if (IsEmpty(path)) {
        m_path.Clear();
        return true;
    }
    EffectiveRoot root(*this);
    BasicStr<wchar_t> target =
        resolveAlias ? ResolveKeyPath(path, nullptr) : BasicStr<wchar_t>(path);
    // Only an allocation failure empties it; opening "" would address the root key instead.
    if (target.IsEmpty()) return false;

    HKEY key = nullptr;
    if (create) {
        const LONG status = RegCreateKeyExW(root.get(), target.c_str(), 0, nullptr,
                                            REG_OPTION_NON_VOLATILE, Access(kFullAccess),
                                            nullptr, &key, nullptr);
        if (status != ERROR_SUCCESS) return false;
    } else {
        m_lastOpenStatus = RegOpenKeyExW(root.get(), target.c_str(), 0, Access(kReadAccess), &key);
        if (m_lastOpenStatus != ERROR_SUCCESS) return false;
    }
    m_path = std::move(target);
    CloseAfterChange(key);
    return true;
}

void CRegistry::CloseAfterChange(HKEY key) const {
    if (!m_noFlush) RegFlushKey(key);
    RegCloseKey(key);
}

bool CRegistry::WriteDword(const wchar_t* name, DWORD value) {
    EffectiveRoot root(*this);
    HKEY key = nullptr;
    if (RegOpenKeyExW(root.get(), m_path.c_str(), 0, Access(kWriteAccess), &key) != ERROR_SUCCESS)
        return false;
    const bool written = RegSetValueExW(key, name, 0, REG_DWORD,
                                        reinterpret_cast<const BYTE*>(&value),
                                        sizeof value) == ERROR_SUCCESS;
    CloseAfterChange(key);
    return written;
}

bool CRegistry::WriteString(const wchar_t* name, const wchar_t* text, DWORD type) {
    static const wchar_t kEmpty[1] = {0};
    if (!text) text = kEmpty;
    // The caller's text is already NUL-terminated, so it is stored from where it is; the byte
    // count takes in the terminator.
    const std::size_t length = BasicStr<wchar_t>::UnitLength(text);
    const DWORD bytes = static_cast<DWORD>((length + 1) * sizeof(wchar_t));

    EffectiveRoot root(*this);
    HKEY key = nullptr;
    if (RegOpenKeyExW(root.get(), m_path.c_str(), 0, Access(kWriteAccess), &key) != ERROR_SUCCESS)
        return false;
    const bool written = RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(text),
                                        bytes) == ERROR_SUCCESS;
    CloseAfterChange(key);
    return written;
}

DWORD CRegistry::ReadDword(const wchar_t* name, DWORD defaultValue, const wchar_t* subPath) {
    EffectiveRoot root(*this);
    BasicStr<wchar_t> path(m_path);
    if (!IsEmpty(subPath)) {
        // With an empty current path the current key is the root itself, so the sub-key is
        // addressed by subPath alone (a leading backslash would make the path invalid).
        if (!path.IsEmpty() && !path.AppendUnit(L'\\')) return defaultValue;
        if (!path.Append(subPath)) return defaultValue;
    }
    HKEY key = nullptr;
    if (RegOpenKeyExW(root.get(), path.c_str(), 0, Access(kReadAccess), &key) != ERROR_SUCCESS)
        return defaultValue;
    // A value shorter than 4 bytes leaves the remaining bytes zero: it reads as the number its
    // bytes make when extended with zeros, never as leftover memory.
    DWORD data = 0;
    DWORD size = sizeof data;
    const LONG status =
        RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&data), &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? data : defaultValue;
}

bool CRegistry::ValueExists(const wchar_t* name) {
    EffectiveRoot root(*this);
    HKEY key = nullptr;
    if (RegOpenKeyExW(root.get(), m_path.c_str(), 0, Access(kFullAccess), &key) != ERROR_SUCCESS)
        return false;
    const LONG status = RegQueryValueExW(key, name, nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

bool CRegistry::KeyExists(const wchar_t* path, HKEY parent) {
    if (parent) return KeyExistsUnder(parent, path);
    EffectiveRoot root(*this);
    return KeyExistsUnder(root.get(), path);
}

bool CRegistry::KeyExistsUnder(HKEY parent, const wchar_t* path) const {
    HKEY key = nullptr;
    if (RegOpenKeyExW(parent, path, 0, Access(kFullAccess), &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

HKEY CRegistry::GetEffectiveRoot() {
    if (m_root != HKEY_CURRENT_USER) return m_root;
    // RegOpenCurrentUser opens the hive of the thread's user, so the thread impersonates the
    // interactive user for this one call; the key keeps denoting that hive afterwards.
    CImpersonateUser impersonation;
    HKEY key = nullptr;
    if (RegOpenCurrentUser(kFullAccess, &key) != ERROR_SUCCESS || !key) key = HKEY_CURRENT_USER;
    return key;
}

void CRegistry::CloseRootKey(HKEY key) {
    if (key && !IsPredefinedRoot(key)) RegCloseKey(key);
}

namespace {

// Answers for key_alias::DecideForRoot, one registry step each, on a CRegistry of their own.
class RootAnswers {
public:
    explicit RootAnswers(HKEY root) : m_root(root) {}
    bool SelectRoot() { return m_registry.SetRootKey(m_root); }
    bool OpenProductKey() { return m_registry.OpenKeyDirect(ProductKeyPath, false); }
    DWORD ServerMode() { return m_registry.ReadDword(L"KVServerMode", 0); }

private:
    HKEY m_root;
    CRegistry m_registry;
};

key_alias::ProductKey DecideForRoot(HKEY root) {
    RootAnswers answers(root);
    return key_alias::DecideForRoot(answers);
}

// Answers for key_alias::Decide. The decision asks them in the order below and stops as soon as
// it knows; each answer continues from the state the previous ones left in the one CRegistry.
class MachineAndUserAnswers {
public:
    DWORD MachineBasedType() {
        m_registry.SetRootKey(HKEY_LOCAL_MACHINE);
        // When the product key does not open, the current path stays empty and the value is
        // looked up in the root key itself.
        m_registry.OpenKeyDirect(ProductKeyPath, false);
        return m_registry.ReadDword(L"KVTBasedType", 1);
    }
    key_alias::ProductKey MachineRule() { return DecideForRoot(HKEY_LOCAL_MACHINE); }
    bool UserKeyExists() {
        m_registry.Reset();
        m_registry.SetRootKey(HKEY_CURRENT_USER);
        return m_registry.KeyExists(ProductKeyPath);
    }
    bool OpenUserKey() { return m_registry.OpenKeyDirect(ProductKeyPath, false); }
    bool UserHasServerMode() { return m_registry.ValueExists(L"KVServerMode"); }
    DWORD UserServerMode() { return m_registry.ReadDword(L"KVServerMode", 0); }

private:
    CRegistry m_registry;
};

}  // namespace

BasicStr<wchar_t> ResolveKeyPath(const wchar_t* path, HKEY root) {
    if (!key_alias::IsAlias(path)) return BasicStr<wchar_t>(path);
    key_alias::ProductKey key;
    if (root) {
        key = DecideForRoot(root);
    } else {
        MachineAndUserAnswers answers;
        key = key_alias::Decide(answers);
    }
    return BasicStr<wchar_t>(key == key_alias::ProductKey::Business ? BusinessKeyPath
                                                                     : ProductKeyPath);
}
