#include "reader/reader.h"

#include <array>
#include <optional>

#include "driver/arith.h"
#include "driver/files.h"
#include "reader/chainage.h"
#include "reader/recorders.h"
#include "source/field_reader.h"

namespace sb {

bool FileSource::load(std::string& bytes) { return read_file(path_, bytes); }

void FileSource::remove() {
  if (delete_) delete_file(path_);
}

namespace {

constexpr int64_t kPlanLimit = 1000000;
constexpr int kGeneralDashLimit = 10;
constexpr int kDashLimit = 2;

std::string metres(int64_t p) { return std::to_string(p) + " m"; }

// Reading stops here: memorizza_dati returns with what it has stored.
struct Stop {};

class Reader {
 public:
  Reader(ScenarioState& state, DescriptionSources sources) : st_(state), src_(sources) {}

  void run() {
    try {
      if (!read_line_file()) return;
      read_train_file();
    } catch (const Stop&) {
    } catch (const RunTimeFailure& failure) {
      // A field that cannot be read points at its own line; any other
      // failure at the record being handled.
      if (active_ != nullptr && dynamic_cast<const ReadingFailure*>(&failure) != nullptr) {
        st_.place.line = active_->line();
      }
      st_.record(25, std::string("reading failure: ") + failure.what());
      src_.line.remove();
      src_.train.remove();
    }
  }

 private:
  // --- shared helpers -----------------------------------------------------

  // Called for every keyword field: the name is copied into the string
  // already there, so no field costs an allocation.
  void at_field(const DescriptionSource& source, const Field& field) {
    st_.place.file = source.name();
    st_.place.line = field.line;
  }

  // The range test of a position: its cell (with a margin of `margin`
  // metres) must not pass the last cell.
  bool in_range(int64_t p, int64_t margin = 100) const {
    return static_cast<double>(st_.cell_count) >= static_cast<double>(p + margin) / 50.0;
  }

  // The range test; a position that fails it is recorded as code 15.
  bool within_cells(const char* what, int64_t p, int64_t margin = 100) {
    if (in_range(p, margin)) return true;
    record_beyond(what, p, margin);
    return false;
  }

  void record_beyond(const char* what, int64_t p, int64_t margin = 100) {
    st_.record(15,
               std::string(what) + " at " + metres(p) + " lies beyond the last track cell " +
                   std::to_string(st_.cell_count) + " (positions up to " +
                   metres(50LL * st_.cell_count - margin) + " are accepted)",
               static_cast<int32_t>(p));
  }

  // Stops reading with `code`, after removing the file being read.
  [[noreturn]] void stop(DescriptionSource& source, int32_t code, std::string message,
                         std::optional<int32_t> position = std::nullopt) {
    source.remove();
    st_.record(code, std::move(message), position);
    throw Stop{};
  }

  // A keyword field after the dash rule: a field holding "-" is replaced
  // by the next one, up to `limit` times. Returns false when the file ends
  // (only when `end_test` is set; otherwise reading on past the end fails).
  bool dash_rule(FieldReader& in, Field& field, int limit, bool end_test) {
    for (int i = 0; i < limit && contains(field.text, "-"); ++i) {
      field = in.read_text();
      if (end_test && in.at_end()) return false;
    }
    return true;
  }

  std::string stored_text(std::string_view text) {
    if (text.size() > 65535) throw RunTimeFailure("a text of more than 65535 characters");
    return std::string(text);
  }

  // --- the line description ----------------------------------------------

  bool read_line_file() {
    st_.scenario_table[kRouteSlot].text = st_.route_name;
    st_.scenario_table[kTrainSlot].text = st_.train_number;
    if (!src_.line.load(line_bytes_)) {
      st_.record_unplaced(101, "line description file " + src_.line.name() + " not found");
      return false;
    }
    line_in_.emplace(line_bytes_);
    FieldReader& in = *line_in_;
    active_ = &in;
    st_.place = {src_.line.name(), 1};
    for (;;) {
      Field field = in.read_text();
      if (in.at_end()) {
        st_.place = {src_.line.name(), in.line()};
        stop(src_.line, 102, "no \"[generale]\" field before the end of the file");
      }
      if (contains_any_case(field.text, "[generale]")) break;
    }
    try {
      read_general_part(in);
    } catch (...) {
      create_pending_cells();
      throw;
    }
    create_pending_cells();

    progressive_ordina(st_, &chainage_lines_);
    st_.montagna_count = 0;
    if (st_.geometry_flag != 0) {
      st_.plan_grid.set_whole(0, 0, 0);
      st_.plan_grid.set_whole(0, 1, 0);
      st_.plan_grid.set_whole(1, 0, 0);
      st_.plan_grid.set_whole(1, 1, 1);  // heading along the second coordinate
    }
    read_main_part(in);

    src_.line.remove();
    gradient_tail();
    if (st_.geometry_flag != 0) straight_until(static_cast<int64_t>(st_.total_metres) - 2);
    return true;
  }

