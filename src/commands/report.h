// What the commands show on standard error: the waiting text, the
// diagnostics in the order found, a fatal check, a file that failed.
#pragma once

#include <optional>
#include <string>

#include "base/diagnostics.h"
#include "track/markers.h"

namespace sb {

// The waiting text of the built-in run, shown only on a terminal and wiped
// before anything else is printed.
class WaitingText {
 public:
  explicit WaitingText(bool wanted);
  ~WaitingText() { clear(); }
  WaitingText(const WaitingText&) = delete;
  WaitingText& operator=(const WaitingText&) = delete;
  void clear();

 private:
  bool shown_;
};

void print_diagnostics(const Diagnostics& diagnostics);
// " Errore n. 1250", or the line that says no track cells were built.
void print_fatal(FatalCheck check);
void print_error(const std::string& message);  // "scenario-builder: MESSAGE"

}  // namespace sb
