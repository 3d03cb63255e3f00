#include "base/thread_placement.h"

#include <pthread.h>

namespace sb {

SeparateProcessors::SeparateProcessors(std::thread& other) {
#if defined(__linux__) && defined(CPU_SET)
  cpu_set_t allowed;
  CPU_ZERO(&allowed);
  if (::pthread_getaffinity_np(::pthread_self(), sizeof allowed, &allowed) != 0) return;
  const int here = ::sched_getcpu();
  if (here < 0 || here >= CPU_SETSIZE || !CPU_ISSET(here, &allowed) || CPU_COUNT(&allowed) < 2) return;
  int there = -1;
  for (int cpu = 0; cpu < CPU_SETSIZE && there < 0; ++cpu) {
    if (cpu != here && CPU_ISSET(cpu, &allowed)) there = cpu;
  }
  cpu_set_t mine;
  CPU_ZERO(&mine);
  CPU_SET(here, &mine);
  cpu_set_t theirs;
  CPU_ZERO(&theirs);
  CPU_SET(there, &theirs);
  if (::pthread_setaffinity_np(other.native_handle(), sizeof theirs, &theirs) != 0) return;
  saved_ = allowed;
  pinned_ = ::pthread_setaffinity_np(::pthread_self(), sizeof mine, &mine) == 0;
#else
  (void)other;
#endif
}

SeparateProcessors::~SeparateProcessors() {
#if defined(__linux__) && defined(CPU_SET)
  if (!pinned_) return;
  (void)::pthread_setaffinity_np(::pthread_self(), sizeof saved_, &saved_);
#endif
}

cpu_set_t processors_of_this_thread() {
  cpu_set_t processors;
  CPU_ZERO(&processors);
#if defined(__linux__) && defined(CPU_SET)
  if (::pthread_getaffinity_np(::pthread_self(), sizeof processors, &processors) != 0) CPU_ZERO(&processors);
#endif
  return processors;
}

void run_on_processors(const cpu_set_t& processors) {
#if defined(__linux__) && defined(CPU_SET)
  if (CPU_COUNT(&processors) == 0) return;
  (void)::pthread_setaffinity_np(::pthread_self(), sizeof processors, &processors);
#else
  (void)processors;
#endif
}

}  // namespace sb
