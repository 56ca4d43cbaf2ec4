// The files this run wrote into the working directory, by file index, each with the handle that
// holds it from its creation until the check (so that nobody can delete or replace it before:
// a file system may give a new file the index of a deleted one). Before a command starts there,
// the directory's listing is matched against them: an entry that this run did not write (or a
// second name for one it did) means the directory is not the one this run filled.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>

class WrittenFiles {
public:
    WrittenFiles() = default;
    ~WrittenFiles() { std::free(m_entries); }  // the owner releases the holds first
    WrittenFiles(const WrittenFiles&) = delete;
    WrittenFiles& operator=(const WrittenFiles&) = delete;

    // Records a file this run created and the handle that holds it (owned from here on, closed
    // by Release). When memory runs out the record is incomplete, and every later match fails;
    // the caller then closes the hold itself.
    bool Add(std::uint64_t fileIndex, void* hold) {
        if (m_lost) return false;
        m_sorted = false;
        if (m_count == m_capacity) {
            const std::size_t capacity = m_capacity ? m_capacity * 2 : 16;
            void* grown = capacity < kMaxEntries
                              ? std::realloc(m_entries, capacity * sizeof(Entry))
                              : nullptr;
            if (!grown) {
                m_lost = true;
                return false;
            }
            m_entries = static_cast<Entry*>(grown);
            m_capacity = capacity;
        }
        m_entries[m_count++] = Entry{fileIndex, hold, false};
        return true;
    }

    // Calls close(hold) for every hold still kept, once.
    template <class Close>
    void Release(Close close) {
        for (std::size_t i = 0; i < m_count; ++i) {
            if (m_entries[i].hold) close(m_entries[i].hold);
            m_entries[i].hold = nullptr;
        }
    }

    // Whether a file this run created has that index (a linear search: only asked when a
    // package names a file twice).
    bool Contains(std::uint64_t fileIndex) const {
        for (std::size_t i = 0; i < m_count; ++i)
            if (m_entries[i].fileIndex == fileIndex) return true;
        return false;
    }

    // A match of a listing: BeginMatch, then Claim for every entry. Claim is false for an entry
    // that this run did not write or that was already claimed under another name.
    void BeginMatch() {
        if (!m_sorted && m_count > 1) std::qsort(m_entries, m_count, sizeof(Entry), &Compare);
        m_sorted = true;
        for (std::size_t i = 0; i < m_count; ++i) m_entries[i].claimed = false;
    }
    bool Claim(std::uint64_t fileIndex) {
        Entry* entry = m_sorted ? Find(fileIndex) : nullptr;
        if (m_lost || !entry || entry->claimed) return false;
        entry->claimed = true;
        return true;
    }

private:
    struct Entry {
        std::uint64_t fileIndex;
        void* hold;
        bool claimed;
    };
    static constexpr std::size_t kMaxEntries = SIZE_MAX / sizeof(Entry) / 2;

    static int Compare(const void* a, const void* b) {
        const std::uint64_t x = static_cast<const Entry*>(a)->fileIndex;
        const std::uint64_t y = static_cast<const Entry*>(b)->fileIndex;
        return x < y ? -1 : x > y ? 1 : 0;
    }

    // Binary search in the sorted entries.
    Entry* Find(std::uint64_t fileIndex) const {
        std::size_t low = 0, high = m_count;
        while (low < high) {
            const std::size_t middle = low + (high - low) / 2;
            if (m_entries[middle].fileIndex < fileIndex) low = middle + 1;
            else high = middle;
        }
        return low < m_count && m_entries[low].fileIndex == fileIndex ? &m_entries[low] : nullptr;
    }

    Entry* m_entries = nullptr;
    std::size_t m_count = 0, m_capacity = 0;
    bool m_lost = false;
    bool m_sorted = true;
};
