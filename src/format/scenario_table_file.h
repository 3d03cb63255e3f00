// The scenario table file (ROUTE_TRAIN.sim): the 87 table slots, each 34
// bytes plus its text. See docs/scenario-table-file.md.
#pragma once

#include "base/files.h"
#include "format/layout.h"

namespace sb {

void write_scenario_table(const TableRecords& table, ByteSink& sink);

}  // namespace sb
