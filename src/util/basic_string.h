// A growable, NUL-terminated string of 16-bit (or any) code units.
//
// The stub must stay small: std::wstring alone pulls in some 200 KB of the C++ library's
// exception machinery. This class allocates with malloc, never throws, and on an allocation
// failure keeps its previous contents (callers treat a short string like any other failed call).
// It is a template so that host tests and fuzzers can use it with char16_t, where wchar_t is
// 32 bits wide.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <cstring>

template <class Ch>
class BasicStr {
public:
    BasicStr() = default;
    BasicStr(const Ch* text) { Append(text); }  // NOLINT: implicit from literals, like std::basic_string
    BasicStr(const Ch* text, std::size_t length) { Append(text, length); }
    BasicStr(const BasicStr& other) { Append(other.c_str(), other.length_); }
    BasicStr(BasicStr&& other) noexcept
        : data_(other.data_), length_(other.length_), capacity_(other.capacity_) {
        other.data_ = nullptr;
        other.length_ = other.capacity_ = 0;
    }
    ~BasicStr() { std::free(data_); }

    BasicStr& operator=(const BasicStr& other) {
        if (this != &other) {
            Clear();
            Append(other.c_str(), other.length_);
        }
        return *this;
    }
    BasicStr& operator=(BasicStr&& other) noexcept {
        if (this != &other) {
            std::free(data_);
            data_ = other.data_;
            length_ = other.length_;
            capacity_ = other.capacity_;
            other.data_ = nullptr;
            other.length_ = other.capacity_ = 0;
        }
        return *this;
    }

    const Ch* c_str() const { return data_ ? data_ : Empty(); }
    std::size_t Length() const { return length_; }
    bool IsEmpty() const { return length_ == 0; }
    Ch operator[](std::size_t i) const { return data_[i]; }

    void Clear() {
        length_ = 0;
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
    bool Append(const Ch* text, std::size_t n) {
        if (n == 0) return true;
        if (!Reserve(length_ + n)) return false;
        std::memmove(data_ + length_, text, n * sizeof(Ch));
        length_ += n;
        data_[length_] = 0;
        return true;
    }
    bool Append(const BasicStr& other) { return Append(other.c_str(), other.length_); }
    bool AppendUnit(Ch c) { return Append(&c, 1); }

    // Index of the last unit equal to c, or npos.
    std::size_t FindLast(Ch c) const {
        for (std::size_t i = length_; i > 0; --i)
            if (data_[i - 1] == c) return i - 1;
        return npos;
    }

    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

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
};

// The stub's wide string: UTF-16 on Windows.
using WString = BasicStr<wchar_t>;
