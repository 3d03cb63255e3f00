// The records of the compiled files by meaning, for the listings of
// inspect and diff: a cell's element and values, a table slot's role and
// fields. Texts come out in UTF-8.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "format/layout.h"

namespace sb {

const char* cell_kind_name(uint8_t kind);
// Whether the listing shows the cell without --all: an element, an
// approach mark, or the format marker of cell 1.
bool cell_holds_something(std::size_t index, const CellRecord& cell);
// The element of a cell by meaning ("signal: aspects 50/60/0, ..."); the
// table, when known, gives station names and board texts.
std::string cell_meaning(std::size_t index, const CellRecord& cell, const TableRecords* table);
// The same in pieces: the kind's name ("" for an empty cell) and its
// values as (label, value), e.g. ("aspects", "50/60/0").
struct CellMeaning {
  std::string name;
  std::vector<std::pair<std::string, std::string>> parts;
};
CellMeaning cell_meaning_parts(std::size_t index, const CellRecord& cell, const TableRecords* table);
std::string part_text(const std::pair<std::string, std::string>& part);  // "aspects 50/60/0"

enum class SlotRole { kEmpty, kStation, kBoard, kChainage, kGeneral, kRoute, kTrain };
SlotRole slot_role(int slot, const TableRecord& record);
const char* slot_role_name(SlotRole role);
// "slot 3 station LOMENZA", "slot 84 general"
std::string slot_title(int slot, const TableRecord& record);
// The slot's fields by meaning, as (label, value) in listing order.
std::vector<std::pair<std::string, std::string>> slot_fields(int slot, const TableRecord& record);

}  // namespace sb
