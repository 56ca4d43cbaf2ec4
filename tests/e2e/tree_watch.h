// Notices what changed in directory trees between two moments: files added, removed or written
// (size or modification time), directories added or removed. Links are listed, never followed.
// The tests use it to show that a run wrote nothing outside the places it may write to.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace e2e {

class TreeWatch {
public:
    // ignored: paths left out, each with everything below it.
    TreeWatch(std::vector<std::string> roots, std::vector<std::string> ignored);

    void Start();
    // One line per change since Start(), such as "added /path" or "written /path"; empty when
    // nothing changed.
    std::vector<std::string> Changes() const;

    struct Entry {
        bool directory = false;
        std::uint64_t size = 0;
        std::int64_t modifiedNs = 0;
        bool operator==(const Entry& o) const {
            return directory == o.directory && size == o.size && modifiedNs == o.modifiedNs;
        }
    };

private:
    std::map<std::string, Entry> Scan() const;

    std::vector<std::string> roots_, ignored_;
    std::map<std::string, Entry> before_;
};

}  // namespace e2e
