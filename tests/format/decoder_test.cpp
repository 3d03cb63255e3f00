#include "format/decoder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <type_traits>

#include "support/test_files.h"
#include "format/compiled_file.h"
#include "format/compiled_meaning.h"
#include "format/plan_summary.h"
#include "base/encoding.h"
#include "base/text_format.h"
#include "format/line_plan_file.h"
#include "format/scenario_table_file.h"
#include "format/track_cell_file.h"
#include "builtin/builtin_content.h"
#include "support/descriptions.h"

namespace sb {
namespace {

// Plan bytes read in pieces, as a file is: the checks of a plan held in
// memory take another way, and must come to the same end.
class StreamedPlanBytes : public PlanBytes {
 public:
  explicit StreamedPlanBytes(std::string bytes) : bytes_(std::move(bytes)) {}
  uint64_t size() const override { return bytes_.size(); }
  std::size_t read_at(uint64_t offset, char* out, std::size_t n) const override {
    return bytes_.read_at(offset, out, n);
  }

 private:
  MemoryPlanBytes bytes_;
};

namespace fs = std::filesystem;

// The compiled files of the built-in run and of the example, made once
// by the program itself.
class CompiledScenarios : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = std::make_unique<test::TempDir>("sb_decoder_");
    ASSERT_TRUE(dir_->created());
    fs::create_directory(dir_->path() / "builtin");
    fs::create_directory(dir_->path() / "example");
    ASSERT_EQ(test::run_program({"--dir", (dir_->path() / "builtin").string()}).status, 0);
    const fs::path docs = SB_EXAMPLE_DIR;
    ASSERT_EQ(test::run_program({"compile", (docs / "Esempio_linea.txt").string(), (docs / "Esempio_7-.txt").string(),
                                 "--out", (dir_->path() / "example").string()})
                  .status,
              0);
  }
  static void TearDownTestSuite() { dir_.reset(); }

  static std::string file(const std::string& name) { return test::read_existing(dir_->path() / name); }

  static std::unique_ptr<test::TempDir> dir_;
};
std::unique_ptr<test::TempDir> CompiledScenarios::dir_;

TEST_F(CompiledScenarios, DecodingAndEncodingGivesTheSameBytes) {
  for (const std::string scenario : {"builtin/ValdraPCal-Dorvesa_24317", "example/Esempio_7"}) {
    SCOPED_TRACE(scenario);
    const std::string cells = file(scenario + ".dat");
    StringSink cell_sink;
    write_cell_records(decode_track_cells(cells), cell_sink);
    EXPECT_TRUE(cell_sink.bytes == cells);

    const std::string table = file(scenario + ".sim");
    StringSink table_sink;
    write_scenario_table(decode_scenario_table(table), table_sink);
    EXPECT_TRUE(table_sink.bytes == table);
  }
  for (const std::string plan_file : {"builtin/ValdraPCal-Dorvesa_linea.dat", "example/Esempio_linea.dat"}) {
    SCOPED_TRACE(plan_file);
    const std::string plan = file(plan_file);
    StringSink plan_sink;
    encode_line_plan(decode_line_plan(plan), plan_sink);
    EXPECT_TRUE(plan_sink.bytes == plan);
  }
}

TEST_F(CompiledScenarios, DecodedBuiltinHoldsWhatTheLayoutsSay) {
  const auto cells = decode_track_cells(file("builtin/ValdraPCal-Dorvesa_24317.dat"));
  ASSERT_EQ(cells.size(), 1901u);
  EXPECT_EQ(cells[1].value, 5121);
  EXPECT_EQ(cells[1].value_2, 2302);
  const auto table = decode_scenario_table(file("builtin/ValdraPCal-Dorvesa_24317.sim"));
  EXPECT_EQ(table[kRouteSlot].text, "ValdraPCal-Dorvesa");
  EXPECT_EQ(table[kRouteSlot].time, 32324);
  EXPECT_EQ(table[kGeneralSlot].end, 88000);
  EXPECT_EQ(table[1].time, 21420);  // 05:57:00
  const DecodedPlan plan = decode_line_plan(file("builtin/ValdraPCal-Dorvesa_linea.dat"));
  EXPECT_EQ(plan.last_metre(), 95000);
  EXPECT_EQ(plan_half_bytes(plan.first), 949982u);  // 10 N - 18
}

