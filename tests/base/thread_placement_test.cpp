// Placing two threads apart is a hint for one stretch of work: the calling
// thread must get back every processor it was allowed before.
#include <gtest/gtest.h>

#include <pthread.h>
#include <sched.h>

#include <atomic>
#include <thread>

#include "base/thread_placement.h"

namespace sb {
namespace {

cpu_set_t own_processors() {
  cpu_set_t set;
  CPU_ZERO(&set);
  EXPECT_EQ(::pthread_getaffinity_np(::pthread_self(), sizeof set, &set), 0);
  return set;
}

TEST(SeparateProcessors, KeepsTheThreadsApartAndGivesTheCallerItsProcessorsBack) {
  const cpu_set_t before = own_processors();
  std::atomic<bool> stop{false};
  std::thread other([&] {
    while (!stop.load()) std::this_thread::yield();
  });
  {
    const SeparateProcessors apart(other);
    if (CPU_COUNT(&before) >= 2) {
      cpu_set_t mine = own_processors();
      cpu_set_t theirs;
      CPU_ZERO(&theirs);
      ASSERT_EQ(::pthread_getaffinity_np(other.native_handle(), sizeof theirs, &theirs), 0);
      EXPECT_EQ(CPU_COUNT(&mine), 1);
      EXPECT_EQ(CPU_COUNT(&theirs), 1);
      cpu_set_t both;
      CPU_AND(&both, &mine, &theirs);
      EXPECT_EQ(CPU_COUNT(&both), 0);
    }
  }
  stop = true;
  other.join();
  const cpu_set_t after = own_processors();
  EXPECT_TRUE(CPU_EQUAL(&before, &after));
}

}  // namespace
}  // namespace sb
