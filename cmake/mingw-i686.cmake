# Cross toolchain for the 32-bit Windows side: the stub that ships, and its tests.
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
