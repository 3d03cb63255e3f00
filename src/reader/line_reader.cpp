// The line description: general part, chainage ordering, main part.
#include "base/numbers.h"
#include "reader/chainage.h"
#include "reader/description_reader.h"

#include <algorithm>
#include <vector>

namespace sb {
namespace {

constexpr int64_t kPlanLimit = 1000000;
constexpr int kGeneralDashLimit = 10;

std::string metres(int64_t p) { return std::to_string(p) + " m"; }

}  // namespace

DescriptionReader::Next DescriptionReader::read_line_file() {
  st_.table.route.route_name = st_.route_name;
  st_.table.train.train_number = st_.train_number;
  const std::string* bytes = src_.line.load();
  if (bytes == nullptr) {
    st_.record_unplaced_error(101, "line description file " + src_.line.name() + " not found");
    return Next::kStop;
  }
  if (refuse_utf16(src_.line, *bytes) == Next::kStop) return Next::kStop;
  FieldReader in(*bytes);
  const ReadingFile reading(in_, in);
  st_.place = {src_.line.name(), 1};
  if (bytes->empty()) {
    // As any file that ends where a field is expected (code 25), said as
    // what it is.
    throw RunTimeFailure(
        "the line description file is empty: it starts with a `[generale]` line, then `lunghezza percorso, METRES` "
        "(docs/example/Esempio_linea.txt shows one)");
  }
  for (;;) {
    Field field = in.read_text();
    if (in.at_end()) {
      st_.place = {src_.line.name(), in.line(), 1};
      return stop(src_.line, 102,
                  "no \"[generale]\" field before the end of the file: nothing of it can be read; start the line "
                  "description file with a `[generale]` line");
    }
    if (contains_any_case(field.text, "[generale]")) break;
  }
  watch_.start_file(src_.line.name(), RecordPart::kLineGeneral);
  watch_.set_curves_read(st_.build_plan);
  in.observe(&watch_);
  Next next;
  try {
    next = read_general_part(in);
  } catch (...) {
    create_pending_cells();
    throw;
  }
  create_pending_cells();
  if (next == Next::kStop) return next;
  if (!st_.cells.exists()) {
    // Nothing can be laid without a length; every later record would fail
    // on it, so say what is missing here.
    throw RunTimeFailure(
        "the line has no route length: put \"lunghezza percorso, METRES\" between [generale] and the first "
        "section header");
  }
  watch_.set_part(RecordPart::kLineMain);

  warn_about_chainage_order();
  order_chainage_systems(st_.table.chainage, &chainage_lines_);
  st_.chainage_lines = chainage_lines_;
  st_.montagna_spans.clear();
  if (st_.build_plan) st_.plan.set_origin();
  const Next main = read_main_part(in);
  if (main == Next::kStop) return Next::kStop;
  if (main == Next::kGoOn) watch_.end_of_file();

  src_.line.remove();
  gradient_tail();
  if (st_.build_plan) st_.plan.advance(static_cast<int64_t>(st_.total_metres) - 2, false, 0.0);
  return Next::kGoOn;
}

// Systems whose greatest start is shared cannot be ordered: the line then
// has no chainage at all, which the author would otherwise only see on the
// page or in inspect.
void DescriptionReader::warn_about_chainage_order() {
  const auto& systems = st_.table.chainage;
  int64_t sum = 0;
  int32_t greatest = systems[0].start;
  for (const ChainageSystem& s : systems) {
    sum += s.start;
    greatest = std::max(greatest, s.start);
  }
  if (sum == 0) return;
  std::vector<int> lines;
  for (std::size_t i = 0; i < systems.size(); ++i) {
    if (systems[i].start == greatest) lines.push_back(chainage_lines_[i]);
  }
  if (lines.size() < 2) return;
  std::sort(lines.begin(), lines.end());
  std::string which;
  for (int line : lines) which += (which.empty() ? "" : " and ") + std::to_string(line);
  watch_.warn(lines.back() > 0 ? FieldPlace{lines.back(), 1} : here(), "chainage-lost",
              "the chainage systems of lines " + which + " share the greatest start, " + std::to_string(greatest) +
                  " m: the systems cannot be ordered, so the line has no chainage at all (every chainage slot "
                  "holds 0); give each system a start of its own",
              true);
}

DescriptionReader::Next DescriptionReader::read_general_part(FieldReader& in) {
  for (;;) {
    if (in.at_end()) return Next::kGoOn;
    watch_.expect_keyword();
    Field field = in.read_text();
    if (in.at_end()) return Next::kGoOn;
    dash_rule(in, field, kGeneralDashLimit, false);
    in.start_record();
    at_field(src_.line, field);
    watch_.keyword(field);
    if (read_records(RecordPart::kLineGeneral, in, field) == Next::kStop) return Next::kStop;
    const std::string_view f = field.text;
    const std::size_t first = f.find_first_not_of(' ');
    if (contains(f, "[") && contains(f, "]") && first != std::string_view::npos && f[first] != '-') {
      return Next::kGoOn;
    }
  }
}

DescriptionReader::Next DescriptionReader::route_length(FieldReader& in, const KeywordMatch&) {
  const int32_t length = in.read_int32();
  st_.table.general.route_length = length;
  if (length > 1000000) return stop(src_.line, 1, "route length " + metres(length) + " is above 1000000 m", {}, 1);
  // The record creates the cells anew: when that fails, the cells of an
  // earlier record are gone too.
  cells_pending_ = false;
  st_.total_metres = checked::add(length, 7000, "route length + 7000");
  st_.cell_count = static_cast<int32_t>(nearest(static_cast<double>(st_.total_metres) / 50.0));
  // The cells and the plan stand from this record on (they are laid out
  // once, when the general part ends): a length that leaves either nothing
  // fails here, whatever follows.
  const char* least = st_.build_plan ? "-7000 m" : "-7025 m";
  if (st_.cell_count < 0) {
    throw RunTimeFailure("route length " + metres(length) + " leaves no track: it must be at least " + least);
  }
  if (st_.build_plan && st_.total_metres < 0) {
    throw RunTimeFailure("route length " + metres(length) + " leaves the line plan no metre: it must be at least " +
                         least);
  }
  // Nothing in the general part touches the cells or the plan, so they are
  // created once, when it ends, for the last route length read.
  cells_pending_ = true;
  return Next::kGoOn;
}

void DescriptionReader::create_pending_cells() {
  if (!cells_pending_) return;
  cells_pending_ = false;
  st_.cells.create(st_.cell_count);
  if (st_.build_plan) st_.plan.create(st_.total_metres);
}

DescriptionReader::Next DescriptionReader::chainage_system(FieldReader& in, const KeywordMatch& match) {
  ChainageSystem& system = st_.table.chainage[match.word];
  system.start = in.read_int32();
  system.reference = in.read_int32();
  system.direction = in.read_int32();
  chainage_lines_[match.word] = match.field.line;
  return Next::kGoOn;
}

DescriptionReader::Next DescriptionReader::scenery(FieldReader& in, const KeywordMatch& match) {
  st_.table.route.scenery[match.word] = in.read_int32();
  return Next::kGoOn;
}

DescriptionReader::Next DescriptionReader::repetition(FieldReader& in, const KeywordMatch& match) {
  const std::string_view keyword = match.field.text;
  TrainSlot& train = st_.table.train;
  train.repetition_start = in.read_int32();
  train.repetition_end = in.read_int32();
  if (train.repetition_start % 50 != 0) {
    return stop(src_.line, 3,
                "first signal-repetition position " + metres(train.repetition_start) + " is not a multiple of 50", {},
                1);
  }
  if (train.repetition_end % 50 != 0) {
    return stop(src_.line, 4,
                "second signal-repetition position " + metres(train.repetition_end) + " is not a multiple of 50", {},
                2);
  }
  if (contains(keyword, "4")) {
    train.cab_signal_codes = 4;
  } else if (contains(keyword, "9")) {
    train.cab_signal_codes = 9;
  } else {
    return stop(src_.line, 5, "signal-repetition keyword names neither 4 nor 9 cab-signal codes");
  }
  if (train.repetition_end == 0) train.cab_signal_codes = 0;
  return Next::kGoOn;
}

DescriptionReader::Next DescriptionReader::read_main_part(FieldReader& in) {
  for (;;) {
    const std::optional<Field> read = next_keyword(in, src_.line);
    if (!read) return Next::kGoOn;
    const Next next = read_records(RecordPart::kLineMain, in, *read);
    if (next != Next::kGoOn) return next;
  }
}

// The gradient of the record on previous_gradient_line_ (0: none read yet),
// stored as the following record or the end of the file is reached; a
// value that does not fit is blamed on its own record.
uint8_t DescriptionReader::stored_gradient(int32_t gradient, const std::string& found_at) {
  const int32_t stored = checked::add(gradient, 100, "gradient + 100");
  if (stored < 0 || stored > 255) {
    const bool own_record = previous_gradient_line_ > 0;
    throw RunTimeFailure("gradient " + std::to_string(gradient) + " does not fit (-100 to 155)" +
                             (own_record ? " (found " + found_at + ")" : ""),
                         previous_gradient_line_, own_record, own_record ? previous_gradient_value_.column : 0);
  }
  return static_cast<uint8_t>(stored);
}

DescriptionReader::Next DescriptionReader::gradient(FieldReader& in, const KeywordMatch& match) {
  const int32_t p = in.read_int32();
  const int32_t g = in.read_int32();
  if (!watch_.position(match.keyword.name, p, value_place(1), true)) return Next::kGoOn;
  if (within_cells("gradient", p) != Next::kGoOn) return Next::kEndPart;
  const int64_t n = nearest(p / 50.0);
  if (n >= 1) {
    const uint8_t stored = stored_gradient(previous_gradient_, "while reading line " + std::to_string(st_.place.line));
    do {
      st_.cells.at(gradient_cursor_).gradient = stored;
      ++gradient_cursor_;
    } while (gradient_cursor_ < n);
  }
  previous_gradient_ = g;
  previous_gradient_line_ = st_.place.line;
  previous_gradient_value_ = value_place(2);
  return Next::kGoOn;
}

void DescriptionReader::gradient_tail() {
  const uint8_t stored = stored_gradient(previous_gradient_, "at the end of the file");
  do {
    st_.cells.at(gradient_cursor_).gradient = stored;
    ++gradient_cursor_;
  } while (gradient_cursor_ < static_cast<int64_t>(st_.cell_count) - 2);
}

DescriptionReader::Next DescriptionReader::curve(FieldReader& in, const KeywordMatch& match) {
  const std::string_view keyword = match.field.text;
  const int32_t s = in.read_int32();
  const int32_t l = in.read_int32();
  if (!watch_.position(match.keyword.name, s, value_place(1), true)) return Next::kGoOn;
  if (within_cells("curve", s) != Next::kGoOn) return Next::kEndPart;
  static constexpr double kCurvature[6] = {0.0001, 0.0002, 0.0004, 0.001, 0.002, 0.003};
  double k = 0.0;
  int klass = 0;
  for (int c = 0; c < 6 && klass == 0; ++c) {
    if (keyword.find(static_cast<char>('1' + c)) != std::string_view::npos) {
      k = kCurvature[c];
      klass = c + 1;
    }
  }
  if (klass == 0) return stop(src_.line, 103, "curve keyword has no curvature class digit 1 to 6");
  warn_about_curve(keyword, klass, s, l);
  if (contains_any_case(keyword, "s")) k = -k;
  st_.curves.push_back({s, l, klass, k < 0.0 ? -1 : 1, current_file_, st_.place.line});
  // The straight run up to the curve's start comes first; only then is its
  // end worked out.
  if (plan_steps(s, false, 0.0) == Next::kStop) return Next::kStop;
  return plan_steps(checked::add(s, l, "curve end"), true, k);
}

// Integrates the plan from the plan cursor up to metre `until` (the
// positions are computed when the line plan file is written). Passing
// metre 1000000 stops reading with code 103; passing the plan's last metre
// is a run-time failure.
DescriptionReader::Next DescriptionReader::plan_steps(int64_t until, bool curved, double k) {
  switch (st_.plan.advance(until, curved, k, kPlanLimit)) {
    case LinePlan::Advance::kDone: return Next::kGoOn;
    case LinePlan::Advance::kPassedLimit: return stop(src_.line, 103, "the line plan passes metre 1000000");
    case LinePlan::Advance::kPassedEnd: break;
  }
  // Only curves advance the plan here: the curve runs past the plan's end.
  throw RunTimeFailure("the curve would reach metre " + std::to_string(until) + ", past the line plan's last metre " +
                       std::to_string(st_.plan.last_metre()) +
                       " (the route length + 7000 m): end the curve by then, or lengthen the route "
                       "(`lunghezza percorso`)");
}

// What a curve record holds that the author probably did not mean; the
// curve is read as written all the same.
void DescriptionReader::warn_about_curve(std::string_view keyword, int klass, int32_t start, int32_t length) {
  int digits = 0;
  bool outside = false;
  for (char c : keyword) {
    if (c >= '0' && c <= '9') {
      ++digits;
      outside = outside || c == '0' || c > '6';
    }
  }
  if (digits > 1 || outside) {
    watch_.warn(here(), "curve-class",
                "curve keyword `" + std::string(keyword) + "` is read as class " + std::to_string(klass) +
                    " (the lowest digit 1 to 6 it holds); a curve keyword holds one class digit, 1 to 6");
  }
  if (length < 0) {
    watch_.warn(value_place(2), "negative-length",
                "curve at " + std::to_string(start) + " m has the length " + std::to_string(length) +
                    " m: its end lies before its start, so the curve is lost (the plan runs straight there); give "
                    "the length as a positive number of metres",
                true);
  }
  // A curve that starts before the previous one starts is out of order,
  // which position-order says.
  if (last_curve_line_ > 0 && start < last_curve_end_ && start >= last_curve_start_) {
    watch_.warn(value_place(1), "overlapping-curves",
                "curve at " + std::to_string(start) + " m starts before the curve of line " +
                    std::to_string(last_curve_line_) + " ends (at " + std::to_string(last_curve_end_) +
                    " m): that curve stays whole, and this one turns only from " + std::to_string(last_curve_end_) +
                    " m on, up to its own end" +
                    (static_cast<int64_t>(start) + length <= last_curve_end_
                         ? std::string(", so all of it is lost")
                         : ", so its first " + std::to_string(last_curve_end_ - start) + " m are lost") +
                    "; start it at " + std::to_string(last_curve_end_) + " m or later",
                RelatedPlace{src_.line.name(), last_curve_place_.line, last_curve_place_.column,
                             "the curve that ends at " + std::to_string(last_curve_end_) + " m"},
                true);
  }
  last_curve_start_ = start;
  last_curve_end_ = static_cast<int64_t>(start) + length;
  last_curve_line_ = st_.place.line;
  last_curve_place_ = here();
}

DescriptionReader::Next DescriptionReader::montagna(FieldReader& in, const KeywordMatch& match) {
  MontagnaRecord r;
  r.start = in.read_int32();
  r.end = in.read_int32();
  r.type = in.read_int32();
  if (!watch_.position(match.keyword.name, r.start, value_place(1))) return Next::kGoOn;
  if (r.end < r.start) {
    watch_.warn(value_place(2), "negative-length",
                "montagna span from " + std::to_string(r.start) + " m ends before it starts (at " +
                    std::to_string(r.end) + " m): it makes no span, so the montagna from " + std::to_string(r.end) +
                    " to " + std::to_string(r.start) + " m is lost; give the end after the start",
                true);
  }
  if (within_cells("montagna span", r.start) != Next::kGoOn) return Next::kEndPart;
  if (!st_.montagna_spans.empty() && r.start < montagna_reach_) {
    watch_.warn(value_place(1), "overlapping-montagna",
                "montagna span from " + std::to_string(r.start) + " m starts before the span of line " +
                    std::to_string(montagna_reach_place_.line) + " ends (at " + std::to_string(montagna_reach_) +
                    " m): this span rewrites the montagna type of the cells they share, and each span marks every "
                    "fourth free cell of its own; start it at " +
                    std::to_string(montagna_reach_) + " m or later",
                RelatedPlace{src_.line.name(), montagna_reach_place_.line, montagna_reach_place_.column,
                             "the montagna span that ends at " + std::to_string(montagna_reach_) + " m"});
  }
  if (st_.montagna_spans.empty() || r.end > montagna_reach_) {
    montagna_reach_ = r.end;
    montagna_reach_place_ = here();
  }
  place_montagna_span(st_.cells, st_.montagna_spans, r);
  return Next::kGoOn;
}

DescriptionReader::Next DescriptionReader::speed_board(FieldReader& in, const KeywordMatch& match) {
  SpeedBoardRecord r;
  for (int32_t* v : {&r.position, &r.left_speed_a, &r.left_speed_b, &r.left_speed_c, &r.left_stripes, &r.right_speed_a,
                     &r.right_speed_b, &r.right_speed_c, &r.right_stripes}) {
    *v = in.read_int32();
  }
  if (!watch_.position(match.keyword.name, r.position, value_place(1))) return Next::kGoOn;
  if (within_cells("speed-limit board", r.position) != Next::kGoOn) return Next::kEndPart;
  const std::optional<Refusal> refusal = place_speed_board(st_.cells, r);
  if (!refusal) {
    st_.board_speeds.push_back({element_cell(r.position), {r.left_speed_a, r.left_speed_b, r.left_speed_c}});
  }
  return placed(src_.line, refusal, cell_kind::kSpeedBoard, r.position);
}

DescriptionReader::Next DescriptionReader::line_board(FieldReader& in, const KeywordMatch& match) {
  const int32_t p = in.read_int32();
  const Field text = in.read_text();
  if (!watch_.position(match.keyword.name, p, value_place(1))) return Next::kGoOn;
  watch_.stored_text("board text", text.text, text.place());
  if (within_cells("line board", p) != Next::kGoOn) return Next::kEndPart;
  const int64_t b = element_cell(p);
  if (!st_.cells.contains(b))
    throw RunTimeFailure("`cartello_indicatore` at " + metres(p) + " lies before the line's start");
  if (!st_.cells.at(b).is_free()) return stop_at_taken_cell(src_.line, 6, "line board", p, b);
  st_.cells.mark(b, cell_kind::kLineBoard, p);
  note_placed(cell_kind::kLineBoard, p);
  st_.cells.at(b).table_slot() = low16(board_cursor_);
  if (board_cursor_ < 0) throw RunTimeFailure("more than 81 line boards: no table slot is left");
  st_.table.slots[static_cast<std::size_t>(board_cursor_)].text = stored_text(text.text);
  --board_cursor_;
  return Next::kGoOn;
}

}  // namespace sb
