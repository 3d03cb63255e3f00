// The three compiled files of a scenario, written as the simulator loads
// them: line plan, scenario table, track cells.
#pragma once

#include "model/scenario.h"
#include "model/scenario_files.h"

namespace sb {

// Writes the compiled files of `scenario` in the order line plan (only when
// it builds a plan), scenario table, track cells; each replaces its file
// atomically. Throws FileSystemError.
void write_compiled_files(const Scenario& scenario, const ScenarioFiles& files);

}  // namespace sb
