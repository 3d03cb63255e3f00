// Chainage: the kilometre count an author reads on the line's boards, the
// timetable card and their maps. From a system's start on, chainage =
// reference + position (rising) or reference - position (falling).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "model/scenario_table.h"

namespace sb {

// The chainage in metres at `position` (metres from the route's start),
// from the table's ordered systems (greatest start first; a falling
// system's reference is stored 100 m on). None where no system covers the
// position.
std::optional<int64_t> chainage_at(const std::array<ChainageSystem, 3>& ordered_systems, int64_t position);

// "12.700": chainage metres as kilometres with three decimals.
std::string chainage_km_text(int64_t chainage_metres);

// How a position's chainage is shown to an author: "km 12.700", or that no
// system covers the position.
inline constexpr const char* kNoChainage = "no chainage system covers this position";
std::string chainage_text(const std::optional<int64_t>& chainage_metres);
// The same as a note beside a position: "chainage km 12.700", or that no
// system covers it.
std::string chainage_note(const std::optional<int64_t>& chainage_metres);

// Whether a system is set at all: an unset one holds zeros only.
inline bool is_set(const ChainageSystem& s) { return s.start != 0 || s.reference != 0 || s.direction != 0; }
// Whether the line has any chainage system.
bool has_chainage(const std::array<ChainageSystem, 3>& systems);

}  // namespace sb
