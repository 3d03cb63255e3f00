// The train description: general values, speed limits and adhesion along
// the line, signals, slowdowns, abbattimento marks and stations.
#include <algorithm>

#include "base/numbers.h"
#include "reader/description_reader.h"

namespace sb {
namespace {

std::string metres(int64_t p) { return std::to_string(p) + " m"; }

}  // namespace

DescriptionReader::Next DescriptionReader::read_train_file() {
  const std::string* bytes = src_.train.load();
  if (bytes == nullptr) {
    st_.place = {src_.train.name(), 0};
    throw RunTimeFailure("train description file " + src_.train.name() + " not found");
  }
  if (refuse_utf16(src_.train, *bytes) == Next::kStop) return Next::kStop;
  FieldReader in(*bytes);
  const ReadingFile reading(in_, in);
  st_.place = {src_.train.name(), 1};
  bool generale = false;
  while (!in.at_end()) {
    if (contains_any_case(in.read_text().text, "[generale]")) {
      generale = true;
      break;
    }
  }
  watch_.start_file(src_.train.name(), RecordPart::kTrain);
  if (!generale) watch_.missing_generale(bytes->empty());
  in.observe(&watch_);
  const Next records = read_train_records(in);
  if (records == Next::kStop) return Next::kStop;
  if (records == Next::kGoOn && generale) watch_.end_of_file();

  src_.train.remove();
  const uint8_t last_speed = speed_code(previous_speed_);
  do {
    st_.cells.at(speed_cursor_).speed_code = last_speed;
    ++speed_cursor_;
  } while (speed_cursor_ < static_cast<int64_t>(st_.cell_count) - 2);
  do {
    st_.cells.at(adhesion_cursor_).adhesion = low8(previous_adhesion_);
    ++adhesion_cursor_;
  } while (adhesion_cursor_ < static_cast<int64_t>(st_.cell_count) - 2);
  chainage_test();
  return Next::kGoOn;
}

DescriptionReader::Next DescriptionReader::read_train_records(FieldReader& in) {
  for (;;) {
    const std::optional<Field> read = next_keyword(in, src_.train);
    if (!read) return Next::kGoOn;
    const Next next = read_records(RecordPart::kTrain, in, *read);
    if (next != Next::kGoOn) return next;
  }
}

DescriptionReader::Next DescriptionReader::braked_mass(FieldReader& in, const KeywordMatch&) {
  st_.table.general.braked_mass = in.read_int32();
  return Next::kGoOn;
}

DescriptionReader::Next DescriptionReader::coaches(FieldReader& in, const KeywordMatch&) {
  st_.table.general.coaches = in.read_int32();
  return Next::kGoOn;
}

DescriptionReader::Next DescriptionReader::clock(FieldReader& in, const KeywordMatch&) {
  TrainSlot& train = st_.table.train;
  train.clock_hours = in.read_int16();
  train.clock_minutes = in.read_int16();
  train.clock_seconds = in.read_int16();
  warn_about_start_clock(train);
  return Next::kGoOn;
}

DescriptionReader::Next DescriptionReader::sand(FieldReader& in, const KeywordMatch&) {
  st_.table.train.sand = in.read_int16();
  return Next::kGoOn;
}

uint8_t DescriptionReader::speed_code(int64_t speed) {
  const int64_t code = nearest(speed / 5.0);
  if (code < 0 || code > 255) {
    // The limit is stored only when the next record fills up to it: point
    // at the record that gave it.
    st_.place.line = previous_speed_line_;
    st_.place.column = previous_speed_value_.column;
    throw RunTimeFailure("speed limit " + std::to_string(speed) + " km/h cannot be stored (0 to 1277 km/h)");
  }
  return static_cast<uint8_t>(code);
}

DescriptionReader::Next DescriptionReader::speed(FieldReader& in, const KeywordMatch& match) {
  const int32_t p = in.read_int32();
  const int32_t v = in.read_int32();
  if (!first_at_zero(match.keyword, p, speed_records_)) return Next::kGoOn;
  if (v % 5 != 0) {
    watch_.warn(value_place(2), "speed-rounded",
                "speed limit " + std::to_string(v) + " km/h is stored in steps of 5 km/h: as " +
                    std::to_string(nearest(v / 5.0) * 5) + " km/h; give a multiple of 5");
  }
  if (within_cells("speed limit", p) != Next::kGoOn) return Next::kEndPart;
  const int64_t n = nearest(p / 50.0);
  if (n >= 1 && speed_cursor_ < st_.cell_count) {
    const uint8_t code = speed_code(previous_speed_);
    do {
      st_.cells.at(speed_cursor_).speed_code = code;
      ++speed_cursor_;
    } while (speed_cursor_ < n && speed_cursor_ < st_.cell_count);
  }
  st_.speed_records.push_back({p, v, current_file_, st_.place.line, value_place(1).column});
  previous_speed_ = v;
  previous_speed_line_ = st_.place.line;
  previous_speed_value_ = value_place(2);
  return Next::kGoOn;
}

DescriptionReader::Next DescriptionReader::adhesion(FieldReader& in, const KeywordMatch& match) {
  const int32_t p = in.read_int32();
  const int32_t a = in.read_int32();
  if (!first_at_zero(match.keyword, p, adhesion_records_)) return Next::kGoOn;
  if (within_cells("adhesion", p) != Next::kGoOn) return Next::kEndPart;
  const int64_t n = nearest(p / 50.0);
  if (n >= 1) {
    do {
      st_.cells.at(adhesion_cursor_).adhesion = low8(previous_adhesion_);
      ++adhesion_cursor_;
    } while (adhesion_cursor_ < n);
  }
  previous_adhesion_ = a;
  return Next::kGoOn;
}

DescriptionReader::Next DescriptionReader::signal(FieldReader& in, const KeywordMatch& match) {
  SignalRecord r;
  for (int32_t* v : {&r.position, &r.left_type, &r.left_aspect_1, &r.left_aspect_2, &r.left_aspect_3, &r.combined_tens,
                     &r.right_type, &r.right_aspect_1, &r.right_aspect_2, &r.right_aspect_3, &r.time}) {
    *v = in.read_int32();
  }
  if (!watch_.position(match.keyword.name, r.position, value_place(1))) return Next::kGoOn;
  if (within_cells("signal", r.position) != Next::kGoOn) return Next::kEndPart;
  const Next next = placed(src_.train, place_signal(st_.cells, r), cell_kind::kSignal, r.position);
  const int64_t g = element_cell(r.position);
  warn_about_replaced_marks({g - 2, g - 4, g - 6, g - 8});
  return next;
}

// A start clock that is no time of day is stored as written.
void DescriptionReader::warn_about_start_clock(const TrainSlot& train) {
  const int h = train.clock_hours, m = train.clock_minutes, sec = train.clock_seconds;
  if (h >= 0 && h <= 23 && m >= 0 && m <= 59 && sec >= 0 && sec <= 59) return;
  watch_.warn(here(), "clock-range",
              "start clock " + std::to_string(h) + ", " + std::to_string(m) + ", " + std::to_string(sec) +
                  " is no time of day (hours 0-23, minutes and seconds 0-59); it is stored as written");
}

// Approach marks that a record set over another element's: that element
// is no longer announced in that cell, which the ordinary layout does (an
// exit signal just after a platform), so it is said only when asked for.
// An element left with no approach mark at all is always said: with how
// far the record being read may move so that the last mark stays.
void DescriptionReader::warn_about_replaced_marks(const std::vector<int64_t>& own_marks) {
  for (const TrackCells::ReplacedMark& r : st_.cells.take_replaced_marks()) {
    const std::string element = r.old_mark >= 80 ? "station" : "signal";
    const std::string other =
        r.old_file == 0 ? std::string() : ", " + st_.source_names[r.old_file] + ":" + std::to_string(r.old_line);
    const RelatedPlace note = r.old_file == 0
                                  ? RelatedPlace{}
                                  : RelatedPlace{st_.source_names[r.old_file], r.old_line, r.old_column,
                                                 "the " + element + " at " + std::to_string(r.old_origin) + " m"};
    watch_.warn(here(), "marks-overwritten",
                "approach mark " + std::to_string(r.new_mark) + " replaces mark " + std::to_string(r.old_mark) +
                    " in cell " + std::to_string(r.cell) + ", which announced the " + element + " at " +
                    std::to_string(r.old_origin) + " m" + other +
                    "; that element is no longer announced there: move one of the two",
                note);
    if (!r.old_unannounced) continue;
    // The shortest move of this record's marks further on that leaves the
    // cell to the earlier element (moving back may meet the element that
    // took the marks before).
    int64_t shift = 1;
    while (std::find(own_marks.begin(), own_marks.end(), r.cell - shift) != own_marks.end()) ++shift;
    watch_.warn(here(), "unannounced",
                "this record's approach mark " + std::to_string(r.new_mark) + " in cell " + std::to_string(r.cell) +
                    " replaces the last approach mark of the " + element + " at " + std::to_string(r.old_origin) +
                    " m" + other + ": the driver meets that " + element +
                    " with no announcement at all; moving this element " + std::to_string(shift * 50) +
                    " m on keeps that mark",
                note);
  }
}

DescriptionReader::Next DescriptionReader::slowdown(FieldReader& in, const KeywordMatch& match) {
  SlowdownRecord r;
  for (int32_t* v : {&r.start, &r.speed, &r.length, &r.f_tt, &r.f_ta, &r.d_v}) *v = in.read_int32();
  if (!watch_.position(match.keyword.name, r.start, value_place(1))) return Next::kGoOn;
  if (r.length < 0) {
    watch_.warn(value_place(3), "negative-length",
                "slowdown at " + std::to_string(r.start) + " m has the length " + std::to_string(r.length) +
                    " m: its end lies before its start, so the abbattimento marks due every 400 m along a slowdown "
                    "run on from its start to the end of the line, and the slowdown order gives the length as " +
                    std::to_string(r.length) + " m; give the length as a positive number of metres",
                true);
  }
  if (within_cells("slowdown", r.start) != Next::kGoOn) return Next::kEndPart;
  const int64_t start_cell = element_cell(r.start);
  if (r.length >= 0 && element_cell(static_cast<int64_t>(r.start) + r.length) == start_cell) {
    watch_.warn(value_place(3), "slowdown-borrows-end",
                "slowdown at " + std::to_string(r.start) + " m, " + std::to_string(r.length) +
                    " m long: its end falls into its own start cell " + std::to_string(start_cell) +
                    ", so it has no end cell of its own and ends where the next slowdown ends; give it a length "
                    "of at least 25 m",
                true);
  }
  const std::optional<Refusal> refusal = place_slowdown(st_.cells, r);
  if (!refusal) st_.slowdowns.push_back({r.start, r.length, r.speed});
  return placed(src_.train, refusal, cell_kind::kSlowdownStart, r.start);
}

DescriptionReader::Next DescriptionReader::abbattimento(FieldReader& in, const KeywordMatch& match) {
  const int32_t p = in.read_int32();
  const int32_t w = in.read_int32();
  if (!watch_.position(match.keyword.name, p, value_place(1))) return Next::kGoOn;
  if (within_cells("abbattimento", p) != Next::kGoOn) return Next::kEndPart;
  const int64_t c = nearest(p / 50.0);
  if (!st_.cells.contains(c)) throw RunTimeFailure("`abbattimento` at " + metres(p) + " lies before the line's start");
  if (!st_.cells.at(c).is_free()) return stop_at_taken_cell(src_.train, 7, "abbattimento", p, c);
  if (w > 0) {
    st_.cells.mark(c, cell_kind::kAbbattimento, p);
    note_placed(cell_kind::kAbbattimento, p);
    st_.cells.at(c).abbattimento_value() = fit16(w, "abbattimento value");
  } else {
    st_.cells.mark(c, cell_kind::kAbbattimentoPlain, p);
    note_placed(cell_kind::kAbbattimentoPlain, p);
  }
  return Next::kGoOn;
}

std::string DescriptionReader::station_past_the_end(int32_t position, const StationSlot& slot) const {
  return "`stazione` at " + metres(position) + " (kind " + std::to_string(slot.kind) + ") ends at " + metres(slot.end) +
         ": its stop cell and approach marks would lie past the last track cell " + std::to_string(st_.cell_count) +
         "; move it back or shorten it";
}

// A station's place and time as the author probably did not mean them;
// the station is read as written all the same.
void DescriptionReader::warn_about_station(int32_t position, int32_t hours, int32_t minutes, int32_t seconds,
                                           int32_t time) {
  const FieldPlace line = here();
  const int32_t route_length = st_.table.general.route_length;
  if (position > route_length) {
    watch_.warn(value_place(1), "station-in-tail",
                "station at " + std::to_string(position) + " m lies beyond the route length (" +
                    std::to_string(route_length) +
                    " m), in the 7 000 m every route runs on past its end; a "
                    "station belongs on the route itself");
  }
  if (hours < 0 || hours > 23 || minutes < 0 || minutes > 59 || seconds < 0 || seconds > 59) {
    watch_.warn(value_place(14), "clock-range",
                "station time " + std::to_string(hours) + ", " + std::to_string(minutes) + ", " +
                    std::to_string(seconds) +
                    " is no time of day (hours 0-23, minutes and seconds 0-59); it is "
                    "stored as " +
                    std::to_string(time) + " seconds since midnight");
  }
  // A time of 0 is a place without a stop time (a landmark): not in the
  // timetable's order.
  if (time == 0) return;
  if (previous_station_time_ >= 0 && time < previous_station_time_) {
    watch_.warn(value_place(14), "timetable-order",
                "station time is earlier than the time of the station on line " +
                    std::to_string(previous_station_line_) + ": the timetable goes backwards",
                RelatedPlace{src_.train.name(), previous_timed_station_.line, previous_timed_station_.column,
                             "the station before it"});
  }
  previous_station_time_ = time;
  previous_station_line_ = line.line;
  previous_timed_station_ = line;
}

DescriptionReader::Next DescriptionReader::station(FieldReader& in, const KeywordMatch& match) {
  const int s = station_cursor_;
  if (s < 1 || s > kFirstBoardSlot) throw RunTimeFailure("no table slot is left for a station");
  StationSlot& slot = st_.table.slots[static_cast<std::size_t>(s)];
  const int32_t pos = in.read_int32();
  slot.position = pos;
  if (within_cells("station", pos, 800) != Next::kGoOn) return Next::kEndPart;
  note_placed(cell_kind::kStopCell, pos);
  if (pos % 50 != 0) {
    return stop(src_.train, 8, "station position " + metres(pos) + " is not a multiple of 50", pos, 1);
  }
  slot.kind = in.read_byte();
  const int32_t length = in.read_int32();
  if (length % 100 != 0) {
    return stop(src_.train, 9, "station at " + metres(pos) + ": length " + metres(length) + " is not a multiple of 100",
                pos, 3);
  }
  StationValues& values = slot.values;
  values.record_4 = in.read_byte();
  values.record_5 = in.read_byte();
  slot.end_extension = in.read_byte();
  values.record_7 = in.read_int16();
  values.record_8 = in.read_int16();
  values.record_9 = in.read_byte();
  values.record_10 = in.read_int16();
  values.record_11 = in.read_int16();
  values.record_12 = in.read_int16();
  values.record_13 = in.read_byte();
  const int32_t hours = in.read_int32();
  const int32_t minutes = in.read_int32();
  const int32_t seconds = in.read_int32();
  {
    const int32_t from_hours = checked::mul(hours, 3600, "station time");
    const int32_t from_minutes = checked::mul(minutes, 60, "station time");
    slot.time = checked::add(checked::add(from_hours, from_minutes, "station time"), seconds, "station time");
  }
  slot.text = stored_text(in.read_text().text);
  // Its slot is already filled as read: a station is kept even when its
  // values were shifted (the thousands separator is said all the same).
  (void)watch_.position(match.keyword.name, pos, value_place(1));
  warn_about_station(pos, hours, minutes, seconds, slot.time);
  watch_.stored_text("station name", slot.text, value_place(17));

  const int kind = slot.kind;
  if (kind == 5 || kind == 6) {
    slot.start = checked::sub(pos, length, "station start");
    slot.end = checked::add(pos, 150, "station end");
    slot.end_extension = 0;
  } else if (kind == 7 || kind == 8) {
    slot.start = checked::sub(pos, length, "station start");
    slot.end = checked::add(pos, length, "station end");
    slot.end_extension = 0;
  } else {
    slot.start = fit32(nearest(pos - length / 2.0), "station start");
    slot.end = fit32(nearest(pos + length / 2.0), "station end");
    if (slot.end_extension != 0) slot.end = checked::add(slot.end, 50, "station end");
  }
  if (length < 600) values.record_5 = 0;
  if (s == 1) {
    values.record_5 = 0;
    slot.end_extension = 0;
  }

  const double end_cell = slot.end / 50.0;
  if (kind < 25 && kind != 5 && kind != 6) {
    std::vector<int64_t> marks;
    for (int k = 1; k <= 4; ++k) {
      if (end_cell - k - 1 > 1) {
        if (!st_.cells.contains(nearest(end_cell - k - 1))) throw RunTimeFailure(station_past_the_end(pos, slot));
        st_.cells.set_approach_mark(nearest(end_cell - k - 1), static_cast<uint8_t>(80 + k), pos);
        marks.push_back(nearest(end_cell - k - 1));
      }
    }
    warn_about_replaced_marks(marks);
  }
  if (kind < 25) {
    if (end_cell - 1 <= 1) {
      return stop(src_.train, 24,
                  "station at " + metres(pos) + " ends at " + metres(slot.end) +
                      ": its stop cell would fall at cell 1 or below",
                  {}, 1);
    }
    const int64_t stop_cell = nearest(end_cell - 1);
    if (!st_.cells.contains(stop_cell)) throw RunTimeFailure(station_past_the_end(pos, slot));
    if (!st_.cells.at(stop_cell).is_free()) {
      watch_.warn(here(), "stop-cell-replaces",
                  "the stop cell of the station at " + std::to_string(pos) + " m, cell " + std::to_string(stop_cell) +
                      ", replaces " + st_.cells.occupant(stop_cell) + record_of(stop_cell) +
                      ": that element is lost; move one of the two",
                  record_note(stop_cell), true);
    }
    st_.cells.mark(stop_cell, cell_kind::kStopCell, pos);
    st_.cells.at(stop_cell).table_slot() = static_cast<int16_t>(s);
  }
  if (s > 1) {
    const StationSlot& previous = st_.table.slots[static_cast<std::size_t>(s - 1)];
    if (checked::sub(slot.start, 350, "station start - 350") < previous.end) {
      const int64_t earliest = static_cast<int64_t>(previous.end) + 350;
      stop(src_.train, 22,
           "station at " + metres(pos) + " starts at " + metres(slot.start) + ", less than 350 m after the " +
               "previous station ends at " + metres(previous.end) + ": it may start at " + metres(earliest) +
               " at the earliest, so move it on by " + metres(earliest - slot.start) + " (to " +
               metres(pos + earliest - slot.start) + ") or shorten one of the two",
           pos, 1);
      add_note({src_.train.name(), previous_station_place_.line, previous_station_place_.column,
                "the previous station, which ends at " + metres(previous.end)});
      return Next::kStop;
    }
  }
  previous_station_place_ = here();
  st_.station_records.push_back({pos, s, current_file_, here().line, here().column});
  ++station_cursor_;
  if (station_cursor_ >= board_cursor_) {
    return stop(src_.train, 10,
                "too many stations and line boards: station " + std::to_string(s) + " at " + metres(pos) +
                    " reaches the board slots (at most 78 together)",
                {}, 1);
  }
  return Next::kGoOn;
}

// The cells before the first record of a stretch value keep what the
// reader starts from (0), which an author rarely means.
bool DescriptionReader::first_at_zero(const RecordKeyword& keyword, int64_t position, int& count) {
  if (!watch_.position(keyword.name, position, value_place(1), true)) return false;
  if (count++ == 0 && nearest(position / 50.0) >= 1) {
    const std::string name(keyword.name);
    watch_.warn(value_place(1), "first-not-at-zero",
                "the first `" + name + "` record is at " + metres(position) + ", not 0: the cells before it keep " +
                    std::string(keyword.stretch_value) + " 0; start with `" + name + ", 0, VALUE`");
  }
  return true;
}

void DescriptionReader::chainage_test() {
  for (std::size_t i = 0; i < 3; ++i) {
    const ChainageSystem& system = st_.table.chainage[i];
    if (system.start % 50 != 0 || system.reference % 50 != 0) {
      st_.place = {src_.line.name(), chainage_lines_[i]};
      st_.record_error(2, "chainage system with start " + metres(system.start) + " and reference " +
                              metres(system.reference) + ": both must be multiples of 50");
      return;
    }
  }
}

}  // namespace sb
