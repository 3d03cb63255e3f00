// The built-in scenario's two description files, carried as literal text.
#pragma once

#include <string_view>
#include <vector>

#include "model/scenario_files.h"

namespace sb {

inline constexpr const char* kBuiltinRoute = "ValdraPCal-Dorvesa";
inline constexpr const char* kBuiltinTrain = "24317";

// The lines of the built-in line description, closed by the end marker.
const std::vector<std::string_view>& builtin_line_lines();
// The lines of the built-in train description, closed by the end marker.
const std::vector<std::string_view>& builtin_train_lines();

// Write the built-in line / train description file of `files`.
void write_line_description(const ScenarioFiles& files);
void write_train_description(const ScenarioFiles& files);

}  // namespace sb
