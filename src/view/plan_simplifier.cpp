#include "view/plan_simplifier.h"

#include <cmath>

namespace sb::view {
namespace {

constexpr double kDrawableLimit = 1e9;  // metres; beyond this a plan is nonsense

// Squared distance of p from the segment a-b.
double distance2(const PlanPoint& p, const PlanPoint& a, const PlanPoint& b) {
  const double dx = b.x - a.x;
  const double dy = b.y - a.y;
  const double px = p.x - a.x;
  const double py = p.y - a.y;
  const double length2 = dx * dx + dy * dy;
  double t = length2 > 0.0 ? (px * dx + py * dy) / length2 : 0.0;
  if (t < 0.0) t = 0.0;
  if (t > 1.0) t = 1.0;
  const double ex = px - t * dx;
  const double ey = py - t * dy;
  return ex * ex + ey * ey;
}

void douglas_peucker(std::vector<PlanPoint>& points, double tolerance, std::vector<char>& keep,
                     std::vector<std::pair<std::size_t, std::size_t>>& stack) {
  const std::size_t n = points.size();
  if (n < 3) return;
  keep.assign(n, 0);
  keep[0] = keep[n - 1] = 1;
  const double limit = tolerance * tolerance;
  stack.clear();
  stack.emplace_back(0, n - 1);
  while (!stack.empty()) {
    auto [first, last] = stack.back();
    stack.pop_back();
    double worst = -1.0;
    std::size_t at = first;
    for (std::size_t i = first + 1; i < last; ++i) {
      double d = distance2(points[i], points[first], points[last]);
      if (d > worst) {
        worst = d;
        at = i;
      }
    }
    if (worst > limit) {
      keep[at] = 1;
      if (at - first > 1) stack.emplace_back(first, at);
      if (last - at > 1) stack.emplace_back(at, last);
    }
  }
  std::size_t out = 0;
  for (std::size_t i = 0; i < n; ++i) {
    if (keep[i]) points[out++] = points[i];
  }
  points.resize(out);
}

}  // namespace

void simplify_polyline(std::vector<PlanPoint>& points, double tolerance) {
  std::vector<char> keep;
  std::vector<std::pair<std::size_t, std::size_t>> stack;
  douglas_peucker(points, tolerance, keep, stack);
}

PlanSimplifier::PlanSimplifier(double tolerance, std::size_t max_points, std::size_t chunk)
    : tolerance_(tolerance > 0.0 ? tolerance : 0.25),
      max_points_(max_points < 16 ? 16 : max_points),
      chunk_(chunk < 16 ? 16 : chunk) {
  buffer_.reserve(chunk_);
}

void PlanSimplifier::add(int64_t metre, double x, double y) {
  if (!std::isfinite(x) || !std::isfinite(y) || std::fabs(x) > kDrawableLimit || std::fabs(y) > kDrawableLimit) {
    return;
  }
  buffer_.push_back({metre, x, y});
  if (buffer_.size() >= chunk_) flush_chunk();
}

void PlanSimplifier::flush_chunk() {
  if (buffer_.empty()) return;
  douglas_peucker(buffer_, tolerance_, keep_flags_, stack_);
  // The first point of every chunk after the first is the previous chunk's
  // last, already kept.
  std::size_t from = kept_.empty() ? 0 : 1;
  for (std::size_t i = from; i < buffer_.size(); ++i) kept_.push_back(buffer_[i]);
  PlanPoint last = buffer_.back();
  buffer_.clear();
  buffer_.push_back(last);
  if (kept_.size() > max_points_) shrink_output();
}

void PlanSimplifier::shrink_output() {
  while (kept_.size() > max_points_) {
    tolerance_ *= 2.0;
    douglas_peucker(kept_, tolerance_, keep_flags_, stack_);
  }
}

std::vector<PlanPoint> PlanSimplifier::finish() {
  if (buffer_.size() > 1 || kept_.empty()) flush_chunk();
  // One more pass over the joins of the chunks, where a straight stretch
  // was cut into pieces.
  douglas_peucker(kept_, tolerance_, keep_flags_, stack_);
  shrink_output();
  buffer_.clear();
  return std::move(kept_);
}

}  // namespace sb::view
