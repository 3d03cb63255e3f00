// The track cells: the line cut into 50 m stretches, cell i standing for
// position 50 * i. Each cell holds at most one element (its kind) and the
// values that hold along the line there (speed, gradient, adhesion,
// montagna type).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/numbers.h"

namespace sb {

// What stands in a track cell.
//
// Glossary of the words the description files use:
//   montagna      a mountain stretch of the line; its type goes into every
//                 cell it covers, and with a type above 10 every fourth
//                 free cell of it gets a montagna mark.
//   abbattimento  a speed-supervision point; authors place some, and the
//                 completion adds them before slowdowns and their signals.
//   segnale       a signal; rallentamento a slowdown; stazione a station;
//   cartello      a line board with lettering; indicatori_vmax a speed-limit
//                 board.
namespace cell_kind {
inline constexpr uint8_t kNothing = 0;
inline constexpr uint8_t kSignal = 1;
inline constexpr uint8_t kSlowdownEnd = 2;
inline constexpr uint8_t kSlowdownStart = 3;
inline constexpr uint8_t kSlowdownWarning = 4;   // 1200 m before the start
inline constexpr uint8_t kSlowdownApproach = 5;  // the four cells before a warning
inline constexpr uint8_t kSpeedBoard = 6;
inline constexpr uint8_t kStopCell = 10;           // where a station's train stops
inline constexpr uint8_t kMontagnaMark = 11;       // gives way to any element
inline constexpr uint8_t kAbbattimento = 12;       // with a value
inline constexpr uint8_t kAbbattimentoPlain = 13;  // without a value
inline constexpr uint8_t kLineBoard = 14;
}  // namespace cell_kind

// One track cell. Its four numbers mean different things for different
// kinds; the accessors name them, and only the compiled-file layout maps
// them to its fields.
struct TrackCell {
  uint8_t kind = cell_kind::kNothing;
  std::array<int16_t, 4> numbers{};
  uint8_t signal_time = 0;
  uint8_t approach_mark = 0;  // announces a station or a signal ahead
  uint8_t montagna_type = 0;
  uint8_t speed_code = 0;  // the line speed limit in km/h divided by 5
  uint8_t gradient = 0;    // the gradient + 100
  uint8_t adhesion = 0;

  friend bool operator==(const TrackCell&, const TrackCell&) = default;

  // A montagna mark gives way to any element placed on it.
  bool is_free() const { return kind == cell_kind::kNothing || kind == cell_kind::kMontagnaMark; }

  // A signal: the three aspect codes (left aspect * 10 + right aspect) and
  // the combined code.
  int16_t& signal_aspect(int n) { return numbers[static_cast<std::size_t>(n - 1)]; }
  int16_t signal_aspect(int n) const { return numbers[static_cast<std::size_t>(n - 1)]; }
  int16_t& signal_code() { return numbers[3]; }
  int16_t signal_code() const { return numbers[3]; }
  // A slowdown's warning, start and end cells, and its approach cells.
  int16_t& slowdown_speed() { return numbers[0]; }
  int16_t slowdown_speed() const { return numbers[0]; }
  int16_t& slowdown_d_v() { return numbers[1]; }
  int16_t slowdown_d_v() const { return numbers[1]; }
  int16_t& slowdown_f_tt() { return numbers[2]; }
  int16_t slowdown_f_tt() const { return numbers[2]; }
  int16_t& approach_order() { return numbers[0]; }  // 1 next to the warning .. 4
  int16_t approach_order() const { return numbers[0]; }
  // A speed-limit board: the packed speeds of ranks A, B, C (rank 0..2,
  // left speed * 20 + right speed / 5) and the stripe code.
  int16_t& board_speed(int rank) { return numbers[static_cast<std::size_t>(rank)]; }
  int16_t board_speed(int rank) const { return numbers[static_cast<std::size_t>(rank)]; }
  int16_t& board_stripes() { return numbers[3]; }
  int16_t board_stripes() const { return numbers[3]; }
  // A station's stop cell or a line board: the scenario table slot.
  int16_t& table_slot() { return numbers[0]; }
  int16_t table_slot() const { return numbers[0]; }
  int16_t& abbattimento_value() { return numbers[0]; }
  int16_t abbattimento_value() const { return numbers[0]; }
  // Cell 1 carries the format marker and the cell check code.
  int16_t& format_marker() { return numbers[0]; }
  int16_t format_marker() const { return numbers[0]; }
  int16_t& check_code() { return numbers[1]; }
  int16_t check_code() const { return numbers[1]; }
};

// One rank of a speed-limit board, unpacked from left * 20 + right / 5.
struct BoardSpeed {
  int32_t left = 0;   // km/h
  int32_t right = 0;  // km/h
};
inline BoardSpeed unpack_board_speed(int16_t packed) {
  const int32_t left = packed >= 0 ? packed / 20 : -((19 - packed) / 20);
  return {left, (packed - left * 20) * 5};
}

// The cell of a point element at position p: nearest(p / 50 + 1).
inline int64_t element_cell(int64_t p) { return nearest(static_cast<double>(p) / 50.0 + 1.0); }
// Back from the cell alone: where an element in `cell` stood, to within
// 25 m (cell 204 is the element at 10 150 m). An abbattimento goes into
// nearest(p / 50) instead, and stood at 50 * cell.
inline int64_t element_position(int64_t cell) { return (cell - 1) * 50; }

// The track cells 0 .. cell_count. Every access goes through at(), which
// refuses an index outside the array (a run-time failure) instead of
// touching memory it does not own.
class TrackCells {
 public:
  void create(int64_t cell_count);
  // Cells that already exist (read back from a compiled file); none of
  // them has an origin or a record.
  void assign(std::vector<TrackCell> cells);
  void discard();
  bool exists() const { return !cells_.empty(); }
  int64_t size() const { return static_cast<int64_t>(cells_.size()); }
  bool contains(int64_t index) const { return index >= 0 && index < size(); }

