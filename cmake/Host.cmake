# The host stand-in: a console program that loads the built plug-in by file
# name and serves it from a member file (host/README.md), and the replayed
# sessions that test the two together.

if(WIN32)
  set(PORRESKU_HOST_SYSTEM_SOURCE host/HostSystemWin32.cpp)
else()
  set(PORRESKU_HOST_SYSTEM_SOURCE host/HostSystemPosix.cpp)
endif()

add_executable(porresku_host
  host/HostDates.cpp
  host/Main.cpp
  host/MemberFile.cpp
  host/Plugin.cpp
  host/Session.cpp
  ${PORRESKU_HOST_SYSTEM_SOURCE})
# The host shares no code with the plug-in: only the host's interface header.
target_include_directories(porresku_host PRIVATE src)
target_link_libraries(porresku_host PRIVATE porresku_flags)
# <chrono> does not compile for a CP932 execution charset; this file holds no Japanese text.
set_source_files_properties(host/HostDates.cpp PROPERTIES COMPILE_OPTIONS -fexec-charset=UTF-8)
if(NOT WIN32)
  target_link_libraries(porresku_host PRIVATE dl)
endif()
# The host finds the plug-in beside itself: build both.
add_dependencies(porresku_host Porresku)

# ---- tests: the built host with the built plug-in ---------------------------
# Under Wine the Windows host runs with the Windows DLL beside it, through
# the same emulator as every other Windows test program.

# A library with only one of the nine exports, for the host's error path.
add_library(porresku_incomplete_plugin SHARED tests/host/IncompletePlugin.cpp)
if(WIN32)
  set_target_properties(porresku_incomplete_plugin PROPERTIES PREFIX "")
  target_link_options(porresku_incomplete_plugin PRIVATE -Wl,--kill-at)
endif()
add_dependencies(porresku_host porresku_incomplete_plugin)

set(PORRESKU_HOST_COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:porresku_host>)
set(PORRESKU_HOST_TESTS ${CMAKE_CURRENT_SOURCE_DIR}/tests/host)

# Replayed sessions: one test per folder of tests/host/sessions.
file(GLOB PORRESKU_HOST_SESSIONS LIST_DIRECTORIES true CONFIGURE_DEPENDS ${PORRESKU_HOST_TESTS}/sessions/*)
foreach(session IN LISTS PORRESKU_HOST_SESSIONS)
  if(IS_DIRECTORY ${session})
    get_filename_component(name ${session} NAME)
    add_test(NAME HostSession.${name}
             COMMAND bash ${PORRESKU_HOST_TESTS}/run_session.sh ${session} -- ${PORRESKU_HOST_COMMAND})
    set_tests_properties(HostSession.${name} PROPERTIES TIMEOUT 120)
  endif()
endforeach()

# Bad input: one test per row of the table.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PORRESKU_HOST_TESTS}/bad_input.tsv)
file(STRINGS ${PORRESKU_HOST_TESTS}/bad_input.tsv PORRESKU_BAD_INPUT_ROWS REGEX "^[A-Za-z]")
foreach(row IN LISTS PORRESKU_BAD_INPUT_ROWS)
  string(REGEX MATCH "^[A-Za-z0-9]+" name "${row}")
  add_test(NAME HostBadInput.${name}
           COMMAND bash ${PORRESKU_HOST_TESTS}/bad_input.sh ${PORRESKU_HOST_TESTS}/bad_input.tsv ${name}
                   $<TARGET_FILE:porresku_incomplete_plugin> -- ${PORRESKU_HOST_COMMAND})
  set_tests_properties(HostBadInput.${name} PROPERTIES TIMEOUT 60)
endforeach()