// The decoders give back the model that reading the descriptions built:
// the same cells and the same table, field for field, not only the same
// bytes.
TEST_F(CompiledScenarios, DecodedFilesHoldTheModelTheReaderBuilt) {
  const fs::path docs = SB_EXAMPLE_DIR;
  const test::CompileRun run = test::compile_in_memory(test::read_existing(docs / "Esempio_linea.txt"),
                                                       test::read_existing(docs / "Esempio_7-.txt"));
  ASSERT_FALSE(run.compiled.fatal);
  const Scenario& read = run.compiled.scenario;
  ASSERT_GT(read.cells.size(), 100);

  StringSink cells;
  write_track_cells(read.cells, cells);
  const TrackCells decoded_cells = track_cells_of(decode_track_cells(cells.bytes));
  EXPECT_TRUE(decoded_cells.cells() == read.cells.cells());

  StringSink table;
  write_scenario_table(table_records(read.table), table);
  const ScenarioTable decoded_table = scenario_table(decode_scenario_table(table.bytes));
  EXPECT_TRUE(decoded_table == read.table);
  EXPECT_EQ(decoded_table.general.route_length, read.table.general.route_length);
}

// Every field of either record reaches the model and comes back: a record
// with a distinct value in each field the model has a place for.
TEST(Layout, EveryFieldSurvivesTheWayToTheModelAndBack) {
  CellRecord cell;
  int16_t next = 1;
  for_each_cell_field(cell, [&next](const char*, auto& value) {
    value = static_cast<std::remove_reference_t<decltype(value)>>(next++);
  });
  EXPECT_TRUE(cell_record(track_cell(cell)) == cell);

  TableRecords records{};
  int32_t n = 1;
  for (std::size_t slot = 0; slot < records.size(); ++slot) {
    TableRecord& r = records[slot];
    if (slot <= static_cast<std::size_t>(kFirstBoardSlot)) {
      for_each_slot_field(r, [&n](const char*, auto& value) {
        using Field = std::remove_reference_t<decltype(value)>;
        if constexpr (std::is_same_v<Field, std::string>) {
          value = "slot " + std::to_string(n++);
        } else {
          value = static_cast<Field>(n++ % 100 + 1);
        }
      });
    }
  }
  for (int slot : {kChainageSlot, kChainageSlot + 1, kChainageSlot + 2, kGeneralSlot}) {
    records[static_cast<std::size_t>(slot)].start = n++;
    records[static_cast<std::size_t>(slot)].end = n++;
    records[static_cast<std::size_t>(slot)].position = n++;
  }
  TableRecord& route = records[kRouteSlot];
  route.start = 7, route.position = 8, route.end = 9, route.text = "Linea", route.attribute_7 = 610, route.time = 12345;
  TableRecord& train = records[kTrainSlot];
  train.start = 100, train.end = 200, train.position = 9, train.text = "24317";
  train.attribute_7 = 3, train.attribute_10 = 5, train.attribute_11 = 57, train.attribute_12 = 30;
  EXPECT_TRUE(table_records(scenario_table(records)) == records);

  // A value the model has no place for is what the way back reveals.
  TableRecords foreign = records;
  foreign[kGeneralSlot].kind = 4;
  EXPECT_FALSE(table_records(scenario_table(foreign)) == foreign);
}

// The field tables of docs/ list the fields in the order and with the
// types the record declarations give them.
TEST(Layout, DocumentedFieldTablesFollowTheRecordDeclarations) {
  const auto documented = [](const std::string& doc) {
    std::vector<std::string> fields;
    std::istringstream in(test::read_existing(fs::path(SB_EXAMPLE_DIR) / ".." / doc));
    bool in_table = false;
    for (std::string line; std::getline(in, line);) {
      if (line.rfind("| offset |", 0) == 0) in_table = true;
      if (line.rfind("|", 0) != 0) in_table = false;
      const auto first = line.find('`');
      if (!in_table || first == std::string::npos) continue;
      const auto last = line.find('`', first + 1);
      const std::string type = line.substr(line.rfind('|', line.size() - 2) + 2);
      fields.push_back(line.substr(first + 1, last - first - 1) + " " + type.substr(0, type.find(' ')));
    }
    return fields;
  };
  const auto type_of = [](const auto& value) -> std::string {
    using Field = std::decay_t<decltype(value)>;
    if constexpr (std::is_same_v<Field, std::string>)
      return "bytes";
    else
      return (std::is_signed_v<Field> ? "i" : "u") + std::to_string(8 * sizeof(Field));
  };
  std::vector<std::string> cell_fields;
  const CellRecord cell{};
  for_each_cell_field(cell, [&](const char* name, const auto& v) { cell_fields.push_back(name + (" " + type_of(v))); });
  EXPECT_THAT(documented("track-cell-file.md"), ::testing::ElementsAreArray(cell_fields));

  std::vector<std::string> slot_fields;
  const TableRecord slot{};
  for_each_slot_field(slot, [&](const char* name, const auto& v) {
    if (std::string(name) == "text") slot_fields.push_back("text u16");  // its length first
    slot_fields.push_back(name + (" " + type_of(v)));
  });
  EXPECT_THAT(documented("scenario-table-file.md"), ::testing::ElementsAreArray(slot_fields));
}

