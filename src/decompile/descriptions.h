// The description files an author would write for what a compiled set
// holds: one record per element and per change of a stretch value, each
// at the position that puts it into its cell, laid out as the built-in
// description files are.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "format/plan_summary.h"
#include "model/scenario_table.h"
#include "model/track_cells.h"

namespace sb {

// What the descriptions are worked out from.
struct RecoveredScenario {
  TrackCells cells;
  ScenarioTable table;
  std::vector<CurveRun> curves;  // the plan's runs; none without a plan
};

// An abbattimento record: the completion places most of them by itself,
// so only the ones it would not place are written.
struct AbbattimentoRecord {
  int64_t cell = 0;
  int16_t value = 0;  // 0: an abbattimento without a value
};

std::string line_description(const RecoveredScenario& scenario, bool with_curves);
std::string train_description(const RecoveredScenario& scenario, const std::vector<AbbattimentoRecord>& marks);

}  // namespace sb
