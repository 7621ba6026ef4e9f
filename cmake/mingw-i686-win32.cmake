# Porresku.dll as it ships: the same cross compiler with the win32 thread
# model. The posix one links winpthreads into a -static DLL, and winpthreads
# imports GetTickCount64, which Windows XP does not have. The board starts no
# threads and takes no std::mutex, so it needs neither.
include(${CMAKE_CURRENT_LIST_DIR}/mingw-i686.cmake)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-win32)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-win32)
