#include "tree_watch.h"

#include <dirent.h>
#include <sys/stat.h>

#include <utility>

namespace e2e {

namespace {

bool Below(const std::string& path, const std::string& top) {
    return path == top || (path.compare(0, top.size(), top) == 0 && path[top.size()] == '/');
}

void Walk(const std::string& dir, const std::vector<std::string>& ignored,
          std::map<std::string, TreeWatch::Entry>& out) {
    DIR* d = opendir(dir.c_str());
    if (!d) return;
    while (dirent* e = readdir(d)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        const std::string path = dir + "/" + name;
        bool skip = false;
        for (const auto& i : ignored) skip = skip || Below(path, i);
        struct stat st;
        if (skip || lstat(path.c_str(), &st) != 0) continue;
        TreeWatch::Entry entry;
        entry.directory = S_ISDIR(st.st_mode);
        // A directory's own time changes with every entry made or removed in it; those entries
        // are compared themselves.
        if (!entry.directory) {
            entry.size = static_cast<std::uint64_t>(st.st_size);
            entry.modifiedNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
        }
        out[path] = entry;
        if (entry.directory) Walk(path, ignored, out);
    }
    closedir(d);
}

}  // namespace

TreeWatch::TreeWatch(std::vector<std::string> roots, std::vector<std::string> ignored)
    : roots_(std::move(roots)), ignored_(std::move(ignored)) {}

void TreeWatch::Start() { before_ = Scan(); }

std::map<std::string, TreeWatch::Entry> TreeWatch::Scan() const {
    std::map<std::string, Entry> entries;
    for (const auto& root : roots_) Walk(root, ignored_, entries);
    return entries;
}

std::vector<std::string> TreeWatch::Changes() const {
    const auto after = Scan();
    std::vector<std::string> changes;
    for (const auto& [path, entry] : after) {
        const auto old = before_.find(path);
        if (old == before_.end()) changes.push_back("added " + path);
        else if (!(old->second == entry)) changes.push_back("written " + path);
    }
    for (const auto& [path, entry] : before_)
        if (!after.count(path)) changes.push_back("removed " + path);
    return changes;
}

}  // namespace e2e
