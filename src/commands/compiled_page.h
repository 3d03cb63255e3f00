// The view page's model drawn from compiled files alone: the decoded track
// cells, scenario table and line plan, read by meaning with the functions
// inspect and diff use. A file that is missing or was refused leaves its
// part of the page empty; the caller turns why into a diagnostic.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "format/decoder.h"
#include "format/plan_stream.h"
#include "format/layout.h"
#include "view/page_model.h"
#include "view/page_model_builder.h"

namespace sb {

struct DecodedScenario {
  // Route and train for the check codes when there is no table to name
  // them (Windows-1252); the table's own names win.
  std::string route_name;
  std::string train_number;
  std::optional<std::vector<CellRecord>> cells;
  std::optional<TableRecords> table;
  std::shared_ptr<const LinePlanStream> plan;  // read as the page is drawn
};

// The plan points of a decoded line plan: every metre both of whose
// coordinates are stored, in metre order.
view::PlanPointSource decoded_plan_points(const LinePlanStream& plan);

view::PageModel page_model_from_compiled(const DecodedScenario& scenario,
                                         const view::PageModelOptions& options = {});

}  // namespace sb
