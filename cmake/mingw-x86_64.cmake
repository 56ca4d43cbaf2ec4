# Cross toolchain for the 64-bit Windows side: the same sources as the 32-bit stub, built for the
# benchmarks, which compare the stub with its peer where neither pays for emulation (bench/).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
