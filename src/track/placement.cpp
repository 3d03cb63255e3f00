#include "track/placement.h"

#include "base/numbers.h"

namespace sb {
namespace {

std::string metres(int64_t p) { return std::to_string(p) + " m"; }

Refusal taken(const TrackCells& cells, int32_t code, const char* element, int64_t position, int64_t cell) {
  return {code,
          std::string(element) + " at " + metres(position) + " falls into cell " + std::to_string(cell) +
              ", already taken by " + cells.occupant(cell),
          cell};
}

}  // namespace

void place_montagna_span(TrackCells& cells, std::vector<MontagnaSpan>& spans, MontagnaRecord r) {
  bool marks = false;
  if (r.type > 10) {
    r.type -= 10;
    marks = true;
  }
  if (spans.size() >= kMaxMontagnaSpans) throw RunTimeFailure("more than 80 montagna spans");
  spans.push_back({r.start, r.end});
  // A span that follows the previous one within 150 m joins it as type 3.
  if (spans.size() > 1 && checked::sub(r.start, spans[spans.size() - 2].end, "montagna gap") <= 150) r.type = 3;
  const int64_t first = nearest(r.start / 50.0);
  const int64_t last = nearest(r.end / 50.0 - 1.0);
  int64_t count = 0;
  for (int64_t m = first; m <= last; ++m) {
    if (!cells.contains(m)) {
      const int64_t last_cell = cells.size() - 1;
      throw RunTimeFailure("`montagna` from " + metres(r.start) + " to " + metres(r.end) +
                           (m < 0 ? std::string(" starts before the line's start")
                                  : ": its cells run past the last track cell " + std::to_string(last_cell) +
                                        "; a span may end at " + metres(50 * (last_cell + 1)) + " at most"));
    }
    TrackCell& cell = cells.at(m);
    ++count;
    cell.montagna_type = low8(r.type);
    if (marks && count % 4 == 0 && cell.kind == cell_kind::kNothing) cells.mark(m, cell_kind::kMontagnaMark, r.start);
  }
}

std::optional<Refusal> place_speed_board(TrackCells& cells, const SpeedBoardRecord& r) {
  const int64_t g = element_cell(r.position);
  if (!cells.contains(g)) {
    throw RunTimeFailure("`indicatori_vmax` at " + metres(r.position) + " lies before the line's start");
  }
  if (!cells.at(g).is_free()) return taken(cells, 21, "speed-limit board", r.position, g);
  cells.mark(g, cell_kind::kSpeedBoard, r.position);
  TrackCell& cell = cells.at(g);
  // left speed * 20 + right speed / 5, rounded: one 16-bit number per rank.
  auto packed = [](int32_t right, int32_t left) {
    const double fifth = right / 5.0;
    const int32_t whole = checked::mul(20, left, "speed-limit board speed");
    return fit16(nearest(fifth + whole), "speed-limit board packed speed");
  };
  cell.board_speed(0) = packed(r.right_speed_a, r.left_speed_a);
  cell.board_speed(1) = packed(r.right_speed_b, r.left_speed_b);
  cell.board_speed(2) = packed(r.right_speed_c, r.left_speed_c);
  cell.board_stripes() =
      low16(checked::add(checked::mul(r.left_stripes, 10, "stripe code"), r.right_stripes, "stripe code"));
  return std::nullopt;
}

std::optional<Refusal> place_signal(TrackCells& cells, SignalRecord r) {
  const int64_t g = element_cell(r.position);
  // Cells 2, 4, 6 and 8 before the signal cell take its approach marks.
  constexpr const char* kFirstSignal = "the first position accepted is 325 m";
  if (!cells.contains(g)) {
    throw RunTimeFailure("`segnale` at " + metres(r.position) + " lies before the line's start; " + kFirstSignal);
  }
  if (!cells.at(g).is_free()) return taken(cells, 16, "signal", r.position, g);
  cells.mark(g, cell_kind::kSignal, r.position);
  TrackCell& cell = cells.at(g);
  {
    const int32_t tens = checked::mul(r.combined_tens, 10, "signal combined code");
    const int32_t left = checked::mul(r.left_type, 3, "signal combined code");
    cell.signal_code() =
        low16(checked::add(checked::add(tens, left, "signal combined code"), r.right_type, "signal combined code"));
  }
  auto aspect = [](int32_t left, int32_t right) {
    return low16(checked::add(checked::mul(left, 10, "signal aspect code"), right, "signal aspect code"));
  };
  cell.signal_aspect(1) = aspect(r.left_aspect_1, r.right_aspect_1);
  cell.signal_aspect(2) = aspect(r.left_aspect_2, r.right_aspect_2);
  cell.signal_aspect(3) = aspect(r.left_aspect_3, r.right_aspect_3);
  if (r.time >= 1 && r.time <= 100) r.time = 101;
  cell.signal_time = r.left_type == 2 ? low8(r.time) : 0;
  // Cells 2, 4, 6 and 8 before the signal announce it.
  for (int j = 1; j <= 4; ++j) {
    const int32_t sides =
        checked::add(checked::mul(r.left_type, 3, "signal approach mark"), r.right_type, "signal approach mark");
    const int32_t mark = checked::add(checked::mul(sides, 10, "signal approach mark"), j, "signal approach mark");
    if (!cells.contains(g - 2 * j)) {
      throw RunTimeFailure("`segnale` at " + metres(r.position) + ": its approach marks would start before the line; " +
                           kFirstSignal);
    }
    cells.set_approach_mark(g - 2 * j, low8(mark), r.position);
  }
  return std::nullopt;
}

std::optional<Refusal> place_slowdown(TrackCells& cells, SlowdownRecord r) {
  const int32_t x = r.start;
  const bool warned = x > 1500;
  // All three cells are worked out before any of them is tested.
  const int32_t warning_position = checked::sub(x, 1200, "slowdown warning position");
  const int64_t a = element_cell(warning_position);
  const int64_t b = element_cell(x);
  const int32_t end_position = checked::add(x, r.length, "slowdown end position");
  const int64_t e = element_cell(end_position);
  if (warned) {
    if (!cells.at(a).is_free()) return taken(cells, 17, "warning of the slowdown", warning_position, a);
  } else {
    r.f_ta = 0;
  }
  if (!cells.contains(b)) throw RunTimeFailure("`rallentamento` at " + metres(x) + " lies before the line's start");
  if (!cells.at(b).is_free()) return taken(cells, 18, "start of the slowdown", x, b);
  if (!cells.contains(e)) {
    const int64_t last = cells.size() - 1;
    throw RunTimeFailure("`rallentamento` at " + metres(x) + " with length " + metres(r.length) + ": its end at " +
                         metres(end_position) + " lies beyond the last track cell " + std::to_string(last) +
                         "; ends up to " + metres(50 * (last - 1)) + " are accepted");
  }
  if (!cells.at(e).is_free()) return taken(cells, 19, "end of the slowdown", end_position, e);
  cells.mark(e, cell_kind::kSlowdownEnd, x);
  if (r.d_v != 0) cells.at(e).slowdown_d_v() = low16(r.d_v);
  cells.mark(b, cell_kind::kSlowdownStart, x);
  if (r.d_v != 0) cells.at(b).slowdown_d_v() = low16(r.d_v);
  if (warned) {
    cells.mark(a, cell_kind::kSlowdownWarning, x);
    if (r.d_v != 0) cells.at(a).slowdown_d_v() = low16(r.d_v);
    cells.at(a).slowdown_speed() = low16(r.speed);
  }
  cells.at(b).slowdown_speed() = low16(r.speed);
  cells.at(e).slowdown_speed() = low16(r.speed);
  cells.at(b).slowdown_f_tt() = low16(r.f_tt);
  cells.at(e).slowdown_f_tt() = low16(r.f_tt);

  // The approach cells sit just before the warning cell (no + 1 here).
  const int64_t s = nearest(warning_position / 50.0);
  if (r.f_ta == 0) return std::nullopt;
  for (int64_t i = 0; i < 4; ++i) {
    if (!cells.at(s - i).is_free()) {
      return Refusal{20,
                     "approach cell " + std::to_string(s - i) + " of the slowdown at " + metres(x) +
                         " is already taken by " + cells.occupant(s - i),
                     s - i};
    }
  }
  for (int64_t i = 0; i < 4; ++i) {
    cells.mark(s - i, cell_kind::kSlowdownApproach, x);
    cells.at(s - i).approach_order() = static_cast<int16_t>(i + 1);
    if (r.d_v != 0) cells.at(s - i).slowdown_d_v() = static_cast<int16_t>(i + 1);
  }
  return std::nullopt;
}

}  // namespace sb
