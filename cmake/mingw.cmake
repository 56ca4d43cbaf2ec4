# The mingw-w64 cross toolchain for CMAKE_SYSTEM_PROCESSOR (i686 or x86_64), included by
# mingw-i686.cmake and mingw-x86_64.cmake. The posix thread model is needed by GoogleTest
# (std::mutex); the stub itself uses no threading from the C++ library.
set(CMAKE_SYSTEM_NAME Windows)
set(MINGW_TRIPLE ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)
set(CMAKE_C_COMPILER ${MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Windows-side test programs run under Wine; scripts/wine-run picks the run's private prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
