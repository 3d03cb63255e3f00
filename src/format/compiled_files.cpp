#include "format/compiled_files.h"

#include "format/line_plan_file.h"
#include "format/scenario_table_file.h"
#include "format/track_cell_file.h"

namespace sb {
void stage_compiled_files(const Scenario& scenario, const ScenarioFiles& files, OutputSet& outputs) {
  // The two small files are written while the line plan's last blocks go
  // out.
  auto small_files = [&] {
    write_scenario_table(table_records(scenario.table), outputs.add(files.scenario_table()));
    write_track_cells(scenario.cells, outputs.add(files.track_cells()));
  };
  if (scenario.build_plan) {
    write_line_plan(scenario.plan, outputs.add_positioned(files.line_plan()), small_files);
  } else {
    small_files();
  }
}

void stage_train_files(const Scenario& scenario, const ScenarioFiles& files, OutputSet& outputs) {
  write_scenario_table(table_records(scenario.table), outputs.add(files.scenario_table()));
  write_track_cells(scenario.cells, outputs.add(files.track_cells()));
}

void write_compiled_files(const Scenario& scenario, const ScenarioFiles& files) {
  OutputSet outputs;
  stage_compiled_files(scenario, files, outputs);
  outputs.commit();
}

}  // namespace sb