  // Throws RunTimeFailure for a cell that does not exist.
  TrackCell& at(int64_t index) {
    if (!contains(index)) refuse(index);
    return cells_[static_cast<std::size_t>(index)];
  }
  const TrackCell& at(int64_t index) const {
    if (!contains(index)) refuse(index);
    return cells_[static_cast<std::size_t>(index)];
  }

  // Sets a cell's kind and remembers the position (metres) of the element
  // that placed it, for messages.
  void mark(int64_t index, uint8_t kind, int32_t origin);
  int32_t origin(int64_t index) const { return stamp(index).origin; }
  // "the signal at 1200 m", for messages about a taken cell.
  std::string occupant(int64_t index) const;

  // The description record that marks cells from now on: its file (0: none,
  // as for the completion's own cells; 1: the line description; 2: the
  // train description) and line. mark() stamps it on the cell, so that a
  // message can name the record behind a cell.
  void set_current_record(uint8_t file, int line, int column = 0) {
    current_file_ = file;
    current_line_ = line;
    current_column_ = column;
  }
  uint8_t record_file(int64_t index) const { return stamp(index).file; }
  int record_line(int64_t index) const { return stamp(index).line; }
  int record_column(int64_t index) const { return stamp(index).column; }

  // An approach mark another element had set and a later one replaced.
  struct ReplacedMark {
    int64_t cell = 0;
    uint8_t old_mark = 0;
    uint8_t new_mark = 0;
    int32_t old_origin = 0;  // position of the element whose mark was lost
    uint8_t old_file = 0;    // its record, as for record_file()/record_line()
    int old_line = 0;
    int old_column = 0;
    // The element whose mark was replaced holds no approach mark any more.
    bool old_unannounced = false;
  };
  // Sets the approach mark of a cell for the element at `origin` (metres),
  // stamped with the current record; replacing another element's mark is
  // remembered until take_replaced_marks().
  void set_approach_mark(int64_t index, uint8_t mark, int32_t origin);
  std::vector<ReplacedMark> take_replaced_marks() {
    std::vector<ReplacedMark> taken;
    taken.swap(replaced_marks_);
    return taken;
  }

  const std::vector<TrackCell>& cells() const { return cells_; }

 private:
  // What mark() stamps on a cell; a cell never marked has origin 0 and no
  // record.
  struct Stamp {
    int32_t origin = 0;
    uint8_t file = 0;
    int line = 0;
    int column = 0;
  };
  const Stamp& stamp(int64_t index) const;
  [[noreturn]] void refuse(int64_t index) const;

  std::vector<TrackCell> cells_;
  // Only marked cells have a stamp: elements are few beside the cells of a
  // long route, so the route's length costs the cells alone.
  std::unordered_map<int64_t, Stamp> stamps_;
  std::unordered_map<int64_t, Stamp> mark_stamps_;  // who set each approach mark
  std::vector<ReplacedMark> replaced_marks_;
  // How many approach marks each record (file << 32 | line) still holds.
  std::unordered_map<uint64_t, int> live_marks_;
  uint8_t current_file_ = 0;
  int current_line_ = 0;
  int current_column_ = 0;
};

}  // namespace sb
