// A growable, NUL-terminated string of 16-bit (or any) code units.
//
// The stub must stay small: std::wstring alone pulls in some 200 KB of the C++ library's
// exception machinery. This class allocates with malloc and never throws. A failed append
// (out of memory, or a length that cannot be allocated) poisons the string: it becomes empty and
// Failed(), later appends to it fail, and copying it or appending it to another string passes the
// failure on. So a path whose building failed part-way never exists as a shorter path that names
// something else; code that decides what is deleted or run checks Failed() once at the end.
// It is a template so that host tests and fuzzers can use it with char16_t, where wchar_t is
// 32 bits wide.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

template <class Ch>
class BasicStr {
public:
    BasicStr() = default;
    BasicStr(const Ch* text) { Append(text); }  // NOLINT: implicit from literals, like std::basic_string
    BasicStr(const Ch* text, std::size_t length) { Append(text, length); }
    BasicStr(const BasicStr& other) { Append(other); }
    BasicStr(BasicStr&& other) noexcept
        : m_data(other.m_data), m_length(other.m_length), m_capacity(other.m_capacity),
          m_failed(other.m_failed) {
        other.m_data = nullptr;
        other.m_length = other.m_capacity = 0;
        other.m_failed = false;
    }
    ~BasicStr() { std::free(m_data); }

    BasicStr& operator=(const BasicStr& other) {
        if (this != &other) {
            Clear();
            Append(other);
        }
        return *this;
    }
    BasicStr& operator=(BasicStr&& other) noexcept {
        if (this != &other) {
            std::free(m_data);
            m_data = other.m_data;
            m_length = other.m_length;
            m_capacity = other.m_capacity;
            m_failed = other.m_failed;
            other.m_data = nullptr;
            other.m_length = other.m_capacity = 0;
            other.m_failed = false;
        }
        return *this;
    }

    const Ch* c_str() const { return m_data ? m_data : Empty(); }
    std::size_t Length() const { return m_length; }
    bool IsEmpty() const { return m_length == 0; }
    // An append failed since the string was made or last cleared; it is then empty.
    bool Failed() const { return m_failed; }
    Ch operator[](std::size_t i) const { return m_data[i]; }

    // Makes the string a failed one (a value that could not be had).
    void MarkFailed() { Fail(); }

    // Empties the string and lifts a failure.
    void Clear() {
        m_length = 0;
        m_failed = false;
        if (m_data) m_data[0] = 0;
    }

    // Cuts the string to its first n units (no effect when it is shorter).
    void Truncate(std::size_t n) {
        if (n < m_length) {
            m_length = n;
            m_data[n] = 0;
        }
    }

    bool Append(const Ch* text) { return text ? Append(text, UnitLength(text)) : true; }
    // text may lie inside this string (an append of the string to itself).
    bool Append(const Ch* text, std::size_t n) {
        if (m_failed) return false;
        if (n == 0) return true;
        if (n > kMaxLength - m_length) return Fail();
        const auto at = reinterpret_cast<std::uintptr_t>(text);
        const auto start = reinterpret_cast<std::uintptr_t>(m_data);
        const bool inside = m_data && at >= start && at < start + m_capacity * sizeof(Ch);
        const std::size_t offset = inside ? (at - start) / sizeof(Ch) : 0;
        if (!Reserve(m_length + n)) return Fail();
        if (inside) text = m_data + offset;  // the buffer may have moved
        std::memmove(m_data + m_length, text, n * sizeof(Ch));
        m_length += n;
        m_data[m_length] = 0;
        return true;
    }
    bool Append(const BasicStr& other) {
        if (other.m_failed) return Fail();
        return Append(other.c_str(), other.m_length);
    }
    bool AppendUnit(Ch c) { return Append(&c, 1); }

    // Index of the last unit equal to c, or npos.
    std::size_t FindLast(Ch c) const {
        for (std::size_t i = m_length; i > 0; --i)
            if (m_data[i - 1] == c) return i - 1;
        return npos;
    }

    static constexpr std::size_t npos = static_cast<std::size_t>(-1);
    // The longest string that can be allocated: its bytes and terminator fit a signed size.
    static constexpr std::size_t kMaxLength = static_cast<std::size_t>(PTRDIFF_MAX) / sizeof(Ch) / 2 - 1;

    static std::size_t UnitLength(const Ch* text) {
        std::size_t n = 0;
        while (text[n]) ++n;
        return n;
    }

private:
    static const Ch* Empty() {
        static const Ch empty[1] = {0};
        return empty;
    }

    bool Fail() {
        std::free(m_data);
        m_data = nullptr;
        m_length = m_capacity = 0;
        m_failed = true;
        return false;
    }

    // length is at most kMaxLength, so the doubling below cannot overflow.
    bool Reserve(std::size_t length) {
        if (length < m_capacity) return true;
        std::size_t capacity = m_capacity ? m_capacity : 16;
        while (capacity <= length) capacity *= 2;
        Ch* grown = static_cast<Ch*>(std::realloc(m_data, capacity * sizeof(Ch)));
        if (!grown) return false;
        if (!m_data) grown[0] = 0;
        m_data = grown;
        m_capacity = capacity;
        return true;
    }

    Ch* m_data = nullptr;
    std::size_t m_length = 0;
    std::size_t m_capacity = 0;  // units, terminator included
    bool m_failed = false;
};

// The stub's wide string: UTF-16 on Windows.
using WString = BasicStr<wchar_t>;
