# GoogleTest from Debian's sources, built with this build's compiler, so the
# same tests run natively and (as Windows programs) under Wine.
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
include(GoogleTest)

add_library(porresku_test_support STATIC
  tests/support/ChildProcess.cpp
  tests/support/FakeHost.cpp
  tests/support/FaultInjector.cpp
  tests/support/LogHolder.cpp
  tests/support/PluginLoader.cpp
  tests/support/TestMain.cpp)
target_include_directories(porresku_test_support PUBLIC tests src)
target_link_libraries(porresku_test_support PUBLIC gtest porresku_flags)
if(WIN32)
  target_link_libraries(porresku_test_support PUBLIC version)
else()
  target_compile_definitions(porresku_test_support PRIVATE PORRESKU_PLUGIN_PATH="$<TARGET_FILE:Porresku>")
  target_link_libraries(porresku_test_support PUBLIC dl)
endif()

# Other programs for the tests to start: one that holds the log open, and
# one more host process that loads the built library and posts.
add_executable(log_holder tests/support/LogHolderMain.cpp)
add_executable(posting_host tests/support/PostingHostMain.cpp)
target_link_libraries(posting_host PRIVATE porresku_test_support)
# <chrono> does not compile for a CP932 execution charset; these hold no Japanese text.
set_source_files_properties(tests/support/PostingHostMain.cpp tests/abi/ManyHostsTest.cpp
  PROPERTIES COMPILE_OPTIONS -fexec-charset=UTF-8)

# Runs a test program: one CTest entry per test natively, one per program
# under Wine (each Wine start costs time).
function(porresku_add_test_program name)
  if(WIN32)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES TIMEOUT 300)
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120)
  endif()
endfunction()

# The board's modules, linked in.
add_executable(unit_tests
  tests/support/BoardSandbox.cpp
  tests/common/BoundedTextTest.cpp
  tests/board/DateTimeTest.cpp
  tests/board/ListingYearsTest.cpp
  tests/board/MessageLogTest.cpp
  tests/board/BoardStepsTest.cpp
  tests/board/CallerInputTest.cpp
  tests/board/FaultInjectionTest.cpp
  tests/board/FullDiskTest.cpp
  tests/board/HeldLogTest.cpp
  tests/board/RegressionTest.cpp
  tests/board/PorreskuTest.cpp)
target_link_libraries(unit_tests PRIVATE porresku_core porresku_test_support)
porresku_add_test_program(unit_tests)

# The built library through its exports, as the host uses it.
add_executable(abi_tests tests/abi/AbiTest.cpp tests/abi/AbiBoardTest.cpp)
target_link_libraries(abi_tests PRIVATE porresku_test_support)
target_include_directories(abi_tests PRIVATE ${CMAKE_BINARY_DIR}/generated)
add_dependencies(abi_tests Porresku log_holder)
porresku_add_test_program(abi_tests)

# Several host processes on one board folder (not under valgrind: the
# children are separate programs, and the parent only waits).
add_executable(process_tests tests/abi/ManyHostsTest.cpp)
target_link_libraries(process_tests PRIVATE porresku_test_support)
add_dependencies(process_tests Porresku posting_host)
porresku_add_test_program(process_tests)

# The built library once under valgrind: memory errors and leaks through the
# real boundary (the sanitizer build covers the rest).
find_program(VALGRIND valgrind)
if(NOT WIN32 AND NOT PORRESKU_SANITIZE AND VALGRIND)
  add_test(NAME abi_tests_under_valgrind
           COMMAND ${VALGRIND} --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite -q
                   $<TARGET_FILE:abi_tests> --gtest_brief=1)
  set_tests_properties(abi_tests_under_valgrind PROPERTIES TIMEOUT 300)
endif()

# The export and import tables of the built library.
if(WIN32)
  add_test(NAME export_table
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/tests/check_exports.sh windows ${PORRESKU_PLUGIN_FILE})
else()
  add_test(NAME export_table
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/tests/check_exports.sh linux $<TARGET_FILE:Porresku>)
endif()

# Windows XP SP3: the DLL's header and imports (tests/check_xp_floor.sh), and
# that the check refuses a DLL that breaks each of its rules.
if(WIN32)
  add_test(NAME xp_floor COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/tests/check_xp_floor.sh ${PORRESKU_PLUGIN_FILE})

  add_library(newer_than_xp SHARED tests/floor/NewerThanXp.c)
  set_target_properties(newer_than_xp PROPERTIES PREFIX "")
  target_link_libraries(newer_than_xp PRIVATE advapi32 shell32)
  add_test(NAME xp_floor_refuses_newer
           COMMAND bash -c [[
             out=$("$0" "$1") && { printf '%s\n' "$out" "the check passed a DLL XP cannot load"; exit 1; }
             for want in "MajorOSystemVersion" "from ADVAPI32.DLL" "from SHELL32.DLL" "GetTickCount64, which" "strcpy_s from msvcrt"; do
               grep -qF "$want" <<<"$out" || { printf '%s\n' "$out" "no complaint about: $want"; exit 1; }
             done
             printf '%s\n' "$out"]]
             ${CMAKE_CURRENT_SOURCE_DIR}/tests/check_xp_floor.sh $<TARGET_FILE:newer_than_xp>)
endif()
