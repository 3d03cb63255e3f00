// The track element recorders: each lays one element record into the
// track cells, or refuses it with a code when a cell it needs is taken.
// Arguments are the record's values in file order.
#pragma once

#include <cstdint>

#include "driver/scenario_records.h"

namespace sb {

struct MontagnaRecord {
  int32_t inizio = 0, fine = 0, tipo = 0;
};

struct SpeedBoardRecord {
  int32_t posizione = 0;
  int32_t vas = 0, vbs = 0, vcs = 0, strisces = 0;
  int32_t vad = 0, vbd = 0, vcd = 0, strisced = 0;
};

struct SignalRecord {
  int32_t posizione = 0;
  int32_t sx = 0, s1 = 0, s2 = 0, s3 = 0, rapp = 0;
  int32_t dx = 0, d1 = 0, d2 = 0, d3 = 0, tempo = 0;
};

struct SlowdownRecord {
  int32_t x = 0, v = 0, l = 0, f_tt = 0, f_ta = 0, d_v = 0;
};

// Never refuses; a type above 10 switches on the marks every fourth cell.
void memo_montagna(ScenarioState& state, MontagnaRecord r);
// Code 21 when the board's cell is taken.
void memo_indicatori_v_max(ScenarioState& state, const SpeedBoardRecord& r);
// Code 16 when the signal's cell is taken.
void memo_segnale(ScenarioState& state, SignalRecord r);
// Codes 17, 18, 19 (nothing written) and 20 (its three cells written).
void memo_rallentamento(ScenarioState& state, SlowdownRecord r);

// Sets a cell's kind and remembers which position placed it.
void place(ScenarioState& state, int64_t cell, uint8_t kind, int32_t origin);
// "the signal at 1200 m", for messages about a taken cell.
std::string occupant(const ScenarioState& state, int64_t cell);

}  // namespace sb
