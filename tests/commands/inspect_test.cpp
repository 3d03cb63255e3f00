// inspect through the program: the listing of the built-in scenario, the
// JSON document against the bytes, damaged files and misuse.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "support/test_files.h"
#include "format/line_plan_file.h"
#include "format/scenario_table_file.h"
#include "format/track_cell_file.h"
#include "format/decoder.h"
#include "builtin/builtin_content.h"

namespace sb {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

class Inspect : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = std::make_unique<test::TempDir>("sb_inspect_");
    ASSERT_TRUE(dir_->created());
    ASSERT_EQ(test::run_program({"--dir", dir_->path().string()}).status, 0);
    ASSERT_EQ(test::run_program({"compile", std::string(SB_EXAMPLE_DIR) + "/Esempio_linea.txt",
                                 std::string(SB_EXAMPLE_DIR) + "/Esempio_7-.txt", "--out", dir_->path().string()})
                  .status,
              0);
  }
  static void TearDownTestSuite() { dir_.reset(); }
  static std::string at(const std::string& name) { return (dir_->path() / name).string(); }

  static std::unique_ptr<test::TempDir> dir_;
};
std::unique_ptr<test::TempDir> Inspect::dir_;

const std::string kCells = "ValdraPCal-Dorvesa_24317.dat";
const std::string kTable = "ValdraPCal-Dorvesa_24317.sim";
const std::string kPlan = "ValdraPCal-Dorvesa_linea.dat";

std::size_t count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

std::size_t builtin_train_records(std::string_view keyword) {
  return static_cast<std::size_t>(
      std::count_if(builtin_train_lines().begin(), builtin_train_lines().end(),
                    [&](std::string_view l) { return l.substr(0, keyword.size()) == keyword; }));
}

TEST_F(Inspect, BuiltinScenarioListsBoardsStationsSignalsCurvesAndMatchingCodes) {
  const test::Outcome o = test::run_program({"inspect", at(kCells), at(kTable), at(kPlan)});
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.err, "");
  EXPECT_THAT(o.out, ::testing::HasSubstr("line boards: 37\n"));
  EXPECT_EQ(count(o.out, "  line board: slot "), 37u);  // the board cells, with their texts
  EXPECT_THAT(o.out, ::testing::HasSubstr("stations: 9\n"));
  // Stations and elements carry the chainage beside the position from the start.
  EXPECT_THAT(o.out, ::testing::HasSubstr("  slot  1  VALDRA P.CALVEA  kind 12  start -400 m  end 400 m  position 0 m "
                                          "(0.000 km from start, chainage km 5.200)  time 05:57:00"));
  EXPECT_THAT(o.out, ::testing::HasSubstr("position 31 700 m (31.700 km from start, chainage km 12.700)"));
  EXPECT_THAT(o.out, ::testing::HasSubstr("station stop cell: slot 9 DORVESA  (chainage km -0.200)"));
  EXPECT_THAT(o.out, ::testing::HasSubstr("  slot  9  DORVESA  kind 4  start 44 100 m  end 44 700 m"));
  ASSERT_GT(builtin_train_records("segnale"), 0u);
  EXPECT_EQ(count(o.out, "  signal: aspects "), builtin_train_records("segnale"));
  EXPECT_EQ(count(o.out, "slowdown start"), builtin_train_records("rallentamento"));
  EXPECT_THAT(o.out, ::testing::HasSubstr("station stop cell: slot 9 DORVESA"));
  EXPECT_THAT(o.out, ::testing::HasSubstr("curves: 19\n  right class 6 from 100 m, 400 m long"));
  EXPECT_NE(o.out.find("cell check code  2302 (cell 1 value_2): matches train 24317 on ValdraPCal-Dorvesa"),
            std::string::npos);
  EXPECT_NE(o.out.find("route check code 32324\n  check            matches train 24317 on ValdraPCal-Dorvesa"),
            std::string::npos);
  EXPECT_THAT(o.out, ::testing::Not(::testing::HasSubstr("does not match")));
  EXPECT_THAT(o.out, ::testing::HasSubstr("speed limit:\n  cells        0-24         0 m to    1 250 m  30 km/h\n"));
}

