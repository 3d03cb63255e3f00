#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
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
using test::signal_record;
using test::station_record;
using test::train_file;

const std::string kLine = line_file("");

std::vector<int64_t> cells_of_kind(const Scenario& s, uint8_t kind) {
  std::vector<int64_t> out;
  for (int64_t i = 0; i < s.cells.size(); ++i)
    if (s.cells.at(i).kind == kind) out.push_back(i);
  return out;
}

std::vector<int64_t> marked_cells(const Scenario& s) {
  std::vector<int64_t> out;
  for (int64_t i = 0; i < s.cells.size(); ++i)
    if (s.cells.at(i).approach_mark != 0) out.push_back(i);
  return out;
}

// --- the built-in train ---------------------------------------------------------

TEST(TrainReader, BuiltinTrainAfterBuiltinLine) {
  const ReadResult r = read_files(text_file_bytes(builtin_line_lines()), text_file_bytes(builtin_train_lines()));
  const Scenario& s = r.scenario;
  EXPECT_EQ(s.error_code(), 0);
  EXPECT_TRUE(s.diagnostics.empty());
  EXPECT_TRUE(r.line_removed);
  EXPECT_TRUE(r.train_removed);

  const ScenarioTable& t = s.table;
  EXPECT_EQ(t.general.braked_mass, 130);
  EXPECT_EQ(t.general.route_length, 88000);
  EXPECT_EQ(t.general.coaches, 6);
  EXPECT_EQ(t.train.sand, 300);
  EXPECT_EQ(t.train.clock_hours, 5);
  EXPECT_EQ(t.train.clock_minutes, 56);
  EXPECT_EQ(t.train.clock_seconds, 50);

  struct Station {
    const char* name;
    uint8_t kind;
    int32_t position, start, end;
    int64_t stop_cell;  // -1 for none
    int32_t time;
  };
  const Station stations[] = {
      {"VALDRA P.CALVEA", 12, 0, -400, 400, 7, 21420},   {"VALDRA S.GUALTIERIO", 2, 3400, 3100, 3700, 73, 21780},
      {"LOMENZA", 12, 5700, 5400, 6050, 120, 22020},     {"FORNASCO", 27, 8750, 8600, 8900, -1, 0},
      {"CAVRENTO", 12, 12150, 11850, 12500, 249, 22740}, {"CASTELFRAVONE", 12, 21300, 21000, 21650, 432, 23580},
      {"BELMONZA", 12, 31700, 31450, 31950, 638, 24480}, {"LUSERA", 12, 39100, 38800, 39450, 788, 25140},
      {"DORVESA", 4, 44400, 44100, 44700, 893, 25440},
  };
  std::vector<int64_t> stop_cells;
  for (int i = 0; i < 9; ++i) {
    const Station& st = stations[i];
    const StationSlot& slot = t.slots[static_cast<std::size_t>(i + 1)];
    EXPECT_EQ(slot.text, st.name) << i + 1;
    EXPECT_EQ(slot.kind, st.kind) << st.name;
    EXPECT_EQ(slot.position, st.position) << st.name;
    EXPECT_EQ(slot.start, st.start) << st.name;
    EXPECT_EQ(slot.end, st.end) << st.name;
    EXPECT_EQ(slot.time, st.time) << st.name;
    if (st.stop_cell >= 0) {
      EXPECT_EQ(s.cells.at(st.stop_cell).kind, cell_kind::kStopCell) << st.name;
      EXPECT_EQ(s.cells.at(st.stop_cell).table_slot(), i + 1) << st.name;
      stop_cells.push_back(st.stop_cell);
    }
  }
  EXPECT_EQ(t.slots[10].text, "");
  EXPECT_EQ(cells_of_kind(s, cell_kind::kStopCell), stop_cells);
  // The first station: value 5 and the end extension cleared.
  EXPECT_EQ(t.slots[1].values.record_5, 0);
  EXPECT_EQ(t.slots[1].end_extension, 0);
  // CAVRENTO keeps every value as read.
  const StationSlot& cavrento = t.slots[5];
  EXPECT_EQ(cavrento.values.record_4, 1);
  EXPECT_EQ(cavrento.values.record_5, 0);
  EXPECT_EQ(cavrento.end_extension, 1);
  EXPECT_EQ(cavrento.values.record_7, 4);
  EXPECT_EQ(cavrento.values.record_8, 1);
  EXPECT_EQ(cavrento.values.record_9, 1);
  EXPECT_EQ(cavrento.values.record_10, 2);
  EXPECT_EQ(cavrento.values.record_11, 1);
  EXPECT_EQ(cavrento.values.record_12, 1);
  EXPECT_EQ(cavrento.values.record_13, 60);
  // Approach marks 81 to 84 before the first stop cell.
  for (int k = 1; k <= 4; ++k) EXPECT_EQ(s.cells.at(7 - k).approach_mark, 80 + k) << k;
  for (int k = 1; k <= 4; ++k) EXPECT_EQ(s.cells.at(893 - k).approach_mark, 80 + k) << k;

  // The thirteen signals.
  struct Signal {
    int32_t position;
    int64_t cell;
    int16_t aspect_1, aspect_2, code;
  };
  const Signal signals[] = {{1200, 25, 40, 10, 3},   {2450, 50, 30, 10, 6},    {4700, 95, 30, 10, 6},
                            {10150, 204, 50, 60, 3}, {11350, 228, 20, 30, 16}, {19350, 388, 30, 40, 3},
                            {20600, 413, 20, 30, 6}, {29250, 586, 30, 40, 3},  {30450, 610, 20, 30, 6},
                            {37100, 743, 50, 60, 3}, {38300, 767, 20, 30, 16}, {41900, 839, 40, 10, 3},
                            {43150, 864, 30, 10, 6}};
  std::vector<int64_t> signal_cells;
  for (const Signal& sg : signals) {
    const TrackCell& c = s.cells.at(sg.cell);
    EXPECT_EQ(c.signal_aspect(1), sg.aspect_1) << sg.position;
    EXPECT_EQ(c.signal_aspect(2), sg.aspect_2) << sg.position;
    EXPECT_EQ(c.signal_aspect(3), 0) << sg.position;
    EXPECT_EQ(c.signal_code(), sg.code) << sg.position;
    EXPECT_EQ(c.signal_time, 0) << sg.position;
    const int side = sg.code % 10;
    for (int j = 1; j <= 4; ++j) EXPECT_EQ(s.cells.at(sg.cell - 2 * j).approach_mark, side * 10 + j) << sg.position;
    signal_cells.push_back(sg.cell);
  }
  EXPECT_EQ(cells_of_kind(s, cell_kind::kSignal), signal_cells);

  // Speed limits: 30, 90, 130, 100, 130, 60 km/h from 0, 1250, 4100,
  // 19600, 21700, 43700; adhesion 100 everywhere; the last three cells 0.
  struct Stretch {
    int64_t from, to;
    uint8_t speed_code;
  };
  const Stretch stretches[] = {{0, 25, 6},     {25, 82, 18},    {82, 392, 26},  {392, 434, 20},
                               {434, 874, 26}, {874, 1898, 12}, {1898, 1901, 0}};
  for (const Stretch& st : stretches) {
    for (int64_t i = st.from; i < st.to; ++i) {
      ASSERT_EQ(s.cells.at(i).speed_code, st.speed_code) << "cell " << i;
      ASSERT_EQ(s.cells.at(i).adhesion, i < 1898 ? 100 : 0) << "cell " << i;
    }
  }
}

