#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "builtin/builtin_content.h"
#include "support/descriptions.h"
#include "text/text_writer.h"

namespace sb {
namespace {

using test::error_position;

using test::kUntouchedPosition;
using test::line_file;
using test::read_files;
using test::ReadResult;
using test::repeated;
using test::train_file;

// A train file whose only record shows whether it was read.
const std::string kTrain = train_file("numero vetture,  6\r\n");

bool train_was_read(const ReadResult& r) { return r.scenario.table.general.coaches == 6; }

std::string builtin_line() { return text_file_bytes(builtin_line_lines()); }

uint64_t bits(double d) { return std::bit_cast<uint64_t>(d); }

// --- the built-in line -------------------------------------------------------

TEST(LineReader, BuiltinLine) {
  const ReadResult r = read_files(builtin_line(), train_file(""));
  const Scenario& s = r.scenario;
  EXPECT_EQ(s.error_code(), 0);
  EXPECT_TRUE(s.diagnostics.empty());
  EXPECT_TRUE(r.line_removed);
  EXPECT_EQ(s.total_metres, 95000);
  EXPECT_EQ(s.cell_count, 1900);
  EXPECT_EQ(s.cells.size(), 1901);
  EXPECT_EQ(s.plan.last_metre(), 95000);
  EXPECT_TRUE(s.montagna_spans.empty());

  const ScenarioTable& t = s.table;
  EXPECT_EQ(t.general.route_length, 88000);
  EXPECT_EQ(t.route.scenery, (std::array<int32_t, 3>{1, 0, 0}));
  EXPECT_EQ(t.route.route_name, "Prova");
  EXPECT_EQ(t.train.repetition_start, 0);
  EXPECT_EQ(t.train.repetition_end, 0);
  EXPECT_EQ(t.train.cab_signal_codes, 0);
  EXPECT_EQ(t.train.train_number, "1");
  auto system = [&](int i) {
    const ChainageSystem& c = t.chainage[static_cast<std::size_t>(i)];
    return std::vector<int32_t>{c.start, c.reference, c.direction};
  };
  EXPECT_EQ(system(0), (std::vector<int32_t>{31700, 44500, 1}));
  EXPECT_EQ(system(1), (std::vector<int32_t>{0, 5200, 0}));
  EXPECT_EQ(system(2), (std::vector<int32_t>{0, 0, 0}));

  // The six speed-limit boards and nothing else of kind 6.
  struct Board {
    int64_t cell;
    int16_t rank_a, rank_b, rank_c, stripes;
  };
  const Board boards[] = {{26, 1800, 1800, 1800, 0},   {83, 2600, 2800, 2800, 0},  {371, 2000, 2100, 2100, 20},
                          {375, 2000, 2100, 2100, 10}, {379, 2000, 2100, 2100, 0}, {435, 2600, 2800, 2800, 0}};
  std::vector<int64_t> kind6;
  for (int64_t i = 0; i < s.cells.size(); ++i)
    if (s.cells.at(i).kind == cell_kind::kSpeedBoard) kind6.push_back(i);
  EXPECT_EQ(kind6, (std::vector<int64_t>{26, 83, 371, 375, 379, 435}));
  for (const Board& b : boards) {
    const TrackCell& c = s.cells.at(b.cell);
    EXPECT_EQ(c.board_speed(0), b.rank_a) << b.cell;
    EXPECT_EQ(c.board_speed(1), b.rank_b) << b.cell;
    EXPECT_EQ(c.board_speed(2), b.rank_c) << b.cell;
    EXPECT_EQ(c.board_stripes(), b.stripes) << b.cell;
  }

  // The 37 line boards, in file order, in slots 80 down to 44.
  int slot = 80;
  int line_boards = 0;
  for (std::string_view l : builtin_line_lines()) {
    if (!l.starts_with("cartello_indicatore,  ")) continue;
    l.remove_prefix(std::string_view("cartello_indicatore,  ").size());
    const std::size_t comma = l.find(',');
    const int32_t p = std::stoi(std::string(l.substr(0, comma)));
    const std::string text(l.substr(comma + 6));
    const TrackCell& c = s.cells.at(element_cell(p));
    EXPECT_EQ(c.kind, cell_kind::kLineBoard) << p;
    EXPECT_EQ(c.table_slot(), slot) << p;
    EXPECT_EQ(t.slots[static_cast<std::size_t>(slot)].text, text) << p;
    --slot;
    ++line_boards;
  }
  EXPECT_EQ(line_boards, 37);
  EXPECT_EQ(slot, 43);
  EXPECT_EQ(t.slots[43].text, "");
  EXPECT_EQ(s.cells.at(27).table_slot(), 80);
  EXPECT_EQ(s.cells.at(878).table_slot(), 44);

  // Gradients: every cell up to 1897, as the records hold from cell
  // nearest(position / 50) on; the last three cells keep 0.
  struct Stretch {
    int64_t from, to;  // cells [from, to)
    uint8_t gradient;
  };
  const Stretch stretches[] = {{0, 321, 100},  {321, 376, 102}, {376, 386, 105}, {386, 416, 96},   {416, 436, 94},
                               {436, 476, 96}, {476, 566, 100}, {566, 606, 106}, {606, 1898, 100}, {1898, 1901, 0}};
  for (const Stretch& st : stretches)
    for (int64_t i = st.from; i < st.to; ++i) ASSERT_EQ(s.cells.at(i).gradient, st.gradient) << "cell " << i;

  // The plan: two whole-number metres, real values up to 94998, the last
  // two metres empty.
  EXPECT_EQ(test::DecodedPlan(s.plan).get(0, 0).tag, test::PlanTag::kWhole);
  EXPECT_EQ(test::DecodedPlan(s.plan).get(1, 1).tag, test::PlanTag::kWhole);
  EXPECT_EQ(test::DecodedPlan(s.plan).number(1, 1), 1.0);
  EXPECT_EQ(test::DecodedPlan(s.plan).get(2, 0).tag, test::PlanTag::kReal);
  EXPECT_EQ(test::DecodedPlan(s.plan).get(94998, 1).tag, test::PlanTag::kReal);
  EXPECT_EQ(test::DecodedPlan(s.plan).get(94999, 0).tag, test::PlanTag::kEmpty);
  EXPECT_EQ(test::DecodedPlan(s.plan).get(95000, 1).tag, test::PlanTag::kEmpty);
  // Straight up to the first curve at 100.
  EXPECT_EQ(test::DecodedPlan(s.plan).number(100, 0), 0.0);
  EXPECT_EQ(test::DecodedPlan(s.plan).number(100, 1), 100.0);
  EXPECT_EQ(bits(test::DecodedPlan(s.plan).number(101, 0)), bits(0.003));
}

TEST(LineReader, RouteLengthSizesTheCellsAndThePlan) {
  struct Case {
    int32_t route_length;
    int32_t total_metres, cell_count;
  };
  const Case cases[] = {{88000, 95000, 1900}, {18, 7018, 140}, {25, 7025, 140},
                        {75, 7075, 142},      {0, 7000, 140},  {1000000, 1007000, 20140}};
  for (const Case& c : cases) {
    const ReadResult r = read_files(line_file("", "", c.route_length), kTrain);
    EXPECT_EQ(r.scenario.error_code(), 0) << c.route_length;
    EXPECT_EQ(r.scenario.total_metres, c.total_metres) << c.route_length;
    EXPECT_EQ(r.scenario.cell_count, c.cell_count) << c.route_length;
    EXPECT_EQ(r.scenario.cells.size(), c.cell_count + 1) << c.route_length;
    EXPECT_EQ(r.scenario.plan.last_metre(), c.total_metres) << c.route_length;
    EXPECT_EQ(r.scenario.table.general.route_length, c.route_length);
  }
}

// --- the plan ------------------------------------------------------------------------

TEST(LineReader, WithoutCurvesThePlanIsAStraightLine) {
  const ReadResult r = read_files(line_file("pendenza,  1000,  2\r\n", "", 1000), kTrain);
  const test::DecodedPlan plan(r.scenario.plan);
  ASSERT_EQ(r.scenario.error_code(), 0);
  ASSERT_EQ(plan.last_metre(), 8000);
  for (int64_t m = 0; m <= 7998; ++m) {
    const test::PlanTag tag = m < 2 ? test::PlanTag::kWhole : test::PlanTag::kReal;
    ASSERT_EQ(plan.get(m, 0).tag, tag) << m;
    ASSERT_EQ(plan.get(m, 1).tag, tag) << m;
    ASSERT_EQ(plan.number(m, 0), 0.0) << m;
    ASSERT_EQ(plan.number(m, 1), static_cast<double>(m)) << m;
  }
  for (int64_t m : {7999, 8000}) {
    EXPECT_EQ(plan.get(m, 0).tag, test::PlanTag::kEmpty) << m;
    EXPECT_EQ(plan.get(m, 1).tag, test::PlanTag::kEmpty) << m;
  }
}

TEST(LineReader, FirstCurvedStepTurnsTheHeadingByTheClassCurvature) {
  struct Case {
    const char* keyword;
    double k;
  };
  const Case cases[] = {{"curvad6", 0.003},  {"curvas6", -0.003},   {"curvad1", 0.0001},
                        {"curvad2", 0.0002}, {"curvad3", 0.0004},   {"CURVAS4", -0.001},
                        {"curvad5", 0.002},  {"curvas25", -0.0002}, {"curva d 63", 0.0004}};
  for (const Case& c : cases) {
    const ReadResult r = read_files(line_file(std::string(c.keyword) + ",  0,  10\r\n", "", 1000), kTrain);
    const test::DecodedPlan plan(r.scenario.plan);
    ASSERT_EQ(r.scenario.error_code(), 0) << c.keyword;
    // From heading (0, 1) the first curved step is (k, 1).
    EXPECT_EQ(bits(plan.number(2, 0) - plan.number(1, 0)), bits(c.k)) << c.keyword;
    EXPECT_EQ(bits(plan.number(2, 1) - plan.number(1, 1)), bits(1.0)) << c.keyword;
    // The second step turns the first, without rescaling it.
    const double d0 = plan.number(2, 0) - plan.number(1, 0);
    const double d1 = plan.number(2, 1) - plan.number(1, 1);
    EXPECT_EQ(bits(plan.number(3, 0)), bits(plan.number(2, 0) + (d0 + c.k * d1))) << c.keyword;
    EXPECT_EQ(bits(plan.number(3, 1)), bits(plan.number(2, 1) + (d1 - c.k * d0))) << c.keyword;
  }
  // A class 6 right curve from the start, bit for bit.
  const ReadResult r = read_files(line_file("curvad6,  0,  10\r\n", "", 1000), kTrain);
  EXPECT_EQ(bits(test::DecodedPlan(r.scenario.plan).number(2, 0)), bits(0.003));
  EXPECT_EQ(bits(test::DecodedPlan(r.scenario.plan).number(2, 1)), bits(2.0));
  EXPECT_EQ(bits(test::DecodedPlan(r.scenario.plan).number(3, 0)), bits(0.003 + (0.003 + 0.003 * 1.0)));
  EXPECT_EQ(bits(test::DecodedPlan(r.scenario.plan).number(3, 1)), bits(2.0 + (1.0 - 0.003 * 0.003)));
}

TEST(LineReader, CurveStartingBehindThePlanCursorGetsOnlyItsRemainingCurvedSteps) {
  const ReadResult r = read_files(line_file("curvad6,  0,  10\r\ncurvas6,  5,  10\r\n", "", 1000), kTrain);
  const test::DecodedPlan plan(r.scenario.plan);
  ASSERT_EQ(r.scenario.error_code(), 0);
  auto step = [&](int64_t m, double k) {
    const double d0 = plan.number(m - 1, 0) - plan.number(m - 2, 0);
    const double d1 = plan.number(m - 1, 1) - plan.number(m - 2, 1);
    EXPECT_EQ(bits(plan.number(m, 0)), bits(plan.number(m - 1, 0) + (d0 + k * d1))) << "metre " << m;
    EXPECT_EQ(bits(plan.number(m, 1)), bits(plan.number(m - 1, 1) + (d1 - k * d0))) << "metre " << m;
  };
  for (int64_t m = 2; m <= 10; ++m) step(m, 0.003);
  for (int64_t m = 11; m <= 15; ++m) step(m, -0.003);
  for (int64_t m = 16; m <= 20; ++m) step(m, 0.0);
}

TEST(LineReader, WithoutGeometryCurvesAreNotRecords) {
  const ReadResult r = read_files(line_file("curvad7,  100,  200\r\npendenza,  1000,  2\r\n", "", 1000), kTrain, 0);
  EXPECT_EQ(r.scenario.error_code(), 0);
  EXPECT_FALSE(r.scenario.plan.exists());
  EXPECT_EQ(r.scenario.cells.at(20).gradient, 102);
  EXPECT_TRUE(train_was_read(r));
}

// --- gradients -------------------------------------------------------------------------

TEST(LineReader, GradientFills) {
  struct Case {
    const char* name;
    std::string main;
    std::vector<std::pair<int64_t, uint8_t>> cells;  // cell, gradient
  };
  const Case cases[] = {
      {"16050 then the next record",
       "pendenza,  16050,  2\r\npendenza,  18800,  5\r\n",
       {{0, 100}, {320, 100}, {321, 102}, {375, 102}, {376, 105}, {1897, 105}, {1898, 0}}},
      {"two records at the same position",
       "pendenza,  1000,  2\r\npendenza,  1000,  5\r\n",
       {{19, 100}, {20, 102}, {21, 105}, {1897, 105}}},
      {"a record at 0 sets no cell",
       "pendenza,  0,  -3\r\npendenza,  50,  4\r\n",
       {{0, 97}, {1, 104}, {1897, 104}, {1898, 0}}},
      {"position 25 rounds to cell 0 and sets no cell",
       "pendenza,  0,  -3\r\npendenza,  25,  4\r\n",
       {{0, 104}, {1, 104}}},
      {"position 75 rounds to cell 2", "pendenza,  0,  -3\r\npendenza,  75,  4\r\n", {{0, 97}, {1, 97}, {2, 104}}},
      {"no record: the tail writes 100", "", {{0, 100}, {1897, 100}, {1898, 0}, {1900, 0}}},
  };
  for (const Case& c : cases) {
    const ReadResult r = read_files(line_file(c.main), kTrain);
    EXPECT_EQ(r.scenario.error_code(), 0) << c.name;
    for (auto [cell, g] : c.cells) EXPECT_EQ(r.scenario.cells.at(cell).gradient, g) << c.name << ", cell " << cell;
  }
}

// --- stops and their codes ---------------------------------------------------------------

struct StopCase {
  const char* name;
  std::optional<std::string> line;
  int32_t code;
  int32_t position;
  bool line_removed;
  bool train_removed;
  bool train_read;
};

// The codes whose condition has a position along the line.
bool placed(int32_t code) { return code == 6 || code == 15 || (code >= 16 && code <= 21); }

void check(const StopCase& c, const ReadResult& r) {
  EXPECT_EQ(r.scenario.error_code(), c.code) << c.name;
  EXPECT_EQ(error_position(r.scenario), c.position) << c.name;
  // The recorded condition keeps its position too.
  if (c.code != 0) {
    ASSERT_FALSE(r.scenario.diagnostics.empty()) << c.name;
    EXPECT_EQ(r.scenario.diagnostics.list().back().code, c.code) << c.name;
    EXPECT_EQ(r.scenario.diagnostics.list().back().position,
              placed(c.code) ? std::optional<int32_t>(c.position) : std::nullopt)
        << c.name;
  }
  EXPECT_EQ(r.line_removed, c.line_removed) << c.name;
  EXPECT_EQ(r.train_removed, c.train_removed) << c.name;
  EXPECT_EQ(train_was_read(r), c.train_read) << c.name;
}

TEST(LineReader, CodesPositionsAndRemovedFiles) {
  const int32_t u = kUntouchedPosition;
  const StopCase cases[] = {
      {"101 no line file", std::nullopt, 101, u, false, false, false},
      {"102 no [generale]", "[general]\r\nlunghezza percorso,  88000\r\n[fine]\r\n", 102, u, true, false, false},
      {"102 [generale] as the last field", "[fine]\r\n[generale]\r\n", 102, u, true, false, false},
      {"1 route length above 1000000", line_file("", "", 1000001), 1, u, true, false, false},
      {"3 first repetition position", line_file("", "ripetizione segnali 4 codici,  25,  0\r\n"), 3, u, true, false,
       false},
      {"4 second repetition position", line_file("", "ripetizione segnali 4 codici,  0,  25\r\n"), 4, u, true, false,
       false},
      {"5 neither 4 nor 9", line_file("", "ripetizione segnali codici,  0,  0\r\n"), 5, u, true, false, false},
      {"103 no class digit", line_file("curvad7,  100,  200\r\n"), 103, u, true, false, false},
      {"103 plan passes metre 1000000", line_file("curvad6,  999000,  2000\r\n", "", 1000000), 103, u, true, false,
       false},
      {"6 board at 1300 then 1310",
       line_file("cartello_indicatore,  1300,     (A)\r\ncartello_indicatore,  1310,     (B)\r\n"), 6, 1310, true,
       false, false},
      {"6 board on a speed-limit board",
       line_file("indicatori_vmax,  1250,  90,  90,  90,  0,  ,  ,  ,  0\r\ncartello_indicatore,  1275,     (B)\r\n"),
       6, 1275, true, false, false},
      {"21 speed-limit board on a board",
       line_file("cartello_indicatore,  1300,     (A)\r\nindicatori_vmax,  1300,  90,  90,  90,  0,  ,  ,  ,  0\r\n"),
       21, 1300, true, false, false},
      {"15 gradient", line_file("pendenza,  94950,  1\r\n"), 15, 94950, true, true, true},
      {"15 curve", line_file("curvad6,  94950,  10\r\n"), 15, 94950, true, true, true},
      {"15 montagna", line_file("montagna,  94950,  95000,  1\r\n"), 15, 94950, true, true, true},
      {"15 speed-limit board", line_file("indicatori_vmax,  94950,  90,  90,  90,  0,  ,  ,  ,  0\r\n"), 15, 94950,
       true, true, true},
      {"15 board", line_file("cartello_indicatore,  94950,     (A)\r\n"), 15, 94950, true, true, true},
      {"94900 passes the range test", line_file("cartello_indicatore,  94900,     (A)\r\n"), 0, u, true, true, true},
      {"repetition 9 codes accepted", line_file("", "ripetizione segnali 9 codici,  1000,  2000\r\n"), 0, u, true, true,
       true},
  };
  for (const StopCase& c : cases) check(c, read_files(c.line, kTrain));
}

TEST(LineReader, RepetitionRecord) {
  struct Case {
    const char* record;
    int32_t start, end, position;
  };
  const Case cases[] = {{"ripetizione segnali 4 codici,  1000,  2000", 1000, 2000, 4},
                        {"ripetizione segnali 9 codici,  1000,  2000", 1000, 2000, 9},
                        {"ripetizione segnali 49 codici,  1000,  2000", 1000, 2000, 4},
                        {"ripetizione segnali 9 codici,  1000,  0", 1000, 0, 0}};
  for (const Case& c : cases) {
    const ReadResult r = read_files(line_file("", std::string(c.record) + "\r\n"), kTrain);
    const TrainSlot& train = r.scenario.table.train;
    EXPECT_EQ(r.scenario.error_code(), 0) << c.record;
    EXPECT_EQ(train.repetition_start, c.start) << c.record;
    EXPECT_EQ(train.repetition_end, c.end) << c.record;
    EXPECT_EQ(train.cab_signal_codes, c.position) << c.record;
  }
}

TEST(LineReader, Code15EndsTheMainPartAndTheRunGoesOn) {
  const ReadResult r = read_files(line_file("pendenza,  1000,  2\r\n"
                                            "pendenza,  94950,  4\r\n"
                                            "cartello_indicatore,  2000,     (A)\r\n"),
                                  kTrain);
  const Scenario& s = r.scenario;
  EXPECT_EQ(s.error_code(), 15);
  EXPECT_EQ(error_position(s), 94950);
  EXPECT_TRUE(r.line_removed);
  EXPECT_TRUE(r.train_removed);
  EXPECT_TRUE(train_was_read(r));
  // The record after it is not read; the gradient it named never holds.
  EXPECT_EQ(s.cells.at(41).kind, 0);
  EXPECT_EQ(s.cells.at(19).gradient, 100);
  EXPECT_EQ(s.cells.at(20).gradient, 102);
  EXPECT_EQ(s.cells.at(1897).gradient, 102);
  EXPECT_EQ(s.cells.at(1898).gradient, 0);
  // The straight tail of the plan is there.
  EXPECT_EQ(test::DecodedPlan(s.plan).get(94998, 1).tag, test::PlanTag::kReal);
  EXPECT_EQ(test::DecodedPlan(s.plan).number(94998, 1), 94998.0);
  ASSERT_EQ(s.diagnostics.size(), 1u);
  EXPECT_EQ(format_diagnostic(s.diagnostics.list()[0]),
            "Prova_linea.txt:5:12: error: gradient at 94950 m lies beyond the last track cell 1900 (positions "
            "up to 94900 m are accepted) [E15]");
}

TEST(LineReader, DiagnosticLines) {
  const ReadResult missing = read_files(std::nullopt, kTrain);
  ASSERT_EQ(missing.scenario.diagnostics.size(), 1u);
  EXPECT_EQ(format_diagnostic(missing.scenario.diagnostics.list()[0]),
            "scenario-builder: error: line description file Prova_linea.txt not found [E101]");
  // The identifiers are copied into the table before the file is looked for.
  EXPECT_EQ(missing.scenario.table.route.route_name, "Prova");
  EXPECT_EQ(missing.scenario.table.train.train_number, "1");

  const ReadResult board =
      read_files(line_file("cartello_indicatore,  1300,     (A)\r\ncartello_indicatore,  1310,     (B)\r\n"), kTrain);
  ASSERT_EQ(board.scenario.diagnostics.size(), 1u);
  EXPECT_EQ(format_diagnostic(board.scenario.diagnostics.list()[0]),
            "Prova_linea.txt:5:23: error: line board at 1310 m falls into cell 27, already taken by the board "
            "at 1300 m, Prova_linea.txt:4 [E6]\nProva_linea.txt:4:1: note: the board at 1300 m holds cell 27");
}

// --- code 25 ------------------------------------------------------------------------------

TEST(LineReader, Code25RemovesBothFilesAndReturns) {
  const int32_t u = kUntouchedPosition;
  std::string boards;
  for (int i = 1; i <= 82; ++i) boards += "cartello_indicatore,  " + std::to_string(100 * i) + ",     (B)\r\n";
  const StopCase cases[] = {
      {"empty line file", "", 25, u, true, true, false},
      {"no route length before [curve]",
       "[generale]\r\n[curve]\r\nlunghezza percorso,  88000\r\npendenza,  100,  2\r\n[fine]\r\n", 25, u, true, true,
       false},
      {"gradient fills pushed past the last cell", line_file(repeated("pendenza,  7000,  1\r\n", 5), "", 100), 25, u,
       true, true, false},
      {"curve past total_metres", line_file("curvad6,  7000,  500\r\n", "", 100), 25, u, true, true, false},
      {"82nd line board", line_file(boards), 25, u, true, true, false},
      {"81st montagna span", line_file(repeated("montagna,  1000,  1020,  1\r\n", 81)), 25, u, true, true, false},
      {"montagna span past the last cell", line_file("montagna,  7000,  9000,  1\r\n", "", 100), 25, u, true, true,
       false},
      {"speed sum beyond 16 bits", line_file("indicatori_vmax,  1250,  1700,  0,  0,  0,  ,  ,  ,  0\r\n"), 25, u, true,
       true, false},
      {"gradient above 155", line_file("pendenza,  100,  156\r\npendenza,  200,  0\r\n"), 25, u, true, true, false},
      {"gradient below -100", line_file("pendenza,  100,  -101\r\n"), 25, u, true, true, false},
      {"route length below -7000", line_file("", "", -7001), 25, u, true, true, false},
      {"route length that is no number", "[generale]\r\nlunghezza percorso,  88km\r\n[fine]\r\n", 25, u, true, true,
       false},
      {"value wider than 32 bits", line_file("pendenza,  2147483648,  1\r\n"), 25, u, true, true, false},
      {"dash fields at the end of the general part", "[generale]\r\nlunghezza percorso,  1000\r\n---\r\n---\r\n", 25, u,
       true, true, false},
      {"record cut by the end of the file", line_file("") + "pendenza,  100", 25, u, true, true, false},
  };
  for (const StopCase& c : cases) {
    const ReadResult r = read_files(c.line, kTrain);
    check(c, r);
    ASSERT_FALSE(r.scenario.diagnostics.empty()) << c.name;
    EXPECT_EQ(r.scenario.diagnostics.list().back().code, 25) << c.name;
  }
}

TEST(LineReader, The81stLineBoardTakesSlot0) {
  std::string boards;
  for (int i = 1; i <= 81; ++i)
    boards += "cartello_indicatore,  " + std::to_string(100 * i) + ",     (B" + std::to_string(i) + ")\r\n";
  const ReadResult r = read_files(line_file(boards), kTrain);
  EXPECT_EQ(r.scenario.error_code(), 0);
  EXPECT_EQ(r.scenario.table.slots[80].text, "(B1)");
  EXPECT_EQ(r.scenario.table.slots[0].text, "(B81)");
  EXPECT_EQ(r.scenario.cells.at(element_cell(8100)).table_slot(), 0);
  EXPECT_EQ(r.scenario.cells.at(element_cell(8100)).kind, cell_kind::kLineBoard);
}

TEST(LineReader, WhatWasWrittenBeforeA25Stays) {
  const ReadResult r = read_files(
      line_file("pendenza,  1000,  2\r\ncartello_indicatore,  1300,     (A)\r\npendenza,  1000,  300\r\n"), kTrain);
  EXPECT_EQ(r.scenario.error_code(), 25);
  EXPECT_EQ(r.scenario.cells.at(19).gradient, 100);
  EXPECT_EQ(r.scenario.cells.at(20).gradient, 102);
  EXPECT_EQ(r.scenario.cells.at(27).kind, cell_kind::kLineBoard);
  EXPECT_EQ(r.scenario.table.slots[80].text, "(A)");
}

// --- field syntax: dash lines, keyword case, the end of the file ---------------------------

struct SyntaxCase {
  const char* name;
  std::string line;
  std::function<void(const Scenario&)> expect;
};

void run_syntax_cases(const std::vector<SyntaxCase>& cases) {
  for (const SyntaxCase& c : cases) {
    SCOPED_TRACE(c.name);
    const ReadResult r = read_files(c.line, kTrain);
    EXPECT_EQ(r.scenario.error_code(), 0);
    c.expect(r.scenario);
  }
}

auto gradient_at(int64_t cell, uint8_t g) {
  return [cell, g](const Scenario& s) { EXPECT_EQ(s.cells.at(cell).gradient, g) << "cell " << cell; };
}

TEST(LineReader, DashLines) {
  const std::string dash = "----------\r\n";
  const std::string first = "pendenza,  1000,  2\r\n";
  const std::string second = "pendenza,  2000,  4\r\n";
  auto both_read = [](const Scenario& s) {
    EXPECT_EQ(s.cells.at(39).gradient, 102);
    EXPECT_EQ(s.cells.at(40).gradient, 104);
  };
  auto second_unread = [](const Scenario& s) {
    EXPECT_EQ(s.cells.at(40).gradient, 102);
    EXPECT_EQ(s.cells.at(1897).gradient, 102);
  };
  run_syntax_cases({
      {"one dash line between records", line_file(first + dash + second), both_read},
      {"two dash lines", line_file(first + dash + dash + second), both_read},
      {"three dash lines: the third is dropped", line_file(first + dash + dash + dash + second), both_read},
      {"a third dash line holding a keyword is that record",
       line_file(first + dash + dash + "-- pendenza,  2000,  4\r\n"), both_read},
      {"a first dash line holding a keyword is skipped", line_file(first + "-- pendenza,  2000,  4\r\n"),
       second_unread},
      {"a fourth dash line holding a keyword is skipped",
       line_file(first + dash + dash + dash + "-- pendenza,  2000,  4\r\n"), second_unread},
      {"general part: a dash line before a record",
       "[generale]\r\n" + dash + "lunghezza percorso,  1000\r\n[curve]\r\n[fine]\r\n",
       [](const Scenario& s) { EXPECT_EQ(s.cell_count, 160); }},
      {"general part: the eleventh dash field is a record", line_file("", repeated(dash, 10) + "-- sfondo uno,  7\r\n"),
       [](const Scenario& s) { EXPECT_EQ(s.table.route.scenery[0], 7); }},
      {"general part: the twelfth dash field is skipped", line_file("", repeated(dash, 11) + "-- sfondo uno,  7\r\n"),
       [](const Scenario& s) { EXPECT_EQ(s.table.route.scenery[0], 0); }},
      {"a bracketed field ends the general part", line_file("", "[x]\r\nsfondo due,  3\r\n"),
       [](const Scenario& s) { EXPECT_EQ(s.table.route.scenery[1], 0); }},
      {"a bracketed dash field does not end the general part",
       line_file("", repeated(dash, 10) + "-[x]\r\nsfondo due,  3\r\n"),
       [](const Scenario& s) { EXPECT_EQ(s.table.route.scenery[1], 3); }},
      {"a record without [fine] after it is read",
       "[generale]\r\nlunghezza percorso,  88000\r\n[curve]\r\n" + first + "pendenza,  2000,  4", both_read},
      {"main-part text after [fine] is read", line_file(first) + second, both_read},
  });
}

TEST(LineReader, KeywordCase) {
  auto slot81 = [](int32_t start) {
    return [start](const Scenario& s) { EXPECT_EQ(s.table.chainage[0].start, start); };
  };
  auto raw = [](const std::string& general, const std::string& main) {
    return "[Generale]\r\nLUNGHEZZA Percorso,  1000\r\n" + general + "[curve]\r\n" + main + "[fine]\r\n";
  };
  run_syntax_cases({
      {"\"[Generale]\" and \"LUNGHEZZA Percorso\" any case", raw("", ""),
       [](const Scenario& s) { EXPECT_EQ(s.cell_count, 160); }},
      {"progressiva chilometrica tre", raw("progressiva chilometrica tre,  20000,  30000,  0\r\n", ""), slot81(20000)},
      {"PROGRESSIVA chilometrica TRE", raw("PROGRESSIVA chilometrica TRE,  20000,  30000,  0\r\n", ""), slot81(0)},
      {"progressiva chilometrica TRE", raw("progressiva chilometrica TRE,  20000,  30000,  0\r\n", ""), slot81(0)},
      {"Progressiva chilometrica tre", raw("Progressiva chilometrica tre,  20000,  30000,  0\r\n", ""), slot81(0)},
      {"SFONDO UNO", raw("SFONDO UNO,  1\r\n", ""), [](const Scenario& s) { EXPECT_EQ(s.table.route.scenery[0], 0); }},
      {"RIPETIZIONE segnali 4", raw("RIPETIZIONE segnali 4 codici,  1000,  2000\r\n", ""),
       [](const Scenario& s) { EXPECT_EQ(s.table.train.cab_signal_codes, 0); }},
      {"PENDENZA", raw("", "PENDENZA,  1000,  2\r\n"), gradient_at(20, 102)},
      {"Curvad6", raw("", "Curvad6,  100,  200\r\n"),
       [](const Scenario& s) { EXPECT_NE(test::DecodedPlan(s.plan).number(300, 0), 0.0); }},
      {"MONTAGNA", raw("", "MONTAGNA,  1000,  2000,  1\r\n"),
       [](const Scenario& s) { EXPECT_EQ(s.montagna_spans.size(), 1u); }},
      {"INDICATORI_VMAX", raw("", "INDICATORI_VMAX,  1250,  90,  90,  90,  0,  ,  ,  ,  0\r\n"),
       [](const Scenario& s) { EXPECT_EQ(s.cells.at(26).kind, cell_kind::kSpeedBoard); }},
      {"CARTELLO_INDICATORE", raw("", "CARTELLO_INDICATORE,  1300,     (X)\r\n"),
       [](const Scenario& s) { EXPECT_EQ(s.cells.at(27).kind, cell_kind::kLineBoard); }},
      {"a general-part record in the main part is ignored", raw("", "lunghezza percorso,  2000\r\n"),
       [](const Scenario& s) { EXPECT_EQ(s.cell_count, 160); }},
      {"a main-part record in the general part is ignored", raw("pendenza,  1000,  2\r\n", ""), gradient_at(20, 100)},
      {"a quoted board text keeps its comma; the rest of it is dropped",
       raw("", "cartello_indicatore,  1300,  \"(A, B)\" (C),pendenza,  1000,  2\r\n"),
       [](const Scenario& s) {
         EXPECT_EQ(s.table.slots[80].text, "(A, B)");
         EXPECT_EQ(s.cells.at(20).gradient, 102);
       }},
      {"numbers separated by blanks alone", raw("", "pendenza,  1000  2\r\n"), gradient_at(20, 102)},
      {"a board text is cut at a comma", raw("", "cartello_indicatore,  1300,     (A),pendenza,  1000,  2\r\n"),
       [](const Scenario& s) {
         EXPECT_EQ(s.table.slots[80].text, "(A)");
         EXPECT_EQ(s.cells.at(20).gradient, 102);
       }},
  });
}

}  // namespace
}  // namespace sb
