// Ordering of the three chainage systems kept in table slots 81 to 83.
#pragma once

#include <array>

#include "driver/scenario_records.h"

namespace sb {

// Orders slots 81..83 by start position, greatest first (by reference value
// when every start is 0), then raises the reference of each falling system
// by 100. `lines`, when given, holds the description file line of each
// slot's record and is moved along with the triples.
void progressive_ordina(ScenarioState& state, std::array<int, 3>* lines = nullptr);

}  // namespace sb
