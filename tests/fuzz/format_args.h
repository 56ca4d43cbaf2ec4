// For the formatter fuzzer: which arguments a format takes, read the way wfmt::FormatV reads
// them, and a call of a variadic function with runtime-chosen arguments of exactly those types.
// Passing each argument with its own type keeps every va_arg of the formatter well defined.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace fuzzfmt {

enum class Kind { Int, UInt, LongLong, ULongLong, Text };

// A %s argument in both unit types: the formatter takes the UTF-16 one, the C library the 8-bit.
struct Text {
    const char16_t* wide;
    const char* narrow;
};

struct Conversion {
    std::size_t begin = 0, end = 0;  // the units of the conversion in the format
    bool leftAlign = false, zeroPad = false, plus = false, space = false;
    bool starWidth = false, starPrecision = false;
    bool hasPrecision = false;
    long width = 0, precision = 0;  // as written (digits), before the formatter's cap
    char length = 0;                // 0, 'h', 'l', 'L' (ll), '6' (I64), '3' (I32)
    char16_t type = 0;              // the conversion unit, 0 when the format ends first
    std::vector<Kind> takes;        // arguments read, in order
};

// Splits format into its conversions, following FormatV's grammar unit by unit.
inline std::vector<Conversion> ParseFormat(const std::u16string& format) {
    std::vector<Conversion> out;
    const std::size_t n = format.size();
    auto at = [&](std::size_t i) -> char16_t { return i < n ? format[i] : 0; };
    std::size_t p = 0;
    while (p < n) {
        if (format[p] != u'%') {
            ++p;
            continue;
        }
        Conversion c;
        c.begin = p++;
        for (;; ++p) {
            const char16_t f = at(p);
            if (f == u'-') c.leftAlign = true;
            else if (f == u'0') c.zeroPad = true;
            else if (f == u'+') c.plus = true;
            else if (f == u' ') c.space = true;
            else break;
        }
        auto digits = [&](long& value) {
            while (at(p) >= u'0' && at(p) <= u'9') {
                if (value < 100000000) value = value * 10 + (at(p) - u'0');
                ++p;
            }
        };
        if (at(p) == u'*') {
            c.starWidth = true;
            c.takes.push_back(Kind::Int);
            ++p;
        } else {
            digits(c.width);
        }
        if (at(p) == u'.') {
            ++p;
            c.hasPrecision = true;
            if (at(p) == u'*') {
                c.starPrecision = true;
                c.takes.push_back(Kind::Int);
                ++p;
            } else {
                digits(c.precision);
            }
        }
        if (at(p) == u'h') {
            c.length = 'h';
            ++p;
        } else if (at(p) == u'l') {
            c.length = 'l';
            ++p;
            if (at(p) == u'l') {
                c.length = 'L';
                ++p;
            }
        } else if (at(p) == u'I' && at(p + 1) == u'6' && at(p + 2) == u'4') {
            c.length = '6';
            p += 3;
        } else if (at(p) == u'I' && at(p + 1) == u'3' && at(p + 2) == u'2') {
            c.length = '3';
            p += 3;
        }
        c.type = at(p);
        if (c.type) ++p;
        const bool wide = c.length == 'L' || c.length == '6';
        switch (c.type) {
            case u'd':
            case u'i': c.takes.push_back(wide ? Kind::LongLong : Kind::Int); break;
            case u'u':
            case u'x':
            case u'X': c.takes.push_back(wide ? Kind::ULongLong : Kind::UInt); break;
            case u'c': c.takes.push_back(Kind::Int); break;
            case u's': c.takes.push_back(Kind::Text); break;
            default: break;
        }
        c.end = p;
        out.push_back(c);
    }
    return out;
}

struct Value {
    Kind kind = Kind::Int;
    int i = 0;
    unsigned u = 0;
    long long ll = 0;
    unsigned long long ull = 0;
    Text text{nullptr, nullptr};
};

constexpr std::size_t kMaxArguments = 5;  // each more multiplies the instantiations below by 5

// Calls target(context, wide..., narrow...) with values[0..count) passed twice, each as int,
// unsigned, long long, unsigned long long or Text as its kind says: first with the UTF-16 %s
// strings, then with the 8-bit ones. count is at most kMaxArguments. (format_call.cpp)
void CallVariadic(void (*target)(void*, ...), void* context, const Value* values, std::size_t count);

}  // namespace fuzzfmt
