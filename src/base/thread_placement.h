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

}  // namespace sb
