# Benchmarks of the board's load, listing and posting (./bench.sh runs them),
# the log generator they run on, and the generator's tests.

add_library(porresku_loggen_core STATIC bench/LogGenerator.cpp)
target_include_directories(porresku_loggen_core PUBLIC bench)
# The generator's word tables are Japanese literals that must come out as CP932.
target_link_libraries(porresku_loggen_core PUBLIC porresku_flags)

add_executable(porresku_loggen bench/LogGenMain.cpp)
target_link_libraries(porresku_loggen PRIVATE porresku_loggen_core)

# Peak memory of one load, in a process of its own.
add_executable(porresku_loadpeak bench/LoadPeak.cpp)
target_link_libraries(porresku_loadpeak PRIVATE porresku_core)

# Timings under the sanitizers would mean nothing.
if(NOT PORRESKU_SANITIZE)
  find_package(benchmark QUIET)
  if(benchmark_FOUND)
    add_executable(porresku_bench bench/BoardBench.cpp tests/support/FakeHost.cpp)
    target_include_directories(porresku_bench PRIVATE tests)
    target_link_libraries(porresku_bench PRIVATE porresku_core benchmark::benchmark)
    add_dependencies(porresku_bench porresku_loadpeak porresku_loggen porresku-log)
  else()
    message(STATUS "Google Benchmark (libbenchmark-dev:i386) not found: no porresku_bench")
  endif()
endif()

# The generator's tests, and those of the board's fast read paths, run with
# the others (the benchmarks do not).
include(GoogleTest)
add_executable(bench_tests bench/LogGeneratorTest.cpp bench/ReadPathTest.cpp)
target_link_libraries(bench_tests PRIVATE porresku_loggen_core porresku_core porresku_test_support)
gtest_discover_tests(bench_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120)
