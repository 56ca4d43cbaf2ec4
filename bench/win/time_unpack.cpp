// Extraction alone: the stub's own extractor (CUnPack, from stubcore) run on a package file,
// timed inside the process. Everything else the stub does at start and end is left out.
//   time_unpack PACKAGE   extracts into %TEMP%\unpack\ like the stub; exit 1 if the walk failed.
#include <windows.h>

#include <cstdio>

#include "bench_clock.h"
#include "package/unpack.h"

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: time_unpack PACKAGE\n");
        return 2;
    }
    CUnPack unpack(argv[1]);
    const BenchClock clock;
    unpack.RunUnPack();
    clock.Report();
    return unpack.Finished() ? 0 : 1;
}
