// One condition found in a scenario: an error with its numeric code, or a
// warning with its name, the description file line it is about, and where
// along the line it applies. Diagnostics are collected in order and printed
// by the command front end only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace sb {

enum class Severity { kError, kWarning };

struct SourcePlace {
  std::string file;  // as the user named it; empty for no file
  int line = 0;      // 1-based; 0 for no line
  int column = 0;    // 1-based, in bytes of the line; 0 for none
};

// Another place that explains a diagnostic, printed after it as a note:
// the record that already holds a cell, the earlier record of a pair.
struct RelatedPlace {
  std::string file;
  int line = 0;
  int column = 0;
  std::string message;
};

struct Diagnostic {
  Severity severity = Severity::kError;
  int32_t code = 0;                 // errors: the scenario code
  std::optional<int32_t> position;  // metres along the line, where one applies
  // The position the message names, when `position` has since moved on (a
  // code 15 of the line part stands where the train file stopped).
  std::optional<int32_t> named_position;
  std::string file;
  int line = 0;
  std::string message;
  // Warnings: the name that -Wno-NAME turns off. Errors: a short name of
  // the code, for machine-readable output.
  std::string name;
  // Errors of the reader: the line of the record being read when the
  // error arose (a value on a later line can fail for a record cut short).
  int record_line = 0;
  // Warnings: the record or file behind it was lost (a misspelt keyword, a
  // train file not read, a missing limit); such a warning fails a compile
  // unless -Wno-error=NAME keeps it a warning.
  bool lost_input = false;
  // The first character of the field that caused it (1-based, one byte
  // one character); 0 when no field applies.
  int column = 0;
  std::vector<RelatedPlace> related;
};

// "FILE:LINE:COLUMN: error: MESSAGE [E16]", "FILE: error: MESSAGE [E16]",
// or "scenario-builder: error: MESSAGE [E16]" when no file applies; a
// warning reads "FILE:LINE:COLUMN: warning: MESSAGE [-Wname]". Each related
// place follows on a line of its own, "FILE:LINE:COLUMN: note: MESSAGE".
std::string format_diagnostic(const Diagnostic& d);
// Where a diagnostic points, as it is printed: "FILE:LINE:COLUMN",
// "FILE:LINE" (no column known), "FILE", or "scenario-builder" when no
// file applies.
std::string diagnostic_place(const Diagnostic& d);
std::string place_text(const std::string& file, int line, int column);
// "E16": how an error code is shown beside its message.
std::string code_tag(int32_t code);
// The note lines of the related places, each ended by a line end.
std::string format_notes(const Diagnostic& d);

// How many diagnostics of each severity one collection keeps. Past the
// limit a diagnostic is counted, by severity and warning name, but not
// kept: what a run holds stays bounded whatever its input (a file with a
// warning on each of its million lines keeps the first ones and a count).
struct DiagnosticLimits {
  std::size_t errors = 50;
  std::size_t warnings = 1000;
};
// The limits of every collection made after the call (the command line's
// --max-errors and --max-warnings); the defaults above until then.
void set_diagnostic_limits(DiagnosticLimits limits);
DiagnosticLimits diagnostic_limits();

// The warnings of one name that were counted but not kept.
struct WarningsLeftOut {
  std::size_t plain = 0;
  std::size_t lost_input = 0;  // of them, warnings that mean input was lost
};

// Every condition of one compile, in the order found, up to the limits.
class Diagnostics {
 public:
  Diagnostics() : limits_(diagnostic_limits()) {}
  explicit Diagnostics(DiagnosticLimits limits) : limits_(limits) {}

  void add(Diagnostic d);
  // The diagnostics kept, in the order found.
  const std::vector<Diagnostic>& list() const { return list_; }
  bool empty() const { return list_.empty() && errors_left_out_ == 0 && warnings_left_out_.empty(); }
  // How many are kept.
  std::size_t size() const { return list_.size(); }

  bool has_errors() const { return error_count() > 0; }
  // Every error found, kept or counted.
  std::size_t error_count() const;
  // The errors and warnings counted but not kept.
  std::size_t errors_left_out() const { return errors_left_out_; }
  const std::map<std::string, WarningsLeftOut>& warnings_left_out() const { return warnings_left_out_; }
  // Every diagnostic counted but not kept.
  std::size_t left_out_count() const;
  // Counts what `other` left out as left out here too.
  void add_left_out(const Diagnostics& other);
  // The code of the last error, 0 when there is none: what a reader of the
  // records would call the scenario's error code.
  int32_t last_error_code() const { return last_error_code_; }
  // The position of the latest condition that has one.
  std::optional<int32_t> last_position() const;
  // The latest diagnostic, nullptr when there is none; one that was not
  // kept can still be changed, to no effect.
  Diagnostic* last();
  // The last error, so that a stop can say where it now stands.
  Diagnostic* last_error();
  // Appends note(position) to the message of every kept diagnostic that
  // has a position and for which the note is not empty: the position the
  // message names.
  template <typename Note>
  void annotate_positions(Note note) {
    for (Diagnostic& d : list_) {
      if (!d.position) continue;
      const std::string text = note(d.named_position.value_or(*d.position));
      if (!text.empty()) d.message += text;
    }
  }

 private:
  DiagnosticLimits limits_;
  std::vector<Diagnostic> list_;
  std::size_t kept_errors_ = 0;
  std::size_t kept_warnings_ = 0;
  std::size_t errors_left_out_ = 0;
  std::map<std::string, WarningsLeftOut> warnings_left_out_;
  int32_t last_error_code_ = 0;
  // The latest warning and error not kept, held without their text so
  // that the reader can still point one at its field or add a note.
  Diagnostic left_out_warning_;
  Diagnostic left_out_error_;
  // Which of them is the latest diagnostic, when it was not kept.
  enum class LastLeftOut : uint8_t { kNone, kWarning, kError } last_left_out_ = LastLeftOut::kNone;
  bool last_error_left_out_ = false;
};

}  // namespace sb
