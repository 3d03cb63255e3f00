// Fills the view page's model from the scenario by meaning: its track
// cells and scenario table, read from the description files or decoded
// from compiled files. Both ways go through the one builder, so that the
// two pages of one scenario show the same elements with the same values;
// only what compiled files cannot hold differs (source lines, and element
// positions that the cell knows only to within 25 m).
//
// The line plan comes as a stream of points (metre, x, y) in metre order
// and goes straight through the plan thinner: no metre of it is held for
// the page.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "format/plan_stream.h"
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
  // The first curves along the line that the page shows; the rest are
  // counted, so that a plan that turns every metre still makes a page of
  // bounded size and memory.
  std::size_t max_curves = 5000;
  // The first track cells whose profile and elements the page draws (a
  // route of 1 000 km has 20 141); past them cells and elements are
  // counted, so that a compiled file of millions of cells still makes a
  // page of bounded size and memory.
  std::size_t max_cells = 25000;
};

// How the program prints a diagnostic, which the page lists as it is: the
// diagnostic as printed, or nothing where the warning options hide it; a
// fatal check as printed; whether the shown warnings fail the build. The
// commands give theirs (commands/view_command.h).
struct DiagnosticPresentation {
  std::function<std::optional<Diagnostic>(const sb::Diagnostic&)> shown;
  std::function<Diagnostic(FatalCheck)> fatal;
  std::function<bool(const sb::Diagnostics&)> warnings_fail;
};

// The page model of a compile: its cells, table, diagnostics, each
// element's description file line, and the plan. A fatal check that ended
// the compile is shown as one more diagnostic.
PageModel page_model_from_scenario(const Scenario& scenario, const std::optional<FatalCheck>& fatal,
                                   const DiagnosticPresentation& presentation, const PageModelOptions& options = {});

// A compiled scenario read back. A file that is missing or was refused
// leaves its part of the page empty; the caller adds why as a diagnostic.
struct DecodedScenario {
  // Route and train for the check codes when there is no table to name
  // them (Windows-1252); the table's own names win.
  std::string route_name;
  std::string train_number;
  std::optional<TrackCells> cells;
  std::optional<ScenarioTable> table;
  std::shared_ptr<const LinePlanStream> plan;  // read as the page is drawn
};

PageModel page_model_from_compiled(const DecodedScenario& scenario, const PageModelOptions& options = {});

}  // namespace sb::view
