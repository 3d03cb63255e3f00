// The track cell file (ROUTE_TRAIN.dat): one 15-byte record per cell. See
// docs/track-cell-file.md.
#pragma once

#include <vector>

#include "base/files.h"
#include "format/layout.h"
#include "model/track_cells.h"

namespace sb {

void write_track_cells(const TrackCells& cells, ByteSink& sink);
void write_cell_records(const std::vector<CellRecord>& cells, ByteSink& sink);

}  // namespace sb
