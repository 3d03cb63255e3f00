#include "track/placement.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/descriptions.h"

namespace sb {
namespace {

using test::scenario_with_cells;

// Each element placed on `state`'s cells; a refusal is recorded the way
// the reader records it.
void record(Scenario& state, const std::optional<Refusal>& refusal) {
  if (refusal) state.record_error(refusal->code, refusal->message);
}
void add_signal(Scenario& state, const SignalRecord& r) { record(state, place_signal(state.cells, r)); }
void add_speed_board(Scenario& state, const SpeedBoardRecord& r) { record(state, place_speed_board(state.cells, r)); }
void add_slowdown(Scenario& state, const SlowdownRecord& r) { record(state, place_slowdown(state.cells, r)); }
void add_montagna(Scenario& state, const MontagnaRecord& r) {
  place_montagna_span(state.cells, state.montagna_spans, r);
}

std::string describe(const TrackCell& c) {
  return "{kind " + std::to_string(c.kind) + ", numbers " + std::to_string(c.numbers[0]) + " " +
         std::to_string(c.numbers[1]) + " " + std::to_string(c.numbers[2]) + " " + std::to_string(c.numbers[3]) +
         ", signal_time " + std::to_string(c.signal_time) + ", approach_mark " + std::to_string(c.approach_mark) +
         ", montagna_type " + std::to_string(c.montagna_type) + "}";
}

// Compares every cell of `state` with `expected`, naming the cells that differ.
void expect_cells(const Scenario& state, const std::vector<TrackCell>& expected, const std::string& label) {
  const std::vector<TrackCell>& got = state.cells.cells();
  ASSERT_EQ(got.size(), expected.size()) << label;
  for (std::size_t i = 0; i < got.size(); ++i) {
    EXPECT_TRUE(got[i] == expected[i]) << label << ": cell " << i << " is " << describe(got[i]) << ", expected "
                                       << describe(expected[i]);
  }
}

std::vector<TrackCell> fresh(int32_t cell_count) { return std::vector<TrackCell>(cell_count + 1u); }

// --- signals ------------------------------------------------------------

TEST(PlaceSignal, CellsAndApproachMarks) {
  struct Case {
    const char* name;
    SignalRecord r;
    int64_t cell;
    int16_t aspect_1, aspect_2, aspect_3, code;
    uint8_t signal_time;
    uint8_t first_mark;  // marks first_mark .. first_mark + 3 in cells cell-2, -4, -6, -8
  };
  const Case cases[] = {
      {"segnale 10150 1 5 6", {10150, 1, 5, 6, 0, 0, 0, 0, 0, 0, 0}, 204, 50, 60, 0, 3, 0, 31},
      {"sx 2 at 4700, tempo 50", {4700, 2, 3, 1, 0, 0, 0, 0, 0, 0, 50}, 95, 30, 10, 0, 6, 101, 61},
      {"sx 2 at 4700, tempo 0", {4700, 2, 3, 1, 0, 0, 0, 0, 0, 0, 0}, 95, 30, 10, 0, 6, 0, 61},
      {"tempo 1 becomes 101", {4700, 2, 3, 1, 0, 0, 0, 0, 0, 0, 1}, 95, 30, 10, 0, 6, 101, 61},
      {"tempo 100 becomes 101", {4700, 2, 3, 1, 0, 0, 0, 0, 0, 0, 100}, 95, 30, 10, 0, 6, 101, 61},
      {"tempo 200 stays", {4700, 2, 3, 1, 0, 0, 0, 0, 0, 0, 200}, 95, 30, 10, 0, 6, 200, 61},
      {"tempo 300 keeps its low 8 bits", {4700, 2, 3, 1, 0, 0, 0, 0, 0, 0, 300}, 95, 30, 10, 0, 6, 44, 61},
      {"tempo -1 keeps its low 8 bits", {4700, 2, 3, 1, 0, 0, 0, 0, 0, 0, -1}, 95, 30, 10, 0, 6, 255, 61},
      {"sx 1 stores no time", {4700, 1, 3, 1, 0, 0, 0, 0, 0, 0, 50}, 95, 30, 10, 0, 3, 0, 31},
      {"both sides and rapp", {2000, 2, 1, 2, 3, 1, 1, 4, 5, 6, 0}, 41, 14, 25, 36, 17, 0, 71},
      {"marks keep their low 8 bits", {2000, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 41, 0, 0, 0, 30, 0, 45},
  };
  for (const Case& c : cases) {
    Scenario state = scenario_with_cells(300);
    add_signal(state, c.r);
    std::vector<TrackCell> expected = fresh(300);
    TrackCell& g = expected[static_cast<std::size_t>(c.cell)];
    g.kind = cell_kind::kSignal;
    g.numbers = {c.aspect_1, c.aspect_2, c.aspect_3, c.code};
    g.signal_time = c.signal_time;
    for (int j = 1; j <= 4; ++j) {
      expected[static_cast<std::size_t>(c.cell - 2 * j)].approach_mark = static_cast<uint8_t>(c.first_mark + j - 1);
    }
    expect_cells(state, expected, c.name);
    EXPECT_EQ(state.error_code(), 0) << c.name;
  }
}

TEST(PlaceSignal, CellsRoundHalvesToTheEvenNeighbour) {
  struct Case {
    int32_t posizione;
    int64_t cell;
  };
  const Case cases[] = {{1175, 24}, {1200, 25}, {1225, 26}, {1250, 26}, {1275, 26}, {1325, 28}, {10150, 204}};
  for (const Case& c : cases) {
    Scenario state = scenario_with_cells(300);
    add_signal(state, {c.posizione, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(state.cells.at(c.cell).kind, cell_kind::kSignal) << c.posizione;
    EXPECT_EQ(element_cell(c.posizione), c.cell) << c.posizione;
  }
}

TEST(PlaceSignal, SecondSignalInTheSameCellIsRefusedWith16AndWritesNothing) {
  Scenario state = scenario_with_cells(300);
  add_signal(state, {1225, 1, 4, 1, 0, 0, 0, 0, 0, 0, 0});
  const std::vector<TrackCell> before = state.cells.cells();
  state.place = {"Prova_1-.txt", 30};
  add_signal(state, {1275, 2, 3, 1, 0, 1, 1, 0, 0, 0, 50});
  EXPECT_EQ(state.error_code(), 16);
  expect_cells(state, before, "refused signal");
  ASSERT_EQ(state.diagnostics.size(), 1u);
  EXPECT_EQ(format_diagnostic(state.diagnostics.list()[0]),
            "Prova_1-.txt:30:1: error: signal at 1275 m falls into cell 26, already taken by the signal at 1225 "
            "m [E16]");
}

TEST(PlaceSignal, OnlyAnEmptyCellOrAMontagnaMarkIsFree) {
  for (int kind = 0; kind <= 14; ++kind) {
    Scenario state = scenario_with_cells(300);
    state.cells.at(204).kind = static_cast<uint8_t>(kind);
    state.cells.at(204).montagna_type = 2;
    add_signal(state, {10150, 1, 5, 6, 0, 0, 0, 0, 0, 0, 0});
    const bool free = kind == 0 || kind == cell_kind::kMontagnaMark;
    EXPECT_EQ(state.error_code(), free ? 0 : 16) << "kind " << kind;
    EXPECT_EQ(state.cells.at(204).kind, free ? cell_kind::kSignal : kind) << "kind " << kind;
    EXPECT_EQ(state.cells.at(204).montagna_type, 2) << "kind " << kind;
    EXPECT_EQ(state.cells.at(202).approach_mark, free ? 31 : 0) << "kind " << kind;
  }
}

TEST(PlaceSignal, ApproachMarksReplaceEarlierMarksAndTouchNothingElse) {
  Scenario state = scenario_with_cells(300);
  TrackCell& board = state.cells.at(202);
  board.kind = cell_kind::kLineBoard;
  board.table_slot() = 80;
  board.approach_mark = 81;
  state.cells.at(200).approach_mark = 64;
  add_signal(state, {10150, 1, 5, 6, 0, 0, 0, 0, 0, 0, 0});
  EXPECT_EQ(state.error_code(), 0);
  EXPECT_EQ(board.kind, cell_kind::kLineBoard);
  EXPECT_EQ(board.table_slot(), 80);
  EXPECT_EQ(board.approach_mark, 31);
  EXPECT_EQ(state.cells.at(200).approach_mark, 32);
}

TEST(PlaceSignal, ApproachMarksBeforeCellZeroAreARunTimeFailure) {
  // cell(300) = 7: the fourth mark would go to cell -1.
  Scenario state = scenario_with_cells(300);
  EXPECT_THROW(add_signal(state, {300, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0}), RunTimeFailure);
  // cell(325) = nearest(7.5) = 8: the marks reach cell 0.
  Scenario ok = scenario_with_cells(300);
  add_signal(ok, {325, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0});
  EXPECT_EQ(ok.cells.at(0).approach_mark, 34);
}

// --- speed-limit boards ------------------------------------------------------

TEST(PlaceSpeedBoard, Packing) {
  struct Case {
    const char* name;
    SpeedBoardRecord r;
    int64_t cell;
    int16_t rank_a, rank_b, rank_c, stripes;
  };
  const Case cases[] = {
      {"1250, 90 90 90, right side empty", {1250, 90, 90, 90, 0, 0, 0, 0, 0}, 26, 1800, 1800, 1800, 0},
      {"18500, 100 105 105, 2 stripes", {18500, 100, 105, 105, 2, 0, 0, 0, 0}, 371, 2000, 2100, 2100, 20},
      {"vad 12: 1802.4", {1250, 90, 90, 90, 0, 12, 0, 0, 0}, 26, 1802, 1800, 1800, 0},
      {"vad 13: 1802.6", {1250, 90, 90, 90, 0, 13, 0, 0, 0}, 26, 1803, 1800, 1800, 0},
      {"each rank with its right-hand speed", {1250, 90, 100, 50, 1, 10, 25, 7, 3}, 26, 1802, 2005, 1001, 13},
      {"negative right-hand speed", {1250, 90, 90, 90, 0, -12, 0, 0, 0}, 26, 1798, 1800, 1800, 0},
      {"the 16-bit limits", {1250, 1638, -1638, 0, 0, 35, -40, 0, 0}, 26, 32767, -32768, 0, 0},
      {"stripe code keeps its low 16 bits", {1250, 0, 0, 0, 7000, 0, 0, 0, 1}, 26, 0, 0, 0, 4465},
      {"a half cell goes to the even neighbour", {1225, 0, 0, 0, 0, 0, 0, 0, 0}, 26, 0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    Scenario state = scenario_with_cells(500);
    add_speed_board(state, c.r);
    std::vector<TrackCell> expected = fresh(500);
    TrackCell& g = expected[static_cast<std::size_t>(c.cell)];
    g.kind = cell_kind::kSpeedBoard;
    g.numbers = {c.rank_a, c.rank_b, c.rank_c, c.stripes};
    expect_cells(state, expected, c.name);
    EXPECT_EQ(state.error_code(), 0) << c.name;
  }
}

TEST(PlaceSpeedBoard, TakenCellIsRefusedWith21AndAMontagnaMarkIsReplaced) {
  Scenario state = scenario_with_cells(500);
  state.cells.at(26).kind = cell_kind::kMontagnaMark;
  add_speed_board(state, {1250, 90, 90, 90, 0, 0, 0, 0, 0});
  EXPECT_EQ(state.error_code(), 0);
  EXPECT_EQ(state.cells.at(26).kind, cell_kind::kSpeedBoard);

  const std::vector<TrackCell> before = state.cells.cells();
  add_speed_board(state, {1275, 100, 100, 100, 1, 0, 0, 0, 0});
  EXPECT_EQ(state.error_code(), 21);
  expect_cells(state, before, "refused board");
  ASSERT_EQ(state.diagnostics.size(), 1u);
  EXPECT_EQ(state.diagnostics.list()[0].message,
            "speed-limit board at 1275 m falls into cell 26, already taken by the speed-limit board at 1250 m");
}

TEST(PlaceSpeedBoard, SpeedsThatDoNotFitAreRunTimeFailures) {
  const SpeedBoardRecord cases[] = {
      {1250, 1638, 0, 0, 0, 40, 0, 0, 0},      // 32768
      {1250, 0, -1638, 0, 0, 0, -45, 0, 0},    // -32769
      {1250, 0, 0, 1700, 0, 0, 0, 0, 0},       // 34000
      {1250, 200000000, 0, 0, 0, 0, 0, 0, 0},  // 20 x vas passes 32 bits
  };
  for (const SpeedBoardRecord& r : cases) {
    Scenario state = scenario_with_cells(500);
    EXPECT_THROW(add_speed_board(state, r), RunTimeFailure)
        << r.left_speed_a << " " << r.left_speed_b << " " << r.left_speed_c;
  }
}

// --- montagna spans -----------------------------------------------------------------

TEST(PlaceMontagnaSpan, SpansTypesAndMarks) {
  struct Span {
    MontagnaRecord r;
    int64_t first, last;  // cells written, last < first for none
    uint8_t type;
    std::vector<int64_t> marks;
  };
  struct Case {
    const char* name;
    std::vector<Span> spans;
  };
  const Case cases[] = {
      {"(1000, 2000, 12) then (2100, 3000, 1)",
       {{{1000, 2000, 12}, 20, 39, 2, {23, 27, 31, 35, 39}}, {{2100, 3000, 1}, 42, 59, 3, {}}}},
      {"marks stay on when the type becomes 3",
       {{{1000, 2000, 2}, 20, 39, 2, {}}, {{2100, 3000, 11}, 42, 59, 3, {45, 49, 53, 57}}}},
      {"a gap of 151 m keeps the type", {{{1000, 2000, 2}, 20, 39, 2, {}}, {{2151, 3000, 1}, 43, 59, 1, {}}}},
      {"overlapping spans: the later one is type 3",
       {{{1000, 2000, 2}, 20, 39, 2, {}}, {{1500, 2500, 1}, 30, 49, 3, {}}}},
      {"only the span read just before counts",
       {{{5000, 6000, 2}, 100, 119, 2, {}}, {{1000, 2000, 1}, 20, 39, 3, {}}, {{6100, 6500, 4}, 122, 129, 4, {}}}},
      {"(1000, 1020, 1) writes no cell", {{{1000, 1020, 1}, 20, 19, 0, {}}}},
      {"halves to the even neighbour: 1025 to 1075", {{{1025, 1075, 1}, 20, 20, 1, {}}}},
      {"type keeps its low 8 bits", {{{1000, 1200, 266}, 20, 23, 0, {23}}}},
  };
  for (const Case& c : cases) {
    Scenario state = scenario_with_cells(300);
    std::vector<TrackCell> expected = fresh(300);
    std::size_t n = 0;
    for (const Span& s : c.spans) {
      add_montagna(state, s.r);
      ++n;
      ASSERT_EQ(state.montagna_spans.size(), n) << c.name;
      EXPECT_EQ(state.montagna_spans.back().start, s.r.start) << c.name;
      EXPECT_EQ(state.montagna_spans.back().end, s.r.end) << c.name;
      for (int64_t m = s.first; m <= s.last; ++m) expected[static_cast<std::size_t>(m)].montagna_type = s.type;
      for (int64_t m : s.marks) expected[static_cast<std::size_t>(m)].kind = cell_kind::kMontagnaMark;
    }
    expect_cells(state, expected, c.name);
    EXPECT_EQ(state.error_code(), 0) << c.name;
  }
}

TEST(PlaceMontagnaSpan, MarksGoOnlyIntoEmptyCellsButTheTypeGoesEverywhere) {
  Scenario state = scenario_with_cells(300);
  state.cells.at(27).kind = cell_kind::kLineBoard;
  state.cells.at(31).kind = cell_kind::kMontagnaMark;
  state.cells.at(31).montagna_type = 9;
  add_montagna(state, {1000, 2000, 12});
  EXPECT_EQ(state.cells.at(23).kind, cell_kind::kMontagnaMark);
  EXPECT_EQ(state.cells.at(27).kind, cell_kind::kLineBoard);
  EXPECT_EQ(state.cells.at(27).montagna_type, 2);
  EXPECT_EQ(state.cells.at(31).kind, cell_kind::kMontagnaMark);
  EXPECT_EQ(state.cells.at(31).montagna_type, 2);
}

TEST(PlaceMontagnaSpan, The81stSpanIsARunTimeFailure) {
  Scenario state = scenario_with_cells(300);
  for (int i = 0; i < 80; ++i) add_montagna(state, {1000, 1020, 1});
  EXPECT_EQ(state.montagna_spans.size(), 80u);
  EXPECT_THROW(add_montagna(state, {1000, 1020, 1}), RunTimeFailure);
  EXPECT_EQ(state.montagna_spans.size(), 80u);
}

TEST(PlaceMontagnaSpan, CellsPastTheLastCellAreARunTimeFailureAfterTheCellsBefore) {
  Scenario state = scenario_with_cells(100);
  EXPECT_THROW(add_montagna(state, {4000, 6000, 1}), RunTimeFailure);
  EXPECT_EQ(state.cells.at(80).montagna_type, 1);
  EXPECT_EQ(state.cells.at(100).montagna_type, 1);
}

// --- slowdowns --------------------------------------------------------------

// A slowdown cell: kind, speed (or approach order), d_v and f_tt.
struct Written {
  int64_t cell;
  uint8_t kind;
  int16_t speed, d_v, f_tt;
};

TEST(PlaceSlowdown, Cells) {
  struct Case {
    const char* name;
    SlowdownRecord r;
    std::vector<Written> cells;
  };
  const Case cases[] = {
      {"x 5000, l 1000, f_ta 1, d_v 0",
       {5000, 60, 1000, 2, 1, 0},
       {{77, 4, 60, 0, 0},
        {101, 3, 60, 0, 2},
        {121, 2, 60, 0, 2},
        {76, 5, 1, 0, 0},
        {75, 5, 2, 0, 0},
        {74, 5, 3, 0, 0},
        {73, 5, 4, 0, 0}}},
      {"d_v 30 goes into the second number",
       {5000, 60, 1000, 2, 1, 30},
       {{77, 4, 60, 30, 0},
        {101, 3, 60, 30, 2},
        {121, 2, 60, 30, 2},
        {76, 5, 1, 1, 0},
        {75, 5, 2, 2, 0},
        {74, 5, 3, 3, 0},
        {73, 5, 4, 4, 0}}},
      {"f_ta 0: no approach cells",
       {5000, 60, 1000, 2, 0, 0},
       {{77, 4, 60, 0, 0}, {101, 3, 60, 0, 2}, {121, 2, 60, 0, 2}}},
      {"x 1500: no warning cell, no approach cells", {1500, 30, 1000, 1, 1, 0}, {{31, 3, 30, 0, 1}, {51, 2, 30, 0, 1}}},
      {"x 1550: warning and approach cells",
       {1550, 30, 1000, 1, 1, 0},
       {{8, 4, 30, 0, 0},
        {32, 3, 30, 0, 1},
        {52, 2, 30, 0, 1},
        {7, 5, 1, 0, 0},
        {6, 5, 2, 0, 0},
        {5, 5, 3, 0, 0},
        {4, 5, 4, 0, 0}}},
      {"l 0: one cell, ending as the start", {5000, 60, 0, 2, 0, 0}, {{77, 4, 60, 0, 0}, {101, 3, 60, 0, 2}}},
      {"halves: x 5025",
       {5025, 60, 1000, 2, 1, 0},
       {{78, 4, 60, 0, 0},
        {102, 3, 60, 0, 2},
        {122, 2, 60, 0, 2},
        {76, 5, 1, 0, 0},
        {75, 5, 2, 0, 0},
        {74, 5, 3, 0, 0},
        {73, 5, 4, 0, 0}}},
      {"speed keeps its low 16 bits",
       {5000, 70000, 100, 0, 0, 0},
       {{77, 4, 4464, 0, 0}, {101, 3, 4464, 0, 0}, {103, 2, 4464, 0, 0}}},
  };
  for (const Case& c : cases) {
    Scenario state = scenario_with_cells(300);
    add_slowdown(state, c.r);
    std::vector<TrackCell> expected = fresh(300);
    for (const Written& w : c.cells) {
      TrackCell& e = expected[static_cast<std::size_t>(w.cell)];
      e.kind = w.kind;
      e.numbers = {w.speed, w.d_v, w.f_tt, 0};
    }
    expect_cells(state, expected, c.name);
    EXPECT_EQ(state.error_code(), 0) << c.name;
  }
}

TEST(PlaceSlowdown, RefusalsWriteNothingExceptCode20) {
  struct Case {
    const char* name;
    SlowdownRecord r;
    int64_t taken;  // the cell that holds a board
    int32_t code;
    std::vector<Written> cells;  // written besides the board
  };
  const Case cases[] = {
      {"warning cell taken", {5000, 60, 1000, 2, 1, 7}, 77, 17, {}},
      {"start cell taken", {5000, 60, 1000, 2, 1, 7}, 101, 18, {}},
      {"end cell taken", {5000, 60, 1000, 2, 1, 7}, 121, 19, {}},
      {"approach cell taken",
       {5000, 60, 1000, 2, 1, 7},
       75,
       20,
       {{77, 4, 60, 7, 0}, {101, 3, 60, 7, 2}, {121, 2, 60, 7, 2}}},
      {"approach cell taken, x 1550",
       {1550, 30, 1000, 1, 1, 0},
       4,
       20,
       {{8, 4, 30, 0, 0}, {32, 3, 30, 0, 1}, {52, 2, 30, 0, 1}}},
      {"x 1500 has no warning cell to test", {1500, 30, 1000, 1, 1, 0}, 7, 0, {{31, 3, 30, 0, 1}, {51, 2, 30, 0, 1}}},
      {"approach cell taken but f_ta 0",
       {5000, 60, 1000, 2, 0, 0},
       75,
       0,
       {{77, 4, 60, 0, 0}, {101, 3, 60, 0, 2}, {121, 2, 60, 0, 2}}},
  };
  for (const Case& c : cases) {
    Scenario state = scenario_with_cells(300);
    TrackCell board;
    board.kind = cell_kind::kLineBoard;
    board.table_slot() = 80;
    state.cells.at(c.taken) = board;
    add_slowdown(state, c.r);
    EXPECT_EQ(state.error_code(), c.code) << c.name;
    std::vector<TrackCell> expected = fresh(300);
    expected[static_cast<std::size_t>(c.taken)] = board;
    for (const Written& w : c.cells) {
      TrackCell& e = expected[static_cast<std::size_t>(w.cell)];
      e.kind = w.kind;
      e.numbers = {w.speed, w.d_v, w.f_tt, 0};
    }
    expect_cells(state, expected, c.name);
  }
}

TEST(PlaceSlowdown, MontagnaMarksCountAsFree) {
  Scenario state = scenario_with_cells(300);
  for (int64_t m : {73, 77, 101, 121}) state.cells.at(m).kind = cell_kind::kMontagnaMark;
  add_slowdown(state, {5000, 60, 1000, 2, 1, 0});
  EXPECT_EQ(state.error_code(), 0);
  EXPECT_EQ(state.cells.at(73).kind, cell_kind::kSlowdownApproach);
  EXPECT_EQ(state.cells.at(77).kind, cell_kind::kSlowdownWarning);
  EXPECT_EQ(state.cells.at(101).kind, cell_kind::kSlowdownStart);
  EXPECT_EQ(state.cells.at(121).kind, cell_kind::kSlowdownEnd);
}

TEST(PlaceSlowdown, EndBeyondTheLastCellIsARunTimeFailureBeforeAnyWrite) {
  Scenario state = scenario_with_cells(200);
  EXPECT_THROW(add_slowdown(state, {9000, 60, 2000, 2, 1, 0}), RunTimeFailure);
  expect_cells(state, fresh(200), "slowdown past the last cell");
}

}  // namespace
}  // namespace sb
