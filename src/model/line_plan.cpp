#include "model/line_plan.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <string>

#include "base/failures.h"

namespace sb {

void LinePlan::create(int64_t last_metre) {
  last_metre_ = last_metre;
  origin_set_ = false;
  cursor_ = 2;
  runs_.clear();
}

void LinePlan::discard() { create(-1); }

void LinePlan::set_origin() {
  if (last_metre_ < 1) {
    throw RunTimeFailure("plan metre " + std::to_string(last_metre_ < 0 ? 0 : 1) +
                         " lies outside the plan (metres 0 to " + std::to_string(last_metre_) + ")");
  }
  origin_set_ = true;
}

LinePlan::Advance LinePlan::advance(int64_t until, bool curved, double curvature, int64_t limit) {
  if (until < cursor_) return Advance::kDone;
  // The last metre this call computes: `until`, unless the plan's end or
  // the limit comes first. A step past the end fails before it is taken; the
  // limit is met once its metre is computed.
  int64_t last = std::min(until, last_metre_);
  Advance outcome = until > last_metre_ ? Advance::kPassedEnd : Advance::kDone;
  if (limit >= 0 && last >= limit) {
    last = limit;
    outcome = Advance::kPassedLimit;
  }
  if (last >= cursor_) {
    // A straight run that follows a straight run continues it.
    if (!curved && !runs_.empty() && !runs_.back().curved) {
      runs_.back().last = last;
    } else {
      runs_.push_back({last, curvature, curved});
    }
    cursor_ = last + 1;
  }
  return outcome;
}

namespace {

// The runs with neighbours that step alike joined.
std::vector<PlanRun> joined_runs(const LinePlan& plan) {
  std::vector<PlanRun> joined;
  for (const PlanRun& run : plan.runs()) {
    const bool alike =
        !joined.empty() && joined.back().curved == run.curved &&
        (!run.curved || std::bit_cast<uint64_t>(joined.back().curvature) == std::bit_cast<uint64_t>(run.curvature));
    if (alike) {
      joined.back().last = run.last;
    } else {
      joined.push_back(run);
    }
  }
  return joined;
}

}  // namespace

bool same_positions(const LinePlan& a, const LinePlan& b) {
  if (a.last_metre() != b.last_metre() || a.origin_set() != b.origin_set() || a.cursor() != b.cursor()) return false;
  const std::vector<PlanRun> ra = joined_runs(a), rb = joined_runs(b);
  if (ra.size() != rb.size()) return false;
  for (std::size_t i = 0; i < ra.size(); ++i) {
    if (ra[i].last != rb[i].last || ra[i].curved != rb[i].curved) return false;
    if (ra[i].curved && std::bit_cast<uint64_t>(ra[i].curvature) != std::bit_cast<uint64_t>(rb[i].curvature)) {
      return false;
    }
  }
  return true;
}

}  // namespace sb