// --- codes, positions and removed files ---------------------------------------------

struct TrainCase {
  const char* name;
  std::string line;
  std::optional<std::string> train;
  int32_t code;
  int32_t position;
  bool train_removed;
};

TEST(TrainReader, CodesPositionsAndRemovedFiles) {
  const int32_t u = kUntouchedPosition;
  const std::string board_at_3700 = line_file("cartello_indicatore,  3700,     (A)\r\n");
  const std::string bad_chainage = line_file("", "progressiva chilometrica uno,  0,  5210,  0\r\n");
  const TrainCase cases[] = {
      {"8 station at 3410", kLine, train_file(station_record(3410, 12, 600)), 8, 3410, true},
      {"9 length 650", kLine, train_file(station_record(3400, 12, 650)), 9, 3400, true},
      {"24 stop cell at cell 1", kLine, train_file(station_record(0, 12, 200)), 24, u, true},
      {"stop cell at cell 2 accepted", kLine, train_file(station_record(50, 12, 200)), 0, u, true},
      {"22 300 m after the previous end", kLine,
       train_file(station_record(1000, 12, 600) + station_record(1900, 12, 600)), 22, 1900, true},
      {"350 m after the previous end accepted", kLine,
       train_file(station_record(1000, 12, 600) + station_record(1950, 12, 600)), 0, u, true},
      {"7 abbattimento on a stop cell", kLine,
       train_file(station_record(1000, 12, 600) + "abbattimento,  1250,  3\r\n"), 7, 1250, true},
      {"15 speed position", kLine, train_file("velocita,  94950,  30\r\n"), 15, 94950, true},
      {"15 station position", kLine, train_file(station_record(94250, 12, 600)), 15, 94250, true},
      {"station at 94200 passes its range test", kLine, train_file(station_record(94200, 12, 600)), 0, u, true},
      {"16 second signal in cell 26", kLine, train_file(signal_record(1225, 1, 1, 1) + signal_record(1275, 1, 1, 1)),
       16, 1275, true},
      {"18 slowdown starting on a signal", kLine,
       train_file(signal_record(5000, 1, 1, 1) + "rallentamento,  5000,  60,  1000,  0,  0,  0\r\n"), 18, 5000, true},
      {"20 approach cell on a board", board_at_3700, train_file("rallentamento,  5000,  60,  1000,  0,  1,  0\r\n"), 20,
       5000, true},
      {"25 speed of 1280 km/h", kLine, train_file("velocita,  0,  1280\r\n"), 25, u, true},
      {"speed of 1277 km/h stored", kLine, train_file("velocita,  0,  1277\r\n"), 0, u, true},
      {"25 missing train file", kLine, std::nullopt, 25, u, false},
      {"25 abbattimento value above 32767", kLine, train_file("abbattimento,  1000,  32768\r\n"), 25, u, true},
      {"25 station kind above 255", kLine, train_file(station_record(1000, 256, 600)), 25, u, true},
      {"25 approach marks past the last cell", kLine, train_file(station_record(1000, 7, 200000)), 25, u, true},
      {"25 adhesion fills pushed past the last cell", kLine, train_file(repeated("aderenza,  94900,  100\r\n", 5)), 25,
       u, true},
      {"25 station time beyond 32 bits", kLine, train_file(station_record(1000, 12, 600, 0, "X", 600000)), 25, u, true},
      {"25 clock hours beyond 16 bits", kLine, train_file("orologio,  32768,  0,  0\r\n"), 25, u, true},
      {"25 record cut by the end of the file", kLine, std::string("[generale]\r\nvelocita,  0"), 25, u, true},
      {"2 chainage reference not a multiple of 50", bad_chainage, train_file(""), 2, u, true},
      {"2 replaces a 15", bad_chainage, train_file("velocita,  94950,  30\r\n"), 2, 94950, true},
  };
  for (const TrainCase& c : cases) {
    const ReadResult r = read_files(c.line, c.train);
    EXPECT_EQ(r.scenario.error_code(), c.code) << c.name;
    EXPECT_EQ(error_position(r.scenario), c.position) << c.name;
    EXPECT_TRUE(r.line_removed) << c.name;
    EXPECT_EQ(r.train_removed, c.train_removed) << c.name;
    // The recorded condition keeps its position too.
    if (c.code != 0) {
      const bool placed = c.code == 7 || c.code == 8 || c.code == 9 || c.code == 22 || (c.code >= 15 && c.code <= 20);
      ASSERT_FALSE(r.scenario.diagnostics.empty()) << c.name;
      EXPECT_EQ(r.scenario.diagnostics.list().back().code, c.code) << c.name;
      EXPECT_EQ(r.scenario.diagnostics.list().back().position,
                placed ? std::optional<int32_t>(c.position) : std::nullopt)
          << c.name;
    }
  }
}

