// A line plan compared with a file's bytes without writing it, in two
// parts on two threads for a long plan, and the curves of a held plan
// found from a few metres.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

#include <initializer_list>
#include <memory>
#include <string>

#include "base/files.h"
#include "format/line_plan_file.h"
#include "format/plan_stream.h"
#include "format/plan_summary.h"
#include "model/line_plan.h"

namespace sb {
namespace {

// A plan of metres 0 .. last from the origin, stepped up to each `until`
// straight (curvature 0) or turned.
struct Step {
  int64_t until;
  double curvature;
};
LinePlan plan_of(int64_t last, std::initializer_list<Step> steps) {
  LinePlan plan;
  plan.create(last);
  plan.set_origin();
  for (const Step& s : steps) plan.advance(s.until, s.curvature != 0.0, s.curvature);
  return plan;
}

// 200 000 metres: straight, a curve, straight, a curve to the end.
LinePlan long_plan() { return plan_of(200000, {{50000, 0.0}, {60000, 0.0004}, {120000, 0.0}, {199000, -0.002}}); }

std::string bytes_of(const LinePlan& plan) {
  StringSink sink;
  write_line_plan(plan, sink);
  return sink.bytes;
}

// Metre m's first coordinate in the file (2 <= m < cursor); its second is
// half a file later.
uint64_t value_offset(int64_t m) { return 8 + 10 * static_cast<uint64_t>(m - 2) + 2; }

TEST(PlanComparison, FindsAByteChangedAnywhere) {
  const LinePlan plan = long_plan();
  const std::string bytes = bytes_of(plan);
  ASSERT_TRUE(line_plan_matches(plan, bytes));
  const uint64_t half = bytes.size() / 2;
  const int64_t last = plan.cursor() - 1;
  const int64_t split = 2 + (last - 2) / 2;  // where the second thread starts
  struct Change {
    const char* where;
    uint64_t offset;
  };
  const Change changes[] = {
      {"the start", 2},
      {"a metre of the first part", value_offset(1000)},
      {"the metre two before the second part", value_offset(split - 2)},
      {"the metre before the second part, second half", half + value_offset(split - 1)},
      {"the first metre of the second part", value_offset(split)},
      {"the last computed metre", half + value_offset(last)},
      {"the empty tail", bytes.size() - 1},
  };
  for (const Change& c : changes) {
    SCOPED_TRACE(c.where);
    std::string changed = bytes;
    changed[c.offset] = static_cast<char>(changed[c.offset] ^ 0x01);
    EXPECT_FALSE(line_plan_matches(plan, changed));
  }
  EXPECT_FALSE(line_plan_matches(plan, bytes.substr(0, bytes.size() - 2)));
}

TEST(PlanComparison, ShortPlansAndPlansNeverStarted) {
  const LinePlan short_plan = plan_of(3000, {{2000, 0.001}});
  EXPECT_TRUE(line_plan_matches(short_plan, bytes_of(short_plan)));
  LinePlan never_started;
  never_started.create(10);
  EXPECT_TRUE(line_plan_matches(never_started, bytes_of(never_started)));
  EXPECT_FALSE(line_plan_matches(never_started, bytes_of(short_plan)));
}

std::shared_ptr<const LinePlanStream> held(const LinePlan& plan) { return plan_stream_of(bytes_of(plan)); }

TEST(SampledCurves, AreTheWalkedOnesWhereEveryRunHoldsASample) {
  const auto stream = held(long_plan());
  EXPECT_EQ(stream->held_computed_metres(), 199001);
  const std::optional<std::vector<CurveRun>> sampled = sampled_curves(*stream);
  ASSERT_TRUE(sampled.has_value());
  EXPECT_EQ(*sampled, summarise_plan_curves(*stream).curves);
  EXPECT_EQ(sampled->size(), 2u);
}

// A curve that starts and ends between two sampled metres is missed: the
// decompile's comparison finds the difference and walks every metre.
TEST(SampledCurves, MissACurveBetweenTwoSamples) {
  const auto stream = held(plan_of(5000, {{1003, 0.0}, {1013, 0.003}, {4000, 0.0}}));
  const std::vector<CurveRun> walked = summarise_plan_curves(*stream).curves;
  ASSERT_EQ(walked.size(), 1u);
  const std::optional<std::vector<CurveRun>> sampled = sampled_curves(*stream);
  ASSERT_TRUE(sampled.has_value());
  EXPECT_TRUE(sampled->empty());
}

TEST(SampledCurves, NoneForAPlanNotInACompilesLayout) {
  LinePlan never_started;
  never_started.create(10);
  const auto stream = held(never_started);
  EXPECT_EQ(stream->held_computed_metres(), -1);
  EXPECT_FALSE(sampled_curves(*stream).has_value());
}

// A plan file cut short by another program while it is mapped ends the
// run with a message and the status given, not with a bare signal.
TEST(HeldPlanDeathTest, AFileCutShortWhileMappedEndsTheRunWithAMessage) {
  const std::string path = ::testing::TempDir() + "cut_short_linea.dat";
  replace_file(path, bytes_of(long_plan()));
  EXPECT_EXIT(
      {
        end_run_when_a_mapped_file_is_cut_short("the plan was cut short\n", 4);
        const std::shared_ptr<const PlanBytes> bytes = plan_bytes_held(path);
        if (::truncate(path.c_str(), 0) != 0) std::_Exit(9);
        const volatile char last = bytes->held().back();
        static_cast<void>(last);
        std::_Exit(0);
      },
      ::testing::ExitedWithCode(4), "the plan was cut short");
  delete_file(path);
}

}  // namespace
}  // namespace sb
