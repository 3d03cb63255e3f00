// Back from a compiled scenario to description files: the line and train
// descriptions that compile to the same three files. The descriptions are
// worked out from what the cells, the table and the plan hold, compiled
// through the one pipeline and compared with the set; what still differs
// after the corrections is listed, cell by cell and slot by slot.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/diagnostics.h"
#include "format/layout.h"
#include "format/plan_stream.h"
#include "model/scenario.h"

namespace sb {

// A compiled scenario as its files hold it.
struct CompiledSet {
  std::string route_name;    // Windows-1252, as the check codes were computed from it
  std::string train_number;  // Windows-1252
  std::vector<CellRecord> cells;
  TableRecords table{};
  std::shared_ptr<const LinePlanStream> plan;  // none: compiled without a plan (--no-plan)
};

enum class SetFile { kPlan, kTable, kCells };

// One place where compiling the descriptions gives other bytes than the set.
struct SetDifference {
  SetFile file = SetFile::kCells;
  std::string place;    // "cell 204", "slot 3", "metre 1200"
  std::string message;  // what the set holds and what the descriptions give
};

struct Decompiled {
  std::string line;   // the line description, Windows-1252 with CR LF
  std::string train;  // the train description
  // Empty when the descriptions compile to the set's bytes, all three files.
  std::vector<SetDifference> differences;
  // What compiling the descriptions reported, under the names given.
  Diagnostics diagnostics;
};

// `line_name` and `train_name` name the descriptions in the diagnostics.
Decompiled decompile(const CompiledSet& set, const std::string& line_name, const std::string& train_name);

// The set a compile would write for `scenario`: its three files encoded
// and decoded again (no plan when the scenario builds none).
CompiledSet compiled_set_of(const Scenario& scenario);

}  // namespace sb