// --- code 15 from the line part ---------------------------------------------------------------

TEST(TrainReader, Code15FromTheLinePartStopsAtTheFirstSignalOrSlowdown) {
  const std::string line = line_file("pendenza,  94950,  1\r\n");
  const std::string before =
      "velocita,  0,  30\r\nvelocita,  1000,  60\r\naderenza,  0,  80\r\n"
      "aderenza,  500,  90\r\n" +
      station_record(3000, 12, 600);
  struct Case {
    const char* name;
    std::string element;
    int32_t code, position;
    int64_t cell;  // the element's cell, written by its recorder
    uint8_t kind;
  };
  const Case cases[] = {
      {"signal", signal_record(2000, 1, 1, 1), 15, 2000, 41, cell_kind::kSignal},
      {"slowdown", "rallentamento,  2000,  60,  100,  0,  0,  0\r\n", 15, 2000, 41, cell_kind::kSlowdownStart},
      {"a signal its recorder refuses", signal_record(3200, 1, 1, 1), 16, 3200, 65, cell_kind::kStopCell},
  };
  for (const Case& c : cases) {
    const ReadResult r =
        read_files(line, train_file(before + c.element + "numero vetture,  6\r\n" + signal_record(4000, 1, 1, 1)));
    const Scenario& s = r.scenario;
    EXPECT_EQ(s.error_code(), c.code) << c.name;
    EXPECT_EQ(error_position(s), c.position) << c.name;
    EXPECT_TRUE(r.train_removed) << c.name;
    EXPECT_EQ(s.cells.at(c.cell).kind, c.kind) << c.name;
    // Reading stopped there.
    EXPECT_EQ(s.table.general.coaches, 0) << c.name;
    EXPECT_EQ(s.cells.at(81).kind, 0) << c.name;
    // The records before it were read; the tails were not filled.
    EXPECT_EQ(s.table.slots[1].position, 3000) << c.name;
    EXPECT_EQ(s.cells.at(19).speed_code, 6) << c.name;
    EXPECT_EQ(s.cells.at(20).speed_code, 0) << c.name;
    EXPECT_EQ(s.cells.at(9).adhesion, 80) << c.name;
    EXPECT_EQ(s.cells.at(10).adhesion, 0) << c.name;
    // The line part's gradient tail was filled.
    EXPECT_EQ(s.cells.at(1897).gradient, 100) << c.name;
  }
}