  void read_general_part(FieldReader& in) {
    for (;;) {
      if (in.at_end()) return;
      Field field = in.read_text();
      if (in.at_end()) return;
      dash_rule(in, field, kGeneralDashLimit, false);
      at_field(src_.line, field);
      std::string_view f = field.text;

      if (contains_any_case(f, "lunghezza") && contains_any_case(f, "percorso")) route_length(in);
      static constexpr std::string_view kSystems[3] = {"tre", "due", "uno"};
      for (int i = 0; i < 3; ++i) {
        if (contains(f, "progressiva") && contains(f, kSystems[i])) {
          TableRecord& slot = st_.scenario_table[static_cast<std::size_t>(kChainageSlotThree + i)];
          slot.start = in.read_int32();
          slot.end = in.read_int32();
          slot.position = in.read_int32();
          chainage_lines_[static_cast<std::size_t>(i)] = field.line;
        }
      }
      TableRecord& route = st_.scenario_table[kRouteSlot];
      if (contains(f, "sfondo") && contains(f, "uno")) route.start = in.read_int32();
      if (contains(f, "sfondo") && contains(f, "due")) route.position = in.read_int32();
      if (contains(f, "sfondo") && contains(f, "tre")) route.end = in.read_int32();
      if (contains(f, "ripetizione") && contains(f, "segnali")) repetition(in, f);

      std::size_t first = f.find_first_not_of(' ');
      if (contains(f, "[") && contains(f, "]") && first != std::string_view::npos && f[first] != '-') return;
    }
  }

  void route_length(FieldReader& in) {
    int32_t length = in.read_int32();
    st_.scenario_table[kGeneralSlot].end = length;
    if (length > 1000000) {
      stop(src_.line, 1, "route length " + metres(length) + " is above 1000000 m");
    }
    // The record creates the cells anew: when that fails, the cells of an
    // earlier record are gone too.
    cells_pending_ = false;
    st_.total_metres = checked::add(length, 7000, "route length + 7000");
    st_.cell_count = static_cast<int32_t>(nearest(static_cast<double>(st_.total_metres) / 50.0));
    if (st_.cell_count < 0) {
      throw RunTimeFailure("route length " + metres(length) + " leaves no track: it must be at least -7000 m");
    }
    // Nothing in the general part touches the cells or the plan, so they
    // are created once, when it ends, for the last route length read.
    cells_pending_ = true;
  }

  void create_pending_cells() {
    if (!cells_pending_) return;
    cells_pending_ = false;
    st_.track_cells.create(st_.cell_count);
    if (st_.geometry_flag != 0) st_.plan_grid.create(st_.total_metres);
  }

  void repetition(FieldReader& in, std::string_view f) {
    TableRecord& slot = st_.scenario_table[kTrainSlot];
    slot.start = in.read_int32();
    slot.end = in.read_int32();
    if (slot.start % 50 != 0) {
      stop(src_.line, 3, "first signal-repetition position " + metres(slot.start) + " is not a multiple of 50");
    }
    if (slot.end % 50 != 0) {
      stop(src_.line, 4, "second signal-repetition position " + metres(slot.end) + " is not a multiple of 50");
    }
    if (contains(f, "4")) {
      slot.position = 4;
    } else if (contains(f, "9")) {
      slot.position = 9;
    } else {
      stop(src_.line, 5, "signal-repetition keyword names neither 4 nor 9 cab-signal codes");
    }
    if (slot.end == 0) slot.position = 0;
  }

