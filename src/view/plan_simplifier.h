// Thins the line plan to a few thousand points for drawing. The plan comes
// one metre at a time, in metre order, up to a million points; the thinner
// holds one bounded chunk of them and what it has kept so far, so its
// memory does not grow with the route.
//
// Each chunk is thinned by Douglas-Peucker with the current tolerance: no
// dropped point lies farther than the tolerance from the kept polyline.
// Chunk ends are kept points, so chunks join without a step. When more
// than `max_points` are kept, the tolerance doubles and the kept points
// are thinned again, as they are once more at the end; the deviation from
// the plan stays below twice the final tolerance.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "view/page_model.h"

namespace sb::view {

class PlanSimplifier {
 public:
  explicit PlanSimplifier(double tolerance = 0.25, std::size_t max_points = 4000, std::size_t chunk = 8192);

  // Points must come in increasing metre order. A point with a coordinate
  // that is not finite, or too large to draw, is left out.
  void add(int64_t metre, double x, double y);
  // The kept points, first and last point of the plan included.
  std::vector<PlanPoint> finish();

  double tolerance() const { return tolerance_; }

 private:
  void flush_chunk();
  void shrink_output();

  double tolerance_;
  std::size_t max_points_;
  std::size_t chunk_;
  std::vector<PlanPoint> buffer_;
  std::vector<PlanPoint> kept_;
  std::vector<char> keep_flags_;
  std::vector<std::pair<std::size_t, std::size_t>> stack_;
};

// Douglas-Peucker over `points` in place: keeps the first and last point
// and every point needed to stay within `tolerance`. Exposed for tests.
void simplify_polyline(std::vector<PlanPoint>& points, double tolerance);

}  // namespace sb::view