TEST_F(Inspect, SlowdownsOfTheExampleAreListedByMeaning) {
  const test::Outcome o = test::run_program({"inspect", at("Esempio_7.dat")});
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_THAT(o.out,
              ::testing::HasSubstr(
                  "cell   117     5 800 m     5.800 km  slowdown warning: speed 60 km/h  (chainage km 6.800)\n"));
  EXPECT_THAT(o.out, ::testing::HasSubstr(
                         "cell   141     7 000 m     7.000 km  slowdown start: speed 60 km/h  (chainage km 8.000)\n"));
  EXPECT_THAT(o.out, ::testing::HasSubstr(
                         "cell   151     7 500 m     7.500 km  slowdown end: speed 60 km/h  (chainage km 8.500)\n"));
  EXPECT_EQ(count(o.out, "abbattimento: value 180"), 4u);
  EXPECT_EQ(count(o.out, "of 4 before the warning"), 4u);
  // With --all every cell has its line.
  const test::Outcome all = test::run_program({"inspect", "--all", at("Esempio_7.dat")});
  EXPECT_EQ(count(all.out, "\n  cell  "), 381u);
}

int64_t le(const std::string& bytes, std::size_t at, std::size_t size, bool is_signed) {
  uint64_t v = 0;
  for (std::size_t i = 0; i < size; ++i) v |= uint64_t{static_cast<unsigned char>(bytes.at(at + i))} << (8 * i);
  if (is_signed && size < 8 && (v >> (8 * size - 1)) != 0) v |= ~uint64_t{0} << (8 * size);
  return static_cast<int64_t>(v);
}

TEST_F(Inspect, JsonParsesAndItsRawFieldsAgreeWithTheBytes) {
  const test::Outcome o =
      test::run_program({"inspect", "--json", "--all", at(kCells), at(kTable), at("Esempio_linea.dat")});
  ASSERT_EQ(o.status, 0) << o.err;
  const json doc = json::parse(o.out);
  ASSERT_EQ(doc["files"].size(), 3u);

  const json& cells = doc["files"][0];
  const std::string cell_bytes = test::read_existing(at(kCells));
  EXPECT_TRUE(cells["check_code"]["matches"].get<bool>());
  ASSERT_EQ(cells["cells"].size(), cell_bytes.size() / 15);
  const std::pair<const char*, int> cell_fields[] = {{"kind", 1},          {"value", -2},        {"value_2", -2},
                                                     {"value_3", -2},      {"value_4", -2},      {"signal_time", 1},
                                                     {"approach_mark", 1}, {"montagna_type", 1}, {"speed_code", 1},
                                                     {"gradient", 1},      {"adhesion", 1}};
  for (const json& c : cells["cells"]) {
    std::size_t at_byte = c["offset"].get<std::size_t>();
    ASSERT_EQ(at_byte, c["index"].get<std::size_t>() * 15);
    for (const auto& [name, size] : cell_fields) {
      const auto width = static_cast<std::size_t>(std::abs(size));
      ASSERT_EQ(c[name].get<int64_t>(), le(cell_bytes, at_byte, width, size < 0)) << name << " of " << c["index"];
      at_byte += width;
    }
  }

  const json& table = doc["files"][1];
  const std::string table_bytes = test::read_existing(at(kTable));
  EXPECT_TRUE(table["check_code"]["matches"].get<bool>());
  ASSERT_EQ(table["slots"].size(), 87u);
  for (const json& s : table["slots"]) {
    std::size_t p = s["offset"].get<std::size_t>();
    auto next = [&](const char* name, std::size_t width, bool is_signed) {
      EXPECT_EQ(s[name].get<int64_t>(), le(table_bytes, p, width, is_signed)) << name << " of slot " << s["slot"];
      p += width;
    };
    next("kind", 1, false);
    next("start", 4, true);
    next("end", 4, true);
    next("position", 4, true);
    next("attribute_4", 1, false);
    next("text_length", 2, false);
    const std::size_t length = s["text_length"].get<std::size_t>();
    EXPECT_EQ(s["text"].get<std::string>(), table_bytes.substr(p, length));  // the built-in texts are ASCII
    p += length;
    for (const char* name : {"attribute_7", "attribute_8", "attribute_10", "attribute_11", "attribute_12"})
      next(name, 2, true);
    for (const char* name : {"attribute_9", "attribute_13", "end_extension", "attribute_5"}) next(name, 1, false);
    next("time", 4, true);
  }
  // Quantities are numbers, their unit in the key.
  EXPECT_EQ(table["slots"][1]["meaning"]["time_s"], 5 * 3600 + 57 * 60);
  EXPECT_EQ(table["slots"][1]["meaning"]["position_m"], table["slots"][1]["position"]);
  EXPECT_EQ(table["slots"][kGeneralSlot]["meaning"]["route_length_m"], table["slots"][kGeneralSlot]["end"]);
  EXPECT_EQ(table["slots"][kRouteSlot]["meaning"]["scenery"].size(), 3u);

  const json& plan = doc["files"][2];
  const std::string plan_bytes = test::read_existing(at("Esempio_linea.dat"));
  const json& elements = plan["elements"];
  ASSERT_EQ(elements.size(), 19001u);
  EXPECT_EQ(plan["second_half_offset"].get<std::size_t>(), 10u * 19000 - 18);
  std::size_t p = 0;
  for (const char* half : {"first", "second"}) {
    for (const json& e : elements) {
      const json& element = e[half];
      const int64_t tag = le(plan_bytes, p, 2, false);
      ASSERT_EQ(element["tag"].get<int64_t>(), tag) << "metre " << e["metre"];
      p += 2;
      if (tag == 2) {
        ASSERT_EQ(element["value"].get<int64_t>(), le(plan_bytes, p, 2, true));
        p += 2;
      } else if (tag == 5) {
        const auto bits = static_cast<uint64_t>(le(plan_bytes, p, 8, false));
        double v;
        std::memcpy(&v, &bits, 8);
        ASSERT_EQ(element["value"].get<double>(), v) << "metre " << e["metre"];
        p += 8;
      }
    }
  }
  EXPECT_EQ(p, plan_bytes.size());
  ASSERT_EQ(plan["curves"].size(), 2u);
  EXPECT_EQ(plan["curves"][1],
            json({{"start", 6000}, {"length", 400}, {"class", 3}, {"side", "s"}, {"curvature", -0.0004}}));
}

