// printf-style formatting with the Windows wide-printf conventions: "%s" takes a string of the
// same unit type as the format (UTF-16 on Windows). mingw-w64's own swprintf follows the C
// standard in C++ mode, where "%s" in a wide format means an 8-bit string; every log format of
// the stub is written for the Windows convention, so the stub formats with this instead.
//
// Supported: flags '-' '0' '+' ' ', width and precision (digits or '*'), the length modifiers
// h, l, ll, I64 and I32, and the conversions d i u x X c s %. Anything else is copied literally.
// A template over the unit type so that the host tests and fuzzers run it with char16_t.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

namespace wfmt {

template <class Ch>
class Sink {
public:
    Sink(Ch* buffer, std::size_t capacity) : m_buffer(buffer), m_capacity(capacity) {}
    void Put(Ch c) {
        if (m_capacity > 0 && m_length + 1 < m_capacity) m_buffer[m_length++] = c;
        else m_truncated = true;
    }
    // Stops once the buffer is full: a width or precision of up to INT_MAX from a '*' argument
    // would otherwise cost billions of iterations for nothing.
    void PutRepeated(Ch c, std::size_t n) {
        for (std::size_t i = 0; i < n && !m_truncated; ++i) Put(c);
    }
    std::size_t Finish() {
        if (m_capacity > 0) m_buffer[m_length] = 0;
        return m_length;
    }
    bool Truncated() const { return m_truncated; }

private:
    Ch* m_buffer;
    std::size_t m_capacity;
    std::size_t m_length = 0;
    bool m_truncated = false;
};

struct Directive {
    bool leftAlign = false, zeroPad = false, plus = false, space = false;
    int width = 0;
    int precision = -1;
    int longness = 0;  // 0: 32-bit, 2: 64-bit
};

template <class Ch>
void PutPadded(Sink<Ch>& out, const Directive& directive, const Ch* text, std::size_t length,
               Ch pad = Ch(' ')) {
    const std::size_t width = directive.width > 0 ? static_cast<std::size_t>(directive.width) : 0;
    const std::size_t fill = width > length ? width - length : 0;
    if (!directive.leftAlign) out.PutRepeated(pad, fill);
    for (std::size_t i = 0; i < length; ++i) out.Put(text[i]);
    if (directive.leftAlign) out.PutRepeated(Ch(' '), fill);
}

template <class Ch>
void PutNumber(Sink<Ch>& out, const Directive& directive, std::uint64_t magnitude, bool negative,
               unsigned base, bool upper) {
    Ch digits[24];
    std::size_t n = 0;
    const char* set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    do {
        digits[n++] = Ch(set[magnitude % base]);
        magnitude /= base;
    } while (magnitude);
    Ch sign = 0;
    if (negative) sign = Ch('-');
    else if (directive.plus) sign = Ch('+');
    else if (directive.space) sign = Ch(' ');

    const std::size_t precision = directive.precision > 0 ? static_cast<std::size_t>(directive.precision) : 0;
    const std::size_t zeros = precision > n ? precision - n : 0;
    const std::size_t body = n + zeros + (sign ? 1 : 0);
    const std::size_t width = directive.width > 0 ? static_cast<std::size_t>(directive.width) : 0;
    const std::size_t fill = width > body ? width - body : 0;
    const bool zeroFill = directive.zeroPad && !directive.leftAlign && directive.precision < 0;

    if (!directive.leftAlign && !zeroFill) out.PutRepeated(Ch(' '), fill);
    if (sign) out.Put(sign);
    if (zeroFill) out.PutRepeated(Ch('0'), fill);
    out.PutRepeated(Ch('0'), zeros);
    while (n) out.Put(digits[--n]);
    if (directive.leftAlign) out.PutRepeated(Ch(' '), fill);
}

// Formats into buffer, writing at most capacity - 1 units and a terminating NUL (nothing when
// capacity is 0). Returns the number of units written; *truncated tells whether output was cut.
template <class Ch>
std::size_t FormatV(Ch* buffer, std::size_t capacity, const Ch* format, va_list args,
                    bool* truncated = nullptr) {
    Sink<Ch> out(buffer, capacity);
    const Ch* p = format;
    while (*p) {
        if (*p != Ch('%')) {
            out.Put(*p++);
            continue;
        }
        const Ch* start = p++;
        Directive directive;
        for (;; ++p) {
            if (*p == Ch('-')) directive.leftAlign = true;
            else if (*p == Ch('0')) directive.zeroPad = true;
            else if (*p == Ch('+')) directive.plus = true;
            else if (*p == Ch(' ')) directive.space = true;
            else break;
        }
        if (*p == Ch('*')) {
            directive.width = va_arg(args, int);
            if (directive.width < 0) {
                directive.leftAlign = true;
                directive.width = directive.width == INT32_MIN ? 0 : -directive.width;
            }
            ++p;
        } else {
            while (*p >= Ch('0') && *p <= Ch('9')) {
                directive.width = directive.width > 100000 ? directive.width : directive.width * 10 + int(*p - Ch('0'));
                ++p;
            }
        }
        if (*p == Ch('.')) {
            ++p;
            directive.precision = 0;
            if (*p == Ch('*')) {
                directive.precision = va_arg(args, int);
                if (directive.precision < 0) directive.precision = -1;
                ++p;
            } else {
                while (*p >= Ch('0') && *p <= Ch('9')) {
                    directive.precision = directive.precision > 100000 ? directive.precision
                                                              : directive.precision * 10 + int(*p - Ch('0'));
                    ++p;
                }
            }
        }
        if (*p == Ch('h')) {
            ++p;
        } else if (*p == Ch('l')) {
            ++p;
            if (*p == Ch('l')) {
                directive.longness = 2;
                ++p;
            }
        } else if (*p == Ch('I') && p[1] == Ch('6') && p[2] == Ch('4')) {
            directive.longness = 2;
            p += 3;
        } else if (*p == Ch('I') && p[1] == Ch('3') && p[2] == Ch('2')) {
            p += 3;
        }

        const Ch conversion = *p;
        if (conversion) ++p;
        switch (static_cast<unsigned>(conversion)) {
            case 'd':
            case 'i': {
                std::int64_t v = directive.longness == 2 ? va_arg(args, long long) : va_arg(args, int);
                const bool negative = v < 0;
                const std::uint64_t magnitude =
                    negative ? std::uint64_t(0) - static_cast<std::uint64_t>(v)
                             : static_cast<std::uint64_t>(v);
                PutNumber(out, directive, magnitude, negative, 10, false);
                break;
            }
            case 'u':
            case 'x':
            case 'X': {
                std::uint64_t v = directive.longness == 2 ? va_arg(args, unsigned long long)
                                                     : va_arg(args, unsigned int);
                PutNumber(out, directive, v, false, conversion == Ch('u') ? 10 : 16,
                          conversion == Ch('X'));
                break;
            }
            case 'c': {
                const Ch c = static_cast<Ch>(va_arg(args, int));
                PutPadded(out, directive, &c, 1);
                break;
            }
            case 's': {
                const Ch* s = va_arg(args, const Ch*);
                static const Ch kNull[] = {'(', 'n', 'u', 'l', 'l', ')', 0};
                if (!s) s = kNull;
                std::size_t n = 0;
                while (s[n] && (directive.precision < 0 || n < static_cast<std::size_t>(directive.precision)))
                    ++n;
                PutPadded(out, directive, s, n);
                break;
            }
            case '%':
                out.Put(Ch('%'));
                break;
            default:
                // Unknown or missing conversion: keep the text as written.
                for (const Ch* q = start; q < p; ++q) out.Put(*q);
                break;
        }
    }
    if (truncated) *truncated = out.Truncated();
    return out.Finish();
}

template <class Ch>
std::size_t Format(Ch* buffer, std::size_t capacity, const Ch* format, ...) {
    va_list args;
    va_start(args, format);
    const std::size_t n = FormatV(buffer, capacity, format, args);
    va_end(args);
    return n;
}

}  // namespace wfmt
