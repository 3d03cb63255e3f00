// Every input under tests/fixtures/fuzz/ goes through the same in-memory
// compile as the fuzz target: reader, recorders, completion, markers and
// check codes, then the three compiled files. A fatal check is a legal
// outcome; any other exception (and, in the sanitizer build, any sanitizer
// report) is a fault. The files named crash-* are inputs the fuzzer found
// faults with; the files named handmade-* are hostile inputs written by hand,
// each with the code it must end with in kHandmade below.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
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

// --- hostile inputs --------------------------------------------------------

// Every handmade-* file under tests/fixtures/fuzz/ (they seed the fuzzer too)
// and the code its records end with.
struct Hostile {
  const char* file;
  int32_t last_code;
  bool fatal;
};

const Hostile kHandmade[] = {
    {"handmade-81-montagna-spans", 25, false},
    {"handmade-adhesion-fills-past-last-cell", 25, false},
    {"handmade-curve-past-plan-end", 25, false},
    {"handmade-dashes-at-end", 25, true},
    {"handmade-empty-files", 25, true},
    {"handmade-empty-line-file", 25, true},
    {"handmade-gradient-too-steep", 25, false},
    {"handmade-gradients-one-position", 25, false},
    {"handmade-huge-curve", 103, false},
    {"handmade-huge-curve-without-plan", 0, false},
    {"handmade-huge-gradient-position", 15, false},
    {"handmade-huge-numbers", 25, true},
    {"handmade-huge-route-length", 25, true},
    {"handmade-line-only", 25, false},
    {"handmade-montagna-past-last-cell", 25, false},
    {"handmade-negative-route-length", 25, true},
    {"handmade-no-route-length", 25, true},
    {"handmade-repeated-route-length", 0, false},
    {"handmade-route-length-above-limit", 1, true},
    {"handmade-signal-near-start", 25, false},
    {"handmade-slowdown-past-last-cell", 25, false},
    {"handmade-speed-beyond-field", 25, false},
    {"handmade-station-past-last-cell", 25, false},
    {"handmade-stations-meet-board-slots", 10, false},
    {"handmade-unclosed-quote", 0, false},
    {"handmade-unclosed-quote-in-train-file", 0, false},
    {"handmade-zero-length-slowdowns", 12, false},
};

void expect_outcome(const std::string& name, const std::string& bytes, int32_t last_code, bool fatal) {
  SCOPED_TRACE(name);
  test::CompileRun run;
  ASSERT_NO_THROW(run = test::compile_packed(bytes));
  EXPECT_EQ(run.compiled.fatal.has_value(), fatal);
  EXPECT_EQ(run.compiled.scenario.error_code(), last_code);
}

TEST(FuzzRegressions, HandmadeInputsEndWithTheirCode) {
  std::set<std::string> listed;
  for (const Hostile& h : kHandmade) {
    listed.insert(h.file);
    expect_outcome(h.file, test::read_existing(fs::path(SB_FIXTURE_DIR) / "fuzz" / h.file), h.last_code, h.fatal);
  }
  // A new handmade input comes with its expected outcome.
  for (const fs::path& path : fixture_files()) {
    const std::string name = path.filename().string();
    if (name.starts_with("handmade-")) {
      EXPECT_TRUE(listed.contains(name)) << name << " has no entry in kHandmade";
    }
  }
}

// Inputs of a mebibyte or so, built here rather than kept as files.
TEST(FuzzRegressions, LongInputsEndWithACode) {
  const std::string head = "[generale]\r\nlunghezza percorso,  3000\r\n[curve]\r\n";
  const std::string tail = "[fine]\r\n" + std::string(kSeparator) + "1[generale]\r\n[fine]\r\n";
  expect_outcome("very long line", head + std::string(1 << 20, 'x') + "\r\n" + tail, 0, false);
  expect_outcome("very long number", head + "pendenza,  " + std::string(1 << 20, '7') + "\r\n" + tail, 25, false);
  expect_outcome("very long board text",
                 head + "cartello_indicatore,  1300,  " + std::string(70000, 'T') + "\r\n" + tail, 25, false);
}

}  // namespace
}  // namespace sb::fuzzing
