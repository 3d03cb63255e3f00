// The scenario table file (ROUTE_TRAIN.sim): the 87 table slots, each 34
// bytes plus its text, written and read back here on the field list of
// format/layout.h. See docs/scenario-table-file.md.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "base/files.h"
#include "format/layout.h"

namespace sb {

void write_scenario_table(const TableRecords& table, ByteSink& sink);

// The 87 slots of a scenario table file. Throws DecodeError
// (format/decoder.h) for a truncated slot, a text length that runs past
// the end of the file and bytes after slot 86.
TableRecords decode_scenario_table(std::string_view bytes);
// Where each slot starts in the file its table is written to.
std::array<std::size_t, kTableSlots> table_slot_offsets(const TableRecords& table);

}  // namespace sb
