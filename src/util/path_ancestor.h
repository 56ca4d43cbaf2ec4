// The directory above a directory path, for walking up to the nearest one that exists.
// Portable (the host tests take it with char16_t).
#pragma once

#include <cstddef>

#include "util/basic_string.h"

namespace pathancestor {

// Turns "C:\a\b\" (or "C:\a\b") into "C:\a\". False, with the path unchanged, at a root: "C:\",
// "\\server\share\", or a path without a separator to cut at.
template <class Ch>
bool ToParentDirectory(BasicStr<Ch>& path) {
    std::size_t end = path.Length();
    while (end > 0 && path[end - 1] == Ch('\\')) --end;
    // The root's length: "C:" for a drive, "\\server\share" for a share.
    std::size_t root = 0;
    if (path.Length() >= 2 && path[1] == Ch(':')) {
        root = 2;
    } else if (path.Length() >= 2 && path[0] == Ch('\\') && path[1] == Ch('\\')) {
        std::size_t separators = 0;
        root = 2;
        while (root < path.Length() && !(path[root] == Ch('\\') && ++separators == 2)) ++root;
    }
    if (end <= root) return false;
    std::size_t cut = end;
    while (cut > root && path[cut - 1] != Ch('\\')) --cut;
    if (cut <= root) return false;
    path.Truncate(cut);
    return true;
}

}  // namespace pathancestor
