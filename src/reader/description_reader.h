// The reader's state while it reads one pair of description files; the
// line part is in line_reader.cpp, the train part in train_reader.cpp.
// Only read_descriptions() uses it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "model/scenario.h"
#include "reader/description_source.h"
#include "reader/record_keywords.h"
#include "reader/warning_watch.h"
#include "text/field_reader.h"
#include "track/placement.h"

namespace sb {

// Sets the reader's pointer to the file being read while it is read.
class ReadingFile {
 public:
  ReadingFile(const FieldReader*& current, const FieldReader& in) : current_(current) { current_ = &in; }
  ~ReadingFile() { current_ = nullptr; }
  ReadingFile(const ReadingFile&) = delete;
  ReadingFile& operator=(const ReadingFile&) = delete;

 private:
  const FieldReader*& current_;
};

class DescriptionReader {
 public:
  DescriptionReader(Scenario& scenario, DescriptionSources sources) : st_(scenario), src_(sources) {}
  void run();

 private:
  // The tables of record keywords name the handlers below.
  friend struct RecordKeywordTables;
  using Next = ReadStep;

  // --- shared (description_reader.cpp) ---------------------------------------
  void at_field(const DescriptionSource& source, const Field& field);
  bool in_range(int64_t p, int64_t margin = 100) const;
  // The range test; a position that fails it is recorded as code 15.
  Next within_cells(const char* what, int64_t p, int64_t margin = 100, std::size_t value = 1);
  // Records `code` and removes the file being read. The error points at
  // the record's keyword, or with `value` at that value field (from 1).
  Next stop(DescriptionSource& source, int32_t code, std::string message,
            std::optional<int32_t> position = std::nullopt, std::size_t value = 0);
  // Records code 104 at line 1 of a file written as UTF-16 (none of it can
  // be read as Windows-1252) and stops; goes on for any other text.
  Next refuse_utf16(DescriptionSource& source, const std::string& bytes);
  // The record being read: where its keyword field starts.
  FieldPlace here() const { return {st_.place.line, st_.place.column}; }
  // Where value `n` (from 1; 0: the keyword) of the record being read starts.
  FieldPlace value_place(std::size_t n) const;
  // Points the latest error at value `n` of the record being read.
  void point_at_value(std::size_t n);
  // The note that names the record behind what `cell` holds (no line when
  // no record placed it).
  RelatedPlace record_note(int64_t cell) const;
  // Adds `note` to the latest diagnostic when it names a line.
  void add_note(RelatedPlace note);
  // Records `code` for `what` at `position`, whose cell another record
  // already holds, with a note naming that record, and stops reading.
  Next stop_at_taken_cell(DescriptionSource& source, int32_t code, const std::string& what, int32_t position,
                          int64_t cell);
  // After an element was handed to its placement: a refusal stops reading,
  // and so does a code 15 kept from the line part.
  Next placed(DescriptionSource& source, const std::optional<Refusal>& refusal, uint8_t kind, int32_t position);
  // Keeps the line of an element placed at `position` as `kind`.
  void note_placed(uint8_t kind, int32_t position);
  bool dash_rule(FieldReader& in, Field& field, int limit, bool end_test);
  // The next record's keyword field of a main part (after the dash rule);
  // nothing when the part ends there.
  std::optional<Field> next_keyword(FieldReader& in, const DescriptionSource& source);
  std::string stored_text(std::string_view text);
  // Reads the records that the keyword field `field` of `part` holds, each
  // by its handler; a field that holds none is only looked at by the watch.
  Next read_records(RecordPart part, FieldReader& in, const Field& field);

