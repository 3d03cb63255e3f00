#include "commands/report.h"

#include <unistd.h>

#include <algorithm>

#include <iostream>
#include <nlohmann/json.hpp>

#include "base/terminal_text.h"
#include "commands/code_table.h"
#include "reader/warning_watch.h"

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

// A place with a line has a column: the first one when no field is known,
// as the text form prints it.
int shown_column(int line, int column) { return line > 0 ? std::max(column, 1) : 0; }

void add_json_places(nlohmann::json& entry, const Diagnostic& d) {
  entry["column"] = optional_number(shown_column(d.line, d.column));
  for (const RelatedPlace& r : d.related) {
    entry["notes"].push_back({{"file", r.file.empty() ? nlohmann::json(nullptr) : nlohmann::json(r.file)},
                              {"line", optional_number(r.line)},
                              {"column", optional_number(shown_column(r.line, r.column))},
                              {"message", r.message}});
  }
}

std::string lowered_first(std::string_view text) {
  std::string out(text);
  if (!out.empty() && out[0] >= 'A' && out[0] <= 'Z') out[0] = static_cast<char>(out[0] - 'A' + 'a');
  return out;
}

// What a fatal check means and how to fix it, from the table of codes:
// its first sentence, then the fix, as one clause each.
std::string fatal_meaning(FatalCheck check) {
  const CodeRow* row = error_row(fatal_code(check));
  if (row == nullptr) return "";
  std::string_view meaning = row->meaning;
  meaning = meaning.substr(0, meaning.find(". "));
  std::string_view fix = row->fix;
  if (!fix.empty() && fix.back() == '.') fix.remove_suffix(1);
  return lowered_first(meaning) + "; " + lowered_first(fix);
}

// A file name as a relative URI reference: every byte outside the
// unreserved characters and '/' percent-encoded.
std::string uri_of(const std::string& file) {
  static const char* kHex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : file) {
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                       c == '.' || c == '_' || c == '~' || c == '/';
    if (plain) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

nlohmann::json physical_location(const nlohmann::json& file, const nlohmann::json& line, const nlohmann::json& column) {
  nlohmann::json location = {{"artifactLocation", {{"uri", uri_of(file.get<std::string>())}}}};
  if (line.is_number()) {
    location["region"] = {{"startLine", line}};
    if (column.is_number()) location["region"]["startColumn"] = column;
  }
  return location;
}

// The rule of a collected entry: by its name in brackets, or its code.
std::string rule_id(const nlohmann::json& entry) {
  const std::string name = entry["name"].get<std::string>();
  if (entry["code"].is_number()) {
    const CodeRow* row = error_row(entry["code"].get<int32_t>());
    if (row != nullptr) return std::string(row->id);
  }
  const CodeRow* row = find_code_row(name);
  return row != nullptr ? std::string(row->id) : name;
}

// Up to the first ". ", or the whole text when it is one sentence.
std::string first_sentence(std::string_view text) {
  const std::size_t end = text.find(". ");
  return std::string(end == std::string_view::npos ? text : text.substr(0, end + 1));
}

nlohmann::json sarif_rules() {
  nlohmann::json rules = nlohmann::json::array();
  for (const CodeRow& row : code_table()) {
    rules.push_back({{"id", std::string(row.id)},
                     {"name", std::string(row.name)},
                     {"shortDescription", {{"text", first_sentence(row.meaning)}}},
                     {"fullDescription", {{"text", std::string(row.meaning)}}},
                     {"help", {{"text", std::string(row.fix)}}},
                     {"defaultConfiguration", {{"level", row.kind == CodeKind::kWarning ? "warning" : "error"}}}});
  }
  return rules;
}

}  // namespace

// Not beside a JSON or SARIF document, which is all standard error holds.
WaitingText::WaitingText(bool wanted) : shown_(wanted && !report_options().json && ::isatty(STDERR_FILENO) != 0) {
  if (shown_) std::cerr << "Attendere" << std::flush;
}

void WaitingText::clear() {
  if (shown_) write_unescaped(std::cerr, "\r         \r");
  shown_ = false;
}

void set_report_options(ReportOptions options) { options_store() = std::move(options); }
const ReportOptions& report_options() { return options_store(); }

