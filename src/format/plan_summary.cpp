#include "format/plan_summary.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "base/text_format.h"

namespace sb {
namespace {

// The curve class a turn matches: its class 1..6 and side, 0 for none,
// -1 for a straight step.
struct Turn {
  int klass;
  int side;
  double k;
};

// The turn at a metre from it and the two before: each metre from 2 on
// repeats the step before it, turned by the curvature k of its class, and
// the turn is replayed exactly as the plan was integrated, with every
// class on both sides, to find the one it matches. `likely` (the class of
// the metre before, say) is tried first.
Turn turn_of(double x2, double y2, double x1, double y1, double x, double y, const Turn* likely) {
  const double d0 = x1 - x2;
  const double d1 = y1 - y2;
  if (x1 + d0 == x && y1 + d1 == y) return {-1, 0, 0.0};
  auto turned_by = [&](double k) { return x1 + (d0 + k * d1) == x && y1 + (d1 - k * d0) == y; };
  if (likely != nullptr && likely->klass > 0) {
    const double k = likely->side * kClassCurvature[likely->klass - 1];
    if (turned_by(k)) return {likely->klass, likely->side, k};
  }
  for (int c = 0; c < 6; ++c) {
    for (int side : {1, -1}) {
      const double k = side * kClassCurvature[c];
      if (turned_by(k)) return {c + 1, side, k};
    }
  }
  const double e0 = x - x1, e1 = y - y1;
  const double norm = d0 * d0 + d1 * d1;
  const double k = norm > 0.0 ? ((e0 - d0) * d1 - (e1 - d1) * d0) / norm : 0.0;
  return {0, k < 0.0 ? -1 : 1, k};
}

// Takes the metres in order, one at a time, and sums them up.
class PlanSummariser {
 public:
  PlanSummariser(int64_t last_metre, std::size_t max_curves, bool measure_length)
      : max_curves_(max_curves), measure_length_(measure_length) {
    s_.last_metre = last_metre;
  }

  void add(const PlanMetre& pm) {
    if (broken_ || pm.first.tag == plan_tag::kEmpty || pm.second.tag == plan_tag::kEmpty) {
      broken_ = true;
      s_.values_after_computed = s_.values_after_computed || pm.first.tag != plan_tag::kEmpty;
      return;
    }
    const std::size_t m = computed_++;
    const double x = pm.first.value, y = pm.second.value;
    if (m == 0) {
      s_.min_first = s_.max_first = x;
      s_.min_second = s_.max_second = y;
    } else if (measure_length_) {
      s_.min_first = std::fmin(s_.min_first, x);
      s_.max_first = std::fmax(s_.max_first, x);
      s_.min_second = std::fmin(s_.min_second, y);
      s_.max_second = std::fmax(s_.max_second, y);
      s_.total_length += std::hypot(x - x1_, y - y1_);
    }
    if (m >= 2) follow_turn(m, x, y);
    x2_ = x1_;
    y2_ = y1_;
    x1_ = x;
    y1_ = y;
  }

  PlanSummary finish() {
    s_.computed_to = static_cast<int64_t>(computed_) - 1;
    close();
    return std::move(s_);
  }

 private:
  // The turn at this metre, the class of the run it may go on tried first.
  void follow_turn(std::size_t m, double x, double y) {
    const Turn likely{run_.klass, run_.side, 0.0};
    const Turn turn = turn_of(x2_, y2_, x1_, y1_, x, y, open_ && run_.klass > 0 ? &likely : nullptr);
    const bool same = open_ && turn.klass == run_.klass && turn.side == run_.side;
    if (!same) close();
    if (turn.klass >= 0) {
      if (!same) {
        run_ = CurveRun{static_cast<int64_t>(m) - 1, 0, turn.klass, turn.side, turn.k};
        estimate_sum_ = 0.0;
        open_ = true;
      }
      ++run_.length;
      estimate_sum_ += turn.k;
    }
  }

  void close() {
    if (!open_) return;
    if (run_.klass == 0) run_.curvature = estimate_sum_ / static_cast<double>(run_.length);
    if (s_.curves.size() < max_curves_) {
      s_.curves.push_back(run_);
    } else {
      ++s_.curves_not_kept;
    }
    open_ = false;
  }

