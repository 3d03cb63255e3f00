#include "format/layout.h"

namespace sb {

CellRecord cell_record(const TrackCell& c) {
  return {c.kind,          c.numbers[0],    c.numbers[1], c.numbers[2], c.numbers[3], c.signal_time,
          c.approach_mark, c.montagna_type, c.speed_code, c.gradient,   c.adhesion};
}

TrackCell track_cell(const CellRecord& r) {
  TrackCell c;
  c.kind = r.kind;
  c.numbers = {r.value, r.value_2, r.value_3, r.value_4};
  c.signal_time = r.signal_time;
  c.approach_mark = r.approach_mark;
  c.montagna_type = r.montagna_type;
  c.speed_code = r.speed_code;
  c.gradient = r.gradient;
  c.adhesion = r.adhesion;
  return c;
}

namespace {

TableRecord station_record(const StationSlot& s) {
  TableRecord r;
  r.kind = s.kind;
  r.start = s.start;
  r.end = s.end;
  r.position = s.position;
  r.attribute_4 = s.values.record_4;
  r.text = s.text;
  r.attribute_7 = s.values.record_7;
  r.attribute_8 = s.values.record_8;
  r.attribute_10 = s.values.record_10;
  r.attribute_11 = s.values.record_11;
  r.attribute_12 = s.values.record_12;
  r.attribute_9 = s.values.record_9;
  r.attribute_13 = s.values.record_13;
  r.end_extension = s.end_extension;
  r.attribute_5 = s.values.record_5;
  r.time = s.time;
  return r;
}

StationSlot station_slot(const TableRecord& r) {
  StationSlot s;
  s.kind = r.kind;
  s.start = r.start;
  s.end = r.end;
  s.position = r.position;
  s.values.record_4 = r.attribute_4;
  s.text = r.text;
  s.values.record_7 = r.attribute_7;
  s.values.record_8 = r.attribute_8;
  s.values.record_10 = r.attribute_10;
  s.values.record_11 = r.attribute_11;
  s.values.record_12 = r.attribute_12;
  s.values.record_9 = r.attribute_9;
  s.values.record_13 = r.attribute_13;
  s.end_extension = r.end_extension;
  s.values.record_5 = r.attribute_5;
  s.time = r.time;
  return s;
}

}  // namespace

TableRecords table_records(const ScenarioTable& table) {
  TableRecords records{};
  for (std::size_t i = 0; i < table.slots.size(); ++i) records[i] = station_record(table.slots[i]);
  for (std::size_t i = 0; i < 3; ++i) {
    TableRecord& r = records[kChainageSlot + i];
    r.start = table.chainage[i].start;
    r.end = table.chainage[i].reference;
    r.position = table.chainage[i].direction;
  }
  TableRecord& general = records[kGeneralSlot];
  general.start = table.general.braked_mass;
  general.end = table.general.route_length;
  general.position = table.general.coaches;

  TableRecord& route = records[kRouteSlot];
  route.start = table.route.scenery[0];
  route.position = table.route.scenery[1];
  route.end = table.route.scenery[2];
  route.text = table.route.route_name;
  route.attribute_7 = table.route.format_marker;
  route.time = table.route.check_code;

  TableRecord& train = records[kTrainSlot];
  train.start = table.train.repetition_start;
  train.end = table.train.repetition_end;
  train.position = table.train.cab_signal_codes;
  train.text = table.train.train_number;
  train.attribute_7 = table.train.sand;
  train.attribute_10 = table.train.clock_hours;
  train.attribute_11 = table.train.clock_minutes;
  train.attribute_12 = table.train.clock_seconds;
  return records;
}

ScenarioTable scenario_table(const TableRecords& records) {
  ScenarioTable table;
  for (std::size_t i = 0; i < table.slots.size(); ++i) table.slots[i] = station_slot(records[i]);
  for (std::size_t i = 0; i < 3; ++i) {
    const TableRecord& r = records[kChainageSlot + i];
    table.chainage[i] = {r.start, r.end, r.position};
  }
  const TableRecord& general = records[kGeneralSlot];
  table.general = {general.start, general.end, general.position};

  const TableRecord& route = records[kRouteSlot];
  table.route.scenery = {route.start, route.position, route.end};
  table.route.route_name = route.text;
  table.route.format_marker = route.attribute_7;
  table.route.check_code = route.time;

  const TableRecord& train = records[kTrainSlot];
  table.train.repetition_start = train.start;
  table.train.repetition_end = train.end;
  table.train.cab_signal_codes = train.position;
  table.train.train_number = train.text;
  table.train.sand = train.attribute_7;
  table.train.clock_hours = train.attribute_10;
  table.train.clock_minutes = train.attribute_11;
  table.train.clock_seconds = train.attribute_12;
  return table;
}

}  // namespace sb
