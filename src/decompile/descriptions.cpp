#include "decompile/descriptions.h"

#include <algorithm>
#include <array>
#include <functional>
#include <set>
#include <string_view>

#include "reader/chainage.h"
#include "reader/record_keywords.h"

namespace sb {
namespace {

using namespace cell_kind;

// The keyword an author writes for the record `name` of `part` (its
// `which`th spelling: "sfondo due"), from the reader's own table.
std::string keyword(RecordPart part, std::string_view name, std::size_t which = 0) {
  for (const RecordKeyword& row : record_keywords(part)) {
    if (row.name != name) continue;
    const auto written = spellings(row);
    return std::string(written[std::min(which, written.size() - 1)]);
  }
  return std::string(name);
}

std::string num(int64_t v) { return std::to_string(v); }

// A record line: the keyword and its values, a comma and two blanks apart.
class Lines {
 public:
  void add(std::string line) {
    text_ += line;
    text_ += "\r\n";
  }
  void record(const std::string& key, std::initializer_list<std::string> values) {
    std::string line = key;
    for (const std::string& v : values) line += ",  " + v;
    add(std::move(line));
  }
  std::string take() { return std::move(text_); }

 private:
  std::string text_;
};

// A text value as the field reader gives it back: quoted where blanks at
// its ends or a comma would otherwise be lost.
std::string text_field(const std::string& text) {
  const bool plain = text.empty() || (text.front() != ' ' && text.back() != ' ' && text.front() != '"' &&
                                      text.find_first_of(",\r\n") == std::string::npos);
  if (plain || text.find('"') != std::string::npos) return text;
  return "\"" + text + "\"";
}

// The position that puts a point element into `cell`: nearest(p / 50 + 1).
int64_t element_position_of(int64_t cell) { return element_position(cell); }

int64_t highest_cell(const TrackCells& cells) { return cells.size() - 1; }

// A value that holds from each record's position to the next one's, as
// the stretch records fill it: cell 0 from the first record on, up to the
// cell before the last two (one more when a record stands there). The
// first record stands at 0; a gradient needs none there when the line
// starts level, which the reader starts from.
struct StretchRecord {
  int64_t position;
  int64_t value;
};
std::vector<StretchRecord> stretch_records(const TrackCells& cells,
                                           const std::function<int64_t(const TrackCell&)>& value,
                                           bool last_filled_too) {
  const int64_t count = highest_cell(cells);
  const int64_t last = std::max<int64_t>(0, last_filled_too ? count - 2 : count - 3);
  std::vector<StretchRecord> records{{0, value(cells.at(0))}};
  for (int64_t i = 1; i <= last && cells.contains(i); ++i) {
    const int64_t v = value(cells.at(i));
    if (v != records.back().value || (last_filled_too && i == last)) records.push_back({50 * i, v});
  }
  return records;
}

// The gradient and the montagna cells past the filled stretch hold 0; a
// value there was filled by a record standing at the last position read.
bool past_last_filled(const TrackCells& cells, const std::function<int64_t(const TrackCell&)>& value) {
  const int64_t at = highest_cell(cells) - 2;
  return at >= 1 && cells.contains(at) && value(cells.at(at)) != 0;
}

void chainage_records(Lines& out, const ScenarioTable& table) {
  // The reader orders the systems by start and raises a falling system's
  // reference by 100: the first assignment of the stored systems to the
  // records "uno", "due", "tre" that the reader orders back into them.
  std::array<ChainageSystem, 3> written{};
  for (std::size_t i = 0; i < 3; ++i) {
    written[i] = table.chainage[i];
    if (written[i].direction == 1) written[i].reference -= 100;
  }
  // written[order[k]] goes to record k ("uno", "due", "tre"). Tried first:
  // the systems as an author numbers them, along the line, the empty ones
  // last.
  std::array<int, 3> preferred{0, 1, 2};
  auto empty = [&](int i) { return written[static_cast<std::size_t>(i)] == ChainageSystem{}; };
  std::stable_sort(preferred.begin(), preferred.end(), [&](int a, int b) {
    if (empty(a) != empty(b)) return empty(b);
    return written[static_cast<std::size_t>(a)].start < written[static_cast<std::size_t>(b)].start;
  });
  std::vector<std::array<int, 3>> orders{preferred};
  std::array<int, 3> order{0, 1, 2};
  do {
    if (order != preferred) orders.push_back(order);
  } while (std::next_permutation(order.begin(), order.end()));
  std::array<int, 3> chosen = {0, 1, 2};
  for (const std::array<int, 3>& candidate : orders) {
    // The reader holds them as "tre", "due", "uno".
    std::array<ChainageSystem, 3> read{written[static_cast<std::size_t>(candidate[2])],
                                       written[static_cast<std::size_t>(candidate[1])],
                                       written[static_cast<std::size_t>(candidate[0])]};
    try {
      order_chainage_systems(read);
    } catch (...) {
      continue;
    }
    if (read == table.chainage) {
      chosen = candidate;
      break;
    }
  }
  for (std::size_t k = 0; k < 3; ++k) {
    const ChainageSystem& s = written[static_cast<std::size_t>(chosen[k])];
    out.record(keyword(RecordPart::kLineGeneral, "progressiva chilometrica", k),
               {num(s.start), num(s.reference), num(s.direction)});
  }
}

void repetition_record(Lines& out, const TrainSlot& train) {
  std::string key = keyword(RecordPart::kLineGeneral, "ripetizione segnali");
  if (train.cab_signal_codes == 9) std::replace(key.begin(), key.end(), '4', '9');
  out.record(key, {num(train.repetition_start), num(train.repetition_end)});
}

void curve_records(Lines& out, const std::vector<CurveRun>& curves) {
  const std::string key = keyword(RecordPart::kLineMain, "curva");
  for (const CurveRun& run : curves) {
    out.record(key + (run.side < 0 ? "s" : "d") + num(run.klass), {num(run.start), num(run.length)});
  }
}

void gradient_records(Lines& out, const TrackCells& cells) {
  auto gradient = [](const TrackCell& c) -> int64_t { return c.gradient; };
  const std::string key = keyword(RecordPart::kLineMain, "pendenza");
  constexpr int64_t kLevel = 100;  // gradient 0
  const std::vector<StretchRecord> records = stretch_records(cells, gradient, past_last_filled(cells, gradient));
  for (const StretchRecord& r : records) {
    if (r.position == 0 && r.value == kLevel) continue;
    out.record(key, {num(r.position), num(r.value - kLevel)});
  }
}

// Runs of one montagna type; a type above 10 as written puts a mark into
// every fourth free cell of its span.
void montagna_records(Lines& out, const TrackCells& cells) {
  const std::string key = keyword(RecordPart::kLineMain, "montagna");
  const int64_t last = highest_cell(cells);
  for (int64_t first = 0; first <= last;) {
    const uint8_t type = cells.at(first).montagna_type;
    int64_t end = first;
    bool marks = false;
    while (end <= last && cells.at(end).montagna_type == type) {
      marks = marks || cells.at(end).kind == kMontagnaMark;
      ++end;
    }
    if (type != 0) {
      const int64_t written = marks ? type + 10 : (type <= 10 ? type : type - 256);
      out.record(key, {num(50 * first), num(50 * end), num(written)});
    }
    first = end;
  }
}

// The field of a value that is 0 on the right-hand board: left empty, as
// the built-in boards have it.
std::string right_value(int64_t v) { return v == 0 ? "" : num(v); }

void speed_board_records(Lines& out, const TrackCells& cells) {
  const std::string key = keyword(RecordPart::kLineMain, "indicatori_vmax");
  for (int64_t g = 0; g <= highest_cell(cells); ++g) {
    const TrackCell& c = cells.at(g);
    if (c.kind != kSpeedBoard) continue;
    std::array<BoardSpeed, 3> speed{};
    for (int rank = 0; rank < 3; ++rank)
      speed[static_cast<std::size_t>(rank)] = unpack_board_speed(c.board_speed(rank));
    const int64_t left_stripes = c.board_stripes() / 10;
    const int64_t right_stripes = c.board_stripes() - 10 * left_stripes;
    out.record(key, {num(element_position_of(g)), num(speed[0].left), num(speed[1].left), num(speed[2].left),
                     num(left_stripes), right_value(speed[0].right), right_value(speed[1].right),
                     right_value(speed[2].right), num(right_stripes)});
  }
}

// Line boards take the table slots from 80 down in reading order.
void line_board_records(Lines& out, const TrackCells& cells, const ScenarioTable& table) {
  std::vector<std::pair<int, int64_t>> boards;  // slot, cell
  for (int64_t g = 0; g <= highest_cell(cells); ++g) {
    if (cells.at(g).kind == kLineBoard) boards.emplace_back(cells.at(g).table_slot(), g);
  }
  std::sort(boards.begin(), boards.end(), [](const auto& a, const auto& b) {
    return a.first > b.first || (a.first == b.first && a.second < b.second);
  });
  const std::string key = keyword(RecordPart::kLineMain, "cartello_indicatore");
  for (const auto& [slot, g] : boards) {
    const std::string text =
        slot >= 0 && slot <= kFirstBoardSlot ? table.slots[static_cast<std::size_t>(slot)].text : "";
    out.add(key + ",  " + num(element_position_of(g)) + ",     " + text_field(text));
  }
}

// Stations fill the slots from 1 up; the slots of the line boards are the
// ones the board cells name.
int station_count(const TrackCells& cells, const ScenarioTable& table) {
  std::set<int> board_slots;
  for (const TrackCell& c : cells.cells()) {
    if (c.kind == kLineBoard) board_slots.insert(c.table_slot());
  }
  int count = 0;
  for (int s = 1; s <= kFirstBoardSlot; ++s) {
    if (board_slots.count(s) == 0 && !(table.slots[static_cast<std::size_t>(s)] == StationSlot{})) count = s;
  }
  return count;
}

void station_records(Lines& out, const TrackCells& cells, const ScenarioTable& table) {
  const std::string key = keyword(RecordPart::kTrain, "stazione");
  const int stations = station_count(cells, table);
  for (int s = 1; s <= stations; ++s) {
    const StationSlot& slot = table.slots[static_cast<std::size_t>(s)];
    // Worked out from the start, as the reader works the start out from
    // the length.
    const bool behind = slot.kind >= 5 && slot.kind <= 8;
    const int64_t length = behind ? int64_t{slot.position} - slot.start : 2 * (int64_t{slot.position} - slot.start);
    // The first station's flag is cleared after its end was moved on: the
    // end tells.
    const bool extended = !behind && int64_t{slot.end} - slot.position > int64_t{slot.position} - slot.start;
    const int64_t extension = behind ? 0 : (slot.end_extension != 0 ? slot.end_extension : (extended ? 1 : 0));
    const StationValues& v = slot.values;
    const int64_t time = slot.time;
    const int64_t hours = time >= 0 ? time / 3600 : 0;
    const int64_t minutes = time >= 0 ? time / 60 % 60 : 0;
    const int64_t seconds = time >= 0 ? time % 60 : time;
    std::string line = key;
    for (int64_t value :
         {int64_t{slot.position}, int64_t{slot.kind}, length, int64_t{v.record_4}, int64_t{v.record_5}, extension,
          int64_t{v.record_7}, int64_t{v.record_8}, int64_t{v.record_9}, int64_t{v.record_10}, int64_t{v.record_11},
          int64_t{v.record_12}, int64_t{v.record_13}, hours, minutes, seconds}) {
      line += ",  " + num(value);
    }
    out.add(line + ",   " + text_field(slot.text));
  }
}

// The slowdown's end cell: the first end cell after its start that carries
// its values and no other slowdown took.
int64_t slowdown_end(const TrackCells& cells, int64_t start, std::set<int64_t>& taken) {
  const TrackCell& b = cells.at(start);
  int64_t any = -1;
  for (int64_t e = start + 1; e <= highest_cell(cells); ++e) {
    const TrackCell& c = cells.at(e);
    if (c.kind != kSlowdownEnd || taken.count(e) != 0) continue;
    if (any < 0) any = e;
    if (c.slowdown_speed() == b.slowdown_speed() && c.slowdown_f_tt() == b.slowdown_f_tt() &&
        c.slowdown_d_v() == b.slowdown_d_v()) {
      taken.insert(e);
      return e;
    }
  }
  if (any >= 0) taken.insert(any);
  return any < 0 ? start : any;
}

void slowdown_records(Lines& out, const TrackCells& cells) {
  const std::string key = keyword(RecordPart::kTrain, "rallentamento");
  std::set<int64_t> ends;
  for (int64_t b = 0; b <= highest_cell(cells); ++b) {
    const TrackCell& c = cells.at(b);
    if (c.kind != kSlowdownStart) continue;
    // Only a slowdown past 1500 m has a warning cell, 24 cells before it.
    const bool warned = b >= 24 && cells.at(b - 24).kind == kSlowdownWarning;
    int64_t x = element_position_of(b);
    for (int64_t shift : {0, 20, -20}) {
      if (element_cell(x + shift) == b && (x + shift > 1500) == warned) {
        x += shift;
        break;
      }
    }
    const int64_t approach = nearest(static_cast<double>(x - 1200) / 50.0);
    const bool approached = warned && cells.contains(approach) && cells.at(approach).kind == kSlowdownApproach;
    const int64_t e = slowdown_end(cells, b, ends);
    out.record(key, {num(x), num(c.slowdown_speed()), num(element_position_of(e) - x), num(c.slowdown_f_tt()),
                     num(approached ? 1 : 0), num(c.slowdown_d_v())});
  }
}

// The sides of a signal (left type * 3 + right type): the value whose
// approach marks, low 8 bits of sides * 10 + j in the cell 2 * j before
// it, the cells hold, and that leaves a whole number of tens in the
// combined code; the one nearest 0 where several do. Without a mark that
// fits (another element's replaced them all), the last digit of the code.
int64_t signal_sides(const TrackCells& cells, int64_t g, int64_t code) {
  for (int64_t j = 1; j <= 4; ++j) {
    if (!cells.contains(g - 2 * j)) continue;
    const uint8_t mark = cells.at(g - 2 * j).approach_mark;
    for (int64_t distance = 0; distance <= 128; ++distance) {
      for (int64_t sides : {distance, -distance}) {
        if (low8(sides * 10 + j) == mark && (code - sides) % 10 == 0) return sides;
      }
    }
  }
  return ((code % 10) + 10) % 10;
}

void signal_records(Lines& out, const TrackCells& cells) {
  const std::string key = keyword(RecordPart::kTrain, "segnale");
  for (int64_t g = 0; g <= highest_cell(cells); ++g) {
    const TrackCell& c = cells.at(g);
    if (c.kind != kSignal) continue;
    const int64_t code = c.signal_code();
    const int64_t sides = signal_sides(cells, g, code);
    const int64_t combined = (code - sides) / 10;
    // Only a signal whose left type is 2 keeps its time.
    int64_t left_type = sides >= 0 ? sides / 3 : 0;
    if (c.signal_time != 0 || (sides >= 6 && sides <= 8)) left_type = 2;
    const int64_t right_type = sides - 3 * left_type;
    int64_t time = c.signal_time;
    if (time >= 1 && time <= 100) time += 256;
    std::array<int64_t, 3> left{}, right{};
    for (int n = 1; n <= 3; ++n) {
      const int64_t a = c.signal_aspect(n);
      left[static_cast<std::size_t>(n - 1)] = a / 10;
      right[static_cast<std::size_t>(n - 1)] = a - 10 * (a / 10);
    }
    out.record(key, {num(element_position_of(g)), num(left_type), num(left[0]), num(left[1]), num(left[2]),
                     num(combined), num(right_type), num(right[0]), num(right[1]), num(right[2]), num(time)});
  }
}

}  // namespace

std::string line_description(const RecoveredScenario& scenario, bool with_curves) {
  const ScenarioTable& table = scenario.table;
  Lines out;
  out.add("[generale]");
  out.record(keyword(RecordPart::kLineGeneral, "lunghezza percorso"), {num(table.general.route_length)});
  chainage_records(out, table);
  for (std::size_t k = 0; k < 3; ++k) {
    out.record(keyword(RecordPart::kLineGeneral, "sfondo", k), {num(table.route.scenery[k])});
  }
  repetition_record(out, table.train);
  out.add("[curve]");
  if (with_curves) curve_records(out, scenario.curves);
  out.add("[pendenze]");
  gradient_records(out, scenario.cells);
  out.add("[montagne]");
  montagna_records(out, scenario.cells);
  out.add("[cartelli]");
  speed_board_records(out, scenario.cells);
  out.add("[indicazioni]");
  line_board_records(out, scenario.cells, table);
  out.add("[fine]");
  return out.take();
}

std::string train_description(const RecoveredScenario& scenario, const std::vector<AbbattimentoRecord>& marks) {
  const ScenarioTable& table = scenario.table;
  const TrackCells& cells = scenario.cells;
  Lines out;
  out.add("[generale]");
  out.record(keyword(RecordPart::kTrain, "numero vetture"), {num(table.general.coaches)});
  out.record(keyword(RecordPart::kTrain, "percentuale massa frenata"), {num(table.general.braked_mass)});
  out.record(keyword(RecordPart::kTrain, "sabbia"), {num(table.train.sand)});
  out.add(keyword(RecordPart::kTrain, "orologio") + ",     " + num(table.train.clock_hours) + "               " +
          num(table.train.clock_minutes) + "            " + num(table.train.clock_seconds));
  out.add("[aderenze]");
  auto adhesion = [](const TrackCell& c) -> int64_t { return c.adhesion; };
  for (const StretchRecord& r : stretch_records(cells, adhesion, past_last_filled(cells, adhesion))) {
    out.record(keyword(RecordPart::kTrain, "aderenza"), {num(r.position), num(r.value)});
  }
  out.add("[vel_limite]");
  auto speed = [](const TrackCell& c) -> int64_t { return c.speed_code; };
  for (const StretchRecord& r : stretch_records(cells, speed, past_last_filled(cells, speed))) {
    out.record(keyword(RecordPart::kTrain, "velocita"), {num(r.position), num(r.value * 5)});
  }
  out.add("[stazioni]");
  station_records(out, cells, table);
  out.add("[rallentamenti]");
  slowdown_records(out, cells);
  out.add("[segnali]");
  signal_records(out, cells);
  out.add("[codici]");
  std::vector<AbbattimentoRecord> sorted = marks;
  std::sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) { return a.cell < b.cell; });
  for (const AbbattimentoRecord& m : sorted) {
    out.record(keyword(RecordPart::kTrain, "abbattimento"), {num(50 * m.cell), num(m.value)});
  }
  out.add("[fine]");
  return out.take();
}

}  // namespace sb