  // --- the line description (line_reader.cpp) --------------------------------
  Next read_line_file();
  Next read_general_part(FieldReader& in);
  Next route_length(FieldReader& in, const KeywordMatch& match);
  Next chainage_system(FieldReader& in, const KeywordMatch& match);
  Next scenery(FieldReader& in, const KeywordMatch& match);
  void create_pending_cells();
  Next repetition(FieldReader& in, const KeywordMatch& match);
  Next read_main_part(FieldReader& in);
  // ", FILE:LINE": the record that placed what `cell` holds ("" when none
  // did), for a message about a taken cell.
  std::string record_of(int64_t cell) const;
  void warn_about_curve(std::string_view keyword, int klass, int32_t start, int32_t length);
  void warn_about_station(int32_t position, int32_t hours, int32_t minutes, int32_t seconds, int32_t time);
  // `own_marks`: the cells of the marks the record being read sets.
  void warn_about_replaced_marks(const std::vector<int64_t>& own_marks);
  void warn_about_chainage_order();
  void warn_about_start_clock(const TrainSlot& train);
  uint8_t stored_gradient(int32_t gradient, const std::string& found_at);
  Next gradient(FieldReader& in, const KeywordMatch& match);
  void gradient_tail();
  Next curve(FieldReader& in, const KeywordMatch& match);
  Next plan_steps(int64_t until, bool curved, double k);
  Next montagna(FieldReader& in, const KeywordMatch& match);
  Next speed_board(FieldReader& in, const KeywordMatch& match);
  Next line_board(FieldReader& in, const KeywordMatch& match);

  // --- the train description (train_reader.cpp) ------------------------------
  Next read_train_file();
  Next read_train_records(FieldReader& in);
  uint8_t speed_code(int64_t speed);
  Next braked_mass(FieldReader& in, const KeywordMatch& match);
  Next coaches(FieldReader& in, const KeywordMatch& match);
  Next speed(FieldReader& in, const KeywordMatch& match);
  Next adhesion(FieldReader& in, const KeywordMatch& match);
  Next clock(FieldReader& in, const KeywordMatch& match);
  Next sand(FieldReader& in, const KeywordMatch& match);
  Next signal(FieldReader& in, const KeywordMatch& match);
  Next slowdown(FieldReader& in, const KeywordMatch& match);
  Next abbattimento(FieldReader& in, const KeywordMatch& match);
  Next station(FieldReader& in, const KeywordMatch& match);
  std::string station_past_the_end(int32_t position, const StationSlot& slot) const;
  void chainage_test();
  // False when the record is left out (its values were shifted).
  bool first_at_zero(const RecordKeyword& keyword, int64_t position, int& count);

  Scenario& st_;
  DescriptionSources src_;
  const FieldReader* in_ = nullptr;  // the file being read
  WarningWatch watch_{st_.diagnostics};
  std::array<int, 3> chainage_lines_{};
  bool cells_pending_ = false;

  int board_cursor_ = kFirstBoardSlot;
  int64_t gradient_cursor_ = 0;
  int32_t previous_gradient_ = 0;
  int previous_gradient_line_ = 0;  // the line of the record that gave it
  FieldPlace previous_gradient_value_;
  int64_t last_curve_start_ = 0;  // where the previous curve record starts
  int64_t last_curve_end_ = 0;    // where the previous curve record ends
  int last_curve_line_ = 0;
  FieldPlace last_curve_place_;
  int64_t montagna_reach_ = 0;  // where the montagna span that reaches furthest ends
  FieldPlace montagna_reach_place_;
  int32_t previous_station_time_ = -1;
  int previous_station_line_ = 0;
  FieldPlace previous_station_place_;  // the station record before this one
  FieldPlace previous_timed_station_;  // the last one with a time

  int station_cursor_ = 1;
  int64_t speed_cursor_ = 0;
  int64_t adhesion_cursor_ = 0;
  int64_t previous_speed_ = 0;
  int previous_speed_line_ = 0;
  FieldPlace previous_speed_value_;
  int64_t previous_adhesion_ = 0;
  uint8_t current_file_ = 0;  // 1: the line description, 2: the train description
  int speed_records_ = 0;
  int adhesion_records_ = 0;
};

}  // namespace sb
