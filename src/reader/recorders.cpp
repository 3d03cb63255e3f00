#include "reader/recorders.h"

#include "driver/arith.h"

namespace sb {
namespace {

std::string metres(int64_t p) { return std::to_string(p) + " m"; }

std::string taken(const ScenarioState& state, const char* element, int64_t position, int64_t cell) {
  return std::string(element) + " at " + metres(position) + " falls into cell " + std::to_string(cell) +
         ", already taken by " + occupant(state, cell);
}

}  // namespace

void place(ScenarioState& state, int64_t cell, uint8_t kind, int32_t origin) {
  state.track_cells.at(cell).kind = kind;
  state.track_cells.set_origin(cell, origin);
}

std::string occupant(const ScenarioState& state, int64_t cell) {
  const char* what = "an element";
  switch (state.track_cells.at(cell).kind) {
    case cell_kind::kSignal: what = "the signal"; break;
    case cell_kind::kSlowdownEnd: what = "the end of the slowdown"; break;
    case cell_kind::kSlowdownStart: what = "the start of the slowdown"; break;
    case cell_kind::kSlowdownWarning: what = "the warning of the slowdown"; break;
    case cell_kind::kSlowdownApproach: what = "an approach cell of the slowdown"; break;
    case cell_kind::kSpeedBoard: what = "the speed-limit board"; break;
    case cell_kind::kStopCell: what = "the stop cell of the station"; break;
    case cell_kind::kAbbattimento:
    case cell_kind::kAbbattimentoPlain: what = "the abbattimento"; break;
    case cell_kind::kLineBoard: what = "the board"; break;
    default: break;
  }
  return std::string(what) + " at " + metres(state.track_cells.origin(cell));
}

void memo_montagna(ScenarioState& state, MontagnaRecord r) {
  bool marks = false;
  if (r.tipo > 10) {
    r.tipo -= 10;
    marks = true;
  }
  if (state.montagna_count >= 80) throw RunTimeFailure("more than 80 montagna spans");
  int32_t n = ++state.montagna_count;
  state.montagna_starts[static_cast<std::size_t>(n)] = r.inizio;
  state.montagna_ends[static_cast<std::size_t>(n)] = r.fine;
  // A span that follows the previous one within 150 m joins it as type 3.
  if (n > 1 && checked::sub(r.inizio, state.montagna_ends[static_cast<std::size_t>(n - 1)], "montagna gap") <= 150) {
    r.tipo = 3;
  }
  int64_t first = nearest(r.inizio / 50.0);
  int64_t last = nearest(r.fine / 50.0 - 1.0);
  int64_t count = 0;
  for (int64_t m = first; m <= last; ++m) {
    TrackCell& cell = state.track_cells.at(m);
    ++count;
    cell.montagna_type = low8(r.tipo);
    if (marks && count % 4 == 0 && cell.kind == cell_kind::kNothing) {
      place(state, m, cell_kind::kMontagnaMark, r.inizio);
    }
  }
}

void memo_indicatori_v_max(ScenarioState& state, const SpeedBoardRecord& r) {
  int64_t g = element_cell(r.posizione);
  if (!state.track_cells.at(g).is_free()) {
    state.record(21, taken(state, "speed-limit board", r.posizione, g));
    return;
  }
  place(state, g, cell_kind::kSpeedBoard, r.posizione);
  TrackCell& cell = state.track_cells.at(g);
  auto packed = [](int32_t right, int32_t left) {
    const double fifth = right / 5.0;
    const int32_t whole = checked::mul(20, left, "speed-limit board speed");
    return fit16(nearest(fifth + whole), "speed-limit board packed speed");
  };
  cell.value = packed(r.vad, r.vas);
  cell.value_2 = packed(r.vbd, r.vbs);
  cell.value_3 = packed(r.vcd, r.vcs);
  cell.value_4 = low16(checked::add(checked::mul(r.strisces, 10, "stripe code"), r.strisced, "stripe code"));
}

void memo_segnale(ScenarioState& state, SignalRecord r) {
  int64_t g = element_cell(r.posizione);
  if (!state.track_cells.at(g).is_free()) {
    state.record(16, taken(state, "signal", r.posizione, g));
    return;
  }
  place(state, g, cell_kind::kSignal, r.posizione);
  TrackCell& cell = state.track_cells.at(g);
  {
    const int32_t repetition = checked::mul(r.rapp, 10, "signal combined code");
    const int32_t left = checked::mul(r.sx, 3, "signal combined code");
    cell.value_4 = low16(checked::add(checked::add(repetition, left, "signal combined code"), r.dx,
                                      "signal combined code"));
  }
  auto aspect = [](int32_t s, int32_t d) {
    return low16(checked::add(checked::mul(s, 10, "signal aspect code"), d, "signal aspect code"));
  };
  cell.value = aspect(r.s1, r.d1);
  cell.value_2 = aspect(r.s2, r.d2);
  cell.value_3 = aspect(r.s3, r.d3);
  if (r.tempo >= 1 && r.tempo <= 100) r.tempo = 101;
  cell.signal_time = r.sx == 2 ? low8(r.tempo) : 0;
  // Cells 2, 4, 6 and 8 before the signal announce it.
  for (int j = 1; j <= 4; ++j) {
    const int32_t side = checked::add(checked::mul(r.sx, 3, "signal approach mark"), r.dx, "signal approach mark");
    const int32_t mark = checked::add(checked::mul(side, 10, "signal approach mark"), j, "signal approach mark");
    state.track_cells.at(g - 2 * j).approach_mark = low8(mark);
  }
}

void memo_rallentamento(ScenarioState& state, SlowdownRecord r) {
  const int32_t x = r.x;
  const bool warned = x > 1500;
  // All three cells are worked out before any of them is tested.
  const int32_t warning_position = checked::sub(x, 1200, "slowdown warning position");
  int64_t a = element_cell(warning_position);
  int64_t b = element_cell(x);
  const int32_t end_position = checked::add(x, r.l, "slowdown end position");
  int64_t e = element_cell(end_position);
  TrackCells& cells = state.track_cells;
  if (warned) {
    if (!cells.at(a).is_free()) {
      state.record(17, taken(state, "warning of the slowdown", warning_position, a));
      return;
    }
  } else {
    r.f_ta = 0;
  }
  if (!cells.at(b).is_free()) {
    state.record(18, taken(state, "start of the slowdown", x, b));
    return;
  }
  if (!cells.at(e).is_free()) {
    state.record(19, taken(state, "end of the slowdown", end_position, e));
    return;
  }
  place(state, e, cell_kind::kSlowdownEnd, r.x);
  if (r.d_v != 0) cells.at(e).value_2 = low16(r.d_v);
  place(state, b, cell_kind::kSlowdownStart, r.x);
  if (r.d_v != 0) cells.at(b).value_2 = low16(r.d_v);
  if (warned) {
    place(state, a, cell_kind::kSlowdownWarning, r.x);
    if (r.d_v != 0) cells.at(a).value_2 = low16(r.d_v);
    cells.at(a).value = low16(r.v);
  }
  cells.at(b).value = low16(r.v);
  cells.at(e).value = low16(r.v);
  cells.at(b).value_3 = low16(r.f_tt);
  cells.at(e).value_3 = low16(r.f_tt);

  // The approach cells sit just before the warning cell (no + 1 here).
  int64_t s = nearest(warning_position / 50.0);
  if (r.f_ta == 0) return;
  for (int64_t i = 0; i < 4; ++i) {
    if (!cells.at(s - i).is_free()) {
      state.record(20, "approach cell " + std::to_string(s - i) + " of the slowdown at " + metres(x) +
                           " is already taken by " + occupant(state, s - i));
      return;
    }
  }
  for (int64_t i = 0; i < 4; ++i) {
    place(state, s - i, cell_kind::kSlowdownApproach, r.x);
    cells.at(s - i).value = static_cast<int16_t>(i + 1);
    if (r.d_v != 0) cells.at(s - i).value_2 = static_cast<int16_t>(i + 1);
  }
}

}  // namespace sb
