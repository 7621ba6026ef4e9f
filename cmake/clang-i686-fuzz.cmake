# 32-bit x86 Linux build with clang, for the libFuzzer harnesses only: the
# host interface is i686 and stdcall, so the fuzzers are too.
include(${CMAKE_CURRENT_LIST_DIR}/linux-i686.cmake)
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
