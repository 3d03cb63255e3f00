#include "format/track_cell_file.h"

#include "format/layout.h"
#include "format/le_writer.h"

namespace sb {
namespace {

// One record laid out in place, so the writer checks its room once per
// record rather than once per field.
void write_record(LeWriter& out, const CellRecord& c) {
  char bytes[kCellBytes];
  char* p = bytes;
  auto u8 = [&](uint8_t v) { *p++ = static_cast<char>(v); };
  auto i16 = [&](int16_t v) {
    const auto u = static_cast<uint16_t>(v);
    *p++ = static_cast<char>(u & 0xFF);
    *p++ = static_cast<char>(u >> 8);
  };
  u8(c.kind);
  i16(c.value);
  i16(c.value_2);
  i16(c.value_3);
  i16(c.value_4);
  u8(c.signal_time);
  u8(c.approach_mark);
  u8(c.montagna_type);
  u8(c.speed_code);
  u8(c.gradient);
  u8(c.adhesion);
  out.bytes({bytes, kCellBytes});
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
