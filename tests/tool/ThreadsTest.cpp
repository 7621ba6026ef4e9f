// The reading's two threads kept off each other's processor: the helper on
// one of its own that the caller may not use, and the caller given back
// every processor it had once the reading ends.
#include <gtest/gtest.h>

#if defined(__linux__)
#include <pthread.h>
#include <sched.h>

#include <thread>
#endif

#include "Threads.h"

namespace {

#if defined(__linux__)
cpu_set_t Affinity() {
    cpu_set_t set;
    CPU_ZERO(&set);
    EXPECT_EQ(pthread_getaffinity_np(pthread_self(), sizeof set, &set), 0);
    return set;
}

TEST(ProcessorsApartTest, TheHelperHasAProcessorTheCallerDoesNotUseUntilTheEnd) {
    const cpu_set_t before = Affinity();
    if (CPU_COUNT(&before) < 2) GTEST_SKIP() << "the process may use one processor only";
    cpu_set_t caller;
    cpu_set_t helper;
    {
        const porresku_log::ProcessorsApart apart;
        caller = Affinity();
        std::thread([&] {
            apart.KeepHelper();
            helper = Affinity();
        }).join();
    }
    EXPECT_EQ(CPU_COUNT(&helper), 1);
    EXPECT_EQ(CPU_COUNT(&caller), CPU_COUNT(&before) - 1);
    cpu_set_t shared;
    CPU_AND(&shared, &caller, &helper);
    EXPECT_EQ(CPU_COUNT(&shared), 0);
    cpu_set_t helperOutside;
    CPU_OR(&helperOutside, &before, &helper);
    EXPECT_TRUE(CPU_EQUAL(&helperOutside, &before)) << "the helper's processor is not one the process may use";
    const cpu_set_t after = Affinity();
    EXPECT_TRUE(CPU_EQUAL(&after, &before));
}

TEST(ProcessorsApartTest, OneProcessorToUseKeepsNothing) {
    const cpu_set_t before = Affinity();
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(sched_getcpu(), &one);
    ASSERT_EQ(pthread_setaffinity_np(pthread_self(), sizeof one, &one), 0);
    cpu_set_t helper;
    {
        const porresku_log::ProcessorsApart apart;
        std::thread([&] {
            apart.KeepHelper();
            helper = Affinity();
        }).join();
    }
    // A thread starts with its creator's processors.
    EXPECT_TRUE(CPU_EQUAL(&helper, &one));
    const cpu_set_t after = Affinity();
    EXPECT_TRUE(CPU_EQUAL(&after, &one));
    ASSERT_EQ(pthread_setaffinity_np(pthread_self(), sizeof before, &before), 0);
}
#endif

}  // namespace
