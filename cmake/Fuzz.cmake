# libFuzzer harnesses (preset "fuzz"), clang -m32 with AddressSanitizer and
# UndefinedBehaviorSanitizer. The preset includes this file right after
# project(Porresku) (CMAKE_PROJECT_Porresku_INCLUDE), so it sets everything
# it needs itself; its build preset builds only the target "fuzzers".
#
# The board's sources are compiled straight into each harness. clang 14
# knows no execution charset but UTF-8 (-fexec-charset=CP932 is rejected),
# so here the Japanese literals (BoardSteps.cpp, BoardTexts.cpp, LogError.cpp) come out as
# UTF-8 rather than Shift-JIS. Only their bytes and lengths differ; no code
# path depends on them, and the AM/PM words the date reader matches are
# spelled as bytes. This holds for the fuzz build only.

if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  message(FATAL_ERROR "The fuzz harnesses need clang's libFuzzer: configure with the preset fuzz.")
endif()

set(PORRESKU_FUZZ_FLAGS -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)

add_library(porresku_fuzz_support STATIC
  ${PROJECT_SOURCE_DIR}/fuzz/FuzzSupport.cpp
  ${PROJECT_SOURCE_DIR}/tests/support/FakeHost.cpp
  ${PROJECT_SOURCE_DIR}/src/board/BoardState.cpp
  ${PROJECT_SOURCE_DIR}/src/board/BoardSteps.cpp
  ${PROJECT_SOURCE_DIR}/src/board/BoardTexts.cpp
  ${PROJECT_SOURCE_DIR}/src/board/DateTime.cpp
  ${PROJECT_SOURCE_DIR}/src/board/HistoryLoad.cpp
  ${PROJECT_SOURCE_DIR}/src/board/ListingYears.cpp
  ${PROJECT_SOURCE_DIR}/src/board/Porresku.cpp
  ${PROJECT_SOURCE_DIR}/src/board/WaitingPostings.cpp
  ${PROJECT_SOURCE_DIR}/src/log/LogAppender.cpp
  ${PROJECT_SOURCE_DIR}/src/log/LogError.cpp
  ${PROJECT_SOURCE_DIR}/src/log/LogFormat.cpp
  ${PROJECT_SOURCE_DIR}/src/log/LineEnds.cpp
  ${PROJECT_SOURCE_DIR}/src/log/LogScanner.cpp
  ${PROJECT_SOURCE_DIR}/src/platform/PlatformPosix.cpp)
target_include_directories(porresku_fuzz_support PUBLIC
  ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests ${PROJECT_SOURCE_DIR}/fuzz)
target_compile_features(porresku_fuzz_support PUBLIC cxx_std_20)
# The library gets the sanitizers and the fuzzer's coverage, not its main().
target_compile_options(porresku_fuzz_support PUBLIC
  -finput-charset=UTF-8 -fexec-charset=UTF-8 -Wall -Wextra
  -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)

# The sysop's tool, but its main(): the harness calls check, repair and
# remove without the command line.
file(GLOB PORRESKU_FUZZ_TOOL_SOURCES ${PROJECT_SOURCE_DIR}/tools/porresku-log/*.cpp)
list(FILTER PORRESKU_FUZZ_TOOL_SOURCES EXCLUDE REGEX "/(Main|[A-Za-z]+Win32)\\.cpp$")
add_library(porresku_fuzz_tool STATIC ${PORRESKU_FUZZ_TOOL_SOURCES})
target_include_directories(porresku_fuzz_tool PUBLIC ${PROJECT_SOURCE_DIR}/tools/porresku-log)
target_link_libraries(porresku_fuzz_tool PUBLIC porresku_fuzz_support)

set(PORRESKU_FUZZERS log_reader date_reply goodbye_menu channel_user log_tool)
add_custom_target(fuzzers)
foreach(harness IN LISTS PORRESKU_FUZZERS)
  add_executable(fuzz_${harness} ${PROJECT_SOURCE_DIR}/fuzz/${harness}.cpp)
  set_target_properties(fuzz_${harness} PROPERTIES
    CXX_EXTENSIONS OFF RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
  target_link_libraries(fuzz_${harness} PRIVATE porresku_fuzz_support porresku_fuzz_tool)
  target_compile_options(fuzz_${harness} PRIVATE ${PORRESKU_FUZZ_FLAGS})
  target_link_options(fuzz_${harness} PRIVATE ${PORRESKU_FUZZ_FLAGS})
  add_dependencies(fuzzers fuzz_${harness})
endforeach()
