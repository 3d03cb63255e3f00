// Fills the view page's model from a scenario compiled in memory. The line
// plan comes as a stream of points (metre, x, y) in metre order and goes
// straight through the plan thinner: no metre of it is held for the page.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "model/scenario.h"
#include "track/markers.h"
#include "view/page_model.h"

namespace sb::view {

using PlanPointSink = std::function<void(int64_t metre, double x, double y)>;
// Calls the sink once for every plan point, in increasing metre order.
using PlanPointSource = std::function<void(const PlanPointSink&)>;

// The computed metres of a line plan, traced as the line plan file writes
// them; nothing when the scenario has no plan.
PlanPointSource plan_points(const LinePlan& plan);

struct PageModelOptions {
  std::size_t max_plan_points = 4000;
  double plan_tolerance = 0.25;  // metres, before the thinner widens it
};

// The page model of a compile: its cells, table, diagnostics, each
// element's description file line, and the plan. A fatal check that ended
// the compile is shown as one more diagnostic.
PageModel page_model_from_scenario(const Scenario& scenario, const std::optional<FatalCheck>& fatal,
                                   const PageModelOptions& options = {});

// The parts both ways of filling a model share.
// The line's own kilometre reading at `position`, from the chainage
// systems (start, stored reference, direction) ordered greatest start first.
struct ChainageReading {
  int32_t start = 0;
  int32_t reference = 0;
  int32_t direction = 0;
};
double chainage_km(const std::vector<ChainageReading>& systems, int32_t position);
// The cell a diagnostic at `position` metres is about, within 0 .. cell_count.
int32_t diagnostic_cell(int32_t position, int32_t cell_count);
// A signal's line in the list: "aspects 50/60/0, combined code 31, time 0".
std::string signal_summary(int32_t aspect_1, int32_t aspect_2, int32_t aspect_3, int32_t combined, int32_t time);
// Streams the plan through the thinner and picks up each element's plan
// position on the way: the first plan point at or after its position.
void add_plan(PageModel& model, const PlanPointSource& source, const PageModelOptions& options = {});

}  // namespace sb::view
