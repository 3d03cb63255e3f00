#include "documents/driver_documents.h"

namespace sb {

DriverDocuments driver_documents(const Scenario& scenario, const DocumentOptions& options) {
  return {timetable_card(scenario, options), slowdown_order(scenario, options), std::nullopt};
}

void stage_driver_documents(const DriverDocuments& documents, const ScenarioFiles& files, OutputSet& outputs) {
  outputs.add(files.timetable_card(), documents.timetable_card);
  outputs.add(files.slowdown_order(), documents.slowdown_order);
  if (documents.notes) outputs.add(files.notes(), *documents.notes);
}

}  // namespace sb
