// The watch that the corpus relies on to see writes outside the working directory (no Wine).
#include <gtest/gtest.h>

#include <unistd.h>

#include "support.h"
#include "tree_watch.h"

using namespace e2e;

TEST(TreeWatch, SeesAddedWrittenAndRemovedEntriesButNotIgnoredOnes) {
    TempDir dir;
    RunProgram({"mkdir", "-p", dir / "a/b", dir / "ignored"});
    WriteFile(dir / "a/keep.txt", "keep");
    WriteFile(dir / "a/b/change.txt", "one");
    WriteFile(dir / "a/b/remove.txt", "remove");
    RunProgram({"ln", "-s", "/", dir / "a/link"});  // never followed: the whole disk is not scanned
    TreeWatch watch({dir / "a", dir / "ignored"}, {dir / "ignored"});
    watch.Start();
    EXPECT_TRUE(watch.Changes().empty());

    WriteFile(dir / "a/b/change.txt", "two");  // same size: the time tells
    RunProgram({"touch", "-d", "2001-01-01", dir / "a/b/change.txt"});
    RunProgram({"rm", dir / "a/b/remove.txt"});
    RunProgram({"mkdir", dir / "a/new"});
    WriteFile(dir / "ignored/file.txt", "not seen");
    // In path order, removals last.
    EXPECT_EQ((std::vector<std::string>{"written " + dir / "a/b/change.txt", "added " + dir / "a/new",
                                        "removed " + dir / "a/b/remove.txt"}),
              watch.Changes());
}
