// Progress on stderr while stubpack copies a large file: shown only when stderr is a terminal and
// the file is at least kProgressThreshold bytes, so scripts, pipes and logs see nothing of it.
#pragma once

#include <cstdint>
#include <string>

namespace stubpack {

constexpr std::uint64_t kProgressThreshold = 4u << 20;  // 4 MiB

class Progress {
public:
    // label: what is being done, e.g. "packing setup.msi".
    Progress(std::string label, std::uint64_t total);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    bool Active() const { return active_; }
    void Advance(std::uint64_t bytes);

private:
    void Draw();

    std::string label_;
    std::uint64_t total_;
    std::uint64_t done_ = 0;
    int shownPercent_ = -1;
    bool active_;
};

}  // namespace stubpack
