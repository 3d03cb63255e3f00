// diff through the program: the example scenario against copies with one
// edited record, identical copies, damaged files and misuse.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "support/test_files.h"

namespace sb {
namespace {

namespace fs = std::filesystem;

const char* const kLine = "Esempio_linea.txt";
const char* const kTrain = "Esempio_7-.txt";

// Compiles the example, with `from` replaced by `to` in file `name` when
// given, into `dir`.
void compile_example(const fs::path& dir, const std::string& name = "", const std::string& from = "",
                     const std::string& to = "") {
  fs::create_directories(dir);
  for (const char* file : {kLine, kTrain}) {
    std::string text = test::read_existing(fs::path(SB_EXAMPLE_DIR) / file);
    if (name == file) {
      const std::size_t at = text.find(from);
      ASSERT_NE(at, std::string::npos) << from;
      text.replace(at, from.size(), to);
    }
    test::write_bytes(dir / file, text);
  }
  const test::Outcome o = test::run_program(
      {"compile", (dir / kLine).string(), (dir / kTrain).string(), "--out", dir.string()});
  ASSERT_EQ(o.status, 0) << o.err;
}

struct Edit {
  const char* name;
  const char* file;
  const char* from;
  const char* to;
  const char* expected;  // everything diff prints
};

void PrintTo(const Edit& c, std::ostream* out) { *out << c.name; }

class OneEditedRecord : public ::testing::TestWithParam<Edit> {};

TEST_P(OneEditedRecord, IsReportedByMeaning) {
  const Edit& e = GetParam();
  test::TempDir dir;
  compile_example(dir.path() / "a");
  compile_example(dir.path() / "b", e.file, e.from, e.to);
  const test::Outcome o = test::run_program(
      {"diff", (dir.path() / "a").string(), (dir.path() / "b").string(), "--route", "Esempio", "--train", "7"});
  EXPECT_EQ(o.status, 1) << o.err;
  EXPECT_EQ(o.out, e.expected);
  EXPECT_EQ(o.err, "");
}

INSTANTIATE_TEST_SUITE_P(
    Diff, OneEditedRecord,
    ::testing::Values(
        Edit{"SignalAspect", kTrain, "segnale,  10000,  1,  5,  6,  0,", "segnale,  10000,  1,  5,  6,  1,",
             "cell 201 (10 000 m): signal aspects 50/60/0 \u2192 50/60/10\n"},
        Edit{"StationTime", kTrain, "8,  30,  0,   SECONDA", "8,  31,  30,   SECONDA",
             "slot 2 station SECONDA: time 08:30:00 \u2192 08:31:30\n"},
        Edit{"SlowdownSpeed", kTrain, "rallentamento,  7000,  60,", "rallentamento,  7000,  50,",
             "cell 117 (5 800 m): slowdown warning speed 60 km/h \u2192 50 km/h\n"
             "cell 141 (7 000 m): slowdown start speed 60 km/h \u2192 50 km/h\n"
             "cell 151 (7 500 m): slowdown end speed 60 km/h \u2192 50 km/h\n"},
        Edit{"Gradient", kLine, "pendenza,  3000,  5", "pendenza,  3000,  6",
             "cells 60-159 (3 000 m to 8 000 m): gradient 5 \u2192 6 \u2030\n"},
        Edit{"CurveLength", kLine, "curvas3,  6000,  400", "curvas3,  6000,  450",
             "plan: curves from 6 000 m differ; first differing metre 6 401\n"
             "plan: curve only in A: left class 3 from 6 000 m, 400 m long (curvature -0.0004 per m)\n"
             "plan: curve only in B: left class 3 from 6 000 m, 450 m long (curvature -0.0004 per m)\n"}),
    [](const auto& info) { return std::string(info.param.name); });

class DiffForms : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.created());
    compile_example(a());
    compile_example(b());
  }
  fs::path a() const { return dir_.path() / "a"; }
  fs::path b() const { return dir_.path() / "b"; }
  test::TempDir dir_;
};

TEST_F(DiffForms, IdenticalScenariosGiveNothingAndStatus0) {
  const test::Outcome dirs =
      test::run_program({"diff", a().string(), b().string(), "--route", "Esempio", "--train", "7"});
  EXPECT_EQ(dirs.status, 0) << dirs.err;
  EXPECT_EQ(dirs.out, "");
  const test::Outcome pairs = test::run_program(
      {"diff", (a() / "Esempio_7.dat").string(), (b() / "Esempio_7.dat").string(), (a() / "Esempio_7.sim").string(),
       (b() / "Esempio_7.sim").string(), (a() / "Esempio_linea.dat").string(), (b() / "Esempio_linea.dat").string()});
  EXPECT_EQ(pairs.status, 0) << pairs.err;
  EXPECT_EQ(pairs.out, "");
}

TEST_F(DiffForms, DamagedFileAndMisuseGiveOneLineAndStatus2) {
  test::write_bytes(b() / "Esempio_7.dat", "short");
  const test::Outcome damaged =
      test::run_program({"diff", a().string(), b().string(), "--route", "Esempio", "--train", "7"});
  EXPECT_EQ(damaged.status, 2);
  EXPECT_EQ(damaged.err, (b() / "Esempio_7.dat").string() +
                             ": offset 0: error: file size 5 is not a multiple of the 15-byte cell: cell 0 is cut off "
                             "after 5 bytes\n");
  EXPECT_EQ(damaged.out, "");

  const std::vector<std::vector<std::string>> misuse = {
      {"diff", a().string(), b().string()},  // directories without --route/--train
      {"diff", (a() / "Esempio_7.dat").string()},
      {"diff", (a() / "Esempio_7.dat").string(), (b() / "Esempio_7.sim").string()},
      {"diff", (a() / "Esempio_7.sim").string(), (b() / "Esempio_7.sim").string(), "--route", "Esempio"},
      {"diff", (a() / "Esempio_7.sim").string(), (b() / "missing.sim").string()},
  };
  for (const auto& args : misuse) {
    const test::Outcome o = test::run_program(args);
    EXPECT_EQ(o.status, 2) << args.back();
    EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 1) << o.err;
  }
}

}  // namespace
}  // namespace sb
