#include "format/layout.h"

namespace sb {
namespace {

// Where each value by meaning stands in the layout: copy(meaning, field)
// for every pair. Both directions run through these, so a pair is written
// once; the model or the records is const, as the direction demands.
template <typename Cell, typename Record, typename Copy>
void map_cell(Cell& c, Record& r, Copy&& copy) {
  copy(c.kind, r.kind);
  copy(c.numbers[0], r.value);
  copy(c.numbers[1], r.value_2);
  copy(c.numbers[2], r.value_3);
  copy(c.numbers[3], r.value_4);
  copy(c.signal_time, r.signal_time);
  copy(c.approach_mark, r.approach_mark);
  copy(c.montagna_type, r.montagna_type);
  copy(c.speed_code, r.speed_code);
  copy(c.gradient, r.gradient);
  copy(c.adhesion, r.adhesion);
}

template <typename Slot, typename Record, typename Copy>
void map_station(Slot& s, Record& r, Copy&& copy) {
  copy(s.kind, r.kind);
  copy(s.start, r.start);
  copy(s.end, r.end);
  copy(s.position, r.position);
  copy(s.values.record_4, r.attribute_4);
  copy(s.text, r.text);
  copy(s.values.record_7, r.attribute_7);
  copy(s.values.record_8, r.attribute_8);
  copy(s.values.record_10, r.attribute_10);
  copy(s.values.record_11, r.attribute_11);
  copy(s.values.record_12, r.attribute_12);
  copy(s.values.record_9, r.attribute_9);
  copy(s.values.record_13, r.attribute_13);
  copy(s.end_extension, r.end_extension);
  copy(s.values.record_5, r.attribute_5);
  copy(s.time, r.time);
}

template <typename Systems, typename Records, typename Copy>
void map_chainage(Systems& systems, Records& records, Copy&& copy) {
  for (std::size_t i = 0; i < 3; ++i) {
    auto& r = records[kChainageSlot + i];
    copy(systems[i].start, r.start);
    copy(systems[i].reference, r.end);
    copy(systems[i].direction, r.position);
  }
}

template <typename Table, typename Records, typename Copy>
void map_table(Table& table, Records& records, Copy&& copy) {
  for (std::size_t i = 0; i < table.slots.size(); ++i) map_station(table.slots[i], records[i], copy);
  map_chainage(table.chainage, records, copy);

  auto& general = records[kGeneralSlot];
  copy(table.general.braked_mass, general.start);
  copy(table.general.route_length, general.end);
  copy(table.general.coaches, general.position);

  auto& route = records[kRouteSlot];
  copy(table.route.scenery[0], route.start);
  copy(table.route.scenery[1], route.position);
  copy(table.route.scenery[2], route.end);
  copy(table.route.route_name, route.text);
  copy(table.route.format_marker, route.attribute_7);
  copy(table.route.check_code, route.time);

  auto& train = records[kTrainSlot];
  copy(table.train.repetition_start, train.start);
  copy(table.train.repetition_end, train.end);
  copy(table.train.cab_signal_codes, train.position);
  copy(table.train.train_number, train.text);
  copy(table.train.sand, train.attribute_7);
  copy(table.train.clock_hours, train.attribute_10);
  copy(table.train.clock_minutes, train.attribute_11);
  copy(table.train.clock_seconds, train.attribute_12);
}

// The two directions of a pair: meaning into layout, layout into meaning.
constexpr auto kIntoLayout = [](const auto& meaning, auto& field) { field = meaning; };
constexpr auto kIntoMeaning = [](auto& meaning, const auto& field) { meaning = field; };

}  // namespace

CellRecord cell_record(const TrackCell& cell) {
  CellRecord r;
  map_cell(cell, r, kIntoLayout);
  return r;
}

TrackCell track_cell(const CellRecord& record) {
  TrackCell c;
  map_cell(c, record, kIntoMeaning);
  return c;
}

TableRecords table_records(const ScenarioTable& table) {
  TableRecords records{};
  map_table(table, records, kIntoLayout);
  return records;
}

ScenarioTable scenario_table(const TableRecords& records) {
  ScenarioTable table;
  map_table(table, records, kIntoMeaning);
  return table;
}

std::array<ChainageSystem, 3> chainage_systems(const TableRecords& records) {
  std::array<ChainageSystem, 3> systems{};
  map_chainage(systems, records, kIntoMeaning);
  return systems;
}

}  // namespace sb
