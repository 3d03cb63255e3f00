// The check's core: leaving failing records out, marking what only later
// compiles find, and its bound on compiles.
#include <gtest/gtest.h>

#include <string>

#include "compile/check.h"
#include "support/descriptions.h"

namespace sb {
namespace {

using test::line_file;
using test::station_record;
using test::train_file;

CheckRequest request(std::string line, std::string train, std::size_t max_errors = 50) {
  CheckRequest r;
  r.compile = {"Prova", "1", true};
  r.line = {"Prova_linea.txt", std::move(line), true};
  r.train = {"Prova_1-.txt", std::move(train), true};
  r.max_errors = max_errors;
  return r;
}

TEST(Check, LeavingOutALineKeepsTheOtherLinesAndTheirNumbers) {
  EXPECT_EQ(without_line("a\r\nb\r\nc\r\n", 2), "a\r\n\r\nc\r\n");
  EXPECT_EQ(without_line("a\nb\rc", 3), "a\nb\r");
  EXPECT_EQ(without_line("a\r\nb", 1), "\r\nb");
  EXPECT_EQ(without_line("a\r\nb", 5), "a\r\nb");
}

TEST(Check, ACleanScenarioNeedsOneCompile) {
  const CheckResult r = check_scenario(
      request(line_file("pendenza,  0,  0\r\n"), train_file("velocita,  0,  90\r\naderenza,  0,  100\r\n")));
  EXPECT_EQ(r.compiles, 1u);
  EXPECT_TRUE(r.diagnostics.empty());
  EXPECT_FALSE(r.fatal);
}

TEST(Check, ARecordCutShortIsLeftOutWholeNotLineByLine) {
  // The signal on line 4 lacks seven values, so line 5's keyword fails as
  // its fifth value; leaving out line 4 lets line 5 be read as it stands.
  const CheckResult r =
      check_scenario(request(line_file("pendenza,  0,  0\r\n"),
                             train_file("velocita,  0,  90\r\naderenza,  0,  100\r\nsegnale,  1200,  1,  4,  1\r\n"
                                        "segnale,  3000,  1,  4,  1,  0,  0,  0,  0,  0,  0,  0\r\n")));
  EXPECT_EQ(r.diagnostics.error_count(), 1u);
  EXPECT_EQ(r.compiles, 2u);
}

TEST(Check, StopsAtItsLimitWithBoundedCompiles) {
  // 200 stations, each at a position that is not a multiple of 50: each
  // stops reading, so each needs a compile of its own.
  std::string stations;
  for (int i = 0; i < 200; ++i) stations += station_record(1010 + 400 * i, 12, 0);
  const CheckResult r = check_scenario(request(
      line_file("pendenza,  0,  0\r\n"), train_file("velocita,  0,  90\r\naderenza,  0,  100\r\n" + stations), 10));
  EXPECT_EQ(r.diagnostics.error_count(), 10u);
  EXPECT_TRUE(r.stopped_at_limit);
  EXPECT_EQ(r.compiles, 10u);
  EXPECT_EQ(format_diagnostic(r.diagnostics.list()[1]),
            "Prova_1-.txt:5:12: error: station position 1410 m is not a multiple of 50 (found after leaving out "
            "Prova_1-.txt:4) [E8]");
}

TEST(Check, TheFirstCompileIsWhatCompileRecords) {
  const std::string line = line_file("pendenza,  0,  0\r\ncurvad7,  100,  100\r\n");
  const std::string train = train_file("velocita,  0,  90\r\naderenza,  0,  100\r\n");
  const CheckResult r = check_scenario(request(line, train));
  const auto compiled = test::compile_in_memory(line, train);
  ASSERT_FALSE(r.diagnostics.empty());
  EXPECT_EQ(format_diagnostic(r.diagnostics.list()[0]),
            format_diagnostic(compiled.compiled.scenario.diagnostics.list()[0]));
  EXPECT_EQ(r.fatal.has_value(), compiled.compiled.fatal.has_value());
}

}  // namespace
}  // namespace sb

namespace sb {
namespace {

// Every error needs a compile of its own and leaves its line out for the
// next: the note on each stays one short line, so the output grows with
// the number of diagnostics, not with its square.
TEST(Check, EachNoteStaysShortHoweverManyLinesWereLeftOut) {
  std::string stations;
  for (int i = 0; i < 150; ++i) stations += test::station_record(1010 + 400 * i, 12, 0);
  const CheckResult r =
      check_scenario(request(test::line_file("pendenza,  0,  0\r\n"),
                             test::train_file("velocita,  0,  90\r\naderenza,  0,  100\r\n" + stations), 1000));
  ASSERT_EQ(r.diagnostics.error_count(), 150u);
  for (const Diagnostic& d : r.diagnostics.list()) EXPECT_LT(format_diagnostic(d).size(), 150u) << format_diagnostic(d);
  EXPECT_EQ(format_diagnostic(r.diagnostics.list().back()),
            "Prova_1-.txt:153:12: error: station position 60610 m is not a multiple of 50 (found after leaving out "
            "Prova_1-.txt:152 and 148 lines before it) [E8]");
}

}  // namespace
}  // namespace sb
