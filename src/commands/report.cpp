#include "commands/report.h"

#include <unistd.h>

#include <iostream>

namespace sb {

WaitingText::WaitingText(bool wanted) : shown_(wanted && ::isatty(STDERR_FILENO) != 0) {
  if (shown_) std::cerr << "Attendere" << std::flush;
}

void WaitingText::clear() {
  if (shown_) std::cerr << "\r         \r" << std::flush;
  shown_ = false;
}

void print_diagnostics(const Diagnostics& diagnostics) {
  for (const Diagnostic& d : diagnostics.list()) std::cerr << format_diagnostic(d) << '\n';
}

void print_fatal(FatalCheck check) {
  if (check == FatalCheck::kNoTrackCells) {
    std::cerr << "scenario-builder: no track cells were built; no compiled file was written\n";
  } else {
    std::cerr << " Errore n. " << fatal_code(check) << '\n';
  }
}

void print_error(const std::string& message) { std::cerr << "scenario-builder: " << message << '\n'; }

}  // namespace sb
