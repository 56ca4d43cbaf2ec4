// Matching a log message against an expected one in which "{n}" stands for a decimal number
// (with an optional minus sign), "{x}" for upper-case hexadecimal digits and "{*}" for any text:
// the free space, process ids and handles differ from run to run. For the narrow (UTF-8) messages
// of the end-to-end tests and the wide ones of the Windows-side tests alike.
#pragma once

#include <cstddef>
#include <string>

namespace testsupport {

namespace detail {

template <class Ch>
bool MatchFrom(const std::basic_string<Ch>& pattern, std::size_t p, const std::basic_string<Ch>& text,
               std::size_t t) {
    const auto placeholder = [&](char kind) {
        return p + 2 < pattern.size() && pattern[p] == Ch('{') && pattern[p + 1] == Ch(kind) &&
               pattern[p + 2] == Ch('}');
    };
    while (p < pattern.size()) {
        if (placeholder('*')) {
            for (std::size_t rest = text.size() + 1; rest-- > t;)
                if (MatchFrom(pattern, p + 3, text, rest)) return true;
            return false;
        }
        if (placeholder('n') || placeholder('x')) {
            const bool hex = pattern[p + 1] == Ch('x');
            if (!hex && t < text.size() && text[t] == Ch('-')) ++t;
            const std::size_t start = t;
            while (t < text.size() &&
                   ((text[t] >= Ch('0') && text[t] <= Ch('9')) || (hex && text[t] >= Ch('A') && text[t] <= Ch('F'))))
                ++t;
            if (t == start) return false;
            p += 3;
            continue;
        }
        if (t >= text.size() || text[t] != pattern[p]) return false;
        ++p;
        ++t;
    }
    return t == text.size();
}

}  // namespace detail

template <class Ch>
bool MatchesLogPattern(const std::basic_string<Ch>& pattern, const std::basic_string<Ch>& text) {
    return detail::MatchFrom(pattern, 0, text, 0);
}

}  // namespace testsupport
