// The description file reader: turns a line description and a train
// description into the scenario's cells, plan and table.
#pragma once

#include "model/scenario.h"
#include "reader/description_source.h"

namespace sb {

// Reads the line description, then the train description, into `scenario`
// (whose table is empty). Conditions are recorded in its diagnostics;
// reading stops at the first that stops it. Never throws for bad content:
// an unreadable value or an index that would leave its array is recorded
// as code 25.
void read_descriptions(Scenario& scenario, DescriptionSources sources);

}  // namespace sb
