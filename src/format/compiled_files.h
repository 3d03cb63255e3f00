// The three compiled files of a scenario, written as the simulator loads
// them: line plan, scenario table, track cells.
#pragma once

#include "base/files.h"
#include "model/scenario.h"
#include "model/scenario_files.h"

namespace sb {

// Adds the compiled files of `scenario` to `outputs` in the order line plan
// (only when it builds a plan), scenario table, track cells.
void stage_compiled_files(const Scenario& scenario, const ScenarioFiles& files, OutputSet& outputs);

// Adds the train's own compiled files of `scenario`, scenario table and
// track cells, to `outputs`: for a further train on a line whose plan file
// is already staged.
void stage_train_files(const Scenario& scenario, const ScenarioFiles& files, OutputSet& outputs);

// The compiled files of `scenario`, replaced as one set. Throws
// FileSystemError.
void write_compiled_files(const Scenario& scenario, const ScenarioFiles& files);

}  // namespace sb
