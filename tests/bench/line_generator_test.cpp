// The benchmark's generated scenarios: seeded, of the promised make-up, and
// compiled without a single recorded condition at every benchmarked length.
#include <gtest/gtest.h>

#include <string>

#include "base/files.h"
#include "compile/compile.h"
#include "format/line_plan_file.h"
#include "line_generator.h"

namespace {

using sb::bench::generate_scenario;

std::size_t count(const std::string& text, const std::string& word) {
  std::size_t n = 0;
  for (std::size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) ++n;
  return n;
}

std::string diagnostics_of(const sb::Scenario& state) {
  std::string all;
  for (const sb::Diagnostic& d : state.diagnostics.list()) all += sb::format_diagnostic(d) + "\n";
  return all;
}

TEST(LineGenerator, SameSeedSameBytes) {
  EXPECT_EQ(generate_scenario(100, 7).line, generate_scenario(100, 7).line);
  EXPECT_EQ(generate_scenario(100, 7).train_description, generate_scenario(100, 7).train_description);
  EXPECT_NE(generate_scenario(100, 7).line, generate_scenario(100, 8).line);
}

TEST(LineGenerator, MakeUpOfTheRoute) {
  const auto s = generate_scenario(300, 1);
  EXPECT_EQ(s.route, "Banco300");
  EXPECT_EQ(count(s.line, "\r\ncurva"), 600u);  // one every 500 m
  EXPECT_EQ(count(s.train_description, "\r\nstazione,"), 60u);
  EXPECT_EQ(count(s.train_description, "\r\nsegnale,"), 200u);  // one every 1.5 km
  EXPECT_EQ(count(s.train_description, "\r\nrallentamento,"), 6u);
  EXPECT_EQ(count(s.line, "\r\ncartello_indicatore,"), 12u);
  EXPECT_GT(count(s.line, "\r\npendenza,"), 100u);
  EXPECT_GT(count(s.line, "\r\nindicatori_vmax,"), 20u);
  EXPECT_EQ(s.line.substr(s.line.size() - 8), "[fine]\r\n");
  EXPECT_EQ(s.train_description.substr(s.train_description.size() - 8), "[fine]\r\n");
}

TEST(LineGenerator, RefusesLengthsOutsideItsRange) {
  EXPECT_THROW(generate_scenario(59, 1), std::invalid_argument);
  EXPECT_THROW(generate_scenario(1001, 1), std::invalid_argument);
}

class GeneratedCompile : public ::testing::TestWithParam<std::tuple<int, uint32_t>> {};

TEST_P(GeneratedCompile, CompilesWithoutACondition) {
  const auto [km, seed] = GetParam();
  const auto s = generate_scenario(km, seed);
  sb::MemorySource line(s.route + "_linea.txt", s.line);
  sb::MemorySource train(s.route + "_" + s.train + "-.txt", s.train_description);
  const sb::Compiled compiled = sb::compile_scenario({s.route, s.train, true}, {line, train});
  EXPECT_FALSE(compiled.fatal);
  EXPECT_EQ(diagnostics_of(compiled.scenario), "");

  sb::CountingSink plan;
  sb::write_line_plan(compiled.scenario.plan, plan);
  const std::size_t n = static_cast<std::size_t>(km) * 1000 + 7000;
  EXPECT_EQ(plan.count, 20 * n - 36);  // a complete plan
}

// An ordinary author's route of 48 km with 24 stations, as the one the
// warnings were tried on: no warning at all, not even one shown only on
// request (marks-overwritten).
TEST(GeneratedCompile, AnOrdinaryFortyEightKilometreRouteGivesNoWarning) {
  for (uint32_t seed = 1; seed <= 5; ++seed) {
    const auto s = generate_scenario({.km = 48, .stations = 24}, seed);
    sb::MemorySource line(s.route + "_linea.txt", s.line);
    sb::MemorySource train(s.route + "_" + s.train + "-.txt", s.train_description);
    const sb::Compiled compiled = sb::compile_scenario({s.route, s.train, true}, {line, train});
    EXPECT_FALSE(compiled.fatal);
    EXPECT_EQ(diagnostics_of(compiled.scenario), "") << "seed " << seed;
  }
}

INSTANTIATE_TEST_SUITE_P(Lengths, GeneratedCompile,
                         ::testing::Combine(::testing::Values(60, 100, 300, 1000), ::testing::Values(1u, 2u, 3u)));

}  // namespace
