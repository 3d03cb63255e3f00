// Placing the track elements of the description files into the track
// cells: each function lays one record's element into its cells, or refuses
// it with a code when a cell it needs is taken. A value that cannot be
// computed in 32 bits is a RunTimeFailure at that step; what the element
// wrote before it stays.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/scenario.h"
#include "model/track_cells.h"

namespace sb {

// Why an element was not placed.
struct Refusal {
  int32_t code = 0;
  std::string message;
  // The cell another element already holds, when that is the refusal: the
  // reader names that element's record after the message.
  int64_t taken_cell = -1;
};

// "montagna": start, end, type.
struct MontagnaRecord {
  int32_t start = 0, end = 0, type = 0;
};

// "indicatori_vmax": the left-hand board's speeds for ranks A, B, C and
// stripe count, then the right-hand board's.
struct SpeedBoardRecord {
  int32_t position = 0;
  int32_t left_speed_a = 0, left_speed_b = 0, left_speed_c = 0, left_stripes = 0;
  int32_t right_speed_a = 0, right_speed_b = 0, right_speed_c = 0, right_stripes = 0;
};

// "segnale": the left and right signal types, the three aspects of each
// side, the tens of the combined code, and the signal time.
struct SignalRecord {
  int32_t position = 0;
  int32_t left_type = 0, left_aspect_1 = 0, left_aspect_2 = 0, left_aspect_3 = 0;
  int32_t combined_tens = 0;
  int32_t right_type = 0, right_aspect_1 = 0, right_aspect_2 = 0, right_aspect_3 = 0;
  int32_t time = 0;
};

// "rallentamento": start, speed, length and the three codes f_tt, f_ta
// (nonzero: approach cells before the warning) and d_v.
struct SlowdownRecord {
  int32_t start = 0, speed = 0, length = 0, f_tt = 0, f_ta = 0, d_v = 0;
};

// Never refuses; a type above 10 switches on the marks every fourth cell.
void place_montagna_span(TrackCells& cells, std::vector<MontagnaSpan>& spans, MontagnaRecord r);
// Code 21 when the board's cell is taken.
std::optional<Refusal> place_speed_board(TrackCells& cells, const SpeedBoardRecord& r);
// Code 16 when the signal's cell is taken.
std::optional<Refusal> place_signal(TrackCells& cells, SignalRecord r);
// Codes 17, 18, 19 (nothing written) and 20 (its three cells written).
std::optional<Refusal> place_slowdown(TrackCells& cells, SlowdownRecord r);

}  // namespace sb
