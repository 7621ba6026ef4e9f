# The host stand-in: a console program that loads the built plug-in by file
# name and serves it from a member file (host/README.md), and the replayed
# sessions that test the two together.

if(WIN32)
  set(PORRESKU_HOST_SYSTEM_SOURCE host/HostSystemWin32.cpp)
else()
  set(PORRESKU_HOST_SYSTEM_SOURCE host/HostSystemPosix.cpp)
endif()

add_executable(porresku_host
  host/Main.cpp
  host/MemberFile.cpp
  host/Plugin.cpp
  host/Session.cpp
  ${PORRESKU_HOST_SYSTEM_SOURCE})
# porresku_core for the board's date code (and the include path and flags).
target_link_libraries(porresku_host PRIVATE porresku_core)
if(NOT WIN32)
  target_link_libraries(porresku_host PRIVATE dl)
endif()
# The host finds the plug-in beside itself: build both.
add_dependencies(porresku_host Porresku)

