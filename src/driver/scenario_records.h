// The scenario records: everything a run knows about the scenario between
// reading the description files and writing the compiled files. The plan
// grid, the track cells and the scenario table are written field by field
// into the compiled files, so the widths below are part of those formats.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "driver/diagnostics.h"
#include "driver/failures.h"
#include "driver/zero_filled.h"

namespace sb {

// What stands in a track cell.
namespace cell_kind {
inline constexpr uint8_t kNothing = 0;
inline constexpr uint8_t kSignal = 1;
inline constexpr uint8_t kSlowdownEnd = 2;
inline constexpr uint8_t kSlowdownStart = 3;
inline constexpr uint8_t kSlowdownWarning = 4;
inline constexpr uint8_t kSlowdownApproach = 5;
inline constexpr uint8_t kSpeedBoard = 6;
inline constexpr uint8_t kStopCell = 10;
inline constexpr uint8_t kMontagnaMark = 11;
inline constexpr uint8_t kAbbattimento = 12;
inline constexpr uint8_t kAbbattimentoPlain = 13;
inline constexpr uint8_t kLineBoard = 14;
}  // namespace cell_kind

// One 50 m stretch of line. Cell i stands for position 50 * i.
struct TrackCell {
  uint8_t kind = 0;
  int16_t value = 0;
  int16_t value_2 = 0;
  int16_t value_3 = 0;
  int16_t value_4 = 0;
  uint8_t signal_time = 0;
  uint8_t approach_mark = 0;
  uint8_t montagna_type = 0;
  uint8_t speed_code = 0;
  uint8_t gradient = 0;
  uint8_t adhesion = 0;

  // A montagna mark gives way to any element placed on it.
  bool is_free() const {
    return kind == cell_kind::kNothing || kind == cell_kind::kMontagnaMark;
  }
};

// The track cells 0 .. cell_count. Every access goes through at(), which
// refuses an index outside the array instead of touching memory it does
// not own; inside the reader that refusal becomes code 25.
class TrackCells {
 public:
  void create(int64_t cell_count);
  bool exists() const { return !cells_.empty(); }
  int64_t size() const { return static_cast<int64_t>(cells_.size()); }
  bool contains(int64_t index) const { return index >= 0 && index < size(); }

  TrackCell& at(int64_t index);
  const TrackCell& at(int64_t index) const;

  // Where the element standing in a cell came from (metres), for messages.
  int32_t origin(int64_t index) const { return origins_.at(static_cast<std::size_t>(index)); }
  void set_origin(int64_t index, int32_t position) {
    origins_.at(static_cast<std::size_t>(index)) = position;
  }

  const std::vector<TrackCell>& cells() const { return cells_; }

 private:
  std::vector<TrackCell> cells_;
  std::vector<int32_t> origins_;
};

// One slot of the 87-slot scenario table.
struct TableRecord {
  uint8_t kind = 0;
  int32_t start = 0;
  int32_t end = 0;
  int32_t position = 0;
  uint8_t attribute_4 = 0;
  std::string text;  // single-byte characters
  int16_t attribute_7 = 0;
  int16_t attribute_8 = 0;
  int16_t attribute_10 = 0;
  int16_t attribute_11 = 0;
  int16_t attribute_12 = 0;
  uint8_t attribute_9 = 0;
  uint8_t attribute_13 = 0;
  uint8_t end_extension = 0;
  uint8_t attribute_5 = 0;
  int32_t time = 0;
};

inline constexpr int kTableSlots = 87;
inline constexpr int kFirstBoardSlot = 80;
inline constexpr int kChainageSlotThree = 81;  // then 82, 83
inline constexpr int kGeneralSlot = 84;
inline constexpr int kRouteSlot = 85;
inline constexpr int kTrainSlot = 86;

// A plan coordinate: empty, a 16-bit whole number or a double.
enum class PlanTag : uint8_t { kEmpty = 0, kWhole = 2, kReal = 5 };

struct PlanValue {
  PlanTag tag = PlanTag::kEmpty;
  double value = 0.0;  // a whole value is held exactly
};

// The plan position of the line at every metre 0 .. total_metres, two
// coordinates each. A long route has a million metres, so the grid keeps
// one double and one tag byte per element rather than a general variant.
class PlanGrid {
 public:
  using Values = std::vector<double, ZeroFilledAllocator<double>>;
  using Tags = std::vector<PlanTag, ZeroFilledAllocator<PlanTag>>;

  void create(int64_t last_metre);
  bool exists() const { return !tags_[0].empty(); }
  int64_t last_metre() const { return static_cast<int64_t>(tags_[0].size()) - 1; }

  PlanValue get(int64_t metre, int coordinate) const;
  // The value of an element in arithmetic; an empty element counts as 0.
  double number(int64_t metre, int coordinate) const;
  void set_whole(int64_t metre, int coordinate, int16_t value);
  void set_real(int64_t metre, int coordinate, double value);

  const Values& values(int coordinate) const { return values_[coordinate]; }
  // Direct access for the integration loop, which checks its own range.
  double* raw_values(int coordinate) { return values_[coordinate].data(); }
  PlanTag* raw_tags(int coordinate) { return tags_[coordinate].data(); }
  const Tags& tags(int coordinate) const { return tags_[coordinate]; }

 private:
  void check(int64_t metre) const;
  Values values_[2];
  Tags tags_[2];
};

// The whole scenario state of one run.
struct ScenarioState {
  // The identifiers as the compiled files store them: Windows-1252 bytes.
  std::string route_name;
  std::string train_number;
  int32_t geometry_flag = 1;
  int32_t total_metres = 0;
  int32_t cell_count = 0;
  PlanGrid plan_grid;
  TrackCells track_cells;
  std::array<TableRecord, kTableSlots> scenario_table{};
  std::array<int32_t, 81> montagna_starts{};
  std::array<int32_t, 81> montagna_ends{};
  int32_t montagna_count = 0;
  int32_t error_code = 0;
  int32_t error_position = 0;

  // Every condition recorded, in recording order; error_code and
  // error_position keep the last one.
  std::vector<Diagnostic> diagnostics;
  // Where the record being handled stands, for the diagnostics.
  SourcePlace place;

  // Records a condition: error_code := code, error_position := position
  // when one is given, and a diagnostic at the current place.
  void record(int32_t code, std::string message, std::optional<int32_t> position = std::nullopt);
  // The same for a condition that belongs to no description file line.
  void record_unplaced(int32_t code, std::string message,
                       std::optional<int32_t> position = std::nullopt);
};

}  // namespace sb