  const std::size_t max_curves_;
  const bool measure_length_;
  PlanSummary s_;
  CurveRun run_;
  bool open_ = false;
  double estimate_sum_ = 0.0;
  std::size_t computed_ = 0;
  bool broken_ = false;
  double x1_ = 0.0, y1_ = 0.0, x2_ = 0.0, y2_ = 0.0;  // the two metres before
};

// `next` is called once per metre: a template, so that a cursor's next is
// inlined into the loop.
template <typename Next>
PlanSummary summarise_metres(int64_t last_metre, Next&& next, std::size_t max_curves, bool measure_length) {
  PlanSummariser summariser(last_metre, max_curves, measure_length);
  for (PlanMetre pm; next(pm);) summariser.add(pm);
  return summariser.finish();
}

}  // namespace

PlanSummary summarise_plan(int64_t last_metre, const std::function<bool(PlanMetre&)>& next, std::size_t max_curves,
                           bool measure_length) {
  return summarise_metres(last_metre, next, max_curves, measure_length);
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
  return summarise_metres(
      plan.last_metre(), [&](PlanMetre& out) { return cursor.next(out); }, SIZE_MAX, true);
}

PlanSummary summarise_plan_curves(const LinePlanStream& plan) {
  LinePlanStream::Cursor cursor = plan.cursor();
  return summarise_metres(
      plan.last_metre(), [&](PlanMetre& out) { return cursor.next(out); }, SIZE_MAX, false);
}

namespace {

// Shorter than the curves of most lines, so that a run holds a classed
// metre; a run missed only costs the walk over every metre.
constexpr int64_t kSampleStride = 32;
constexpr int64_t kPrefetchSamples = 8;

bool same_turn(const Turn& a, const Turn& b) { return a.klass == b.klass && a.side == b.side; }

}  // namespace

std::optional<std::vector<CurveRun>> sampled_curves(const LinePlanStream& plan) {
  const int64_t computed = plan.held_computed_metres();
  if (computed < 0) return std::nullopt;
  std::vector<CurveRun> runs;
  if (computed < 3) return runs;  // no metre has two before it
  bool unclassed = false;
  Turn before{-1, 0, 0.0};  // the turn of the last metre sampled, tried first
  auto turn_at = [&](int64_t m) {
    const PlanMetre a = plan.held_metre(static_cast<uint64_t>(m - 2));
    const PlanMetre b = plan.held_metre(static_cast<uint64_t>(m - 1));
    const PlanMetre c = plan.held_metre(static_cast<uint64_t>(m));
    const Turn t =
        turn_of(a.first.value, a.second.value, b.first.value, b.second.value, c.first.value, c.second.value, &before);
    unclassed = unclassed || t.klass == 0;
    return t;
  };
  // Where each run of one turn starts, and its turn.
  std::vector<std::pair<int64_t, Turn>> starts;
  before = turn_at(2);
  starts.push_back({2, before});
  for (int64_t p = 2; p < computed - 1;) {
    const int64_t q = std::min(p + kSampleStride, computed - 1);
    // The metres are far apart: each would wait for memory in turn.
    const int64_t ahead = q + kPrefetchSamples * kSampleStride;
    if (ahead < computed) plan.prefetch_held_metre(static_cast<uint64_t>(ahead - 2));
    const Turn at_q = turn_at(q);
    if (!same_turn(at_q, before)) {
      int64_t low = p, high = q;  // the turn at low is `before`, at high `at_q`
      while (high - low > 1) {
        const int64_t middle = low + (high - low) / 2;
        const Turn t = turn_at(middle);
        if (same_turn(t, before)) {
          low = middle;
        } else if (same_turn(t, at_q)) {
          high = middle;
        } else {
          return std::nullopt;  // a third turn between two metres: walk them all
        }
      }
      starts.push_back({high, at_q});
      before = at_q;
    }
    p = q;
  }
  if (unclassed) return std::nullopt;
  for (std::size_t i = 0; i < starts.size(); ++i) {
    const auto& [first, turn] = starts[i];
    if (turn.klass < 0) continue;
    const int64_t end = i + 1 < starts.size() ? starts[i + 1].first : computed;
    runs.push_back(CurveRun{first - 1, end - first, turn.klass, turn.side, turn.k});
  }
  return runs;
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