TEST_F(Inspect, TextsAreShownInUtf8WithNonPrintablesEscaped) {
  auto table = decode_scenario_table(test::read_existing(at(kTable)));
  table[80].text = "Citt\xE0 \x93nuova\x94\x01\\";
  StringSink sink;
  write_scenario_table(table, sink);
  test::TempDir dir;
  const fs::path file = dir.path() / "R_1.sim";
  test::write_bytes(file, sink.bytes);
  const test::Outcome o = test::run_program({"inspect", file.string()});
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_THAT(o.out, ::testing::HasSubstr("  slot 80  \"Citt\u00E0 \u201Cnuova\u201D\\x01\\\\\"\n")) << o.out;
  const json doc = json::parse(test::run_program({"inspect", "--json", file.string()}).out);
  EXPECT_EQ(doc["files"][0]["slots"][80]["text"], "Citt\u00E0 \u201Cnuova\u201D\u0001\\");
}

// `bytes` with the byte at `at` (which must be there) replaced.
std::string with_byte(std::string bytes, std::size_t at, char value) {
  if (at < bytes.size()) std::memset(bytes.data() + at, value, 1);
  return bytes;
}

struct Refusal {
  const char* name;
  std::string file;
  std::function<std::string(std::string)> damage;
  std::string expected;  // the line after "PATH: "
};