bool warning_shown(const Diagnostic& d) {
  if (d.severity != Severity::kWarning) return true;
  const ReportOptions& o = report_options();
  if (opt_in_warning(d.name) && o.enabled.count(d.name) == 0) return false;
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
  const LeftOutTally left = left_out_tally(diagnostics);
  return left.lost_input_errors > 0 || left.failing_warnings > 0;
}

LeftOutTally left_out_tally(const Diagnostics& diagnostics) {
  const ReportOptions& o = report_options();
  LeftOutTally tally;
  tally.errors = diagnostics.errors_left_out();
  for (const auto& [name, count] : diagnostics.warnings_left_out()) {
    if (o.no_warnings || o.disabled.count(name) != 0) continue;
    if (o.not_errors.count(name) != 0) {
      tally.warnings += count.plain + count.lost_input;
      continue;
    }
    tally.lost_input_errors += count.lost_input;
    (o.warnings_are_errors ? tally.failing_warnings : tally.warnings) += count.plain;
  }
  return tally;
}

std::string left_out_text(const LeftOutTally& tally) {
  if (tally.total() == 0) return "";
  const DiagnosticLimits limits = diagnostic_limits();
  const std::size_t errors = tally.shown_errors();
  const std::size_t warnings = tally.shown_warnings();
  std::string counted, past;
  if (errors > 0) {
    counted = std::to_string(errors) + (errors == 1 ? " error" : " errors");
    past = "--max-errors " + std::to_string(limits.errors);
  }
  if (warnings > 0) {
    counted += (counted.empty() ? "" : " and ") + std::to_string(warnings) + (warnings == 1 ? " warning" : " warnings");
    past += (past.empty() ? "" : " and ") + std::string("--max-warnings ") + std::to_string(limits.warnings);
  }
  return counted + " not listed (past " + past + ")";
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
  std::cerr << shown_text(*shown_diagnostic(d)) << '\n';
}

std::optional<ShownDiagnostic> shown_diagnostic(const Diagnostic& d) {
  if (!warning_shown(d)) return std::nullopt;
  ShownDiagnostic s;
  s.place = diagnostic_place(d);
  s.file = d.file;
  s.line = d.line;
  s.message = d.message;
  s.position = d.position;
  if (d.severity == Severity::kError) {
    s.severity = "error";
    s.tag = code_tag(d.code);
  } else if (lost_input_error(d)) {
    // As compilers print a warning made an error: the name says how to
    // make it a warning again.
    s.severity = "error";
    s.tag = "-Werror=" + d.name;
  } else {
    s.severity = "warning";
    s.tag = "-W" + d.name;
  }
  for (const RelatedPlace& r : d.related)
    s.notes.push_back({place_text(r.file, r.line, r.column), r.file, r.line, r.message});
  return s;
}

ShownDiagnostic shown_fatal(FatalCheck check) {
  ShownDiagnostic s;
  s.place = "scenario-builder";
  s.severity = "error";
  if (check == FatalCheck::kNoTrackCells) {
    s.message = "no track cells were built; no compiled file was written";
    s.tag = "no-track-cells";
  } else {
    s.message = fatal_meaning(check) + "; no compiled file was written";
    s.tag = code_tag(fatal_code(check));
  }
  return s;
}

std::string shown_text(const ShownDiagnostic& d) {
  std::string text = d.place + ": " + d.severity + ": " + d.message + " [" + d.tag + "]";
  for (const ShownNote& n : d.notes) text += "\n" + n.place + ": note: " + n.message;
  return text;
}

void print_diagnostics(const Diagnostics& diagnostics) {
  for (const Diagnostic& d : diagnostics.list()) print_diagnostic(d);
  const LeftOutTally left_out = left_out_tally(diagnostics);
  if (left_out.total() > 0) print_summary(left_out_text(left_out), left_out);
}

void print_compiled_file_error(const std::string& file, const std::string& place, const std::string& name,
                               const std::string& message) {
  if (report_options().json) {
    add_json(file, 0, "error", 0, name, place + ": " + message);
    return;
  }
  std::cerr << file << ": " << place << ": error: " << message << '\n';
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
    std::cerr << shown_text(shown_fatal(check)) << '\n';
    return;
  }
  if (report_options().json) {
    add_json("", 0, "fatal", fatal_code(check), "fatal-check", fatal_meaning(check) + "; no compiled file was written");
    return;
  }
  // The simulator's own message keeps its line; the next says what it means.
  std::cerr << " Errore n. " << fatal_code(check) << '\n';
  std::cerr << shown_text(shown_fatal(check)) << '\n';
}