// The plan file decodes into the plan's runs, the model reading the
// descriptions builds, and those write the very same bytes again.
TEST_F(CompiledScenarios, PlanRunsRecoveredFromTheFileWriteItsBytes) {
  for (const std::string plan_file : {"builtin/ValdraPCal-Dorvesa_linea.dat", "example/Esempio_linea.dat"}) {
    SCOPED_TRACE(plan_file);
    const std::string bytes = file(plan_file);
    const LinePlan plan = line_plan_of(summarise_plan(decode_line_plan(bytes)));
    StringSink again;
    write_line_plan(plan, again);
    EXPECT_TRUE(again.bytes == bytes) << "sizes " << again.bytes.size() << " and " << bytes.size();
  }
}

// The built-in plan (95 000 metres), held in memory or read in pieces:
// the same halves, metres and curves.
TEST_F(CompiledScenarios, BuiltinPlanHeldOrStreamedIsReadAlike) {
  const std::string bytes = file("builtin/ValdraPCal-Dorvesa_linea.dat");
  const LinePlanStream held(std::make_shared<MemoryPlanBytes>(bytes));
  const LinePlanStream streamed(std::make_shared<StreamedPlanBytes>(bytes));
  EXPECT_EQ(held.metres(), streamed.metres());
  EXPECT_EQ(held.second_half_offset(), streamed.second_half_offset());
  const PlanSummary a = summarise_plan(held), b = summarise_plan(streamed);
  EXPECT_EQ(a.curves, b.curves);
  EXPECT_EQ(a.computed_to, b.computed_to);
  EXPECT_EQ(a.total_length, b.total_length);
}

// Every curve record of the built-in line, recovered from the turn of the
// plan's step vector: start, length, class and side.
TEST_F(CompiledScenarios, BuiltinCurvesAreRecoveredExactly) {
  std::vector<CurveRun> expected;
  for (std::string_view line : builtin_line_lines()) {
    if (line.substr(0, 5) != "curva") continue;
    CurveRun run;
    run.side = line[5] == 'd' ? 1 : -1;
    run.klass = line[6] - '0';
    run.curvature = run.side * kClassCurvature[run.klass - 1];
    const std::string fields(line.substr(line.find(',') + 1));
    run.start = std::stoll(fields);
    run.length = std::stoll(fields.substr(fields.find(',') + 1));
    expected.push_back(run);
  }
  ASSERT_EQ(expected.size(), 19u);
  const PlanSummary summary = summarise_plan(decode_line_plan(file("builtin/ValdraPCal-Dorvesa_linea.dat")));
  EXPECT_EQ(summary.curves, expected);
  EXPECT_EQ(summary.computed_to, 94998);
}

std::string le16(unsigned v) { return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}; }
std::string whole(int v) { return le16(2) + le16(static_cast<unsigned>(v) & 0xFFFF); }
std::string real(double v) {
  std::string s = le16(5);
  char b[8];
  std::memcpy(b, &v, 8);
  return s + std::string(b, 8);
}

// A table of `slots` slots with empty texts, then `tail`.
std::string empty_table(int slots, const std::string& tail = "") { return std::string(34u * slots, '\0') + tail; }

struct Damaged {
  const char* name;
  CompiledKind kind;
  std::string bytes;
  uint64_t offset;
  const char* what;  // part of the message
};

void PrintTo(const Damaged& c, std::ostream* out) { *out << c.name; }

// A small complete plan of 3 metres: (0,0) (0,1) and one computed metre.
const std::string kSmallPlan = whole(0) + whole(0) + real(0.0) + whole(0) + whole(1) + real(2.0);