  void read_main_part(FieldReader& in) {
    for (;;) {
      if (in.at_end()) return;
      Field field = in.read_text();
      if (in.at_end()) return;
      if (!dash_rule(in, field, kDashLimit, true)) return;
      at_field(src_.line, field);
      std::string_view f = field.text;

      if (contains_any_case(f, "pendenza") && !gradient(in)) return;
      if (st_.geometry_flag != 0 && contains_any_case(f, "curva") && !curve(in, f)) return;
      if (contains_any_case(f, "montagna") && !montagna(in)) return;
      if (contains_any_case(f, "indicatori_v") && !speed_board(in)) return;
      if (contains_any_case(f, "cartello") && contains_any_case(f, "indicat") && !line_board(in)) return;
    }
  }

  void set_gradient(int64_t cell, int32_t gradient) {
    const int32_t stored = checked::add(gradient, 100, "gradient + 100");
    if (stored < 0 || stored > 255) {
      throw RunTimeFailure("gradient " + std::to_string(gradient) + " does not fit (-100 to 155)");
    }
    st_.track_cells.at(cell).gradient = static_cast<uint8_t>(stored);
  }

  // Each returns false when the main part ends.
  bool gradient(FieldReader& in) {
    int32_t p = in.read_int32();
    int32_t g = in.read_int32();
    if (!within_cells("gradient", p)) return false;
    int64_t n = nearest(p / 50.0);
    if (n >= 1) {
      do {
        set_gradient(gradient_cursor_, previous_gradient_);
        ++gradient_cursor_;
      } while (gradient_cursor_ < n);
    }
    previous_gradient_ = g;
    return true;
  }

  void gradient_tail() {
    do {
      set_gradient(gradient_cursor_, previous_gradient_);
      ++gradient_cursor_;
    } while (gradient_cursor_ < static_cast<int64_t>(st_.cell_count) - 2);
  }

  bool curve(FieldReader& in, std::string_view f) {
    int32_t s = in.read_int32();
    int32_t l = in.read_int32();
    if (!within_cells("curve", s)) return false;
    static constexpr double kCurvature[6] = {0.0001, 0.0002, 0.0004, 0.001, 0.002, 0.003};
    double k = 0.0;
    bool classed = false;
    for (int c = 0; c < 6 && !classed; ++c) {
      if (f.find(static_cast<char>('1' + c)) != std::string_view::npos) {
        k = kCurvature[c];
        classed = true;
      }
    }
    if (!classed) stop(src_.line, 103, "curve keyword has no curvature class digit 1 to 6");
    if (contains_any_case(f, "s")) k = -k;
    plan_steps(s, 0.0, false, true);
    plan_steps(checked::add(s, l, "curve end"), k, true, true);
    return true;
  }

  void straight_until(int64_t last) { plan_steps(last, 0.0, false, false); }

  // Integrates the plan from the plan cursor up to metre `until`. Each step
  // repeats the previous metre's step vector, turned by k in a curve; the
  // vector is not rescaled.
  void plan_steps(int64_t until, double k, bool curved, bool limit_test) {
    PlanGrid& plan = st_.plan_grid;
    const int64_t last = plan.exists() ? plan.last_metre() : -1;
    double* x = plan.raw_values(0);
    double* y = plan.raw_values(1);
    PlanTag* tx = plan.raw_tags(0);
    PlanTag* ty = plan.raw_tags(1);
    int64_t c = plan_cursor_;
    // The two metres before the cursor are carried from step to step rather
    // than read back from the grid.
    double x1 = 0.0, x2 = 0.0, y1 = 0.0, y2 = 0.0;
    if (c <= until && c <= last) {
      x1 = x[c - 1], x2 = x[c - 2], y1 = y[c - 1], y2 = y[c - 2];
    }
    while (c <= until) {
      if (c > last) {
        plan_cursor_ = c;
        throw RunTimeFailure("the plan would pass its last metre " + std::to_string(last) + " at metre " +
                             std::to_string(c));
      }
      auto i = static_cast<std::size_t>(c);
      double d0 = x1 - x2;
      double d1 = y1 - y2;
      x2 = x1;
      y2 = y1;
      if (curved) {
        x1 = x1 + (d0 + k * d1);
        y1 = y1 + (d1 - k * d0);
      } else {
        x1 = x1 + d0;
        y1 = y1 + d1;
      }
      x[i] = x1;
      y[i] = y1;
      tx[i] = PlanTag::kReal;
      ty[i] = PlanTag::kReal;
      ++c;
      if (limit_test && c > kPlanLimit) {
        plan_cursor_ = c;
        stop(src_.line, 103, "the line plan passes metre 1000000");
      }
    }
    plan_cursor_ = c;
  }

