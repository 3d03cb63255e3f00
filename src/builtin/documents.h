// The three driver documents of the built-in scenario, carried as literal
// text: the timetable card, the slowdown order and the scenario notes.
#pragma once

#include <string_view>
#include <vector>

#include "model/scenario_files.h"

namespace sb {

// The lines of each document, closed by the end marker.
const std::vector<std::string_view>& timetable_card_lines();
const std::vector<std::string_view>& slowdown_order_lines();
const std::vector<std::string_view>& notes_lines();

// Write each document into its file of `files`.
void write_timetable_card(const ScenarioFiles& files);
void write_slowdown_order(const ScenarioFiles& files);
void write_notes(const ScenarioFiles& files);

}  // namespace sb
