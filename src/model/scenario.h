// Everything a compile knows about a scenario between reading the
// description files and writing the compiled files.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/diagnostics.h"
#include "model/line_plan.h"
#include "model/scenario_table.h"
#include "model/track_cells.h"

namespace sb {

struct MontagnaSpan {
  int32_t start = 0;
  int32_t end = 0;
};

inline constexpr std::size_t kMaxMontagnaSpans = 80;

// The description file line an element was read from: the kind it put
// into its cell (a slowdown's start, a station's stop cell) and the
// position it gave, which is the origin of the cells it took. The view
// page links its elements to their lines through these.
struct PlacedElement {
  uint8_t kind = 0;
  uint8_t file = 0;  // index into Scenario::source_names
  int32_t position = 0;
  int line = 0;
};

// A curve record as read: from metre `start` on, `length` metres turned by
// the curvature of `klass` (1..6) to the right (side +1, `d`) or the left
// (-1, `s`). The view page lists the curves through these.
struct CurveRecord {
  int32_t start = 0;
  int32_t length = 0;
  int klass = 0;
  int side = 0;
  uint8_t file = 0;  // index into Scenario::source_names
  int line = 0;
};

// A slowdown as its record gave it; the cells keep its ends only to 50 m.
// The slowdown order lists these.
struct SlowdownSpan {
  int32_t start = 0;   // metres
  int32_t length = 0;  // metres
  int32_t speed = 0;   // km/h
};

// A speed-limit board's left-hand speeds as its record gave them. The cell
// packs left * 20 + right / 5, from which a right-hand speed of 100 km/h or
// more cannot be told apart; the documents read the speeds from here.
struct WrittenBoardSpeeds {
  int64_t cell = 0;
  std::array<int32_t, 3> left{};  // km/h, by rank
};

// A record the cross checks come back to once everything is read: a
// `velocita` (position, km/h) or a station (its table slot in `value`).
struct ReadRecord {
  int32_t position = 0;
  int32_t value = 0;
  uint8_t file = 0;  // index into Scenario::source_names
  int line = 0;
  int column = 0;
};

struct Scenario {
  // The identifiers as the compiled files store them: Windows-1252 bytes.
  std::string route_name;
  std::string train_number;
  bool build_plan = true;  // off: no curves are read and no line plan is built

  int32_t total_metres = 0;  // route length + 7000
  int32_t cell_count = 0;    // the highest cell index
  LinePlan plan;
  TrackCells cells;
  ScenarioTable table;
  std::vector<MontagnaSpan> montagna_spans;  // in reading order

  // Every condition found, in order.
  Diagnostics diagnostics;
  // Where the record being handled stands, for the diagnostics.
  SourcePlace place;
  // Every element the reader placed, in reading order.
  std::vector<PlacedElement> placed_elements;
  // Every curve record read, in reading order.
  std::vector<CurveRecord> curves;
  // Every slowdown placed, in reading order.
  std::vector<SlowdownSpan> slowdowns;
  // Every speed-limit board placed, in reading order (none when the cells
  // were read back from a compiled file).
  std::vector<WrittenBoardSpeeds> board_speeds;
  // The `velocita` records and the stations placed, in reading order.
  std::vector<ReadRecord> speed_records;
  std::vector<ReadRecord> station_records;
  // The line of each chainage system's record, in the table's order (0:
  // none).
  std::array<int, 3> chainage_lines{};
  // The names of the description files, by TrackCells::record_file() and
  // PlacedElement::file.
  std::array<std::string, 3> source_names;

  // An error at the current place; `position` is where along the line it
  // applies, when it does.
  void record_error(int32_t code, std::string message, std::optional<int32_t> position = std::nullopt);
  // The same for an error that belongs to no description file line.
  void record_unplaced_error(int32_t code, std::string message, std::optional<int32_t> position = std::nullopt);

  int32_t error_code() const { return diagnostics.last_error_code(); }
};

}  // namespace sb
