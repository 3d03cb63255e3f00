#include "commands/report.h"

#include <unistd.h>

#include <iostream>
#include <nlohmann/json.hpp>

namespace sb {
namespace {

ReportOptions& options_store() {
  static ReportOptions options;
  return options;
}

nlohmann::json& json_entries() {
  static nlohmann::json entries = nlohmann::json::array();
  return entries;
}

nlohmann::json optional_number(int value) { return value > 0 ? nlohmann::json(value) : nlohmann::json(nullptr); }

nlohmann::json& add_json(const std::string& file, int line, const char* severity, int32_t code, const std::string& name,
                         const std::string& message) {
  nlohmann::json entry;
  entry["file"] = file.empty() ? nlohmann::json(nullptr) : nlohmann::json(file);
  entry["line"] = optional_number(line);
  entry["column"] = nullptr;
  entry["severity"] = severity;
  entry["code"] = code != 0 ? nlohmann::json(code) : nlohmann::json(nullptr);
  entry["name"] = name;
  entry["message"] = message;
  entry["notes"] = nlohmann::json::array();
  json_entries().push_back(std::move(entry));
  return json_entries().back();
}

void add_json_places(nlohmann::json& entry, const Diagnostic& d) {
  entry["column"] = optional_number(d.line > 0 ? d.column : 0);
  for (const RelatedPlace& r : d.related) {
    entry["notes"].push_back({{"file", r.file.empty() ? nlohmann::json(nullptr) : nlohmann::json(r.file)},
                              {"line", optional_number(r.line)},
                              {"column", optional_number(r.line > 0 ? r.column : 0)},
                              {"message", r.message}});
  }
}

const char* fatal_meaning(FatalCheck check) {
  switch (check) {
    case FatalCheck::kFormatMarkerTaken:
      return "an element near the start of the line fell into track cell 1, where the format marker goes; "
             "place the first elements at 100 m or more";
    case FatalCheck::kCheckCodeTaken:
      return "an element near the start of the line filled the place of a check code in track cell 1; "
             "place the first elements at 100 m or more";
    case FatalCheck::kNoTrackCells: break;
  }
  return "";
}

}  // namespace

WaitingText::WaitingText(bool wanted) : shown_(wanted && ::isatty(STDERR_FILENO) != 0) {
  if (shown_) std::cerr << "Attendere" << std::flush;
}

void WaitingText::clear() {
  if (shown_) std::cerr << "\r         \r" << std::flush;
  shown_ = false;
}

void set_report_options(ReportOptions options) { options_store() = std::move(options); }
const ReportOptions& report_options() { return options_store(); }

bool warning_shown(const Diagnostic& d) {
  if (d.severity != Severity::kWarning) return true;
  const ReportOptions& o = report_options();
  return !o.no_warnings && o.disabled.count(d.name) == 0;
}

bool lost_input_error(const Diagnostic& d) {
  return d.severity == Severity::kWarning && d.lost_input && warning_shown(d) &&
         report_options().not_errors.count(d.name) == 0;
}

bool fails_as_error(const Diagnostic& d) {
  return d.severity == Severity::kWarning && warning_shown(d) && report_options().not_errors.count(d.name) == 0 &&
         (report_options().warnings_are_errors || d.lost_input);
}

bool warnings_fail(const Diagnostics& diagnostics) {
  for (const Diagnostic& d : diagnostics.list()) {
    if (fails_as_error(d)) return true;
  }
  return false;
}

void print_diagnostic(const Diagnostic& d) {
  if (!warning_shown(d)) return;
  const bool lost = lost_input_error(d);
  if (report_options().json) {
    const bool warning = d.severity == Severity::kWarning;
    add_json_places(add_json(d.file, d.line, warning && !lost ? "warning" : "error", warning ? 0 : d.code,
                             d.name.empty() && !warning ? error_name(d.code) : d.name, d.message),
                    d);
    return;
  }
  if (lost) {
    // As compilers print a warning made an error: the name says how to
    // make it a warning again.
    std::cerr << diagnostic_place(d) << ": error: " << d.message << " [-Werror=" << d.name << "]\n" << format_notes(d);
    return;
  }
  std::cerr << format_diagnostic(d) << '\n';
}

void print_diagnostics(const Diagnostics& diagnostics) {
  for (const Diagnostic& d : diagnostics.list()) print_diagnostic(d);
}

void print_root_cause(const Diagnostic& cause, std::size_t explains) {
  const std::string message = cause.message + " (" + std::to_string(explains) + " diagnostics follow from it)";
  if (report_options().json) {
    add_json_places(add_json(cause.file, cause.line, "error", 0, cause.name, message), cause);
    return;
  }
  std::cerr << diagnostic_place(cause) << ": error: " << message << " [" << cause.name << "]\n" << format_notes(cause);
}

void print_fatal(FatalCheck check) {
  if (check == FatalCheck::kNoTrackCells) {
    if (report_options().json) {
      add_json("", 0, "fatal", 0, "no-track-cells", "no track cells were built; no compiled file was written");
      return;
    }
    std::cerr << "scenario-builder: error: no track cells were built; no compiled file was written [no-track-cells]\n";
    return;
  }
  if (report_options().json) {
    add_json("", 0, "fatal", fatal_code(check), "fatal-check",
             std::string(fatal_meaning(check)) + "; no compiled file was written");
    return;
  }
  // The simulator's own message keeps its line; the next says what it means.
  std::cerr << " Errore n. " << fatal_code(check) << '\n';
  std::cerr << "scenario-builder: error: " << fatal_meaning(check) << "; no compiled file was written ["
            << code_tag(fatal_code(check)) << "]\n";
}

void print_error(const std::string& message) {
  if (report_options().json) {
    add_json("", 0, "error", 0, "", message);
    return;
  }
  std::cerr << "scenario-builder: error: " << message << '\n';
}

void print_summary(const std::string& message) {
  if (report_options().json) {
    add_json("", 0, "note", 0, "", message);
    return;
  }
  std::cerr << "scenario-builder: " << message << '\n';
}

void finish_report() {
  if (!report_options().json) return;
  std::cerr << json_entries().dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
  json_entries() = nlohmann::json::array();
}

std::string error_name(int32_t code) {
  switch (code) {
    case 1: return "route-too-long";
    case 2: return "chainage-not-multiple-of-50";
    case 3:
    case 4: return "repetition-not-multiple-of-50";
    case 5: return "repetition-code-count";
    case 6: return "line-board-cell-taken";
    case 7: return "abbattimento-cell-taken";
    case 8: return "station-position-not-multiple-of-50";
    case 9: return "station-length-not-multiple-of-100";
    case 10: return "too-many-stations-and-boards";
    case 11: return "signal-abbattimento-blocked";
    case 12: return "slowdown-window-blocked";
    case 13: return "slowdown-walk-blocked";
    case 15: return "beyond-last-cell";
    case 16: return "signal-cell-taken";
    case 17: return "slowdown-warning-cell-taken";
    case 18: return "slowdown-start-cell-taken";
    case 19: return "slowdown-end-cell-taken";
    case 20: return "slowdown-approach-cells-taken";
    case 21: return "speed-board-cell-taken";
    case 22: return "stations-too-close";
    case 24: return "station-stop-cell-too-near-start";
    case 25: return "reading-failure";
    case 101: return "file-missing";
    case 102: return "no-generale";
    case 103: return "curve-class-or-plan-limit";
    default: return "error-" + std::to_string(code);
  }
}

}  // namespace sb
