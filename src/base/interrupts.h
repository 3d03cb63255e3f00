// Interrupts of a run: SIGINT and SIGTERM remove the run's temporary files
// and end it with 128 + the signal's number, leaving every target as it
// was. While an output set replaces its targets the signal waits until the
// set is in, so a set is never left half replaced by an interrupt.
#pragma once

#include <cstddef>

namespace sb {

// Installs the handlers of SIGINT and SIGTERM (once, at start-up).
void install_interrupt_handlers();

// For a command that runs until it is stopped (watch): from now on the
// first SIGINT or SIGTERM does not end the run but makes the returned
// descriptor readable (it carries the signal's number as one byte), so
// that the command stops at its next wait; a further signal ends the run
// as above. Returns -1 when no pipe could be made.
int interrupts_as_requests();

// A temporary file the handlers remove. The name is copied; a name longer
// than the registry holds is not registered (the handler then leaves it,
// and the next run into its directory removes it).
class TemporaryName {
 public:
  TemporaryName() = default;
  explicit TemporaryName(const char* path) { set(path); }
  ~TemporaryName() { clear(); }
  TemporaryName(const TemporaryName&) = delete;
  TemporaryName& operator=(const TemporaryName&) = delete;

  void set(const char* path);
  void clear() noexcept;

 private:
  int slot_ = -1;
};

// Holds SIGINT and SIGTERM back while it lives: a signal that arrives then
// takes effect when the last shield goes.
class InterruptShield {
 public:
  InterruptShield();
  ~InterruptShield();
  InterruptShield(const InterruptShield&) = delete;
  InterruptShield& operator=(const InterruptShield&) = delete;
};

// A point of a run where the tests can have a signal raised, so that an
// interrupt lands at a known moment: SB_TEST_RAISE="SIGNAL@POINT:N" (SIGNAL
// is INT, TERM or KILL) raises it the N-th time `point` is passed.
void interrupt_test_point(const char* point);

}  // namespace sb
