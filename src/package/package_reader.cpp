#include "package/package_reader.h"

#include <utility>

namespace package {

PackageLayout ReadPackageLayout(ByteSource& source) {
    PackageLayout layout;
    static_cast<PackageLocation&>(layout) = LocatePackage(source);
    if (layout.result != LocateResult::Found) return layout;
    RecordWalk walk = WalkRecords(source, layout.firstRecord);
    layout.records = std::move(walk.records);
    layout.walkEnd = walk.end;
    return layout;
}

RecordWalk WalkRecords(ByteSource& source, std::uint64_t first) {
    RecordWalk walk;
    RecordWalker walker(source, first);
    while (walker.Next()) walk.records.push_back(walker.Current());
    walk.end = walker.End();
    return walk;
}

}  // namespace package
