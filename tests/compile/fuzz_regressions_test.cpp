// Every input under tests/fixtures/fuzz/ goes through the same in-memory
// compile as the fuzz target: reader, recorders, completion, markers and
// check codes, then the three compiled files. A fatal check is a legal
// outcome; any other exception (and, in the sanitizer build, any sanitizer
// report) is a fault. The files named crash-* are inputs the fuzzer found
// faults with; the files named handmade-* are hostile inputs written by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support/descriptions.h"
#include "support/test_files.h"

namespace sb::fuzzing {
namespace {

namespace fs = std::filesystem;

std::vector<fs::path> fixture_files() {
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(fs::path(SB_FIXTURE_DIR) / "fuzz")) {
    if (entry.is_regular_file()) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

TEST(FuzzRegressions, EveryFixtureCompilesWithoutAFault) {
  const std::vector<fs::path> files = fixture_files();
  ASSERT_FALSE(files.empty());
  for (const fs::path& path : files) {
    SCOPED_TRACE(path.filename().string());
    EXPECT_NO_THROW(test::compile_packed(test::read_bytes(path)));
  }
}

TEST(FuzzRegressions, InputSplitsAtTheFirstSeparator) {
  SplitInput both = split_input("LINE####0TRAIN####1X");
  EXPECT_EQ(both.line, "LINE");
  EXPECT_TRUE(both.train_exists);
  EXPECT_FALSE(both.build_plan);
  EXPECT_EQ(both.train, "TRAIN####1X");

  SplitInput line_only = split_input("LINE");
  EXPECT_EQ(line_only.line, "LINE");
  EXPECT_FALSE(line_only.train_exists);
  EXPECT_TRUE(line_only.build_plan);

  SplitInput bare = split_input("LINE####");
  EXPECT_TRUE(bare.train_exists);
  EXPECT_EQ(bare.train, "");
  EXPECT_TRUE(bare.build_plan);
}

// --- hostile inputs written by hand ---------------------------------------

constexpr const char* kCrLf = "\r\n";

std::string line_file(const std::string& main, const std::string& length = "1000000") {
  return std::string("[generale]\r\nlunghezza percorso,  ") + length + kCrLf + "[curve]\r\n" + main + "[fine]\r\n";
}

const std::string kTrain =
    "[generale]\r\nnumero vetture,  4\r\nvelocita,  0,  30\r\naderenza,  0,  100\r\n"
    "stazione,  0,  12,  600,  0,  0,  0,  1,  1,  0,  4,  1,  1,  1,  8,  15,  0,   PRIMA\r\n"
    "segnale,  1200,  1,  4,  1,  0,  0,  0,  0,  0,  0,  0\r\n[fine]\r\n";

std::string input(const std::string& line, const std::string& train = kTrain, char mode = '1') {
  return line + std::string(kSeparator) + mode + train;
}

std::string repeated(const std::string& record, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += record;
  return out;
}

struct Hostile {
  const char* name;
  std::string bytes;
  int32_t last_code;  // the code the records end with
  bool fatal;
};

std::vector<Hostile> hostile_inputs() {
  return {
      {"huge route length", input(line_file("", "99999999999999999999")), 25, true},
      {"route length just below the negative limit", input(line_file("", "-7001")), 25, true},
      {"route length above 1000000", input(line_file("", "1000001")), 1, true},
      {"huge gradient position", input(line_file("pendenza,  2147483647,  1\r\n")), 15, false},
      {"gradient that does not fit", input(line_file("pendenza,  100,  156\r\npendenza,  200,  0\r\n")), 25,
       false},
      {"1000000 m route with a curve of huge length", input(line_file("curvad6,  0,  2147483647\r\n")), 103,
       false},
      {"curve past the plan's end", input(line_file("curvas1,  2900,  500000\r\n", "3000")), 25, false},
      {"curve of huge length without a plan", input(line_file("curvad6,  0,  2147483647\r\n"), kTrain, '0'), 0,
       false},
      {"repeated route length records",
       input("[generale]\r\n" + repeated("lunghezza percorso,  1000000\r\nlunghezza percorso,  3000\r\n", 200) +
             "[curve]\r\n[fine]\r\n"),
       0, false},
      {"thousands of gradient records at one position",
       input(line_file(repeated("pendenza,  1000,  3\r\n", 5000), "3000")), 25, false},
      {"unclosed quote", input(line_file("cartello_indicatore,  1300,  \"(  P.L.  )\r\npendenza,  3000,  5\r\n",
                                         "3000")),
       0, false},
      {"unclosed quote at the end of the train file", input(line_file("", "3000"), "[generale]\r\n\"stazione"), 0,
       false},
      {"very long line", input(line_file(std::string(1 << 20, 'x') + kCrLf, "3000")), 0, false},
      {"very long number", input(line_file("pendenza,  " + std::string(1 << 20, '7') + kCrLf, "3000")), 25,
       false},
      {"very long board text", input(line_file("cartello_indicatore,  1300,  " + std::string(70000, 'T') + kCrLf,
                                               "3000")),
       25, false},
      {"81 montagna spans", input(line_file(repeated("montagna,  1000,  1500,  12\r\n", 81), "100000")), 25,
       false},
      {"montagna span past the last cell", input(line_file("montagna,  100,  2147483647,  1\r\n", "3000")), 25,
       false},
      {"no route length record", input("[generale]\r\n[pendenze]\r\npendenza,  100,  1\r\n"), 25, true},
      {"dash fields at the end of the general part", input("[generale]\r\n-,  -,  -"), 25, true},
      {"empty files", input(""), 25, true},
      {"missing train file", line_file("", "3000"), 25, false},
      {"signal before the approach marks fit", input(line_file("", "3000"),
                                                     "[generale]\r\nsegnale,  100,  1,  4,  1,  0,  0,  0,  0,  0,  0,  0\r\n"),
       25, false},
      {"station ending past the last cell",
       input(line_file("", "3000"),
             "[generale]\r\nstazione,  2000,  12,  2000000,  0,  0,  1,  1,  1,  0,  4,  1,  1,  1,  8,  15,  0,  X\r\n"),
       25, false},
      {"slowdown ending past the last cell",
       input(line_file("", "3000"), "[generale]\r\nrallentamento,  2000,  60,  2000000000,  0,  1,  0\r\n"), 25, false},
      {"speed that cannot be stored", input(line_file("", "3000"), "[generale]\r\nvelocita,  0,  1280\r\n"), 25,
       false},
      {"adhesion fills past the last cell",
       input(line_file("", "3000"), "[generale]\r\n" + repeated("aderenza,  1000,  100\r\n", 300)), 25, false},
  };
}

TEST(FuzzRegressions, HostileInputsEndWithACode) {
  for (const Hostile& h : hostile_inputs()) {
    SCOPED_TRACE(h.name);
    test::CompileRun run;
    ASSERT_NO_THROW(run = test::compile_packed(h.bytes));
    EXPECT_EQ(run.compiled.fatal.has_value(), h.fatal);
    EXPECT_EQ(run.compiled.scenario.error_code(), h.last_code);
  }
}

}  // namespace
}  // namespace sb::fuzzing
