// The three compiled files the simulator loads: the line plan file, the
// scenario table file and the track cell file. Little-endian, no header,
// no padding; see docs/ for each layout.
#pragma once

#include <array>

#include "driver/files.h"
#include "driver/naming.h"
#include "driver/scenario_records.h"

namespace sb {

void write_line_plan(const PlanGrid& plan, ByteSink& sink);
void write_scenario_table(const std::array<TableRecord, kTableSlots>& table, ByteSink& sink);
void write_track_cells(const TrackCells& cells, ByteSink& sink);
void write_track_cells(const std::vector<TrackCell>& cells, ByteSink& sink);

// Writes the compiled files of `state` in the order line plan (only when
// the geometry flag is set), scenario table, track cells; each replaces its
// file atomically.
void write_compiled_files(const ScenarioState& state, const ScenarioFiles& files);

}  // namespace sb
