// The track cell file (ROUTE_TRAIN.dat): one 15-byte record per cell,
// written and read back here on the field list of format/layout.h. See
// docs/track-cell-file.md.
#pragma once

#include <string_view>
#include <vector>

#include "base/files.h"
#include "format/layout.h"
#include "model/track_cells.h"

namespace sb {

void write_track_cells(const TrackCells& cells, ByteSink& sink);
void write_cell_records(const std::vector<CellRecord>& cells, ByteSink& sink);

// Every cell of a track cell file, cell 0 first. Throws DecodeError
// (format/decoder.h) for an empty file and one whose size is not a
// multiple of 15.
std::vector<CellRecord> decode_track_cells(std::string_view bytes);
// The same cells by meaning, as reading descriptions builds them (without
// the positions and records that placed their elements).
TrackCells track_cells_of(const std::vector<CellRecord>& records);

}  // namespace sb
