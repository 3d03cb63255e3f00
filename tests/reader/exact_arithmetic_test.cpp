// Whole-number arithmetic near the 32-bit limits: the first step of a
// formula whose exact result does not fit stops reading with code 25, the
// writes made before that step stay, and nothing after it happens.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "driver/arith.h"
#include "driver/failures.h"
#include "reader_test_support.h"
#include "track/completion.h"

namespace sb {
namespace {

using namespace testing_support;

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
  std::function<void(const ScenarioState&)> expect;
};

TEST(ExactArithmetic, FirstOverflowingStepStopsWithCode25AndKeepsEarlierWrites) {
  std::string boards;
  for (int i = 1; i <= 82; ++i) boards += "cartello_indicatore,  " + std::to_string(1000 + 100 * i) + ",     (B)\r\n";
  const int64_t board82 = element_cell(1000 + 100 * 82);

  const OverflowCase cases[] = {
      {"signal: s1 x 10 overflows although s1 x 10 + d1 would fit", kPlainLine,
       train_file("segnale,  5000,  1,  214748365,  0,  0,  0,  0,  -10,  0,  0,  0\r\n"), 25,
       [](const ScenarioState& s) {
         const TrackCell& c = s.track_cells.at(101);
         EXPECT_EQ(c.kind, cell_kind::kSignal);
         EXPECT_EQ(c.value_4, 3);  // the combined code came first
         EXPECT_EQ(c.value, 0);
         EXPECT_EQ(s.track_cells.at(99).approach_mark, 0);
       }},
      {"signal: rapp x 10 + sx x 3 + dx is summed left to right", kPlainLine,
       // -20 + 2147483646 + 10 fits; the approach marks' sx x 3 + dx does not.
       train_file("segnale,  5000,  715827882,  1,  2,  3,  -2,  10,  0,  0,  0,  0\r\n"), 25,
       [](const ScenarioState& s) {
         const TrackCell& c = s.track_cells.at(101);
         EXPECT_EQ(c.value_4, low16(2147483636));
         EXPECT_EQ(c.value, 10);
         EXPECT_EQ(c.value_2, 20);
         EXPECT_EQ(c.value_3, 30);
         EXPECT_EQ(s.track_cells.at(99).approach_mark, 0);
       }},
      {"speed-limit board: strisces x 10 overflows",
       line_file("indicatori_vmax,  5000,  90,  90,  90,  214748365,  ,  ,  ,  -10\r\n"), kPlainTrain, 25,
       [](const ScenarioState& s) {
         const TrackCell& c = s.track_cells.at(101);
         EXPECT_EQ(c.kind, cell_kind::kSpeedBoard);
         EXPECT_EQ(c.value_3, 1800);
         EXPECT_EQ(c.value_4, 0);
       }},
      {"montagna: the gap to the previous span overflows",
       line_file("montagna,  1000,  -2147483000,  1\r\nmontagna,  2000,  3000,  1\r\n"), kPlainTrain, 25,
       [](const ScenarioState& s) {
         EXPECT_EQ(s.montagna_count, 2);
         EXPECT_EQ(s.montagna_starts[2], 2000);
         EXPECT_EQ(s.track_cells.at(40).montagna_type, 0);
       }},
      {"slowdown: x + l overflows before the taken warning cell is tested", kPlainLine,
       train_file("segnale,  3800,  1,  1,  1,  0,  0,  0,  0,  0,  0,  0\r\n"
                  "rallentamento,  5000,  60,  2147483000,  0,  0,  0\r\n"),
       25,
       [](const ScenarioState& s) {
         EXPECT_EQ(s.track_cells.at(77).kind, cell_kind::kSignal);
         EXPECT_EQ(s.track_cells.at(101).kind, cell_kind::kNothing);
       }},
      {"slowdown: x - 1200 overflows even without a warning cell", kPlainLine,
       train_file("rallentamento,  -2147483000,  60,  100,  0,  0,  0\r\n"), 25,
       [](const ScenarioState&) {}},
      {"station: hours x 3600 overflows although the whole time would fit", kPlainLine,
       train_file(station(1000, 12, 600, 596524, -60, 0)), 25,
       [](const ScenarioState& s) {
         const TableRecord& slot = s.scenario_table[1];
         EXPECT_EQ(slot.position, 1000);
         EXPECT_EQ(slot.kind, 12);
         EXPECT_EQ(slot.attribute_13, 60);
         EXPECT_EQ(slot.time, 0);
         EXPECT_EQ(slot.text, "");
       }},
      {"station: start - 350 overflows in the spacing test", kPlainLine,
       train_file(station(0, 12, 800, 6, 0, 0) + station(-2147483000, 27, 600, 6, 5, 0)), 25,
       [](const ScenarioState& s) { EXPECT_EQ(s.scenario_table[2].start, -2147483300); }},
      {"curve: s + l overflows after the straight run up to s", line_file("curvad6,  1000,  2147483000\r\n"),
       kPlainTrain, 25,
       [](const ScenarioState& s) {
         EXPECT_EQ(s.plan_grid.get(1000, 1).tag, PlanTag::kReal);
         EXPECT_EQ(s.plan_grid.get(1000, 1).value, 1000.0);
         EXPECT_EQ(s.plan_grid.get(1001, 1).tag, PlanTag::kEmpty);
       }},
      {"82nd line board: kind and slot cursor written, then the text has no slot", line_file(boards),
       kPlainTrain, 25,
       [board82](const ScenarioState& s) {
         EXPECT_EQ(s.track_cells.at(board82).kind, cell_kind::kLineBoard);
         EXPECT_EQ(s.track_cells.at(board82).value, -1);
         EXPECT_EQ(s.scenario_table[0].text, "(B)");
       }},
      {"abbattimento value beyond 16 bits: kind written, then the value fails", kPlainLine,
       train_file("abbattimento,  5000,  40000\r\n"), 25,
       [](const ScenarioState& s) {
         EXPECT_EQ(s.track_cells.at(100).kind, cell_kind::kAbbattimento);
         EXPECT_EQ(s.track_cells.at(100).value, 0);
       }},
      {"route length below -7000 after a valid one leaves no cells",
       "[generale]\r\nlunghezza percorso,  88000\r\nlunghezza percorso,  -8000\r\n[curve]\r\n[fine]\r\n",
       kPlainTrain, 25, [](const ScenarioState& s) { EXPECT_FALSE(s.track_cells.exists()); }},
      {"route length whose + 7000 overflows after a valid one leaves no cells",
       "[generale]\r\nlunghezza percorso,  88000\r\nlunghezza percorso,  -2147483000\r\n[curve]\r\n[fine]\r\n",
       kPlainTrain, 25, [](const ScenarioState& s) { EXPECT_FALSE(s.track_cells.exists()); }},
  };
  for (const OverflowCase& c : cases) {
    SCOPED_TRACE(c.name);
    const ReadResult r = read_files(c.line, c.train);
    ASSERT_FALSE(r.state.diagnostics.empty());
    EXPECT_EQ(r.state.diagnostics.back().code, c.code) << r.state.diagnostics.back().message;
    EXPECT_EQ(r.state.error_code, c.code);
    c.expect(r.state);
  }
}

TEST(ExactArithmetic, ResultsThatFitAreAccepted) {
  // The same formulas one step inside the limits.
  const ReadResult r = read_files(
      line_file("indicatori_vmax,  5000,  90,  90,  90,  214748364,  ,  ,  ,  7\r\n"),
      train_file("segnale,  8000,  0,  214748364,  0,  0,  0,  0,  7,  0,  0,  0\r\n" +
                 station(1000, 12, 600, 596523, 0, 0)));
  EXPECT_EQ(r.state.error_code, 0);
  EXPECT_EQ(r.state.track_cells.at(101).value_4, low16(2147483647));
  EXPECT_EQ(r.state.track_cells.at(161).value, low16(2147483647));
  EXPECT_EQ(r.state.scenario_table[1].time, 596523 * 3600);
}

TEST(ExactArithmetic, FailedRouteLengthEndsInTheNoCellsCheck) {
  ScenarioState state;
  MemorySource line(kLineName,
                    "[generale]\r\nlunghezza percorso,  88000\r\nlunghezza percorso,  -8000\r\n[curve]\r\n[fine]\r\n");
  MemorySource train(kTrainName, kPlainTrain);
  try {
    memorizza_percorso(state, 1, {line, train});
    FAIL() << "no fatal check";
  } catch (const FatalError& e) {
    EXPECT_EQ(e.code(), 0);
  }
  ASSERT_FALSE(state.diagnostics.empty());
  EXPECT_EQ(state.diagnostics.back().code, 25);
}

}  // namespace
}  // namespace sb
