// Ordering of the three chainage systems of the scenario table.
#pragma once

#include <array>

#include "model/scenario_table.h"

namespace sb {

// Orders the systems by start position, greatest first (by reference value
// when every start is 0), then raises the reference of each falling system
// by 100. `lines`, when given, holds the description file line of each
// system's record and is moved along with the systems.
void order_chainage_systems(std::array<ChainageSystem, 3>& systems, std::array<int, 3>* lines = nullptr);

}  // namespace sb
