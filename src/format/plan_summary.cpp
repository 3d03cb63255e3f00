#include "format/plan_summary.h"

#include <cmath>
#include <cstdio>

#include "base/text_format.h"

namespace sb {

PlanSummary summarise_plan(int64_t last_metre, const std::function<bool(PlanMetre&)>& next, std::size_t max_curves,
                           bool measure_length) {
  PlanSummary s;
  s.last_metre = last_metre;
  // Each metre from 2 on repeats the step before it, turned by the
  // curvature k of its class: the turn is replayed exactly as the plan was
  // integrated, with every class on both sides, to find the one it matches.
  struct Turn {
    int klass;
    int side;
    double k;
  };
  CurveRun run;
  bool open = false;
  double estimate_sum = 0.0;
  auto close = [&]() {
    if (!open) return;
    if (run.klass == 0) run.curvature = estimate_sum / static_cast<double>(run.length);
    if (s.curves.size() < max_curves) {
      s.curves.push_back(run);
    } else {
      ++s.curves_not_kept;
    }
    open = false;
  };
  std::size_t computed = 0;
  bool broken = false;
  double x1 = 0.0, y1 = 0.0, x2 = 0.0, y2 = 0.0;  // the two metres before
  for (PlanMetre pm; next(pm);) {
    if (broken || pm.first.tag == plan_tag::kEmpty || pm.second.tag == plan_tag::kEmpty) {
      broken = true;
      s.values_after_computed = s.values_after_computed || pm.first.tag != plan_tag::kEmpty;
      continue;
    }
    const std::size_t m = computed++;
    const double x = pm.first.value, y = pm.second.value;
    if (m == 0) {
      s.min_first = s.max_first = x;
      s.min_second = s.max_second = y;
    } else if (measure_length) {
      s.min_first = std::fmin(s.min_first, x);
      s.max_first = std::fmax(s.max_first, x);
      s.min_second = std::fmin(s.min_second, y);
      s.max_second = std::fmax(s.max_second, y);
      s.total_length += std::hypot(x - x1, y - y1);
    }
    if (m >= 2) {
      const double d0 = x1 - x2;
      const double d1 = y1 - y2;
      Turn turn{-1, 0, 0.0};  // -1: straight
      if (!(x1 + d0 == x && y1 + d1 == y)) {
        turn = {0, 0, 0.0};
        for (int c = 0; c < 6 && turn.klass == 0; ++c) {
          for (int side : {1, -1}) {
            const double k = side * kClassCurvature[c];
            if (x1 + (d0 + k * d1) == x && y1 + (d1 - k * d0) == y) {
              turn = {c + 1, side, k};
              break;
            }
          }
        }
        if (turn.klass == 0) {
          const double e0 = x - x1, e1 = y - y1;
          const double norm = d0 * d0 + d1 * d1;
          const double k = norm > 0.0 ? ((e0 - d0) * d1 - (e1 - d1) * d0) / norm : 0.0;
          turn.side = k < 0.0 ? -1 : 1;
          turn.k = k;
        }
      }
      const bool same = open && turn.klass == run.klass && turn.side == run.side;
      if (!same) close();
      if (turn.klass >= 0) {
        if (!same) {
          run = CurveRun{static_cast<int64_t>(m) - 1, 0, turn.klass, turn.side, turn.k};
          estimate_sum = 0.0;
          open = true;
        }
        ++run.length;
        estimate_sum += turn.k;
      }
    }
    x2 = x1;
    y2 = y1;
    x1 = x;
    y1 = y;
  }
  s.computed_to = static_cast<int64_t>(computed) - 1;
  close();
  return s;
}

PlanSummary summarise_plan(const DecodedPlan& plan) {
  std::size_t m = 0;
  return summarise_plan(plan.last_metre(), [&](PlanMetre& out) {
    if (m >= plan.first.size()) return false;
    out = {m, plan.first[m], plan.second[m]};
    ++m;
    return true;
  });
}

PlanSummary summarise_plan(const LinePlanStream& plan) {
  LinePlanStream::Cursor cursor = plan.cursor();
  return summarise_plan(plan.last_metre(), [&](PlanMetre& out) { return cursor.next(out); });
}

PlanSummary summarise_plan_curves(const LinePlanStream& plan) {
  LinePlanStream::Cursor cursor = plan.cursor();
  return summarise_plan(
      plan.last_metre(), [&](PlanMetre& out) { return cursor.next(out); }, SIZE_MAX, false);
}

std::string curve_text(const CurveRun& run) {
  std::string s = run.side > 0 ? "right" : "left";
  s += run.klass > 0 ? " class " + decimal(run.klass) : " (no class)";
  s += " from " + metres_text(run.start) + ", " + metres_text(run.length) + " long";
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, " (curvature %.6g per m)", run.curvature);
  return s + buffer;
}

LinePlan line_plan_of(const PlanSummary& summary) {
  LinePlan plan;
  if (summary.last_metre < 0) return plan;
  plan.create(summary.last_metre);
  if (summary.computed_to < 1) return plan;
  plan.set_origin();
  for (const CurveRun& run : summary.curves) {
    plan.advance(run.start, false, 0.0);
    plan.advance(run.start + run.length, true, run.curvature);
  }
  plan.advance(summary.computed_to, false, 0.0);
  return plan;
}

}  // namespace sb