// --- speed limits and adhesion ------------------------------------------------------------------

TEST(TrainReader, SpeedAndAdhesionFills) {
  struct Case {
    const char* name;
    std::string line;
    std::string body;
    std::vector<std::pair<int64_t, uint8_t>> speed;     // cell, speed_code
    std::vector<std::pair<int64_t, uint8_t>> adhesion;  // cell, adhesion
  };
  const Case cases[] = {
      {"30 from 0, 90 from 1250",
       kLine,
       "velocita,  0,  30\r\nvelocita,  1250,  90\r\n",
       {{0, 6}, {24, 6}, {25, 18}, {1897, 18}, {1898, 0}},
       {{0, 0}, {1897, 0}}},
      {"adhesion 356 is stored as 100", kLine, "aderenza,  0,  356\r\n", {}, {{0, 100}, {1897, 100}, {1898, 0}}},
      {"two speed records at the same position",
       kLine,
       "velocita,  0,  30\r\nvelocita,  1000,  60\r\nvelocita,  1000,  90\r\n",
       {{19, 6}, {20, 12}, {21, 18}, {1897, 18}},
       {}},
      {"speeds are divided by 5 and rounded",
       kLine,
       "velocita,  0,  12\r\nvelocita,  1000,  13\r\nvelocita,  2000,  22\r\n",
       {{0, 2}, {19, 2}, {20, 3}, {40, 4}},
       {}},
      // The line's last speed-limit board holds 90 and 7 in its second and
      // fifth values; the train part does not start from them.
      {"the start values are 0",
       line_file("indicatori_vmax,  1250,  90,  90,  90,  7,  ,  ,  ,  0\r\n"),
       "velocita,  1000,  60\r\naderenza,  1000,  90\r\n",
       {{0, 0}, {19, 0}, {20, 12}},
       {{0, 0}, {19, 0}, {20, 90}}},
      {"the speed fill stops at cell_count",
       line_file("", "", 100),
       "velocita,  0,  30\r\n" + repeated("velocita,  7000,  60\r\n", 6),
       {{139, 6}, {140, 12}, {141, 12}, {142, 12}},
       {}},
  };
  for (const Case& c : cases) {
    const ReadResult r = read_files(c.line, train_file(c.body));
    EXPECT_EQ(r.scenario.error_code(), 0) << c.name;
    for (auto [cell, v] : c.speed) EXPECT_EQ(r.scenario.cells.at(cell).speed_code, v) << c.name << ", cell " << cell;
    for (auto [cell, v] : c.adhesion) EXPECT_EQ(r.scenario.cells.at(cell).adhesion, v) << c.name << ", cell " << cell;
  }
}

// --- stations ------------------------------------------------------------------------------------