void print_error(const std::string& message) {
  if (report_options().json) {
    add_json("", 0, "error", 0, "", message);
    return;
  }
  std::cerr << "scenario-builder: error: " << message << '\n';
}

void print_summary(const std::string& message, const LeftOutTally& not_listed) {
  if (report_options().json) {
    nlohmann::json& entry = add_json("", 0, "note", 0, "", message);
    if (not_listed.total() > 0) {
      entry["not_listed"] = {{"errors", not_listed.shown_errors()}, {"warnings", not_listed.shown_warnings()}};
    }
    return;
  }
  std::cerr << "scenario-builder: " << message << '\n';
}

std::string sarif_log(const std::string& entries_text) {
  const nlohmann::json entries = nlohmann::json::parse(entries_text);
  const nlohmann::json rules = sarif_rules();
  nlohmann::json results = nlohmann::json::array();
  nlohmann::json notifications = nlohmann::json::array();
  bool failed = false;
  std::size_t errors_not_listed = 0, warnings_not_listed = 0;
  for (const nlohmann::json& entry : entries) {
    const std::string severity = entry["severity"].get<std::string>();
    if (entry.contains("not_listed")) {
      errors_not_listed += entry["not_listed"]["errors"].get<std::size_t>();
      warnings_not_listed += entry["not_listed"]["warnings"].get<std::size_t>();
      failed = failed || errors_not_listed > 0;
    }
    failed = failed || severity == "error" || severity == "fatal";
    const std::string id = rule_id(entry);
    const auto rule = std::find_if(rules.begin(), rules.end(), [&](const nlohmann::json& r) { return r["id"] == id; });
    if (rule == rules.end()) {
      // Not about the scenario: a file that cannot be read, a misuse, the
      // closing count.
      notifications.push_back({{"level", severity == "note" ? "note" : "error"},
                               {"message", {{"text", entry["message"].get<std::string>()}}}});
      continue;
    }
    nlohmann::json result = {{"ruleId", id},
                             {"ruleIndex", rule - rules.begin()},
                             {"level", severity == "warning" ? "warning" : "error"},
                             {"message", {{"text", entry["message"].get<std::string>()}}}};
    if (entry["file"].is_string()) {
      result["locations"] = {{{"physicalLocation", physical_location(entry["file"], entry["line"], entry["column"])}}};
    }
    int related_id = 0;
    for (const nlohmann::json& note : entry["notes"]) {
      if (!note["file"].is_string()) continue;
      result["relatedLocations"].push_back(
          {{"id", related_id++},
           {"physicalLocation", physical_location(note["file"], note["line"], note["column"])},
           {"message", {{"text", note["message"].get<std::string>()}}}});
    }
    results.push_back(std::move(result));
  }
  nlohmann::json run = {
      {"tool", {{"driver", {{"name", "scenario-builder"}, {"version", "1.0.0"}, {"rules", rules}}}}},
      {"columnKind", "unicodeCodePoints"},
      {"results", results},
      {"invocations", {{{"executionSuccessful", !failed}, {"toolExecutionNotifications", notifications}}}}};
  if (errors_not_listed + warnings_not_listed > 0) {
    // Past the limits, results are counted only: the property says how many.
    run["invocations"][0]["properties"] = {
        {"notListed", {{"errors", errors_not_listed}, {"warnings", warnings_not_listed}}}};
  }
  const nlohmann::json log = {
      {"$schema", "https://json.schemastore.org/sarif-2.1.0.json"}, {"version", "2.1.0"}, {"runs", {run}}};
  return log.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
}

void finish_report() {
  if (!report_options().json) return;
  const std::string entries = json_entries().dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
  std::cerr << json_for_terminal(report_options().sarif ? sarif_log(entries) : entries) << '\n';
  json_entries() = nlohmann::json::array();
}

std::string error_name(int32_t code) {
  const CodeRow* row = error_row(code);
  return row != nullptr ? std::string(row->name) : "error-" + std::to_string(code);
}

}  // namespace sb
