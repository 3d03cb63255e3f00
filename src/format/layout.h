// The records of the compiled files as their layouts name them (see docs/),
// and how the scenario's cells and table map onto them. This is the one
// place where meaning meets layout fields.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "model/scenario_table.h"
#include "model/track_cells.h"

namespace sb {

// One record of the track cell file takes this many bytes.
inline constexpr std::size_t kCellBytes = 15;

// One 15-byte record of the track cell file.
struct CellRecord {
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
  friend bool operator==(const CellRecord&, const CellRecord&) = default;
};

// One slot of the scenario table file (34 bytes plus its text).
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
  friend bool operator==(const TableRecord&, const TableRecord&) = default;
};

using TableRecords = std::array<TableRecord, kTableSlots>;

CellRecord cell_record(const TrackCell& cell);
TableRecords table_records(const ScenarioTable& table);

}  // namespace sb