TEST(TrainReader, StationStartEndStopCellAndMarksByKind) {
  struct Case {
    const char* name;
    int kind;
    int32_t position, length;
    int end_extension;
    int32_t start, end;
    int64_t stop_cell;  // -1 for none
    bool marks;
  };
  const Case cases[] = {
      {"kind 5 at 10000, 300", 5, 10000, 300, 1, 9700, 10150, 202, false},
      {"kind 6", 6, 10000, 300, 0, 9700, 10150, 202, false},
      {"kind 7", 7, 10000, 300, 1, 9700, 10300, 205, true},
      {"kind 8", 8, 10000, 300, 0, 9700, 10300, 205, true},
      {"kind 12 with end extension", 12, 10000, 300, 1, 9850, 10200, 203, true},
      {"kind 24", 24, 10000, 300, 0, 9850, 10150, 202, true},
      {"kind 25", 25, 10000, 300, 0, 9850, 10150, -1, false},
      {"kind 27", 27, 10000, 300, 0, 9850, 10150, -1, false},
  };
  for (const Case& c : cases) {
    // A first station far away, so that the case is not the first station.
    const ReadResult r = read_files(kLine, train_file(station_record(1000, 27, 100) +
                                                      station_record(c.position, c.kind, c.length, c.end_extension)));
    const Scenario& s = r.scenario;
    const StationSlot& slot = s.table.slots[2];
    EXPECT_EQ(s.error_code(), 0) << c.name;
    EXPECT_EQ(slot.kind, c.kind) << c.name;
    EXPECT_EQ(slot.start, c.start) << c.name;
    EXPECT_EQ(slot.end, c.end) << c.name;
    EXPECT_EQ(slot.end_extension, c.kind >= 5 && c.kind <= 8 ? 0 : c.end_extension) << c.name;
    EXPECT_EQ(cells_of_kind(s, cell_kind::kStopCell),
              c.stop_cell < 0 ? std::vector<int64_t>{} : std::vector<int64_t>{c.stop_cell})
        << c.name;
    if (c.stop_cell >= 0) {
      EXPECT_EQ(s.cells.at(c.stop_cell).table_slot(), 2) << c.name;
    }
    std::vector<int64_t> expected_marks;
    if (c.marks) {
      for (int k = 4; k >= 1; --k) expected_marks.push_back(nearest(c.end / 50.0 - k - 1));
    }
    EXPECT_EQ(marked_cells(s), expected_marks) << c.name;
    for (int k = 1; k <= 4 && c.marks; ++k)
      EXPECT_EQ(s.cells.at(nearest(c.end / 50.0 - k - 1)).approach_mark, 80 + k) << c.name;
  }
}

TEST(TrainReader, FirstStationAndShortStationsClearValue5) {
  const ReadResult r =
      read_files(kLine, train_file(station_record(10000, 5, 300, 1) + station_record(12000, 12, 600, 1) +
                                   station_record(14000, 12, 500, 1)));
  const auto& t = r.scenario.table.slots;
  EXPECT_EQ(r.scenario.error_code(), 0);
  // The kind-5 station at 10000 as the first station.
  EXPECT_EQ(t[1].start, 9700);
  EXPECT_EQ(t[1].end, 10150);
  EXPECT_EQ(r.scenario.cells.at(202).kind, cell_kind::kStopCell);
  EXPECT_EQ(t[1].values.record_5, 0);
  EXPECT_EQ(t[1].end_extension, 0);
  EXPECT_EQ(t[2].values.record_5, 1);
  EXPECT_EQ(t[2].end_extension, 1);
  EXPECT_EQ(t[2].end, 12350);
  EXPECT_EQ(t[3].values.record_5, 0);
  // The first station's end takes the extension before the flag is cleared.
  const ReadResult first = read_files(kLine, train_file(station_record(10000, 12, 600, 1)));
  EXPECT_EQ(first.scenario.table.slots[1].end, 10350);
  EXPECT_EQ(first.scenario.table.slots[1].end_extension, 0);
}

TEST(TrainReader, Kind27StationHasNoCellsButIsSpaced) {
  const ReadResult one = read_files(kLine, train_file(station_record(1000, 27, 300)));
  EXPECT_EQ(one.scenario.error_code(), 0);
  EXPECT_EQ(one.scenario.table.slots[1].start, 850);
  EXPECT_EQ(one.scenario.table.slots[1].end, 1150);
  EXPECT_TRUE(cells_of_kind(one.scenario, cell_kind::kStopCell).empty());
  EXPECT_TRUE(marked_cells(one.scenario).empty());

  const ReadResult two = read_files(kLine, train_file(station_record(1000, 27, 300) + station_record(1400, 27, 300)));
  EXPECT_EQ(two.scenario.error_code(), 22);
  EXPECT_EQ(error_position(two.scenario), 1400);
  const ReadResult ok = read_files(kLine, train_file(station_record(1000, 27, 300) + station_record(1650, 27, 300)));
  EXPECT_EQ(ok.scenario.error_code(), 0);
}

