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
        : data_(other.data_), length_(other.length_), capacity_(other.capacity_),
          failed_(other.failed_) {
        other.data_ = nullptr;
        other.length_ = other.capacity_ = 0;
        other.failed_ = false;
    }
    ~BasicStr() { std::free(data_); }

    BasicStr& operator=(const BasicStr& other) {
        if (this != &other) {
            Clear();
            Append(other);
        }
        return *this;
    }
    BasicStr& operator=(BasicStr&& other) noexcept {
        if (this != &other) {
            std::free(data_);
            data_ = other.data_;
            length_ = other.length_;
            capacity_ = other.capacity_;
            failed_ = other.failed_;
            other.data_ = nullptr;
            other.length_ = other.capacity_ = 0;
            other.failed_ = false;
        }
        return *this;
    }

    const Ch* c_str() const { return data_ ? data_ : Empty(); }
    std::size_t Length() const { return length_; }
    bool IsEmpty() const { return length_ == 0; }
    // An append failed since the string was made or last cleared; it is then empty.
    bool Failed() const { return failed_; }
    Ch operator[](std::size_t i) const { return data_[i]; }

    // Makes the string a failed one (a value that could not be had).
    void MarkFailed() { Fail(); }

    // Empties the string and lifts a failure.
    void Clear() {
        length_ = 0;
        failed_ = false;
        if (data_) data_[0] = 0;
    }

    // Cuts the string to its first n units (no effect when it is shorter).
    void Truncate(std::size_t n) {
        if (n < length_) {
            length_ = n;
            data_[n] = 0;
        }
    }

    bool Append(const Ch* text) { return text ? Append(text, UnitLength(text)) : true; }
    // text may lie inside this string (an append of the string to itself).
    bool Append(const Ch* text, std::size_t n) {
        if (failed_) return false;
        if (n == 0) return true;
        if (n > kMaxLength - length_) return Fail();
        const auto at = reinterpret_cast<std::uintptr_t>(text);
        const auto start = reinterpret_cast<std::uintptr_t>(data_);
        const bool inside = data_ && at >= start && at < start + capacity_ * sizeof(Ch);
        const std::size_t offset = inside ? (at - start) / sizeof(Ch) : 0;
        if (!Reserve(length_ + n)) return Fail();
        if (inside) text = data_ + offset;  // the buffer may have moved
        std::memmove(data_ + length_, text, n * sizeof(Ch));
        length_ += n;
        data_[length_] = 0;
        return true;
    }
    bool Append(const BasicStr& other) {
        if (other.failed_) return Fail();
        return Append(other.c_str(), other.length_);
    }
    bool AppendUnit(Ch c) { return Append(&c, 1); }

    // Index of the last unit equal to c, or npos.
    std::size_t FindLast(Ch c) const {
        for (std::size_t i = length_; i > 0; --i)
            if (data_[i - 1] == c) return i - 1;
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
        std::free(data_);
        data_ = nullptr;
        length_ = capacity_ = 0;
        failed_ = true;
        return false;
    }

    // length is at most kMaxLength, so the doubling below cannot overflow.
    bool Reserve(std::size_t length) {
        if (length < capacity_) return true;
        std::size_t capacity = capacity_ ? capacity_ : 16;
        while (capacity <= length) capacity *= 2;
        Ch* grown = static_cast<Ch*>(std::realloc(data_, capacity * sizeof(Ch)));
        if (!grown) return false;
        if (!data_) grown[0] = 0;
        data_ = grown;
        capacity_ = capacity;
        return true;
    }

    Ch* data_ = nullptr;
    std::size_t length_ = 0;
    std::size_t capacity_ = 0;  // units, terminator included
    bool failed_ = false;
};

// The stub's wide string: UTF-16 on Windows.
using WString = BasicStr<wchar_t>;
