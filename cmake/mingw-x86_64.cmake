# Cross toolchain for the 64-bit Windows side: the same sources as the 32-bit stub, built to run
# under wine64 where the kernel runs no 32-bit programs (scripts/windows-arch.sh).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