  bool montagna(FieldReader& in) {
    MontagnaRecord r;
    r.inizio = in.read_int32();
    r.fine = in.read_int32();
    r.tipo = in.read_int32();
    if (!within_cells("montagna span", r.inizio)) return false;
    memo_montagna(st_, r);
    refused_by_recorder(src_.line, r.inizio);
    return true;
  }

  bool speed_board(FieldReader& in) {
    SpeedBoardRecord r;
    for (int32_t* v : {&r.posizione, &r.vas, &r.vbs, &r.vcs, &r.strisces, &r.vad, &r.vbd, &r.vcd, &r.strisced})
      *v = in.read_int32();
    if (!within_cells("speed-limit board", r.posizione)) return false;
    memo_indicatori_v_max(st_, r);
    refused_by_recorder(src_.line, r.posizione);
    return true;
  }

  // After a recorder: a code in the records means the element was refused
  // (or a code 15 of the line part is still there); reading stops.
  void refused_by_recorder(DescriptionSource& source, int32_t position) {
    if (st_.error_code > 0) {
      source.remove();
      st_.error_position = position;
      // A recorder's condition has no position of its own: it is the
      // record's. (A code 15 kept from the line part keeps its own.)
      if (!st_.diagnostics.empty()) {
        Diagnostic& last = st_.diagnostics.back();
        if (!last.position && last.code == st_.error_code) last.position = position;
      }
      throw Stop{};
    }
  }

  bool line_board(FieldReader& in) {
    int32_t p = in.read_int32();
    Field text = in.read_text();
    if (!within_cells("line board", p)) return false;
    int64_t b = element_cell(p);
    if (!st_.track_cells.at(b).is_free()) {
      stop(src_.line, 6,
           "line board at " + metres(p) + " falls into cell " + std::to_string(b) + ", already taken by " +
               occupant(st_, b),
           p);
    }
    place(st_, b, cell_kind::kLineBoard, p);
    st_.track_cells.at(b).value = low16(board_cursor_);
    if (board_cursor_ < 0) throw RunTimeFailure("more than 81 line boards: no table slot is left");
    st_.scenario_table[static_cast<std::size_t>(board_cursor_)].text = stored_text(text.text);
    --board_cursor_;
    return true;
  }

  // --- the train description ---------------------------------------------

  void read_train_file() {
    if (!src_.train.load(train_bytes_)) {
      st_.place = {src_.train.name(), 0};
      throw RunTimeFailure("train description file " + src_.train.name() + " not found");
    }
    train_in_.emplace(train_bytes_);
    FieldReader& in = *train_in_;
    active_ = &in;
    st_.place = {src_.train.name(), 1};
    while (!in.at_end()) {
      if (contains_any_case(in.read_text().text, "[generale]")) break;
    }
    read_train_records(in);

    src_.train.remove();
    do {
      st_.track_cells.at(speed_cursor_).speed_code = speed_code(previous_speed_);
      ++speed_cursor_;
    } while (speed_cursor_ < static_cast<int64_t>(st_.cell_count) - 2);
    do {
      st_.track_cells.at(adhesion_cursor_).adhesion = low8(previous_adhesion_);
      ++adhesion_cursor_;
    } while (adhesion_cursor_ < static_cast<int64_t>(st_.cell_count) - 2);
    chainage_test();
  }

  void read_train_records(FieldReader& in) {
    for (;;) {
      if (in.at_end()) return;
      Field field = in.read_text();
      if (in.at_end()) return;
      if (!dash_rule(in, field, kDashLimit, true)) return;
      at_field(src_.train, field);
      std::string_view f = field.text;
      TableRecord& general = st_.scenario_table[kGeneralSlot];
      TableRecord& train = st_.scenario_table[kTrainSlot];

      if (contains_any_case(f, "frenata") && contains_any_case(f, "massa")) general.start = in.read_int32();
      if (contains_any_case(f, "vetture")) general.position = in.read_int32();
      if (contains_any_case(f, "velocit") && !speed(in)) return;
      if (contains_any_case(f, "aderenza") && !adhesion(in)) return;
      if (contains_any_case(f, "orologio")) {
        train.attribute_10 = in.read_int16();
        train.attribute_11 = in.read_int16();
        train.attribute_12 = in.read_int16();
      }
      if (contains_any_case(f, "sabbia")) train.attribute_7 = in.read_int16();
      if (contains_any_case(f, "segnale") && !signal(in)) return;
      if (contains_any_case(f, "rallentamento") && !slowdown(in)) return;
      if (contains_any_case(f, "abbattimento") && !abbattimento(in)) return;
      if (contains_any_case(f, "stazione") && !station(in)) return;
    }
  }

