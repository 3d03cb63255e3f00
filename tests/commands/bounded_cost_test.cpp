// Bounded cost of the commands that read what authors hand them: at full
// scale (a generated 1000 km route, a line plan file of 20 MB) each command
// finishes in time and memory proportional to its input, through the real
// executable.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "base/files.h"
#include "line_generator.h"
#include "support/test_files.h"

namespace {

namespace fs = std::filesystem;

constexpr double kSlack = sb::test::kSlowBuildSlack;
using sb::test::kMemoryMeasured;

class FullScale : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new sb::test::TempDir("sb_full_scale_");
    ASSERT_TRUE(dir_->created());
    for (uint32_t seed : {1u, 2u}) {
      const sb::bench::GeneratedScenario s = sb::bench::generate_scenario(1000, seed);
      const fs::path src = dir_->path() / ("src" + std::to_string(seed));
      const fs::path out = dir_->path() / ("out" + std::to_string(seed));
      fs::create_directories(src);
      fs::create_directories(out);
      sb::test::write_bytes(src / (s.route + "_linea.txt"), s.line);
      sb::test::write_bytes(src / (s.route + "_" + s.train + "-.txt"), s.train_description);
      const sb::test::Outcome o =
          sb::test::run_program({"compile", (src / (s.route + "_linea.txt")).string(),
                                 (src / (s.route + "_" + s.train + "-.txt")).string(), "--out", out.string()});
      ASSERT_EQ(o.status, 0) << o.err;
      route_ = s.route;
      train_ = s.train;
    }
  }
  static void TearDownTestSuite() { delete dir_; }

  static std::string source(int seed, const std::string& suffix) {
    return (dir_->path() / ("src" + std::to_string(seed)) / (route_ + suffix)).string();
  }
  static std::string line_file(int seed) { return source(seed, "_linea.txt"); }
  static std::string train_file(int seed) { return source(seed, "_" + train_ + "-.txt"); }

  static std::string out(int seed, const std::string& suffix) {
    return (dir_->path() / ("out" + std::to_string(seed)) / (route_ + suffix)).string();
  }
  static std::string plan(int seed) { return out(seed, "_linea.dat"); }
  static std::string table(int seed) { return out(seed, "_" + train_ + ".sim"); }
  static std::string cells(int seed) { return out(seed, "_" + train_ + ".dat"); }

  // Runs a command over `inputs` (and `more` arguments) and holds it to
  // `seconds` and to 16 MiB plus `per_byte` times the inputs' size.
  static void expect_bounded(std::vector<std::string> args, const std::vector<std::string>& inputs, double seconds,
                             double per_byte) {
    uintmax_t input_bytes = 0;
    for (const std::string& f : inputs) input_bytes += fs::file_size(f);
    const sb::test::Outcome o = sb::test::run_program(args);
    SCOPED_TRACE(args.front());
    EXPECT_LE(o.status, 1) << o.err;
    EXPECT_LT(o.seconds, seconds * kSlack);
    if (kMemoryMeasured) {
      EXPECT_LT(static_cast<double>(o.max_rss_kib) * 1024.0, 16.0 * (1 << 20) + per_byte * input_bytes)
          << o.max_rss_kib << " KiB for " << input_bytes << " bytes of input";
    }
  }

  static sb::test::TempDir* dir_;
  static std::string route_, train_;
};

sb::test::TempDir* FullScale::dir_ = nullptr;
std::string FullScale::route_, FullScale::train_;

TEST_F(FullScale, InspectListsEveryFile) {
  const std::vector<std::string> files = {plan(1), table(1), cells(1)};
  std::vector<std::string> args = {"inspect"};
  args.insert(args.end(), files.begin(), files.end());
  expect_bounded(args, files, 2.0, 4.0);
  args.insert(args.begin() + 1, "--json");
  expect_bounded(args, files, 2.0, 4.0);
}

TEST_F(FullScale, InspectListsEveryMetre) { expect_bounded({"inspect", "--all", plan(1)}, {plan(1)}, 10.0, 4.0); }

