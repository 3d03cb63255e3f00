#include "compile/compile.h"

#include "base/failures.h"
#include "compile/cross_checks.h"
#include "model/chainage.h"
#include "reader/read_descriptions.h"
#include "track/completion.h"

namespace sb {
namespace {

// Authors think in chainage: a message about a position also gives the
// chainage there, where the line has chainage systems.
void add_chainage_to_messages(Scenario& scenario) {
  const auto& systems = scenario.table.chainage;
  if (!has_chainage(systems)) return;
  scenario.diagnostics.annotate_positions(
      [&systems](int32_t position) { return " (" + chainage_note(chainage_at(systems, position)) + ")"; });
}

}  // namespace

Compiled compile_scenario(const CompileRequest& request, DescriptionSources sources) {
  Compiled result;
  Scenario& scenario = result.scenario;
  scenario.route_name = request.route_name;
  scenario.train_number = request.train_number;
  scenario.build_plan = request.build_plan;

  try {
    read_descriptions(scenario, sources);
  } catch (const FileSystemError& e) {
    result.file_error = e.what();
    return result;
  }
  if (!scenario.cells.exists() || scenario.cell_count < 1 ||
      scenario.cells.size() != static_cast<int64_t>(scenario.cell_count) + 1) {
    result.fatal = FatalCheck::kNoTrackCells;
    return result;
  }
  complete_track_cells(scenario);
  cross_check(scenario);
  result.fatal = store_markers_and_check_codes(scenario);
  add_chainage_to_messages(scenario);
  return result;
}

}  // namespace sb
