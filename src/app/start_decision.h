// What the elevated stub may hand the command interpreter and the shell, decided from the text
// alone. Portable, so the host tests take it as it is.
#pragma once

#include <cstddef>

namespace start {

// How a pass-through program is found.
enum class ProgramPlace {
    AsGiven,    // a full path: started as the user named it
    WorkDir,    // a plain name: started only as a file this run wrote in the working directory
    Refused,    // any other relative path: it could only be found by a search
};

template <class Ch>
bool IsSeparator(Ch c) {
    return c == Ch('\\') || c == Ch('/');
}

// "X:\...", "\\server\share\..." and "\\?\..." name one file wherever the process stands;
// "X:name", "\name" and "name" are looked for relative to something the user can change.
template <class Ch>
ProgramPlace PlaceOf(const Ch* program) {
    if (!program || !*program) return ProgramPlace::Refused;
    const unsigned first = static_cast<unsigned>(program[0]) | 0x20;
    if (first >= 'a' && first <= 'z' && program[1] == Ch(':') && IsSeparator(program[2]))
        return ProgramPlace::AsGiven;
    if (IsSeparator(program[0]) && IsSeparator(program[1])) return ProgramPlace::AsGiven;
    bool dotsOnly = true;
    for (const Ch* p = program; *p; ++p) {
        if (IsSeparator(*p) || *p == Ch(':')) return ProgramPlace::Refused;
        if (*p != Ch('.')) dotsOnly = false;
    }
    return dotsOnly ? ProgramPlace::Refused : ProgramPlace::WorkDir;
}

// The interpreter reads its command line, the batch output's path included, through its own
// expansion: "%NAME%" always, "!NAME!" where delayed expansion is on (the user can switch it on
// for every interpreter). A path that holds either can turn into other commands or files.
template <class Ch>
bool HoldsExpandableText(const Ch* path) {
    if (!path) return false;
    for (; *path; ++path)
        if (*path == Ch('%') || *path == Ch('!')) return true;
    return false;
}

}  // namespace start
