// Track completion: reads the scenario back, places the automatic
// abbattimento cells around signals and slowdowns, and stores the format
// markers and the check codes. The caller then writes the compiled files.
#pragma once

#include "driver/scenario_records.h"
#include "reader/reader.h"

namespace sb {

// The smaller of two values; on a tie, the first.
int64_t minimo(int64_t x, int64_t y);

// The completion rules over cells 1 .. cell_count - 2.
void complete_track_cells(ScenarioState& state);

// The whole compiling step: clears the table, reads the two description
// files, completes the cells and stores markers and check codes.
// Throws FatalError with code 1250 or 1251 when a marker's place is
// already taken, and with code 0 when the reader left no track cells.
void memorizza_percorso(ScenarioState& state, int32_t geometry_flag, DescriptionSources sources);

}  // namespace sb
