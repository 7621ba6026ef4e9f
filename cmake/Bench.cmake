# The log generator the benchmarks run on, and its tests.

add_library(porresku_loggen_core STATIC bench/LogGenerator.cpp)
target_include_directories(porresku_loggen_core PUBLIC bench)
# The generator's word tables are Japanese literals that must come out as CP932.
target_link_libraries(porresku_loggen_core PUBLIC porresku_flags)

add_executable(porresku_loggen bench/LogGenMain.cpp)
target_link_libraries(porresku_loggen PRIVATE porresku_loggen_core)

# The generator's own tests run with the others (not the benchmarks).
include(GoogleTest)
add_executable(loggen_tests bench/LogGeneratorTest.cpp)
target_link_libraries(loggen_tests PRIVATE porresku_loggen_core porresku_core porresku_test_support)
gtest_discover_tests(loggen_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120)
