// The plan of the line: its position at every metre 0 .. total_metres, two
// coordinates each. Metres 0 and 1 are whole numbers (the line starts at
// the origin heading along the second coordinate); every later metre the
// reader reached repeats the step vector of the metre before it, turned by
// the curvature of a curve record in force; the metres it never reached
// stay empty.
//
// Nothing reads a metre before the line plan file is written, so the plan
// is kept as the steps the reader took (runs of metres, straight or with a
// curvature) and the positions are computed while the file is written. A
// plan of a million metres then costs a few bytes per curve record instead
// of sixteen per metre.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sb {

// Metres up to `last` integrated in one way: straight on, or turned by
// `curvature` (radians per metre; negative turns left) at every metre. A
// run starts where the one before it ended, the first one at metre 2.
struct PlanRun {
  int64_t last = 0;
  double curvature = 0.0;
  bool curved = false;
};

class LinePlan {
 public:
  // What advancing the plan met.
  enum class Advance { kDone, kPassedLimit, kPassedEnd };

  // A plan of metres 0 .. last_metre, every metre empty.
  void create(int64_t last_metre);
  void discard();
  bool exists() const { return last_metre_ >= 0; }
  int64_t last_metre() const { return last_metre_; }

  // Metres 0 and 1: (0, 0) and (0, 1). A run-time failure when the plan
  // has no metre 1.
  void set_origin();
  bool origin_set() const { return origin_set_; }

  // Integrates from the cursor up to metre `until`, as one step per metre
  // that repeats the previous step, turned by `curvature` when `curved`.
  // Returns kPassedEnd when a step would pass the last metre (the metres
  // before it are computed), and, with `limit`, kPassedLimit once metre
  // `limit` is computed.
  Advance advance(int64_t until, bool curved, double curvature, int64_t limit = -1);
  // The next metre to compute; every metre from 2 up to it has a position.
  int64_t cursor() const { return cursor_; }
  const std::vector<PlanRun>& runs() const { return runs_; }

 private:
  int64_t last_metre_ = -1;
  bool origin_set_ = false;
  int64_t cursor_ = 2;
  std::vector<PlanRun> runs_;
};

// Whether two plans give the same positions at every metre, however their
// runs are split: the same metres, origin and cursor, and at every metre
// the same way of stepping (curvatures compared bit for bit).
bool same_positions(const LinePlan& a, const LinePlan& b);

// Where the trace stands: the positions of the two metres before.
struct PlanTraceState {
  double x2 = 0.0, y2 = 0.0;  // metre m - 2
  double x1 = 0.0, y1 = 1.0;  // metre m - 1
};

// Walks the computed metres `from` .. `to` (within 2 .. cursor - 1) in
// order, from `state` (the positions of metres from - 2 and from - 1),
// handing them over in chunks: emit_chunk(first_metre, xs, ys, count) for
// metres first_metre .. first_metre + count - 1. Each step repeats the
// previous metre's step vector, turned by k in a curve; the vector is not
// rescaled. The order of the operations is part of the compiled bytes:
// keep it. The positions go into small arrays of their own, so the
// dependent chain of steps is not held up by the stores of whoever takes
// them.
template <typename EmitChunk>
void trace_plan_chunks_between(const LinePlan& plan, int64_t from, int64_t to, PlanTraceState state,
                               EmitChunk&& emit_chunk) {
  constexpr int64_t kChunk = 512;
  double xs[kChunk];
  double ys[kChunk];
  double x2 = state.x2, y2 = state.y2;
  double x1 = state.x1, y1 = state.y1;
  int64_t run_first = 2;
  for (const PlanRun& run : plan.runs()) {
    const int64_t last = run.last < to ? run.last : to;
    const double k = run.curvature;
    for (int64_t first = run_first > from ? run_first : from; first <= last; first += kChunk) {
      const int64_t n = last - first + 1 < kChunk ? last - first + 1 : kChunk;
      if (run.curved) {
        for (int64_t i = 0; i < n; ++i) {
          const double d0 = x1 - x2;
          const double d1 = y1 - y2;
          x2 = x1;
          y2 = y1;
          x1 = x1 + (d0 + k * d1);
          y1 = y1 + (d1 - k * d0);
          xs[i] = x1;
          ys[i] = y1;
        }
      } else {
        for (int64_t i = 0; i < n; ++i) {
          const double d0 = x1 - x2;
          const double d1 = y1 - y2;
          x2 = x1;
          y2 = y1;
          x1 = x1 + d0;
          y1 = y1 + d1;
          xs[i] = x1;
          ys[i] = y1;
        }
      }
      emit_chunk(first, static_cast<const double*>(xs), static_cast<const double*>(ys), static_cast<std::size_t>(n));
    }
    if (run.last >= to) break;
    run_first = run.last + 1;
  }
}

// Every computed metre, 2 .. cursor - 1, from the origin.
template <typename EmitChunk>
void trace_plan_chunks(const LinePlan& plan, EmitChunk&& emit_chunk) {
  trace_plan_chunks_between(plan, 2, plan.cursor() - 1, PlanTraceState{}, emit_chunk);
}

// The same one metre at a time: emit(metre, x, y).
template <typename Emit>
void trace_plan(const LinePlan& plan, Emit&& emit) {
  trace_plan_chunks(plan, [&](int64_t first, const double* xs, const double* ys, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) emit(first + static_cast<int64_t>(i), xs[i], ys[i]);
  });
}

}  // namespace sb
