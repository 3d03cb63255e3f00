#include "base/diagnostics.h"

namespace sb {

std::string diagnostic_place(const Diagnostic& d) {
  if (d.file.empty()) return "scenario-builder";
  return d.line > 0 ? d.file + ":" + std::to_string(d.line) : d.file;
}

std::string format_diagnostic(const Diagnostic& d) {
  const std::string where = diagnostic_place(d);
  if (d.severity == Severity::kWarning) return where + ": warning: " + d.message + " [-W" + d.name + "]";
  return where + ": error " + std::to_string(d.code) + ": " + d.message;
}

bool Diagnostics::has_errors() const { return error_count() > 0; }

std::size_t Diagnostics::error_count() const {
  std::size_t n = 0;
  for (const Diagnostic& d : list_) n += d.severity == Severity::kError ? 1 : 0;
  return n;
}

int32_t Diagnostics::last_error_code() const {
  for (auto it = list_.rbegin(); it != list_.rend(); ++it) {
    if (it->severity == Severity::kError) return it->code;
  }
  return 0;
}

std::optional<int32_t> Diagnostics::last_position() const {
  for (auto it = list_.rbegin(); it != list_.rend(); ++it) {
    if (it->position) return it->position;
  }
  return std::nullopt;
}

Diagnostic* Diagnostics::last_error() {
  for (auto it = list_.rbegin(); it != list_.rend(); ++it) {
    if (it->severity == Severity::kError) return &*it;
  }
  return nullptr;
}

}  // namespace sb
