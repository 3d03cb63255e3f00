// Watches the reader and tells the author about input that it ignores or
// takes in a way the author probably did not mean. Warnings never change
// what is read: the watch only looks at fields and records as the reader
// meets them and adds warnings to the scenario's diagnostics, in order.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "base/diagnostics.h"
#include "reader/record_keywords.h"
#include "text/field_reader.h"

namespace sb {

// Every warning's name, as -Wno-NAME takes it.
const std::vector<std::string_view>& warning_names();
// A warning shown only when asked for with -WNAME: it fires on ordinary
// layouts, and the warning that matters there has a name of its own.
bool opt_in_warning(std::string_view name);

class WarningWatch : public FieldObserver {
 public:
  explicit WarningWatch(Diagnostics& out) : out_(out) {}

  // A file is read from its "[generale]" field on; `part` says which table
  // of record keywords its fields are read against.
  void start_file(const std::string& name, RecordPart part);
  void set_part(RecordPart part) { part_ = part; }
  // Curves are not read (no line plan): the field of a record that needs
  // the plan is passed over.
  void set_curves_read(bool read) { curves_read_ = read; }

  void field_read(std::string_view raw, FieldPlace place, bool number) override;

  // The loop is about to read a keyword field.
  void expect_keyword() { values_expected_ = 0; }
  // A keyword field, after the dash rule, before it is tested.
  void keyword(const Field& field);
  // A record test matched `field`: `values` value fields follow.
  void record(std::string_view keyword, const Field& field, int values);
  // No record test matched the keyword field.
  void unmatched(const Field& field);

  // A record of kind `keyword` at `position`: positions of one kind rise.
  // `laid_in_order`: the records are laid one after the other (gradients,
  // curves, speed limits, adhesion), so one out of order loses input.
  // False when the record's values were shifted by a position written with
  // a thousands separator ("6,100"): the record is then left out, and
  // nothing that would follow from its shifted values is said.
  [[nodiscard]] bool position(std::string_view keyword, int64_t position, FieldPlace place, bool laid_in_order = false);
  // A text stored as given (board text, station name).
  void stored_text(std::string_view what, std::string_view text, FieldPlace place);
  // The file was read to its end.
  void end_of_file();
  // The train file holds no "[generale]" field (`empty`: no byte at all).
  void missing_generale(bool empty);

  // A warning at `place` (line 0: the whole file), with an optional note
  // at an earlier line of the same file.
  void warn(FieldPlace place, std::string_view name, std::string message, bool lost_input = false);
  void warn(FieldPlace place, std::string_view name, std::string message, RelatedPlace note, bool lost_input = false);
  const std::string& file() const { return file_; }

 private:
  Diagnostics& out_;
  std::string file_;
  RecordPart part_ = RecordPart::kLineGeneral;
  bool curves_read_ = true;

  std::string record_keyword_;
  std::string record_field_;  // the keyword field of the record being read, as written
  int record_line_ = 0;
  FieldPlace record_place_;
  int values_expected_ = 0;
  int values_read_ = 0;
  bool record_cut_warned_ = false;
  bool values_shifted_ = false;  // the record's position was written with a thousands separator

  int last_unmatched_line_ = 0;
  int extra_warned_line_ = 0;
  int last_tab_line_ = 0;
  int fine_line_ = 0;
  int fine_column_ = 0;
  bool after_fine_warned_ = false;
  std::string last_field_;
  std::string last_value_;  // the last value of the record being read, as written
  int last_value_line_ = 0;
  bool last_value_after_blank_ = false;  // ", 6" rather than ",6"
  FieldPlace last_field_place_;
  struct Last {
    int64_t position;
    FieldPlace place;
  };
  std::map<std::string, Last, std::less<>> last_positions_;
};

}  // namespace sb
