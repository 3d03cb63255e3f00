#include "compiled/compiled_files.h"

#include "compiled/le_writer.h"

namespace sb {

// Metre index runs fastest: all first coordinates, then all second ones.
void write_line_plan(const PlanGrid& plan, ByteSink& sink) {
  LeWriter out(sink);
  for (int c = 0; c < 2; ++c) {
    const auto& tags = plan.tags(c);
    const auto& values = plan.values(c);
    for (std::size_t m = 0; m < tags.size(); ++m) {
      out.u16(static_cast<uint16_t>(tags[m]));
      switch (tags[m]) {
        case PlanTag::kEmpty:
          break;
        case PlanTag::kWhole:
          out.i16(static_cast<int16_t>(values[m]));
          break;
        case PlanTag::kReal:
          out.f64(values[m]);
          break;
      }
    }
  }
  out.flush();
}

void write_scenario_table(const std::array<TableRecord, kTableSlots>& table, ByteSink& sink) {
  LeWriter out(sink);
  for (const TableRecord& r : table) {
    out.u8(r.kind);
    out.i32(r.start);
    out.i32(r.end);
    out.i32(r.position);
    out.u8(r.attribute_4);
    out.u16(static_cast<uint16_t>(r.text.size()));
    out.bytes(r.text);
    out.i16(r.attribute_7);
    out.i16(r.attribute_8);
    out.i16(r.attribute_10);
    out.i16(r.attribute_11);
    out.i16(r.attribute_12);
    out.u8(r.attribute_9);
    out.u8(r.attribute_13);
    out.u8(r.end_extension);
    out.u8(r.attribute_5);
    out.i32(r.time);
  }
  out.flush();
}

void write_track_cells(const TrackCells& cells, ByteSink& sink) { write_track_cells(cells.cells(), sink); }

void write_track_cells(const std::vector<TrackCell>& cells, ByteSink& sink) {
  LeWriter out(sink);
  for (const TrackCell& c : cells) {
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
  out.flush();
}

namespace {

template <typename Writer>
void replace_with(const std::string& path, Writer&& write) {
  AtomicFile file(path);
  write(file);
  file.commit();
}

}  // namespace

void write_compiled_files(const ScenarioState& state, const ScenarioFiles& files) {
  if (state.geometry_flag != 0) {
    replace_with(files.line_plan(), [&](ByteSink& s) { write_line_plan(state.plan_grid, s); });
  }
  replace_with(files.scenario_table(), [&](ByteSink& s) { write_scenario_table(state.scenario_table, s); });
  replace_with(files.track_cells(), [&](ByteSink& s) { write_track_cells(state.track_cells, s); });
}

}  // namespace sb
