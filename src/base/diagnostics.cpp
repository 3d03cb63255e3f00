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

namespace {
DiagnosticLimits& limits_store() {
  static DiagnosticLimits limits;
  return limits;
}
}  // namespace

void set_diagnostic_limits(DiagnosticLimits limits) { limits_store() = limits; }
DiagnosticLimits diagnostic_limits() { return limits_store(); }

void Diagnostics::add(Diagnostic d) {
  const bool error = d.severity == Severity::kError;
  if (error) last_error_code_ = d.code;
  std::size_t& kept = error ? kept_errors_ : kept_warnings_;
  if (kept < (error ? limits_.errors : limits_.warnings)) {
    ++kept;
    list_.push_back(std::move(d));
    last_left_out_ = LastLeftOut::kNone;
    if (error) last_error_left_out_ = false;
    return;
  }
  if (error) {
    ++errors_left_out_;
  } else {
    WarningsLeftOut& count = warnings_left_out_[d.name];
    ++(d.lost_input ? count.lost_input : count.plain);
  }
  Diagnostic& held = error ? left_out_error_ : left_out_warning_;
  held = std::move(d);
  held.message.clear();
  held.related.clear();
  last_left_out_ = error ? LastLeftOut::kError : LastLeftOut::kWarning;
  if (error) last_error_left_out_ = true;
}

std::size_t Diagnostics::error_count() const { return kept_errors_ + errors_left_out_; }

std::size_t Diagnostics::left_out_count() const {
  std::size_t n = errors_left_out_;
  for (const auto& [name, count] : warnings_left_out_) n += count.plain + count.lost_input;
  return n;
}

void Diagnostics::add_left_out(const Diagnostics& other) {
  errors_left_out_ += other.errors_left_out_;
  for (const auto& [name, count] : other.warnings_left_out_) {
    WarningsLeftOut& mine = warnings_left_out_[name];
    mine.plain += count.plain;
    mine.lost_input += count.lost_input;
  }
}

std::optional<int32_t> Diagnostics::last_position() const {
  if (last_left_out_ == LastLeftOut::kError && left_out_error_.position) return left_out_error_.position;
  if (last_left_out_ == LastLeftOut::kWarning && left_out_warning_.position) return left_out_warning_.position;
  for (auto it = list_.rbegin(); it != list_.rend(); ++it) {
    if (it->position) return it->position;
  }
  return std::nullopt;
}

Diagnostic* Diagnostics::last() {
  if (last_left_out_ == LastLeftOut::kError) return &left_out_error_;
  if (last_left_out_ == LastLeftOut::kWarning) return &left_out_warning_;
  return list_.empty() ? nullptr : &list_.back();
}

Diagnostic* Diagnostics::last_error() {
  if (last_error_left_out_) return &left_out_error_;
  for (auto it = list_.rbegin(); it != list_.rend(); ++it) {
    if (it->severity == Severity::kError) return &*it;
  }
  return nullptr;
}

}  // namespace sb
