#include "format/compiled_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "base/files.h"
#include "format/layout.h"
#include "format/line_plan_file.h"
#include "format/scenario_table_file.h"
#include "format/track_cell_file.h"
#include "model/scenario_files.h"
#include "support/test_files.h"

namespace sb {
namespace {

namespace fs = std::filesystem;

std::string bytes(std::initializer_list<unsigned> list) {
  std::string s;
  for (unsigned b : list) s.push_back(static_cast<char>(b));
  return s;
}

std::string zeros(std::size_t n) { return std::string(n, '\0'); }

constexpr std::size_t kEmptyRecord = 34;

TEST(ScenarioTableFile, AllEmptyTableIs2958Bytes) {
  TableRecords table{};
  StringSink sink;
  write_scenario_table(table, sink);
  EXPECT_EQ(sink.bytes, zeros(2958));
}

// Slot 85 of the built-in scenario: scenery values 1, 0, 0, the route
// name, the format marker 610 and the route check code 32324.
TEST(ScenarioTableFile, RouteSlotIsFiftyTwoBytes) {
  ScenarioTable table;
  table.route.scenery = {1, 0, 0};
  table.route.route_name = "ValdraPCal-Dorvesa";
  table.route.format_marker = 610;
  table.route.check_code = 32324;
  StringSink sink;
  write_scenario_table(table_records(table), sink);

  const std::string expected =
      bytes({0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x12, 0x00}) +
      "ValdraPCal-Dorvesa" + bytes({0x62, 0x02}) + zeros(8) + zeros(4) + bytes({0x44, 0x7E, 0x00, 0x00});
  ASSERT_EQ(expected.size(), 52u);
  ASSERT_EQ(sink.bytes.size(), 2958u + 18u);
  EXPECT_EQ(sink.bytes.substr(0, 85 * kEmptyRecord), zeros(85 * kEmptyRecord));
  EXPECT_EQ(sink.bytes.substr(85 * kEmptyRecord, 52), expected);
  EXPECT_EQ(sink.bytes.substr(85 * kEmptyRecord + 52), zeros(kEmptyRecord));
}

// Every field in its place and width, negative values two's complement
// little-endian, the single-byte text passed through unchanged.
TEST(ScenarioTableFile, FieldOrderAndWidths) {
  TableRecords table{};
  TableRecord& r = table[0];
  r.kind = 0xFE;
  r.start = -1;
  r.end = 0x01020304;
  r.position = -2;
  r.attribute_4 = 0x11;
  r.text = "\xC0\x80z";
  r.attribute_7 = -300;
  r.attribute_8 = 0x2122;
  r.attribute_10 = 0x3132;
  r.attribute_11 = 0x4142;
  r.attribute_12 = -32768;
  r.attribute_9 = 0x51;
  r.attribute_13 = 0x61;
  r.end_extension = 0x71;
  r.attribute_5 = 0x81;
  r.time = -86400;
  StringSink sink;
  write_scenario_table(table, sink);
  const std::string expected = bytes({0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0x04, 0x03, 0x02, 0x01, 0xFE, 0xFF, 0xFF, 0xFF,
                                      0x11, 0x03, 0x00, 0xC0, 0x80, 'z',  0xD4, 0xFE, 0x22, 0x21, 0x32, 0x31, 0x42,
                                      0x41, 0x00, 0x80, 0x51, 0x61, 0x71, 0x81, 0x80, 0xAE, 0xFE, 0xFF});
  ASSERT_EQ(sink.bytes.size(), 2958u + 3u);
  EXPECT_EQ(sink.bytes.substr(0, 37), expected);
  EXPECT_EQ(sink.bytes.substr(37), zeros(86 * kEmptyRecord));
}

TEST(TrackCellFile, CellsAreFifteenBytes) {
  TrackCells cells;
  cells.create(2);
  TrackCell& c = cells.at(1);
  c.kind = 14;
  c.numbers = {5121, 2302, -2, -32768};
  c.signal_time = 1;
  c.approach_mark = 82;
  c.montagna_type = 3;
  c.speed_code = 18;
  c.gradient = 96;
  c.adhesion = 255;
  StringSink sink;
  write_track_cells(cells, sink);
  ASSERT_EQ(sink.bytes.size(), 45u);
  EXPECT_EQ(sink.bytes.substr(0, 15), zeros(15));
  EXPECT_EQ(sink.bytes.substr(15, 15),
            bytes({14, 0x01, 0x14, 0xFE, 0x08, 0xFE, 0xFF, 0x00, 0x80, 1, 82, 3, 18, 96, 255}));
  EXPECT_EQ(sink.bytes.substr(30), zeros(15));
}

TEST(TrackCellFile, BuiltinCellCountGives28515Bytes) {
  TrackCells cells;
  cells.create(1900);
  StringSink sink;
  write_track_cells(cells, sink);
  EXPECT_EQ(sink.bytes.size(), 28515u);
}

// Metre index fastest: all first coordinates, then all second ones; each
// element a 16-bit tag and then nothing, a 16-bit number or a double.
TEST(LinePlanFile, TagBytes) {
  LinePlan plan;
  plan.create(3);
  plan.set_origin();
  // One step turned by -0.1 from heading (0, 1): metre 2 is (-0.1, 2).
  ASSERT_EQ(plan.advance(2, true, -0.1), LinePlan::Advance::kDone);
  StringSink sink;
  write_line_plan(plan, sink);
  const std::string expected = bytes({0x02, 0x00, 0x00, 0x00,                                      // (0, 0) whole 0
                                      0x02, 0x00, 0x00, 0x00,                                      // (1, 0) whole 0
                                      0x05, 0x00, 0x9A, 0x99, 0x99, 0x99, 0x99, 0x99, 0xB9, 0xBF,  // (2, 0) -0.1
                                      0x00, 0x00,                                                  // (3, 0) empty
                                      0x02, 0x00, 0x00, 0x00,                                      // (0, 1) whole 0
                                      0x02, 0x00, 0x01, 0x00,                                      // (1, 1) whole 1
                                      0x05, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x40,  // (2, 1) 2.0
                                      0x00, 0x00});                                                // (3, 1) empty
  EXPECT_EQ(sink.bytes, expected);
  EXPECT_EQ(line_plan_file_size(plan), sink.bytes.size());
}

TEST(LinePlanFile, EmptyGridIsTwoBytesPerElement) {
  LinePlan plan;
  plan.create(95000);
  StringSink sink;
  write_line_plan(plan, sink);
  EXPECT_EQ(sink.bytes, zeros(2 * 2 * 95001));
}

class CompiledFilesOnDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(tmp_.created());
    dir_ = tmp_.path().string();
  }
  test::TempDir tmp_{"sb_compiled_"};
  std::string dir_;
};

