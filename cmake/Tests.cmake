# GoogleTest from Debian's sources, built with this build's compiler, so the
# same tests run natively and (as Windows programs) under Wine.
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
include(GoogleTest)

add_library(porresku_test_support STATIC
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

# Another program that holds the log open, for the tests to start.
add_executable(log_holder tests/support/LogHolderMain.cpp)

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
  tests/board/RegressionTest.cpp
  tests/board/PorreskuTest.cpp)
target_link_libraries(unit_tests PRIVATE porresku_core porresku_test_support)
porresku_add_test_program(unit_tests)

# The built library through its exports, as the host uses it.
add_executable(abi_tests tests/abi/AbiTest.cpp tests/abi/AbiBoardTest.cpp)
target_link_libraries(abi_tests PRIVATE porresku_test_support)
add_dependencies(abi_tests Porresku log_holder)
porresku_add_test_program(abi_tests)

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
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/tests/check_exports.sh windows $<TARGET_FILE:Porresku>)
else()
  add_test(NAME export_table
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/tests/check_exports.sh linux $<TARGET_FILE:Porresku>)
endif()
