#include "format/compiled_files.h"

#include "format/line_plan_file.h"
#include "format/scenario_table_file.h"
#include "format/track_cell_file.h"

namespace sb {
namespace {

template <typename Writer>
void replace_with(const std::string& path, Writer&& write) {
  AtomicFile file(path);
  write(file);
  file.commit();
}

}  // namespace

void write_compiled_files(const Scenario& scenario, const ScenarioFiles& files) {
  if (scenario.build_plan) {
    replace_with(files.line_plan(), [&](ByteSink& s) { write_line_plan(scenario.plan, s); });
  }
  replace_with(files.scenario_table(),
               [&](ByteSink& s) { write_scenario_table(table_records(scenario.table), s); });
  replace_with(files.track_cells(), [&](ByteSink& s) { write_track_cells(scenario.cells, s); });
}

}  // namespace sb
