#include "track/completion.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "base/diagnostics.h"
#include "compile/compile.h"
#include "support/descriptions.h"

namespace sb {
namespace {

using test::error_position;

using namespace cell_kind;

// One element placed by hand: its kind and first number (a slowdown's
// speed, an abbattimento's value). `origin` is the position the
// description file gave the element (used only by the messages).
struct Element {
  int64_t cell;
  uint8_t kind;
  int16_t value = 0;
  int32_t origin = 0;
};

Scenario track(int32_t cell_count, const std::vector<Element>& elements) {
  Scenario state = test::scenario_with_cells(cell_count);
  for (const Element& e : elements) {
    state.cells.mark(e.cell, e.kind, e.origin);
    state.cells.at(e.cell).numbers[0] = e.value;
  }
  return state;
}

// The abbattimento cells (kind 12) after completion, with their values.
std::map<int64_t, int16_t> abbattimenti(const Scenario& state) {
  std::map<int64_t, int16_t> found;
  for (int64_t c = 0; c < state.cells.size(); ++c) {
    if (state.cells.at(c).kind == kAbbattimento) found[c] = state.cells.at(c).abbattimento_value();
  }
  return found;
}

// A board: an occupied cell that is neither a signal nor an abbattimento.
Element board(int64_t cell) { return {cell, kSpeedBoard, 0}; }
Element signal(int64_t cell) { return {cell, kSignal}; }
Element warning(int64_t cell) { return {cell, kSlowdownWarning, 60}; }
Element start(int64_t cell, int16_t speed) { return {cell, kSlowdownStart, speed}; }
Element end(int64_t cell) { return {cell, kSlowdownEnd, 60}; }
Element abbattimento(int64_t cell, int16_t value) { return {cell, kAbbattimento, value}; }

struct CompletionCase {
  const char* name;
  int32_t cell_count;
  std::vector<Element> elements;
  std::map<int64_t, int16_t> expected;  // every kind-12 cell afterwards
  int32_t error_code = 0;
  int32_t error_position = 0;
};

void PrintTo(const CompletionCase& c, std::ostream* out) { *out << c.name; }

std::vector<CompletionCase> completion_cases() {
  return {
      // Rule 1: signals up to 20 cells before a slowdown warning.
      {"SignalsFourAndFifteenBeforeWarning", 200, {warning(40), signal(36), signal(25)}, {{35, 180}, {24, 180}}},
      {"SignalAtCellThreeIsTreated", 200, {warning(20), signal(3)}, {{2, 180}}},
      {"SignalAtCellTwoIsNotLookedAt", 200, {warning(20), signal(2)}, {}},
      {"SignalTwentyOneBeforeIsOutOfReach", 200, {warning(40), signal(19)}, {}},
      {"SignalTwentyBeforeIsInReach", 200, {warning(40), signal(20)}, {{19, 180}}},
      {"ValueAboveCapIsLowered", 200, {warning(40), signal(36), abbattimento(35, 250), board(34)}, {{35, 180}}},
      {"ValueBelowCapStays", 200, {warning(40), signal(36), abbattimento(35, 120), board(34)}, {{35, 120}}},
      {"SecondCellBackIsLoweredWhenFirstIsTaken",
       200,
       {warning(40), signal(36), board(35), abbattimento(34, 250)},
       {{34, 180}}},
      {"FreeSecondCellBeatsAbbattimentoInFirst",
       200,
       {warning(40), signal(36), abbattimento(35, 250)},
       {{35, 250}, {34, 180}}},
      {"Code11WhenBothCellsBeforeSignalAreTaken", 200, {warning(40), signal(36), board(35), board(34)}, {}, 11, 1800},

      // Rule 2: the three pre-start windows.
      {"StartAtSevenHasNoWindow", 200, {start(7, 120), end(9)}, {}},
      {"StartAtEightHasNearWindow", 200, {start(8, 120), end(10)}, {{3, 180}}},
      {"StartAtFourteenHasNearAndMiddle", 200, {start(14, 120), end(16)}, {{9, 180}, {3, 180}}},
      {"StartAtTwentyOneHasAllThree", 200, {start(21, 120), end(23)}, {{16, 180}, {10, 180}, {3, 180}}},
      {"WindowTakesFirstFreeCell",
       200,
       {start(50, 120), end(52), board(45), board(44)},
       {{43, 180}, {39, 180}, {32, 180}}},
      {"Code12WhenWindowIsFull",
       200,
       {start(50, 120), end(52), board(45), board(44), board(43)},
       {{39, 180}, {32, 180}},
       12,
       2500},

      // Rule 3: the walk of a slow slowdown.
      {"SpeedOneHundredNineWalks",
       200,
       {start(100, 109), end(120)},
       {{95, 180}, {89, 180}, {82, 180}, {108, 180}, {116, 180}}},
      {"SpeedOneHundredTenDoesNotWalk", 200, {start(100, 110), end(120)}, {{95, 180}, {89, 180}, {82, 180}}},
      {"SlowdownWithExitSignal",
       200,
       {start(100, 60), end(130), signal(135)},
       {{95, 180}, {89, 180}, {82, 180}, {108, 180}, {116, 180}, {124, 180}, {134, 180}}},
      {"WalkStepsBackWhenEighthCellIsTaken",
       200,
       {start(100, 60), end(130), signal(135), board(108)},
       {{95, 180}, {89, 180}, {82, 180}, {107, 180}, {115, 180}, {123, 180}, {134, 180}}},
      {"WalkStepsForwardWhenBothBeforeAreTaken",
       200,
       {start(100, 60), end(130), board(108), board(107)},
       {{95, 180}, {89, 180}, {82, 180}, {109, 180}, {117, 180}, {125, 180}}},
      {"Code13InWalkStopsFurtherPlacements",
       200,
       {start(100, 60), end(130), signal(135), board(107), board(108), board(109)},
       {{95, 180}, {89, 180}, {82, 180}, {134, 180}},
       13,
       5400},
      {"EndCellCanBeTheEighth", 200, {start(100, 60), end(108)}, {{95, 180}, {89, 180}, {82, 180}, {107, 180}}},

      // Rule 4: the exit signal, scanned from the slowdown's own end cell.
      {"FastSlowdownScansFromItsOwnEnd",
       200,
       {start(100, 120), end(130), signal(135)},
       {{95, 180}, {89, 180}, {82, 180}, {134, 180}}},
      {"SignalInsideFastSlowdownIsNotTheExitSignal",
       200,
       {start(100, 120), end(130), signal(105)},
       {{95, 180}, {89, 180}, {82, 180}}},
      {"ExitSignalTwelveCellsAfterEndIsInReach",
       200,
       {start(100, 120), end(130), signal(142)},
       {{95, 180}, {89, 180}, {82, 180}, {141, 180}}},
      {"ExitSignalThirteenCellsAfterEndIsOutOfReach",
       200,
       {start(100, 120), end(130), signal(143)},
       {{95, 180}, {89, 180}, {82, 180}}},
      {"ExitSignalWithTakenCellGoesOneFurtherBack",
       200,
       {start(100, 120), end(130), signal(135), board(134)},
       {{95, 180}, {89, 180}, {82, 180}, {133, 180}}},
      {"Code13WhenBothCellsBeforeExitSignalAreTaken",
       200,
       {start(100, 120), end(130), signal(135), board(134), board(133)},
       {{95, 180}, {89, 180}, {82, 180}},
       13,
       6500},
      // The earlier walk ended at 50, with a signal at 60 in reach; a cursor
      // left over from it would make the fast slowdown treat that signal
      // again (placing at 58).
      {"CursorOfEarlierWalkDoesNotLeak",
       200,
       {start(40, 60), end(50), signal(60), start(100, 120), end(130), signal(135)},
       {{35, 180}, {29, 180}, {22, 180}, {48, 180}, {59, 180}, {95, 180}, {89, 180}, {82, 180}, {134, 180}}},
      // Rule 1's step counter must not become the exit scan's start either:
      // here it ends at 20, so a leak would find the signal at 25.
      {"StepCounterOfLookBackDoesNotLeak",
       200,
       {signal(25), warning(40), start(100, 120), end(130)},
       {{24, 180}, {95, 180}, {89, 180}, {82, 180}}},

      // The ends of the cells.
      {"WalkWithoutEndCellStopsAtLastCell",
       120,
       {start(100, 60)},
       {{95, 180}, {89, 180}, {82, 180}, {108, 180}, {116, 180}}},
      {"NeighbourBeyondLastCellIsNotFree",
       108,
       {start(100, 60), board(107), board(108)},
       {{95, 180}, {89, 180}, {82, 180}},
       13,
       5400},
      {"FirstAndLastTwoCellsAreNotExamined", 50, {start(0, 60), start(49, 60), warning(50), signal(45)}, {}},
      {"CellCountMinusTwoIsExamined", 50, {start(48, 60)}, {{43, 180}, {37, 180}, {30, 180}}},
  };
}

class CompletionRules : public ::testing::TestWithParam<CompletionCase> {};

TEST_P(CompletionRules, PlacesExactlyTheExpectedCells) {
  const CompletionCase& c = GetParam();
  Scenario state = track(c.cell_count, c.elements);
  const std::vector<TrackCell> before = state.cells.cells();

  complete_track_cells(state);

  EXPECT_EQ(abbattimenti(state), c.expected);
  EXPECT_EQ(state.error_code(), c.error_code);
  EXPECT_EQ(state.diagnostics.last_position().value_or(0), c.error_position);
  EXPECT_EQ(state.diagnostics.size(), c.error_code == 0 ? 0u : 1u);
  // Nothing else changes: every other cell keeps every field, and a
  // placement changes only kind and value.
  for (int64_t i = 0; i < state.cells.size(); ++i) {
    TrackCell expected = before[static_cast<std::size_t>(i)];
    auto placed = c.expected.find(i);
    if (placed != c.expected.end()) {
      expected.kind = kAbbattimento;
      expected.abbattimento_value() = placed->second;
    }
    const TrackCell& got = state.cells.at(i);
    EXPECT_EQ(std::make_tuple(got.kind, got.numbers, got.approach_mark),
              std::make_tuple(expected.kind, expected.numbers, expected.approach_mark))
        << "cell " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Completion, CompletionRules, ::testing::ValuesIn(completion_cases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CompletionOrder, NearerSignalIsTreatedFirst) {
  // Both signals fail; the diagnostics show the order of treatment.
  Scenario state = track(200, {warning(40), signal(36), board(35), board(34), signal(25), board(24), board(23)});
  complete_track_cells(state);
  ASSERT_EQ(state.diagnostics.size(), 2u);
  EXPECT_EQ(state.diagnostics.list()[0].position, 1800);
  EXPECT_EQ(state.diagnostics.list()[1].position, 1250);
  EXPECT_EQ(error_position(state), 1250);  // the last failure wins
}

TEST(CompletionOrder, NearerSignalPlacementIsSeenByTheFartherOne) {
  // Signals at i - 4 and i - 5: the nearer one, treated first, takes i - 6
  // (i - 5 holds the other signal); the farther one then finds i - 6 taken
  // and goes to i - 7.
  Scenario state = track(200, {warning(40), signal(36), signal(35)});
  complete_track_cells(state);
  EXPECT_EQ(abbattimenti(state), (std::map<int64_t, int16_t>{{34, 180}, {33, 180}}));
}

TEST(CompletionOrder, CompletionCodeReplacesReaderCode) {
  Scenario state = track(200, {warning(40), signal(36), board(35), board(34)});
  state.record_error(16, "a signal refused by the reader", 700);
  complete_track_cells(state);
  EXPECT_EQ(state.error_code(), 11);
  EXPECT_EQ(error_position(state), 1800);
}

// A failed completion records its code at the cell's position. The messages,
// which name the elements at the positions the description file gave them,
// are in the cases of tests/diagnostics/ (no-free-cell-*, completion-window-full).
struct FailureCase {
  const char* name;
  int32_t cell_count;
  std::vector<Element> elements;
  int32_t code;
  int32_t position;
};

void PrintTo(const FailureCase& c, std::ostream* out) { *out << c.name; }

std::vector<FailureCase> failure_cases() {
  return {
      {"Code11", 200, {{40, kSlowdownWarning, 60, 3150}, {36, kSignal, 0, 1750}, board(35), board(34)}, 11, 1800},
      {"Code12",
       200,
       {{50, kSlowdownStart, 120, 2450}, {52, kSlowdownEnd, 120, 2450}, board(45), board(44), board(43)},
       12,
       2500},
      {"Code13Walk",
       200,
       {{100, kSlowdownStart, 60, 4950}, {130, kSlowdownEnd, 60, 4950}, board(107), board(108), board(109)},
       13,
       5400},
      {"Code13WalkAtLastCell", 108, {{100, kSlowdownStart, 60, 4950}, board(107), board(108)}, 13, 5400},
      {"Code13ExitSignal",
       200,
       {{100, kSlowdownStart, 120, 4950},
        {130, kSlowdownEnd, 120, 4950},
        {135, kSignal, 0, 6700},
        board(134),
        board(133)},
       13,
       6500},
  };
}

class CompletionFailures : public ::testing::TestWithParam<FailureCase> {};

TEST_P(CompletionFailures, RecordsCodeAndPosition) {
  const FailureCase& c = GetParam();
  Scenario state = track(c.cell_count, c.elements);
  complete_track_cells(state);
  EXPECT_EQ(state.error_code(), c.code);
  EXPECT_EQ(error_position(state), c.position);
  ASSERT_EQ(state.diagnostics.size(), 1u);
  const Diagnostic& d = state.diagnostics.list()[0];
  EXPECT_EQ(d.code, c.code);
  EXPECT_EQ(d.position, c.position);
}

INSTANTIATE_TEST_SUITE_P(Completion, CompletionFailures, ::testing::ValuesIn(failure_cases()),
                         [](const auto& info) { return std::string(info.param.name); });

// The whole compiling step, fed from memory.
const std::string kTrainFile = "[generale]\r\n[fine]\r\n";

// A 3000 m route with `main_part` as the main part of its line file.
std::string line_file(const std::string& main_part) { return test::line_file(main_part, "", 3000); }

struct FatalCase {
  const char* name;
  std::string line;  // the line description; the train description is empty
  bool line_exists;
  int32_t fatal_code;
  int32_t recorded_code;  // what the reader recorded before the fatal check
};

void PrintTo(const FatalCase& c, std::ostream* out) { *out << c.name; }

class CompilingStep : public ::testing::TestWithParam<FatalCase> {};

TEST_P(CompilingStep, StopsWithFatalCheck) {
  const FatalCase& c = GetParam();
  MemorySource line("Prova_linea.txt", c.line, c.line_exists);
  MemorySource train("Prova_100-.txt", kTrainFile);
  const Compiled compiled = compile_scenario({"Prova", "100", true}, {line, train});
  ASSERT_TRUE(compiled.fatal);
  EXPECT_EQ(fatal_code(*compiled.fatal), c.fatal_code);
  EXPECT_EQ(compiled.scenario.error_code(), c.recorded_code);
}

INSTANTIATE_TEST_SUITE_P(
    Completion, CompilingStep,
    ::testing::Values(
        // A line board in cell 1 takes the place of the format marker 5121.
        FatalCase{"LineBoardInCellOne", line_file("cartello_indicatore,  0,     (X)\r\n"), true, 1250, 0},
        // A speed board in cell 1 with value 0 and value_2 1800 leaves the
        // marker's place empty but takes the check code's.
        FatalCase{"SpeedBoardInCellOne", line_file("indicatori_vmax,  0,  0,  90,  0,  0,  ,  ,  ,  0\r\n"), true, 1251,
                  0},
        FatalCase{"NoRouteLength", "[generale]\r\n[curve]\r\n[fine]\r\n", true, 0, 25},
        FatalCase{"NoLineFile", "", false, 0, 101}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace sb