TEST(TrainReader, With37BoardsThe41stStationIsAcceptedAndThe42ndRefused) {
  for (int count : {41, 42}) {
    std::string stations;
    for (int i = 1; i <= count; ++i) {
      std::string name = "S";
      name += std::to_string(i);
      stations += station_record(1000 * i, 27, 100, 0, name);
    }
    const ReadResult r = read_files(text_file_bytes(builtin_line_lines()), train_file(stations));
    const auto& t = r.scenario.table.slots;
    EXPECT_EQ(r.scenario.error_code(), count == 41 ? 0 : 10) << count;
    EXPECT_EQ(error_position(r.scenario), kUntouchedPosition) << count;
    EXPECT_TRUE(r.train_removed) << count;
    EXPECT_EQ(t[41].text, "S41") << count;
    EXPECT_EQ(t[42].text, count == 42 ? "S42" : "") << count;
    EXPECT_EQ(t[43].text, "") << count;
    EXPECT_EQ(t[44].text, "(Confluenza da)(   ZAMBORLI)") << count;
  }
}

// --- other records ----------------------------------------------------------------------------------

TEST(TrainReader, AbbattimentoMarks) {
  struct Case {
    const char* record;
    int64_t cell;
    uint8_t kind;
    int16_t value;
  };
  const Case cases[] = {{"abbattimento,  1000,  0", 20, cell_kind::kAbbattimentoPlain, 0},
                        {"abbattimento,  1000,  -4", 20, cell_kind::kAbbattimentoPlain, 0},
                        {"abbattimento,  1000,  3", 20, cell_kind::kAbbattimento, 3},
                        {"abbattimento,  1025,  32767", 20, cell_kind::kAbbattimento, 32767}};
  for (const Case& c : cases) {
    const ReadResult r = read_files(kLine, train_file(std::string(c.record) + "\r\n"));
    EXPECT_EQ(r.scenario.error_code(), 0) << c.record;
    EXPECT_EQ(r.scenario.cells.at(c.cell).kind, c.kind) << c.record;
    EXPECT_EQ(r.scenario.cells.at(c.cell).abbattimento_value(), c.value) << c.record;
  }
  // A montagna mark counts as free.
  const ReadResult on_mark =
      read_files(line_file("montagna,  800,  2000,  11\r\n"), train_file("abbattimento,  950,  3\r\n"));
  ASSERT_EQ(on_mark.scenario.error_code(), 0);
  EXPECT_EQ(on_mark.scenario.cells.at(19).kind, cell_kind::kAbbattimento);
}

TEST(TrainReader, GeneralRecords) {
  const ReadResult r = read_files(kLine, train_file("percentuale massa frenata,  130\r\nnumero vetture,  6\r\n"
                                                    "sabbia,  300\r\norologio,  5,  56,  50\r\n"));
  const ScenarioTable& t = r.scenario.table;
  EXPECT_EQ(r.scenario.error_code(), 0);
  EXPECT_EQ(t.general.braked_mass, 130);
  EXPECT_EQ(t.general.coaches, 6);
  EXPECT_EQ(t.train.sand, 300);
  EXPECT_EQ(t.train.clock_hours, 5);
  EXPECT_EQ(t.train.clock_minutes, 56);
  EXPECT_EQ(t.train.clock_seconds, 50);
}

TEST(TrainReader, FileWithoutGeneraleIsReadToItsEndWithoutEffect) {
  const std::string body = "velocita,  0,  30\r\nvelocita,  1000,  60\r\naderenza,  0,  90\r\nnumero vetture,  6\r\n" +
                           station_record(3000, 12, 600) + "[fine]\r\n";
  for (const std::string& line : {kLine, line_file("", "progressiva chilometrica uno,  0,  5210,  0\r\n")}) {
    const ReadResult r = read_files(line, body);
    const Scenario& s = r.scenario;
    EXPECT_EQ(s.error_code(), line == kLine ? 0 : 2);
    EXPECT_TRUE(r.train_removed);
    EXPECT_EQ(s.table.general.coaches, 0);
    EXPECT_EQ(s.table.slots[1].position, 0);
    EXPECT_TRUE(cells_of_kind(s, cell_kind::kStopCell).empty());
    for (int64_t i = 0; i < s.cells.size(); ++i) {
      ASSERT_EQ(s.cells.at(i).speed_code, 0) << i;
      ASSERT_EQ(s.cells.at(i).adhesion, 0) << i;
    }
  }
}

}  // namespace
}  // namespace sb