const std::vector<Damaged>& damaged_cases() {
  static const std::vector<Damaged> cases = {
      {"EmptyCells", CompiledKind::kCells, "", 0, "empty file"},
      {"CellCutOff", CompiledKind::kCells, std::string(40, '\0'), 30, "not a multiple of the 15-byte cell"},
      {"SlotTruncated", CompiledKind::kTable, empty_table(86, std::string(20, '\0')), 86 * 34, "slot 86 is truncated"},
      {"TextPastTheEnd", CompiledKind::kTable, empty_table(3) + std::string(14, '\0') + le16(500) + "abc", 3 * 34 + 14,
       "slot 3: text length 500 runs past the end"},
      {"SlotAfterTextTruncated", CompiledKind::kTable, empty_table(3) + std::string(14, '\0') + le16(3) + "abc", 3 * 34,
       "slot 3 is truncated"},
      {"TrailingBytes", CompiledKind::kTable, empty_table(87, "xy"), 87 * 34, "2 trailing bytes after slot 86"},
      {"UnknownTag", CompiledKind::kPlan, whole(0) + le16(7) + whole(1), 4, "unknown plan tag 7"},
      {"ElementCutOff", CompiledKind::kPlan, whole(0) + whole(0) + le16(5) + "abc", 8, "plan element cut off"},
      {"OddElementCount", CompiledKind::kPlan, whole(0) + whole(0) + whole(0), 12, "odd number of plan elements"},
      {"SecondHalfNotAtTheStart", CompiledKind::kPlan,
       whole(0) + whole(0) + real(0.0) + whole(0) + whole(2) + real(2.0), 18, "does not start where the first ended"},
      {"SecondHalfTagsDiffer", CompiledKind::kPlan, whole(0) + whole(0) + real(0.0) + whole(0) + whole(1) + le16(0), 26,
       "metre 2 has tag 5 in the first half and 0 in the second"},
      {"EmptyPlan", CompiledKind::kPlan, "", 0, "empty file"},
  };
  return cases;
}

class DamagedFiles : public ::testing::TestWithParam<Damaged> {};

std::string refusal_of(std::shared_ptr<const PlanBytes> bytes) {
  try {
    LinePlanStream stream(std::move(bytes));
    return "accepted: " + std::to_string(stream.metres()) + " metres, second half at " +
           std::to_string(stream.second_half_offset());
  } catch (const DecodeError& e) {
    return "offset " + std::to_string(e.offset()) + ": " + e.what();
  }
}

TEST(Decoder, DamagedPlanHeldOrStreamedIsRefusedAlike) {
  for (const Damaged& c : damaged_cases()) {
    if (c.kind != CompiledKind::kPlan) continue;
    SCOPED_TRACE(c.name);
    EXPECT_EQ(refusal_of(std::make_shared<MemoryPlanBytes>(c.bytes)),
              refusal_of(std::make_shared<StreamedPlanBytes>(c.bytes)));
  }
}

TEST(Decoder, SoundPlanHeldOrStreamedIsReadAlike) {
  const std::string never_started = le16(0) + le16(0) + le16(0) + le16(0);
  for (const std::string& bytes : {kSmallPlan, never_started}) {
    const std::string held = refusal_of(std::make_shared<MemoryPlanBytes>(bytes));
    EXPECT_THAT(held, ::testing::StartsWith("accepted"));
    EXPECT_EQ(held, refusal_of(std::make_shared<StreamedPlanBytes>(bytes)));
  }
}

TEST_P(DamagedFiles, AreRefusedAtTheirOffset) {
  const Damaged& c = GetParam();
  try {
    switch (c.kind) {
      case CompiledKind::kCells: decode_track_cells(c.bytes); break;
      case CompiledKind::kTable: decode_scenario_table(c.bytes); break;
      case CompiledKind::kPlan: decode_line_plan(c.bytes); break;
    }
    FAIL() << "not refused";
  } catch (const DecodeError& e) {
    EXPECT_EQ(e.offset(), c.offset) << e.what();
    EXPECT_THAT(std::string(e.what()), ::testing::HasSubstr(c.what)) << e.what();
  }
}

INSTANTIATE_TEST_SUITE_P(Decoder, DamagedFiles, ::testing::ValuesIn(damaged_cases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Decoder, SmallPlanAndPlanNeverStartedAreAccepted) {
  EXPECT_EQ(decode_line_plan(kSmallPlan).last_metre(), 2);
  // A plan whose computation never started: every element empty.
  const DecodedPlan empty = decode_line_plan(le16(0) + le16(0) + le16(0) + le16(0));
  EXPECT_EQ(empty.last_metre(), 1);
  EXPECT_EQ(summarise_plan(empty).computed_to, -1);
}

// A whole number keeps its sign and a real its exact bits, NaN included.
TEST(Decoder, PlanValuesKeepTheirBytes) {
  std::string nan_bytes = le16(5) + std::string("\x01\x00\x00\x00\x00\x00\xF8\x7F", 8);
  const std::string bytes = whole(-5) + nan_bytes + whole(-5) + nan_bytes;
  StringSink sink;
  encode_line_plan(decode_line_plan(bytes), sink);
  EXPECT_TRUE(sink.bytes == bytes);
}

}  // namespace
}  // namespace sb
