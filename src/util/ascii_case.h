// Name comparison that folds only the letters A to Z, the way the registry alias and process
// names are matched. Locale-independent, so the result never depends on the user's language
// (a Turkish dotless i does not match "I"). Works on any unit type, also mixed (a wide name
// against a narrow ASCII literal).
#pragma once

namespace ascii {

template <class Ch>
unsigned FoldUnit(Ch c) {
    const unsigned u = static_cast<unsigned>(c);
    return (u >= 'A' && u <= 'Z') ? u + ('a' - 'A') : u;
}

// True when both NUL-terminated strings have the same length and the same units after folding.
template <class ChA, class ChB>
bool EqualsIgnoringCase(const ChA* a, const ChB* b) {
    if (!a || !b) return a == nullptr && b == nullptr;
    for (; *a && *b; ++a, ++b)
        if (FoldUnit(*a) != FoldUnit(*b)) return false;
    return *a == 0 && *b == 0;
}

}  // namespace ascii
