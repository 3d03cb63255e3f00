// What the commands show on standard error: the waiting text, the
// diagnostics in the order found, a fatal check, a file that failed. As
// text, each is printed when it is reported; as JSON, everything is
// collected and printed as one array when the command ends.
#pragma once

#include <optional>
#include <set>
#include <string>
#include <vector>

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

// How diagnostics are shown: chosen once by the command line.
struct ReportOptions {
  bool json = false;                 // --diagnostics-format=json or sarif: collected, printed at the end
  bool sarif = false;                // --diagnostics-format=sarif: one SARIF 2.1.0 log
  bool no_warnings = false;          // -w
  bool warnings_are_errors = false;  // -Werror
  std::set<std::string> disabled;    // -Wno-NAME
  std::set<std::string> enabled;     // -WNAME: the warnings shown only when asked for
  std::set<std::string> not_errors;  // -Wno-error=NAME: a warning that loses input stays a warning
};
void set_report_options(ReportOptions options);
const ReportOptions& report_options();

// Whether a warning is shown under the options.
bool warning_shown(const Diagnostic& d);
// A shown warning that fails the compile as an error would: under -Werror,
// or one that means input was lost (unless -Wno-error=NAME).
bool fails_as_error(const Diagnostic& d);
// A lost-input warning failing by default: printed as an error.
bool lost_input_error(const Diagnostic& d);
// Whether any shown warning fails the compile.
bool warnings_fail(const Diagnostics& diagnostics);

// A diagnostic as the terminal prints it, in its parts:
// "PLACE: SEVERITY: MESSAGE [TAG]", then each note "PLACE: note: MESSAGE".
// The view page lists these, so that it shows what the terminal shows.
struct ShownNote {
  std::string place;  // "FILE:LINE:COLUMN", "FILE" or "scenario-builder"
  std::string file;
  int line = 0;
  std::string message;
};
struct ShownDiagnostic {
  std::string place;
  std::string file;
  int line = 0;
  std::string severity;  // "error" or "warning": a lost-input warning is an error
  std::string message;
  std::string tag;  // "E16", "-Wname", "-Werror=name"
  std::vector<ShownNote> notes;
  std::optional<int32_t> position;  // metres along the line, where one applies
};
// The diagnostic as printed; nothing when -w or -Wno-NAME hides it.
std::optional<ShownDiagnostic> shown_diagnostic(const Diagnostic& d);
// The line print_fatal ends with, as a diagnostic without a place.
ShownDiagnostic shown_fatal(FatalCheck check);
// The printed text: the diagnostic's line and its note lines, without a
// line end after the last.
std::string shown_text(const ShownDiagnostic& d);

// What a collection counted but did not keep (past --max-errors or
// --max-warnings), tallied as print_diagnostic would have shown it.
struct LeftOutTally {
  std::size_t errors = 0;
  std::size_t lost_input_errors = 0;  // warnings that mean lost input, failing by default
  std::size_t warnings = 0;           // shown warnings that do not fail
  std::size_t failing_warnings = 0;   // shown warnings that fail under -Werror
  std::size_t shown_errors() const { return errors + lost_input_errors; }
  std::size_t shown_warnings() const { return warnings + failing_warnings; }
  std::size_t total() const { return shown_errors() + shown_warnings(); }
};
LeftOutTally left_out_tally(const Diagnostics& diagnostics);
// "3 errors and 1 999 000 warnings not listed (past --max-errors 50 and
// --max-warnings 1000)"; empty when nothing was left out.
std::string left_out_text(const LeftOutTally& tally);

void print_diagnostics(const Diagnostics& diagnostics);
void print_diagnostic(const Diagnostic& d);
// " Errore n. 1250" and what it means, or the line that says no track
// cells were built.
void print_fatal(FatalCheck check);
// The mistake behind many diagnostics, said before them: "FILE:LINE:
// error: MESSAGE [root-cause]"; as JSON, with the number it explains.
void print_root_cause(const Diagnostic& cause, std::size_t explains);
void print_error(const std::string& message);  // "scenario-builder: error: MESSAGE"
// "scenario-builder: MESSAGE", the closing count; as JSON, an entry that
// also holds "not_listed": {"errors": N, "warnings": N} when `not_listed`
// counts any.
void print_summary(const std::string& message, const LeftOutTally& not_listed = {});
// An error at a place in a compiled file: "FILE: PLACE: error: MESSAGE"
// (PLACE "offset 12", "cell 204", "slot 3"); as JSON, under `name`.
void print_compiled_file_error(const std::string& file, const std::string& place, const std::string& name,
                               const std::string& message);
// As JSON: prints the collected array, or as SARIF the log (once; nothing
// when printing text).
void finish_report();
// The SARIF 2.1.0 log of collected diagnostics (entries as the JSON form
// holds them).
std::string sarif_log(const std::string& json_entries);

// A short name for an error code, for machine-readable output.
std::string error_name(int32_t code);

}  // namespace sb
