// Whole-number arithmetic near the 32-bit limits: the first step of a
// formula whose exact result does not fit stops reading with code 25, the
// writes made before that step stay, and nothing after it happens.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "support/descriptions.h"

namespace sb {
namespace {

using namespace test;

const std::string kPlainTrain = train_file("velocita,  0,  100\r\n");
const std::string kPlainLine = line_file("");

std::string station(int32_t position, int kind, int32_t length, int hours, int minutes, int seconds) {
  return station_record(position, kind, length, 0, "S", hours, minutes, seconds);
}

struct OverflowCase {
  const char* name;
  std::string line;
  std::string train;
  int32_t code;  // the last code recorded
  std::function<void(const Scenario&)> expect;
};

TEST(ExactArithmetic, FirstOverflowingStepStopsWithCode25AndKeepsEarlierWrites) {
  std::string boards;
  for (int i = 1; i <= 82; ++i) boards += "cartello_indicatore,  " + std::to_string(1000 + 100 * i) + ",     (B)\r\n";
  const int64_t board82 = element_cell(1000 + 100 * 82);

  const OverflowCase cases[] = {
      {"signal: s1 x 10 overflows although s1 x 10 + d1 would fit", kPlainLine,
       train_file("segnale,  5000,  1,  214748365,  0,  0,  0,  0,  -10,  0,  0,  0\r\n"), 25,
       [](const Scenario& s) {
         const TrackCell& c = s.cells.at(101);
         EXPECT_EQ(c.kind, cell_kind::kSignal);
         EXPECT_EQ(c.signal_code(), 3);  // the combined code came first
         EXPECT_EQ(c.signal_aspect(1), 0);
         EXPECT_EQ(s.cells.at(99).approach_mark, 0);
       }},
      {"signal: rapp x 10 + sx x 3 + dx is summed left to right", kPlainLine,
       // -20 + 2147483646 + 10 fits; the approach marks' sx x 3 + dx does not.
       train_file("segnale,  5000,  715827882,  1,  2,  3,  -2,  10,  0,  0,  0,  0\r\n"), 25,
       [](const Scenario& s) {
         const TrackCell& c = s.cells.at(101);
         EXPECT_EQ(c.signal_code(), low16(2147483636));
         EXPECT_EQ(c.signal_aspect(1), 10);
         EXPECT_EQ(c.signal_aspect(2), 20);
         EXPECT_EQ(c.signal_aspect(3), 30);
         EXPECT_EQ(s.cells.at(99).approach_mark, 0);
       }},
      {"speed-limit board: strisces x 10 overflows",
       line_file("indicatori_vmax,  5000,  90,  90,  90,  214748365,  ,  ,  ,  -10\r\n"), kPlainTrain, 25,
       [](const Scenario& s) {
         const TrackCell& c = s.cells.at(101);
         EXPECT_EQ(c.kind, cell_kind::kSpeedBoard);
         EXPECT_EQ(c.board_speed(2), 1800);
         EXPECT_EQ(c.board_stripes(), 0);
       }},
      {"montagna: the gap to the previous span overflows",
       line_file("montagna,  1000,  -2147483000,  1\r\nmontagna,  2000,  3000,  1\r\n"), kPlainTrain, 25,
       [](const Scenario& s) {
         ASSERT_EQ(s.montagna_spans.size(), 2u);
         EXPECT_EQ(s.montagna_spans[1].start, 2000);
         EXPECT_EQ(s.cells.at(40).montagna_type, 0);
       }},
      {"slowdown: x + l overflows before the taken warning cell is tested", kPlainLine,
       train_file("segnale,  3800,  1,  1,  1,  0,  0,  0,  0,  0,  0,  0\r\n"
                  "rallentamento,  5000,  60,  2147483000,  0,  0,  0\r\n"),
       25,
       [](const Scenario& s) {
         EXPECT_EQ(s.cells.at(77).kind, cell_kind::kSignal);
         EXPECT_EQ(s.cells.at(101).kind, cell_kind::kNothing);
       }},
      {"slowdown: x - 1200 overflows even without a warning cell", kPlainLine,
       train_file("rallentamento,  -2147483000,  60,  100,  0,  0,  0\r\n"), 25, [](const Scenario&) {}},
      {"station: hours x 3600 overflows although the whole time would fit", kPlainLine,
       train_file(station(1000, 12, 600, 596524, -60, 0)), 25,
       [](const Scenario& s) {
         const StationSlot& slot = s.table.slots[1];
         EXPECT_EQ(slot.position, 1000);
         EXPECT_EQ(slot.kind, 12);
         EXPECT_EQ(slot.values.record_13, 60);
         EXPECT_EQ(slot.time, 0);
         EXPECT_EQ(slot.text, "");
       }},
      {"station: start - 350 overflows in the spacing test", kPlainLine,
       train_file(station(0, 12, 800, 6, 0, 0) + station(-2147483000, 27, 600, 6, 5, 0)), 25,
       [](const Scenario& s) { EXPECT_EQ(s.table.slots[2].start, -2147483300); }},
      {"curve: s + l overflows after the straight run up to s", line_file("curvad6,  1000,  2147483000\r\n"),
       kPlainTrain, 25,
       [](const Scenario& s) {
         const DecodedPlan plan(s.plan);
         EXPECT_EQ(plan.get(1000, 1).tag, PlanTag::kReal);
         EXPECT_EQ(plan.get(1000, 1).value, 1000.0);
         EXPECT_EQ(plan.get(1001, 1).tag, PlanTag::kEmpty);
       }},
      {"82nd line board: kind and slot cursor written, then the text has no slot", line_file(boards), kPlainTrain, 25,
       [board82](const Scenario& s) {
         EXPECT_EQ(s.cells.at(board82).kind, cell_kind::kLineBoard);
         EXPECT_EQ(s.cells.at(board82).table_slot(), -1);
         EXPECT_EQ(s.table.slots[0].text, "(B)");
       }},
      {"abbattimento value beyond 16 bits: kind written, then the value fails", kPlainLine,
       train_file("abbattimento,  5000,  40000\r\n"), 25,
       [](const Scenario& s) {
         EXPECT_EQ(s.cells.at(100).kind, cell_kind::kAbbattimento);
         EXPECT_EQ(s.cells.at(100).abbattimento_value(), 0);
       }},
      {"route length below -7000 after a valid one leaves no cells",
       "[generale]\r\nlunghezza percorso,  88000\r\nlunghezza percorso,  -8000\r\n[curve]\r\n[fine]\r\n", kPlainTrain,
       25, [](const Scenario& s) { EXPECT_FALSE(s.cells.exists()); }},
      {"route length whose + 7000 overflows after a valid one leaves no cells",
       "[generale]\r\nlunghezza percorso,  88000\r\nlunghezza percorso,  -2147483000\r\n[curve]\r\n[fine]\r\n",
       kPlainTrain, 25, [](const Scenario& s) { EXPECT_FALSE(s.cells.exists()); }},
  };
  for (const OverflowCase& c : cases) {
    SCOPED_TRACE(c.name);
    const ReadResult r = read_files(c.line, c.train);
    ASSERT_FALSE(r.scenario.diagnostics.empty());
    EXPECT_EQ(r.scenario.diagnostics.list().back().code, c.code) << r.scenario.diagnostics.list().back().message;
    EXPECT_EQ(r.scenario.error_code(), c.code);
    c.expect(r.scenario);
  }
}

TEST(ExactArithmetic, ResultsThatFitAreAccepted) {
  // The same formulas one step inside the limits.
  const ReadResult r = read_files(line_file("indicatori_vmax,  5000,  90,  90,  90,  214748364,  ,  ,  ,  7\r\n"),
                                  train_file("segnale,  8000,  0,  214748364,  0,  0,  0,  0,  7,  0,  0,  0\r\n" +
                                             station(1000, 12, 600, 596523, 0, 0)));
  EXPECT_EQ(r.scenario.error_code(), 0);
  EXPECT_EQ(r.scenario.cells.at(101).board_stripes(), low16(2147483647));
  EXPECT_EQ(r.scenario.cells.at(161).signal_aspect(1), low16(2147483647));
  EXPECT_EQ(r.scenario.table.slots[1].time, 596523 * 3600);
}

TEST(ExactArithmetic, FailedRouteLengthEndsInTheNoCellsCheck) {
  const test::CompileRun run = test::compile_in_memory(
      "[generale]\r\nlunghezza percorso,  88000\r\nlunghezza percorso,  -8000\r\n[curve]\r\n[fine]\r\n", kPlainTrain);
  EXPECT_EQ(run.compiled.fatal, FatalCheck::kNoTrackCells);
  EXPECT_EQ(run.compiled.scenario.error_code(), 25);
}

}  // namespace
}  // namespace sb