// The plan is listed as a stream, the JSON document written as it goes:
// every metre and every cell of a 1 000 km set within the fixed 16 MiB.
TEST_F(FullScale, InspectJsonOfEveryMetreStaysWithinAFixedBound) {
  const std::vector<std::string> files = {plan(1), table(1), cells(1)};
  expect_bounded({"inspect", "--json", "--all", plan(1), table(1), cells(1)}, files, 10.0, 0.0);
}

// A plan file of zeros far larger than any route: read as a stream, in
// memory that does not grow with it (sparse: it takes no disk).
TEST_F(FullScale, ALargePlanOfZerosIsReadInBoundedMemory) {
  const fs::path zeros = dir_->path() / "zeros" / "Z_linea.dat";
  fs::create_directories(zeros.parent_path());
  sb::test::write_bytes(zeros, "");
  fs::resize_file(zeros, kMemoryMeasured ? (uintmax_t{256} << 20) : (uintmax_t{16} << 20));
  expect_bounded({"inspect", zeros.string()}, {zeros.string()}, 10.0, 0.0);
  expect_bounded({"view", "--compiled", zeros.string(), "-o", (zeros.parent_path() / "z.html").string()},
                 {zeros.string()}, 10.0, 0.0);
}

// The decompile holds the plan file (mapped) besides what a compile holds.
TEST_F(FullScale, DecompileReproducesTheRoute) {
  const fs::path out_dir = dir_->path() / "decompiled";
  fs::create_directories(out_dir);
  expect_bounded({"decompile", plan(1), table(1), cells(1), "--out", out_dir.string()}, {plan(1), table(1), cells(1)},
                 5.0, 1.2);
  EXPECT_TRUE(fs::exists(out_dir / (route_ + "_linea.txt")));
}

TEST_F(FullScale, DiffComparesTwoRoutes) {
  const std::vector<std::string> inputs = {plan(1), table(1), cells(1), plan(2), table(2), cells(2)};
  const std::string a = (dir_->path() / "out1").string(), b = (dir_->path() / "out2").string();
  expect_bounded({"diff", a, b, "--route", route_, "--train", train_}, inputs, 2.0, 4.0);
}

// The check compiles again after each failing record it leaves out: a
// route with an error in every one of many records stays within its bound
// of compiles, each linear in the input.
TEST_F(FullScale, CheckFindsEveryError) {
  expect_bounded({"check", line_file(1), train_file(1)}, {line_file(1), train_file(1)}, 2.0, 40.0);
  // Sixty signals repeated on the cells they already hold: the check runs
  // its fifty compiles over the full route.
  std::string train = sb::test::read_bytes(train_file(1));
  std::string repeated;
  for (std::size_t at = train.find("segnale,"); at != std::string::npos && repeated.size() < 60 * 60;
       at = train.find("segnale,", at + 1)) {
    repeated += train.substr(at, train.find('\n', at) + 1 - at);
  }
  train.insert(train.rfind("[fine]"), repeated);
  const fs::path edited = dir_->path() / "edited";
  fs::create_directories(edited);
  const std::string edited_train = (edited / (route_ + "_" + train_ + "-.txt")).string();
  sb::test::write_bytes(edited_train, train);
  const sb::test::Outcome o = sb::test::run_program({"check", line_file(1), edited_train});
  EXPECT_EQ(o.status, 1);
  EXPECT_GE(std::count(o.err.begin(), o.err.end(), '\n'), 50) << o.err.substr(0, 500);
  expect_bounded({"check", line_file(1), edited_train}, {line_file(1), edited_train}, 10.0, 40.0);
}

TEST_F(FullScale, ViewDrawsTheRoute) {
  const fs::path pages = dir_->path() / "pages";
  fs::create_directories(pages);
  expect_bounded({"view", line_file(1), train_file(1), "-o", (pages / "a.html").string()},
                 {line_file(1), train_file(1)}, 2.0, 40.0);
  EXPECT_LT(fs::file_size(pages / "a.html"), 4u << 20) << "a page of a few MB at most";
  const std::vector<std::string> files = {plan(1), table(1), cells(1)};
  expect_bounded({"view", "--compiled", plan(1), table(1), cells(1), "-o", (pages / "b.html").string()}, files, 2.0,
                 4.0);
}

}  // namespace
