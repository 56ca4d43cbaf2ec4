#include "progress.h"

#include <unistd.h>

#include <cstdio>
#include <utility>

namespace stubpack {

Progress::Progress(std::string label, std::uint64_t total)
    : label_(std::move(label)), total_(total),
      active_(total >= kProgressThreshold && ::isatty(STDERR_FILENO) == 1) {
    if (active_) Draw();
}

Progress::~Progress() {
    if (!active_) return;
    // The last state stays on screen, finished with a line end.
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

void Progress::Advance(std::uint64_t bytes) {
    if (!active_) return;
    done_ += bytes;
    if (done_ > total_) done_ = total_;
    Draw();
}

void Progress::Draw() {
    const int percent = total_ ? static_cast<int>(done_ * 100 / total_) : 100;
    if (percent == shownPercent_) return;
    shownPercent_ = percent;
    const double mib = 1024.0 * 1024.0;
    std::fprintf(stderr, "\rstubpack: %s: %3d%% (%.1f of %.1f MiB)", label_.c_str(), percent,
                 static_cast<double>(done_) / mib, static_cast<double>(total_) / mib);
    std::fflush(stderr);
}

}  // namespace stubpack
