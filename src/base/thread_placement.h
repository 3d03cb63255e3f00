// Two threads that must run side by side: the scheduler tends to pull a
// thread that another one keeps waking onto the waker's processor, where
// the two then take turns while the other processor idles.
#pragma once

#include <sched.h>

#include <thread>

namespace sb {

// While it lives, the calling thread stays on the processor it is on and
// `other` on another one, when the process may use at least two. The
// calling thread gets its former set of processors back at the end. Where
// the system refuses, nothing changes.
class SeparateProcessors {
 public:
  explicit SeparateProcessors(std::thread& other);
  ~SeparateProcessors();
  SeparateProcessors(const SeparateProcessors&) = delete;
  SeparateProcessors& operator=(const SeparateProcessors&) = delete;

 private:
  bool pinned_ = false;
  cpu_set_t saved_{};  // the caller's former processors
};

// The processors the calling thread may run on, and the calling thread
// put back on such a set: a thread placed apart at its start may widen its
// set again once it runs there.
cpu_set_t processors_of_this_thread();
void run_on_processors(const cpu_set_t& processors);

}  // namespace sb
