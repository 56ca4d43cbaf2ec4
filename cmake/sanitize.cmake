# Flags of the sanitizer tree. Any report is fatal, so a ctest run cannot pass over one.
if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  message(FATAL_ERROR "SANITIZE=ON needs clang (libFuzzer): configure with CXX=clang++")
endif()
set(SANITIZER_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all
    -fno-omit-frame-pointer -g)
add_compile_options(${SANITIZER_FLAGS})
add_link_options(${SANITIZER_FLAGS})
