#include "view/plan_simplifier.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

namespace sb::view {
namespace {

// Feeds `count` points of `path(metre)` through the thinner and checks the
// kept polyline: ends kept, metres increasing, at most `max_points`, and
// every fed point within twice the final tolerance of the kept segment
// that spans its metre. Returns the kept points.
std::vector<PlanPoint> check_thinned(int64_t count, const std::function<PlanPoint(int64_t)>& path,
                                     std::size_t max_points, std::size_t chunk = 8192) {
  PlanSimplifier thinner(0.25, max_points, chunk);
  for (int64_t m = 0; m < count; ++m) {
    PlanPoint p = path(m);
    thinner.add(m, p.x, p.y);
  }
  const double tolerance = thinner.tolerance();
  std::vector<PlanPoint> kept = thinner.finish();
  EXPECT_LE(kept.size(), max_points);
  EXPECT_GE(kept.size(), 2u);
  EXPECT_EQ(kept.front().metre, 0);
  EXPECT_EQ(kept.back().metre, count - 1);
  for (std::size_t i = 1; i < kept.size(); ++i) EXPECT_LT(kept[i - 1].metre, kept[i].metre);
  double worst = 0;
  for (int64_t m = 0; m < count; ++m) {
    const PlanPoint p = path(m);
    auto it = std::lower_bound(kept.begin(), kept.end(), m, [](const PlanPoint& a, int64_t v) { return a.metre < v; });
    if (it == kept.begin()) ++it;
    const PlanPoint& a = *(it - 1);
    const PlanPoint& b = *it;
    const double dx = b.x - a.x, dy = b.y - a.y;
    double t = ((p.x - a.x) * dx + (p.y - a.y) * dy) / (dx * dx + dy * dy);
    t = std::clamp(t, 0.0, 1.0);
    worst = std::max(worst, std::hypot(p.x - a.x - t * dx, p.y - a.y - t * dy));
  }
  EXPECT_LE(worst, 2 * tolerance + 1e-9) << "tolerance " << tolerance;
  return kept;
}

TEST(PlanSimplifier, StraightLinesKeepOnlyTheirEndsAndChunkJoins) {
  // A million metres along a diagonal, over 123 chunks: the joins go too.
  auto kept = check_thinned(
      1000000,
      [](int64_t m) {
        return PlanPoint{m, 0.6 * m, 0.8 * m};
      },
      4000);
  EXPECT_EQ(kept.size(), 2u);
  // Two straights with a corner keep the corner.
  auto corner = check_thinned(
      20000,
      [](int64_t m) {
        return m < 12345 ? PlanPoint{m, 0.0, static_cast<double>(m)} : PlanPoint{m, m - 12345.0, 12345.0};
      },
      4000, 1000);
  ASSERT_EQ(corner.size(), 3u);
  EXPECT_EQ(corner[1].metre, 12345);
}

TEST(PlanSimplifier, CurvesStayWithinTheToleranceAndTheBudget) {
  // A circle of radius 500 m walked many times (tight curves everywhere),
  // and a long line of gentle alternating curves built the way the plan is
  // integrated: the step vector turned by the curvature every metre.
  check_thinned(
      200000,
      [](int64_t m) {
        const double a = m / 500.0;
        return PlanPoint{m, 500 * std::cos(a), 500 * std::sin(a)};
      },
      3000);

  std::vector<PlanPoint> integrated;
  double x1 = 0, y1 = 1, x2 = 0, y2 = 0;
  integrated.push_back({0, 0, 0});
  integrated.push_back({1, 0, 1});
  for (int64_t m = 2; m < 600000; ++m) {
    const double k = (m / 700) % 3 == 0 ? 0.0 : ((m / 700) % 3 == 1 ? 0.002 : -0.001);
    const double d0 = x1 - x2, d1 = y1 - y2;
    x2 = x1, y2 = y1;
    x1 = x1 + (d0 + k * d1);
    y1 = y1 + (d1 - k * d0);
    integrated.push_back({m, x1, y1});
  }
  auto kept = check_thinned(
      static_cast<int64_t>(integrated.size()), [&](int64_t m) { return integrated[static_cast<std::size_t>(m)]; }, 4000,
      1000);
  EXPECT_GT(kept.size(), 100u);  // the curves are there, not cut to chords
}

TEST(PlanSimplifier, PointsThatCannotBeDrawnAreLeftOut) {
  PlanSimplifier thinner;
  thinner.add(0, 0, 0);
  thinner.add(1, NAN, 1);
  thinner.add(2, 1e300, 2);
  thinner.add(3, 0, INFINITY);
  thinner.add(4, 0, 4);
  auto kept = thinner.finish();
  ASSERT_EQ(kept.size(), 2u);
  EXPECT_EQ(kept[1].metre, 4);
  EXPECT_TRUE(PlanSimplifier().finish().empty());
}

}  // namespace
}  // namespace sb::view