  uint8_t speed_code(int64_t speed) {
    int64_t code = nearest(speed / 5.0);
    if (code < 0 || code > 255) {
      // The limit is stored only when the next record fills up to it: point
      // at the record that gave it.
      st_.place.line = previous_speed_line_;
      throw RunTimeFailure("speed limit " + std::to_string(speed) + " km/h cannot be stored (0 to 1277 km/h)");
    }
    return static_cast<uint8_t>(code);
  }

  bool speed(FieldReader& in) {
    int32_t p = in.read_int32();
    int32_t v = in.read_int32();
    if (!within_cells("speed limit", p)) return false;
    int64_t n = nearest(p / 50.0);
    if (n >= 1) {
      do {
        if (speed_cursor_ >= st_.cell_count) break;
        st_.track_cells.at(speed_cursor_).speed_code = speed_code(previous_speed_);
        ++speed_cursor_;
      } while (speed_cursor_ < n);
    }
    previous_speed_ = v;
    previous_speed_line_ = st_.place.line;
    return true;
  }

  bool adhesion(FieldReader& in) {
    int32_t p = in.read_int32();
    int32_t a = in.read_int32();
    if (!within_cells("adhesion", p)) return false;
    int64_t n = nearest(p / 50.0);
    if (n >= 1) {
      do {
        st_.track_cells.at(adhesion_cursor_).adhesion = low8(previous_adhesion_);
        ++adhesion_cursor_;
      } while (adhesion_cursor_ < n);
    }
    previous_adhesion_ = a;
    return true;
  }

  bool signal(FieldReader& in) {
    SignalRecord r;
    for (int32_t* v : {&r.posizione, &r.sx, &r.s1, &r.s2, &r.s3, &r.rapp, &r.dx, &r.d1, &r.d2, &r.d3, &r.tempo})
      *v = in.read_int32();
    if (!within_cells("signal", r.posizione)) return false;
    memo_segnale(st_, r);
    refused_by_recorder(src_.train, r.posizione);
    return true;
  }

  bool slowdown(FieldReader& in) {
    SlowdownRecord r;
    for (int32_t* v : {&r.x, &r.v, &r.l, &r.f_tt, &r.f_ta, &r.d_v}) *v = in.read_int32();
    if (!within_cells("slowdown", r.x)) return false;
    memo_rallentamento(st_, r);
    refused_by_recorder(src_.train, r.x);
    return true;
  }

  bool abbattimento(FieldReader& in) {
    int32_t p = in.read_int32();
    int32_t w = in.read_int32();
    if (!within_cells("abbattimento", p)) return false;
    int64_t c = nearest(p / 50.0);
    if (!st_.track_cells.at(c).is_free()) {
      stop(src_.train, 7,
           "abbattimento at " + metres(p) + " falls into cell " + std::to_string(c) + ", already taken by " +
               occupant(st_, c),
           p);
    }
    if (w > 0) {
      place(st_, c, cell_kind::kAbbattimento, p);
      st_.track_cells.at(c).value = fit16(w, "abbattimento value");
    } else {
      place(st_, c, cell_kind::kAbbattimentoPlain, p);
    }
    return true;
  }

