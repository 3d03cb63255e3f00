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

// The fields of each record in file order, under the names the layout
// gives them: visit(name, member) for each. Record is the record type or
// its const. The writers, the decoders and the listings of raw fields all
// go through these, so the order and the names are declared here alone.
template <typename Record, typename Visit>
void for_each_cell_field(Record& r, Visit&& visit) {
  visit("kind", r.kind);
  visit("value", r.value);
  visit("value_2", r.value_2);
  visit("value_3", r.value_3);
  visit("value_4", r.value_4);
  visit("signal_time", r.signal_time);
  visit("approach_mark", r.approach_mark);
  visit("montagna_type", r.montagna_type);
  visit("speed_code", r.speed_code);
  visit("gradient", r.gradient);
  visit("adhesion", r.adhesion);
}

// `text` is written as its u16 length followed by its bytes.
template <typename Record, typename Visit>
void for_each_slot_field(Record& r, Visit&& visit) {
  visit("kind", r.kind);
  visit("start", r.start);
  visit("end", r.end);
  visit("position", r.position);
  visit("attribute_4", r.attribute_4);
  visit("text", r.text);
  visit("attribute_7", r.attribute_7);
  visit("attribute_8", r.attribute_8);
  visit("attribute_10", r.attribute_10);
  visit("attribute_11", r.attribute_11);
  visit("attribute_12", r.attribute_12);
  visit("attribute_9", r.attribute_9);
  visit("attribute_13", r.attribute_13);
  visit("end_extension", r.end_extension);
  visit("attribute_5", r.attribute_5);
  visit("time", r.time);
}

// The bytes of a slot besides its text.
inline constexpr std::size_t kSlotFixedBytes = 34;

// Meaning to layout and back. The way back fills what the layout holds;
// a table record whose fields the scenario table has no place for (a
// value in a field the compile always leaves 0) loses it, which
// table_records(scenario_table(r)) != r reveals.
CellRecord cell_record(const TrackCell& cell);
TrackCell track_cell(const CellRecord& record);
TableRecords table_records(const ScenarioTable& table);
ScenarioTable scenario_table(const TableRecords& records);
// Only the chainage systems of slots 81 to 83, as scenario_table() reads them.
std::array<ChainageSystem, 3> chainage_systems(const TableRecords& records);

}  // namespace sb