TEST_F(Inspect, DamagedFilesGiveOneLineAndStatus1) {
  const std::vector<Refusal> cases = {
      {"cell file cut", kCells, [](std::string b) { return b.substr(0, b.size() - 1); },
       "offset 28500: error: file size 28514 is not a multiple of the 15-byte cell: cell 1900 is cut off after 14 "
       "bytes"},
      {"table with a trailing byte", kTable, [](std::string b) { return b + "x"; },
       "offset 3975: error: 1 trailing byte after slot 86"},
      {"table text too long", kTable, [](std::string b) { return with_byte(with_byte(b, 14, '\xFF'), 15, '\x7F'); },
       "offset 14: error: slot 0: text length 32767 runs past the end of the file (3959 bytes left)"},
      {"plan tag unknown", kPlan, [](std::string b) { return with_byte(b, 8, '\x09'); },
       "offset 8: error: unknown plan tag 9 (known: 0 empty, 2 whole, 5 real)"},
      {"plan second half moved", kPlan, [](std::string b) { return with_byte(b, 949982 + 6, '\x07'); },
       "offset 949982: error: the second half (metres 0 to 95000) does not start where the first ended: a line plan "
       "starts at (0, 0), (0, 1)"},
  };
  test::TempDir dir;
  for (const Refusal& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path file = dir.path() / c.file;
    test::write_bytes(file, c.damage(test::read_existing(at(c.file))));
    const test::Outcome o = test::run_program({"inspect", file.string()});
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err, file.string() + ": " + c.expected + "\n");
    EXPECT_EQ(o.out, "");
  }
}

TEST_F(Inspect, KindComesFromTheNameOrFromKind) {
  test::TempDir dir;
  const fs::path copy = dir.path() / "cells.bin";
  test::write_bytes(copy, test::read_existing(at(kCells)));
  const test::Outcome unknown = test::run_program({"inspect", copy.string()});
  EXPECT_EQ(unknown.status, 2);
  EXPECT_THAT(unknown.err, ::testing::HasSubstr("cannot tell the kind"));
  EXPECT_EQ(test::run_program({"inspect", "--kind", "cells", copy.string()}).status, 0);
  EXPECT_EQ(test::run_program({"inspect", "--kind", "wagons", copy.string()}).status, 2);
  // A line plan read as cells is refused by the cell layout, not listed.
  const test::Outcome wrong = test::run_program({"inspect", "--kind", "cells", at(kPlan)});
  EXPECT_EQ(wrong.status, 1);
  EXPECT_EQ(test::run_program({"inspect", (dir.path() / "missing.dat").string()}).status, 1);
}

}  // namespace
}  // namespace sb

namespace {

// A cell file cut at a multiple of 15 bytes decodes, but its table beside
// it gives another route length: every reading command says so.
TEST(CompiledSets, ACellFileThatDisagreesWithItsTableIsReported) {
  const sb::test::TempDir tmp("sb_cut_cells_");
  ASSERT_TRUE(tmp.created());
  const std::string example = SB_EXAMPLE_DIR;
  for (const char* out : {"whole", "cut"}) {
    std::filesystem::create_directory(tmp.path() / out);
    ASSERT_EQ(sb::test::run_program(
                  {"compile", example + "/Esempio_linea.txt", example + "/Esempio_7-.txt", "--out", out}, tmp.path())
                  .status,
              0);
  }
  const std::string cells = sb::test::read_bytes(tmp.path() / "cut/Esempio_7.dat");
  sb::test::write_bytes(tmp.path() / "cut/Esempio_7.dat", cells.substr(0, 15 * 300));
  const std::string message =
      "cut/Esempio_7.dat: offset 4500: error: the file holds 300 cells, but the route length 12000 m in "
      "cut/Esempio_7.sim makes 381 (cut short, or not the table of these cells?)\n";
  struct Run {
    std::vector<std::string> args;
    int status;
  };
  for (const Run& run : {Run{{"inspect", "cut/Esempio_7.dat"}, 1},
                         Run{{"view", "--compiled", "cut", "--route", "Esempio", "--train", "7", "-o", "p.html"}, 1},
                         Run{{"diff", "whole", "cut", "--route", "Esempio", "--train", "7"}, 2}}) {
    const sb::test::Outcome o = sb::test::run_program(run.args, tmp.path());
    EXPECT_EQ(o.status, run.status) << run.args[0];
    EXPECT_EQ(o.err, message) << run.args[0];
  }
}

}  // namespace