TEST_F(CompiledFilesOnDisk, GeometryFlagDecidesTheLinePlanFile) {
  for (int32_t flag : {1, 0}) {
    SCOPED_TRACE(flag);
    fs::remove_all(dir_);
    fs::create_directory(dir_);
    Scenario state;
    state.build_plan = flag != 0;
    state.cells.create(3);
    state.cells.at(1).format_marker() = 5121;
    state.plan.create(1);
    state.plan.set_origin();
    const ScenarioFiles files{dir_, "R", "7"};
    write_compiled_files(state, files);

    EXPECT_EQ(fs::exists(files.line_plan()), flag != 0);
    if (flag != 0) {
      EXPECT_EQ(test::read_bytes(files.line_plan()), bytes({2, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0, 2, 0, 1, 0}));
    }
    EXPECT_EQ(test::read_bytes(files.scenario_table()), zeros(2958));
    const std::string cells = test::read_bytes(files.track_cells());
    ASSERT_EQ(cells.size(), 60u);
    EXPECT_EQ(cells.substr(15, 3), bytes({0, 0x01, 0x14}));
    std::size_t entries = 0;
    for (const auto& e : fs::directory_iterator(dir_)) {
      (void)e;
      ++entries;
    }
    EXPECT_EQ(entries, flag != 0 ? 3u : 2u);
  }
}

}  // namespace
}  // namespace sb
