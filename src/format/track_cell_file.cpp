#include "format/track_cell_file.h"

#include "format/le_writer.h"

namespace sb {
namespace {

void write_record(LeWriter& out, const CellRecord& c) {
  out.u8(c.kind);
  out.i16(c.value);
  out.i16(c.value_2);
  out.i16(c.value_3);
  out.i16(c.value_4);
  out.u8(c.signal_time);
  out.u8(c.approach_mark);
  out.u8(c.montagna_type);
  out.u8(c.speed_code);
  out.u8(c.gradient);
  out.u8(c.adhesion);
}

}  // namespace

void write_track_cells(const TrackCells& cells, ByteSink& sink) {
  LeWriter out(sink);
  for (const TrackCell& c : cells.cells()) write_record(out, cell_record(c));
  out.flush();
}

void write_cell_records(const std::vector<CellRecord>& cells, ByteSink& sink) {
  LeWriter out(sink);
  for (const CellRecord& c : cells) write_record(out, c);
  out.flush();
}

}  // namespace sb
