#include "format/track_cell_file.h"

#include "format/decoder.h"
#include "format/layout.h"
#include "format/le_bytes.h"

namespace sb {
namespace {

// One record laid out in place, so the writer checks its room once per
// record rather than once per field.
void write_record(LeWriter& out, const CellRecord& c) {
  char bytes[kCellBytes];
  char* p = bytes;
  for_each_cell_field(c, [&p](const char*, auto value) {
    store_le(p, value);
    p += sizeof value;
  });
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

std::vector<CellRecord> decode_track_cells(std::string_view bytes) {
  if (bytes.empty()) throw DecodeError(0, "empty file: a track cell file holds at least one 15-byte cell");
  if (bytes.size() % kCellBytes != 0) {
    const std::size_t whole = bytes.size() / kCellBytes;
    throw DecodeError(whole * kCellBytes, "file size " + std::to_string(bytes.size()) +
                                              " is not a multiple of the 15-byte cell: cell " + std::to_string(whole) +
                                              " is cut off after " + std::to_string(bytes.size() % kCellBytes) +
                                              " bytes");
  }
  std::vector<CellRecord> cells(bytes.size() / kCellBytes);
  LeReader in(bytes);
  for (CellRecord& c : cells) {
    for_each_cell_field(
        c, [&in](const char*, auto& value) { value = in.take<std::remove_reference_t<decltype(value)>>(); });
  }
  return cells;
}

TrackCells track_cells_of(const std::vector<CellRecord>& records) {
  std::vector<TrackCell> cells;
  cells.reserve(records.size());
  for (const CellRecord& r : records) cells.push_back(track_cell(r));
  TrackCells track;
  track.assign(std::move(cells));
  return track;
}

}  // namespace sb
