#include "base/diagnostics.h"

namespace sb {

std::string place_text(const std::string& file, int line, int column) {
  if (file.empty()) return "scenario-builder";
  if (line <= 0) return file;
  std::string text = file;
  text += ':';
  text += std::to_string(line);
  // A place with a line always shows a column, as editors expect one.
  text += ':';
  text += std::to_string(column > 0 ? column : 1);
  return text;
}

std::string diagnostic_place(const Diagnostic& d) { return place_text(d.file, d.line, d.column); }

std::string code_tag(int32_t code) {
  std::string tag = "E";
  tag += std::to_string(code);
  return tag;
}

std::string format_notes(const Diagnostic& d) {
  std::string text;
  for (const RelatedPlace& r : d.related) {
    text += place_text(r.file, r.line, r.column);
    text += ": note: ";
    text += r.message;
    text += '\n';
  }
  return text;
}

std::string format_diagnostic(const Diagnostic& d) {
  const std::string where = diagnostic_place(d);
  std::string text = d.severity == Severity::kWarning ? where + ": warning: " + d.message + " [-W" + d.name + "]"
                                                      : where + ": error: " + d.message + " [" + code_tag(d.code) + "]";
  if (!d.related.empty()) {
    text += '\n';
    text += format_notes(d);
    text.pop_back();
  }
  return text;
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
