// The key path alias "UNIVERSAL_PATH_CONVERT": which of the two product keys it stands for.
//
// Portable: the decisions ask their questions through an answer source, one call per registry
// step and only when the answer matters, so the host tests drive them from a table and check
// which questions were asked, while ResolveKeyPath answers them from the registry in the same
// order.
#pragma once

#include <cstdint>

#include "util/ascii_case.h"

namespace key_alias {

enum class ProductKey { Product, Business };

// The alias is recognised in any letter case (A to Z only).
template <class Ch>
bool IsAlias(const Ch* path) {
    return ascii::EqualsIgnoringCase(path, "UNIVERSAL_PATH_CONVERT");
}

// Under a given root: the business key when its product key opens for reading and holds the
// DWORD "KVServerMode" = 1. The source answers:
//   SelectRoot()       the root is one of the four predefined roots
//   OpenProductKey()   the product key opens for reading
//   ServerMode()       "KVServerMode" read from it (0 when missing or unreadable)
template <class Answers>
ProductKey DecideForRoot(Answers& ask) {
    if (!ask.SelectRoot()) return ProductKey::Product;
    if (ask.OpenProductKey() && ask.ServerMode() == 1) return ProductKey::Business;
    return ProductKey::Product;
}

// Without a root: the machine decides unless "KVTBasedType" in its product key says the
// interactive user's product key does. The source answers:
//   MachineBasedType()   "KVTBasedType" under HKEY_LOCAL_MACHINE (1 when missing or unreadable)
//   MachineRule()        DecideForRoot under HKEY_LOCAL_MACHINE
//   UserKeyExists()      the user's product key opens with full access
//   OpenUserKey()        the user's product key opens for reading
//   UserHasServerMode()  it has a value "KVServerMode"
//   UserServerMode()     that value as a DWORD (0 when unreadable)
template <class Answers>
ProductKey Decide(Answers& ask) {
    if (ask.MachineBasedType() == 1) return ask.MachineRule();
    if (!ask.UserKeyExists()) return ask.MachineRule();
    if (!ask.OpenUserKey()) return ProductKey::Product;
    if (!ask.UserHasServerMode()) return ask.MachineRule();
    return ask.UserServerMode() == 1 ? ProductKey::Business : ProductKey::Product;
}

}  // namespace key_alias
