// What a line plan file holds, recovered from its metres: its extent, its
// range, its length and the curve runs, found from the turn of the step
// vector.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "format/decoder.h"
#include "format/plan_stream.h"
#include "model/line_plan.h"

namespace sb {

struct CurveRun {
  int64_t start = 0;       // metre the run starts from: its first turned step is metre start + 1
  int64_t length = 0;      // turned steps
  int klass = 0;           // 1..6; 0 when the turn matches no class exactly
  int side = 0;            // +1 right (d), -1 left (s)
  double curvature = 0.0;  // per metre, signed; the class's own value when it has one
  bool operator==(const CurveRun&) const = default;
};

inline constexpr double kClassCurvature[6] = {0.0001, 0.0002, 0.0004, 0.001, 0.002, 0.003};

struct PlanSummary {
  int64_t last_metre = -1;   // N: metres 0 .. N in the file
  int64_t computed_to = -1;  // the last metre of the unbroken run of computed metres from 0
  double min_first = 0.0, max_first = 0.0, min_second = 0.0, max_second = 0.0;
  double total_length = 0.0;           // sum of the step lengths up to computed_to
  bool values_after_computed = false;  // a first coordinate past computed_to holds a value
  std::vector<CurveRun> curves;
  int64_t curves_not_kept = 0;  // the runs past max_curves, counted only
};
// From the metres in order (`next` hands out the following one, false at
// the end); the same from a decoded plan or a streamed file. The first
// `max_curves` curve runs are kept, the rest counted.
PlanSummary summarise_plan(int64_t last_metre, const std::function<bool(PlanMetre&)>& next,
                           std::size_t max_curves = SIZE_MAX, bool measure_length = true);
PlanSummary summarise_plan(const DecodedPlan& plan);
PlanSummary summarise_plan(const LinePlanStream& plan);
// The same without the range and total_length (a square root per metre):
// for the curves alone.
PlanSummary summarise_plan_curves(const LinePlanStream& plan);
// The curve runs of a plan held in memory in a compile's layout, found
// from a few metres: the turn is classed every few metres, and where two
// classes meet the metre they change at is searched for in between. A
// run that starts and ends between two of those metres is missed, so the
// caller must check what these runs give against the plan; nothing when
// the plan is not held so, or a turn matches no class (its curvature is
// an average over every metre of its run).
std::optional<std::vector<CurveRun>> sampled_curves(const LinePlanStream& plan);
std::string curve_text(const CurveRun& run);

// The line plan by meaning, as reading the descriptions builds it: the
// straight and curved runs recovered from the file. Written again, a plan
// whose curves all have a class gives the same bytes.
LinePlan line_plan_of(const PlanSummary& summary);  // "right class 6 from 100 m, 400 m long (curvature ...)"

}  // namespace sb