  bool station(FieldReader& in) {
    const int s = station_cursor_;
    if (s < 1 || s >= kTableSlots) throw RunTimeFailure("no table slot is left for a station");
    TableRecord& slot = st_.scenario_table[static_cast<std::size_t>(s)];
    const int32_t pos = in.read_int32();
    slot.position = pos;
    if (!within_cells("station", pos, 800)) return false;
    if (pos % 50 != 0) stop(src_.train, 8, "station position " + metres(pos) + " is not a multiple of 50", pos);
    slot.kind = in.read_byte();
    const int32_t length = in.read_int32();
    if (length % 100 != 0) {
      stop(src_.train, 9,
           "station at " + metres(pos) + ": length " + metres(length) + " is not a multiple of 100", pos);
    }
    slot.attribute_4 = in.read_byte();
    slot.attribute_5 = in.read_byte();
    slot.end_extension = in.read_byte();
    slot.attribute_7 = in.read_int16();
    slot.attribute_8 = in.read_int16();
    slot.attribute_9 = in.read_byte();
    slot.attribute_10 = in.read_int16();
    slot.attribute_11 = in.read_int16();
    slot.attribute_12 = in.read_int16();
    slot.attribute_13 = in.read_byte();
    const int32_t hours = in.read_int32();
    const int32_t minutes = in.read_int32();
    const int32_t seconds = in.read_int32();
    {
      const int32_t from_hours = checked::mul(hours, 3600, "station time");
      const int32_t from_minutes = checked::mul(minutes, 60, "station time");
      slot.time = checked::add(checked::add(from_hours, from_minutes, "station time"), seconds, "station time");
    }
    slot.text = stored_text(in.read_text().text);

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
    if (length < 600) slot.attribute_5 = 0;
    if (s == 1) {
      slot.attribute_5 = 0;
      slot.end_extension = 0;
    }

    const double end_cell = slot.end / 50.0;
    if (kind < 25 && kind != 5 && kind != 6) {
      for (int k = 1; k <= 4; ++k) {
        if (end_cell - k - 1 > 1) {
          st_.track_cells.at(nearest(end_cell - k - 1)).approach_mark = static_cast<uint8_t>(80 + k);
        }
      }
    }
    if (kind < 25) {
      if (end_cell - 1 <= 1) {
        stop(src_.train, 24,
             "station at " + metres(pos) + " ends at " + metres(slot.end) +
                 ": its stop cell would fall at cell 1 or below");
      }
      int64_t stop_cell = nearest(end_cell - 1);
      place(st_, stop_cell, cell_kind::kStopCell, pos);
      st_.track_cells.at(stop_cell).value = static_cast<int16_t>(s);
    }
    if (s > 1) {
      const TableRecord& previous = st_.scenario_table[static_cast<std::size_t>(s - 1)];
      if (checked::sub(slot.start, 350, "station start - 350") < previous.end) {
        stop(src_.train, 22,
             "station at " + metres(pos) + " starts at " + metres(slot.start) + ", less than 350 m after the " +
                 "previous station ends at " + metres(previous.end),
             pos);
      }
    }
    ++station_cursor_;
    if (station_cursor_ >= board_cursor_) {
      stop(src_.train, 10,
           "too many stations and line boards: station " + std::to_string(s) + " at " + metres(pos) +
               " reaches the board slots (at most 78 together)");
    }
    return true;
  }

  void chainage_test() {
    for (int i = 0; i < 3; ++i) {
      const TableRecord& slot = st_.scenario_table[static_cast<std::size_t>(kChainageSlotThree + i)];
      if (slot.start % 50 != 0 || slot.end % 50 != 0) {
        st_.place = {src_.line.name(), chainage_lines_[static_cast<std::size_t>(i)]};
        st_.record(2, "chainage system with start " + metres(slot.start) + " and reference " + metres(slot.end) +
                          ": both must be multiples of 50");
        return;
      }
    }
  }

  ScenarioState& st_;
  DescriptionSources src_;
  std::string line_bytes_;
  std::string train_bytes_;
  // The field readers live as long as the reader: a failure caught in run()
  // still asks the active one for its line.
  std::optional<FieldReader> line_in_;
  std::optional<FieldReader> train_in_;
  FieldReader* active_ = nullptr;
  std::array<int, 3> chainage_lines_{};
  bool cells_pending_ = false;

  int board_cursor_ = kFirstBoardSlot;
  int64_t gradient_cursor_ = 0;
  int32_t previous_gradient_ = 0;
  int64_t plan_cursor_ = 2;

  int station_cursor_ = 1;
  int64_t speed_cursor_ = 0;
  int64_t adhesion_cursor_ = 0;
  int64_t previous_speed_ = 0;
  int previous_speed_line_ = 0;
  int64_t previous_adhesion_ = 0;
};

}  // namespace

void memorizza_dati(ScenarioState& state, DescriptionSources sources) { Reader(state, sources).run(); }

}  // namespace sb
