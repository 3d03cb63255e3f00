// Back from a compiled scenario to description files: the line and train
// descriptions that compile to the same three files. The descriptions are
// worked out from what the cells, the table and the plan hold, compiled
// through the one pipeline and compared with the set; what still differs
// after the corrections is listed, cell by cell and slot by slot.
#pragma once

#include <cstdint>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/diagnostics.h"
#include "format/layout.h"
#include "format/plan_stream.h"
#include "format/plan_summary.h"
#include "model/line_plan.h"
#include "model/scenario.h"

namespace sb {

// The plan's curves found from a few metres (sampled_curves) and the plan
// they give, and whether that plan's bytes are the file's: a comparison
// that may still be running on another thread while the descriptions are
// compiled. Nothing where sampled_curves finds nothing.
struct SampledPlan {
  std::vector<CurveRun> curves;
  std::shared_ptr<const LinePlan> plan;
  std::shared_future<bool> matches;
};
// The curves and their plan; `matches` is left to the caller.
std::optional<SampledPlan> sample_plan_curves(const LinePlanStream& plan);
// Whether the bytes of the sampled curves' plan are the file's.
bool sampled_plan_matches(const SampledPlan& sampled, const LinePlanStream& plan);

// A compiled scenario as its files hold it.
struct CompiledSet {
  std::string route_name;    // Windows-1252, as the check codes were computed from it
  std::string train_number;  // Windows-1252
  // The paths of the compiled files, named in the descriptions' header.
  std::vector<std::string> sources;
  std::vector<CellRecord> cells;
  TableRecords table{};
  std::shared_ptr<const LinePlanStream> plan;  // none: compiled without a plan (--no-plan)
  // What sampling the plan found while it was read; else the decompile
  // works it out.
  std::optional<SampledPlan> sampled;
};

enum class SetFile { kPlan, kTable, kCells };

// One place where compiling the descriptions gives other bytes than the set.
struct SetDifference {
  SetFile file = SetFile::kCells;
  std::string place;    // "cell 204", "slot 3", "metre 1200"
  std::string message;  // what the set holds and what the descriptions give
};

struct Decompiled {
  // The line description, Windows-1252 with CR LF. Both descriptions open
  // with three lines before `[generale]`, which the reader passes over:
  // the files they came from and the tool's version, whether the curves
  // are known, and whether the set is reproduced (else where it differs).
  std::string line;
  std::string train;  // the train description
  // Empty when the descriptions compile to the set's bytes, all three files.
  std::vector<SetDifference> differences;
  // What compiling the descriptions reported, under the names given.
  Diagnostics diagnostics;
};

// `line_name` and `train_name` name the descriptions in the diagnostics.
Decompiled decompile(const CompiledSet& set, const std::string& line_name, const std::string& train_name);

// The same in two steps. The train description, with the abbattimento
// marks the completion does not place by itself, needs the cells and the
// table alone (set.plan is not read): it can be worked out while the plan
// is still being read. The rest needs the plan, where the set has one.
std::string decompile_train(const CompiledSet& set, const std::string& line_name, const std::string& train_name);
Decompiled decompile(const CompiledSet& set, const std::string& line_name, const std::string& train_name,
                     std::string train);

// The set a compile would write for `scenario`: its three files encoded
// and decoded again (no plan when the scenario builds none).
CompiledSet compiled_set_of(const Scenario& scenario);

}  // namespace sb
