// The command line as the stub reads it: the argument vector split from the raw command line,
// and the parameters handed on to a pass-through command.
//
// The stub splits GetCommandLineW itself instead of taking the C runtime's vector, because the
// runtimes differ (for instance on "" inside quotes) and the pass-through parameters depend on
// the exact argument lengths. The rules: space and tab separate arguments outside double quotes;
// argument 0 ends at the first space or tab outside quotes and loses its quotes (backslashes are
// plain there); in the other arguments double quotes group text and are removed, and backslashes
// are literal except before a double quote, where each pair yields one backslash and an odd one
// makes the quote literal.
#pragma once

#include <cstddef>

#include "util/basic_string.h"

namespace cmdline {

template <class Ch>
bool IsBlank(Ch c) {
    return c == Ch(' ') || c == Ch('\t');
}

// Reads the argument that starts at *p (after any blanks) into out and moves *p past it.
// Returns false when no argument is left.
template <class Ch>
bool NextArgument(const Ch*& p, bool isProgram, BasicStr<Ch>& out) {
    out.Clear();
    if (isProgram) {
        // The program: quotes toggle, nothing is escaped, a blank outside quotes ends it.
        bool quoted = false;
        for (; *p; ++p) {
            if (*p == Ch('"')) {
                quoted = !quoted;
            } else if (!quoted && IsBlank(*p)) {
                break;
            } else {
                out.AppendUnit(*p);
            }
        }
        return true;
    }
    while (IsBlank(*p)) ++p;
    if (!*p) return false;
    bool quoted = false;
    while (*p && (quoted || !IsBlank(*p))) {
        if (*p == Ch('\\')) {
            std::size_t slashes = 0;
            while (*p == Ch('\\')) {
                ++slashes;
                ++p;
            }
            if (*p == Ch('"')) {
                for (std::size_t i = 0; i < slashes / 2; ++i) out.AppendUnit(Ch('\\'));
                if (slashes % 2) {
                    out.AppendUnit(Ch('"'));
                    ++p;
                }
            } else {
                for (std::size_t i = 0; i < slashes; ++i) out.AppendUnit(Ch('\\'));
            }
        } else if (*p == Ch('"')) {
            quoted = !quoted;
            ++p;
        } else {
            out.AppendUnit(*p++);
        }
    }
    return true;
}

// Calls visit(index, argument) for every argument; returns the argument count.
template <class Ch, class Visit>
std::size_t ForEachArgument(const Ch* commandLine, Visit visit) {
    const Ch* p = commandLine;
    BasicStr<Ch> argument;
    std::size_t index = 0;
    while (NextArgument(p, index == 0, argument)) visit(index++, argument);
    return index;
}

template <class Ch>
std::size_t CountArguments(const Ch* commandLine) {
    return ForEachArgument(commandLine, [](std::size_t, const BasicStr<Ch>&) {});
}

template <class Ch>
BasicStr<Ch> Argument(const Ch* commandLine, std::size_t wanted) {
    BasicStr<Ch> result;
    ForEachArgument(commandLine, [&](std::size_t index, const BasicStr<Ch>& argument) {
        if (index == wanted) result = argument;
    });
    return result;
}

// The parameters of the pass-through command: the raw text after the first space at or after
// 1 + len(argument 0) + len(argument 1), without leading and trailing spaces and with each pair
// of spaces made one (in one pass); when there is no such space, the arguments from index 2
// rebuilt, each followed by one space.
//
// Deliberate, not a slip: the lengths are those of the split arguments, without their quotes
// and without the blanks between them, so the search can start early (inside a quoted argument
// 1 that holds a space) and a run of n spaces becomes ceil(n/2). Packages in the field are
// started with command lines written against exactly this rule; do not "fix" it.
template <class Ch>
BasicStr<Ch> PassThroughParameters(const Ch* commandLine) {
    const std::size_t length = BasicStr<Ch>::UnitLength(commandLine);
    const BasicStr<Ch> program = Argument(commandLine, 0), first = Argument(commandLine, 1);
    BasicStr<Ch> parameters;
    if (program.Failed() || first.Failed()) {
        parameters.MarkFailed();  // the position of the parameters is unknown
        return parameters;
    }
    const std::size_t start = 1 + program.Length() + first.Length();
    std::size_t space = length;
    for (std::size_t i = start; i < length; ++i) {
        if (commandLine[i] == Ch(' ')) {
            space = i;
            break;
        }
    }

    if (space == length) {
        ForEachArgument(commandLine, [&](std::size_t index, const BasicStr<Ch>& argument) {
            if (index < 2) return;
            parameters.Append(argument);
            parameters.AppendUnit(Ch(' '));
        });
        return parameters;
    }

    std::size_t begin = space + 1, end = length;
    while (begin < end && commandLine[begin] == Ch(' ')) ++begin;
    while (end > begin && commandLine[end - 1] == Ch(' ')) --end;
    for (std::size_t i = begin; i < end; ++i) {
        parameters.AppendUnit(commandLine[i]);
        if (commandLine[i] == Ch(' ') && i + 1 < end && commandLine[i + 1] == Ch(' ')) ++i;
    }
    return parameters;
}

}  // namespace cmdline
