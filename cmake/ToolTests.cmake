# The sysop's tool (tools/porresku-log) through its command line: the built
# program started in a fresh folder per case, natively and under Wine.
add_executable(tool_tests
  tests/tool/PorreskuLogTest.cpp
  tests/tool/RemoveWhilePostingTest.cpp)
target_link_libraries(tool_tests PRIVATE porresku_test_support)
target_include_directories(tool_tests SYSTEM PRIVATE ${PORRESKU_THIRD_PARTY_INCLUDE})
# <chrono> does not compile for a CP932 execution charset; this file holds no Japanese text.
set_source_files_properties(tests/tool/RemoveWhilePostingTest.cpp PROPERTIES COMPILE_OPTIONS -fexec-charset=UTF-8)
# On Windows the tool comes with the DLL from the shipped build (Porresku).
add_dependencies(tool_tests log_holder posting_host Porresku)
if(TARGET porresku-log)
  add_dependencies(tool_tests porresku-log)
endif()
porresku_add_test_program(tool_tests)

# The tool's reading of the log, below its command line.
add_executable(tool_unit_tests tests/tool/ReadingTest.cpp tests/tool/PiecesTest.cpp tests/tool/ThreadsTest.cpp)
target_link_libraries(tool_unit_tests PRIVATE porresku_log_tool porresku_test_support)
porresku_add_test_program(tool_unit_tests)
