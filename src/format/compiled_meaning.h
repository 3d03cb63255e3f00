// The compiled files by meaning, for the listings of inspect and diff: a
// cell's element and values (read from the model's cell, so through the
// same accessors as the compile), a table slot's role and fields. Texts
// come out in UTF-8.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "format/layout.h"

namespace sb {

const char* cell_kind_name(uint8_t kind);
// Whether the listing shows the cell without --all: an element, an
// approach mark, or the format marker of cell 1.
bool cell_holds_something(std::size_t index, const TrackCell& cell);
// The element of a cell by meaning ("signal: aspects 50/60/0, ..."); the
// table, when known, gives station names and board texts.
std::string cell_meaning(std::size_t index, const TrackCell& cell, const TableRecords* table);
// The same in pieces: the kind's name ("" for an empty cell) and its
// values as (label, value), e.g. ("aspects", "50/60/0").
struct CellMeaning {
  std::string name;
  std::vector<std::pair<std::string, std::string>> parts;
};
CellMeaning cell_meaning_parts(std::size_t index, const TrackCell& cell, const TableRecords* table);
std::string part_text(const std::pair<std::string, std::string>& part);  // "aspects 50/60/0"

// The chainage of a position from the table's chainage systems (slots 81
// to 83): none without a table or where no system covers the position.
std::optional<int64_t> table_chainage(const TableRecords* table, int64_t position);
// Whether the table defines any chainage system at all.
bool has_chainage_systems(const TableRecords* table);

enum class SlotRole { kEmpty, kStation, kBoard, kChainage, kGeneral, kRoute, kTrain };
SlotRole slot_role(int slot, const TableRecord& record);
const char* slot_role_name(SlotRole role);
// "slot 3 station LOMENZA", "slot 84 general"
std::string slot_title(int slot, const TableRecord& record);
// One field of a record by meaning: its label and text as the listings
// show them, and the numbers behind the text for machine-readable output,
// each under a key that names its unit ("start_m", "time_s"). A field
// without numbers is a text; a list field has its numbers under one key.
struct MeaningField {
  std::string label;  // "route length"
  std::string text;   // "88 000 m"
  std::vector<std::pair<std::string, int64_t>> numbers;
  bool list = false;
};
// The slot's fields by meaning, in listing order.
std::vector<MeaningField> slot_fields(int slot, const TableRecord& record);

}  // namespace sb
