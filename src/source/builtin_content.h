// The built-in scenario's two description files, carried as literal text.
#pragma once

#include <string_view>
#include <vector>

#include "driver/naming.h"

namespace sb {

// The lines of the built-in line description, closed by the end marker.
const std::vector<std::string_view>& builtin_line_lines();
// The lines of the built-in train description, closed by the end marker.
const std::vector<std::string_view>& builtin_train_lines();

// Write the built-in line / train description file of `files`.
void dati_linea(const ScenarioFiles& files);
void dati_treno(const ScenarioFiles& files);

}  // namespace sb
