// The compile command, driven through the real executable on small
// description files: what it writes. What it prints for faulty files, bad
// names and unusable paths is in the cases of tests/diagnostics/.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/test_files.h"

namespace {

namespace fs = std::filesystem;

using sb::test::Outcome;
using sb::test::read_bytes;
using sb::test::snapshot;
using sb::test::write_bytes;

const std::string kFixtures = SB_FIXTURE_DIR;
const std::string kLine = "Prova_linea.txt";
const std::string kTrain = "Prova_100-.txt";
const std::vector<std::string> kCompiled = {"Prova_100.dat", "Prova_100.sim", "Prova_linea.dat"};

std::vector<std::string> listing(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& [name, bytes] : snapshot(dir)) names.push_back(name);
  return names;
}

class CompileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(tmp_.created());
    root_ = tmp_.path().string();
    src_ = root_ + "/src";
    out_ = root_ + "/out";
    fs::create_directory(src_);
    fs::create_directory(out_);
    fs::copy_file(kFixtures + "/" + kLine, src_ + "/" + kLine);
    fs::copy_file(kFixtures + "/" + kTrain, src_ + "/" + kTrain);
  }

  // Runs the program in `cwd`.
  Outcome run_in(const std::string& cwd, const std::vector<std::string>& args) {
    return sb::test::run_program(args, cwd);
  }

  // `compile ARGS...` in the source directory; the inputs there must come
  // out of every compile exactly as they went in.
  Outcome compile(std::vector<std::string> args) {
    const auto before = snapshot(src_);
    args.insert(args.begin(), "compile");
    Outcome o = run_in(src_, args);
    EXPECT_EQ(snapshot(src_), before) << "the inputs changed";
    return o;
  }
  Outcome compile_prova(std::vector<std::string> extra = {}) {
    std::vector<std::string> args = {kLine, kTrain, "--out", out_};
    args.insert(args.end(), extra.begin(), extra.end());
    return compile(args);
  }

  // Replaces the first `old` in one of the source copies by `replacement`.
  void edit(const std::string& file, const std::string& old, const std::string& replacement) {
    std::string bytes = read_bytes(src_ + "/" + file);
    auto at = bytes.find(old);
    ASSERT_NE(at, std::string::npos) << old;
    write_bytes(src_ + "/" + file, bytes.replace(at, old.size(), replacement));
  }

  sb::test::TempDir tmp_{"sb_compile_"};
  std::string root_, src_, out_;
};

TEST_F(CompileTest, CleanCompileWritesTheThreeFiles) {
  // Straight from the fixture directory: nothing there may change.
  const auto before = snapshot(kFixtures);
  Outcome o = run_in(root_, {"compile", kFixtures + "/" + kLine, kFixtures + "/" + kTrain, "--out", out_});
  EXPECT_EQ(snapshot(kFixtures), before);
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.err, "");
  EXPECT_EQ(o.out, "");
  EXPECT_EQ(listing(out_), kCompiled);
  // route length 3000: 10000 plan metres, 200 cells
  EXPECT_EQ(fs::file_size(out_ + "/Prova_linea.dat"), 20u * 10000 - 36);
  EXPECT_EQ(fs::file_size(out_ + "/Prova_100.dat"), 15u * 201);
}

TEST_F(CompileTest, CopiesOfBuiltinFilesCompileToTheBuiltinBytes) {
  const std::string builtin = root_ + "/builtin", copies = root_ + "/copies";
  fs::create_directory(builtin);
  fs::create_directory(copies);
  ASSERT_EQ(run_in(root_, {"--dir", builtin, "--keep-sources"}).status, 0);
  const std::string line = "ValdraPCal-Dorvesa_linea.txt", train = "ValdraPCal-Dorvesa_24317-.txt";
  fs::copy_file(builtin + "/" + line, copies + "/" + line);
  fs::copy_file(builtin + "/" + train, copies + "/" + train);
  const auto sources = snapshot(copies);

  Outcome o = run_in(copies, {"compile", line, train, "--out", out_});
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.err, "");
  EXPECT_EQ(snapshot(copies), sources);
  const auto compiled = snapshot(out_);
  const std::vector<std::string> names = {"ValdraPCal-Dorvesa_24317.dat", "ValdraPCal-Dorvesa_24317.sim",
                                          "ValdraPCal-Dorvesa_linea.dat"};
  EXPECT_EQ(listing(out_), names);
  for (const std::string& name : names) {
    EXPECT_TRUE(compiled.at(name) == read_bytes(builtin + "/" + name)) << name << " differs";
  }
}

TEST_F(CompileTest, NoPlanWritesNoLinePlanAndIgnoresCurves) {
  Outcome o = compile_prova({"--no-plan"});
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.err, "");
  EXPECT_EQ(listing(out_), (std::vector<std::string>{"Prova_100.dat", "Prova_100.sim"}));
  const auto plain = snapshot(out_);

  // A curve without a class is code 103 with a plan; without one it is no
  // record at all and changes nothing.
  edit(kLine, "curvas4", "curvas7");
  fs::remove_all(out_);
  fs::create_directory(out_);
  o = compile_prova({"--no-plan"});
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.err, "");
  EXPECT_EQ(snapshot(out_), plain);
}

TEST_F(CompileTest, DefaultOutputIsTheCurrentDirectory) {
  Outcome o = run_in(out_, {"compile", src_ + "/" + kLine, src_ + "/" + kTrain});
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.err, "");
  EXPECT_EQ(listing(out_), kCompiled);
}

// A train number that is no UTF-8 cannot be stored: a usage error, before
// anything is read. (The other name cases are in tests/diagnostics/.)
TEST_F(CompileTest, TrainNumberThatIsNoUtf8) {
  Outcome o = compile_prova({"--train", "7\xE0"});
  EXPECT_EQ(o.status, 2);
  EXPECT_EQ(o.err,
            "scenario-builder: train number \"7\xE0\" cannot be stored in the compiled files: invalid UTF-8 byte "
            "0xE0 at byte 2\n");
  EXPECT_TRUE(listing(out_).empty());
}

TEST_F(CompileTest, NamesFromOptionsEnterTheScenarioTable) {
  ASSERT_EQ(compile_prova({"--route", "Altra", "--train", "7"}).status, 0);
  const std::string table = read_bytes(out_ + "/Altra_7.sim");
  EXPECT_THAT(table, ::testing::HasSubstr(std::string("\x05\x00"
                                                      "Altra",
                                                      7)));
  EXPECT_THAT(table, ::testing::HasSubstr(std::string("\x01\x00"
                                                      "7",
                                                      3)));
  EXPECT_THAT(table, ::testing::Not(::testing::HasSubstr("Prova")));
}

// Names arrive as UTF-8 and are stored as Windows-1252, one byte each; the
// check codes are summed over those bytes. File names keep the UTF-8 form.
TEST_F(CompileTest, AccentedRouteIsStoredInWindows1252) {
  ASSERT_EQ(compile_prova({"--route", "Citt\xC3\xA0", "--train", "100"}).status, 0);
  EXPECT_EQ(listing(out_),
            (std::vector<std::string>{"Citt\xC3\xA0_100.dat", "Citt\xC3\xA0_100.sim", "Citt\xC3\xA0_linea.dat"}));
  const std::string table = read_bytes(out_ + "/Citt\xC3\xA0_100.sim");
  // Walk to slot 85: each slot is 34 bytes plus its text.
  std::size_t at = 0;
  for (int slot = 0; slot < 85; ++slot) {
    ASSERT_LT(at + 16, table.size());
    at += 34 + (static_cast<unsigned char>(table[at + 14]) | static_cast<unsigned char>(table[at + 15]) << 8);
  }
  EXPECT_EQ(table.substr(at + 14, 2 + 5), std::string("\x05\x00"
                                                      "Citt\xE0",
                                                      7));
  // Route check code over "100citt\xE0" + filler: 33835 = 0x842B.
  EXPECT_EQ(table.substr(at + 16 + 5 + 14, 4), std::string("\x2B\x84\x00\x00", 4));
  const std::string cells = read_bytes(out_ + "/Citt\xC3\xA0_100.dat");
  // Cell 1: marker 5121, then the cell check code 2518 = 0x09D6.
  EXPECT_EQ(cells.substr(15 + 1, 4), std::string("\x01\x14\xD6\x09", 4));
}

}  // namespace

namespace {

// Several trains on one line: the bytes of one compile per train, the
// line plan once, and one set for all of them.
class ManyTrainsTest : public CompileTest {
 protected:
  void SetUp() override {
    CompileTest::SetUp();
    const std::string train = read_bytes(src_ + "/" + kTrain);
    write_bytes(src_ + "/Prova_101-.txt", train);
    std::string later = train;
    later.replace(later.find("8,  5,  0,"), 10, "9,  41,  0,");
    write_bytes(src_ + "/Prova_102-.txt", later);
  }
  const std::vector<std::string> trains_ = {kTrain, "Prova_101-.txt", "Prova_102-.txt"};
};

TEST_F(ManyTrainsTest, WriteWhatOneCompilePerTrainWrites) {
  std::vector<std::string> args = {kLine};
  args.insert(args.end(), trains_.begin(), trains_.end());
  args.insert(args.end(), {"--out", out_});
  const Outcome all = compile(args);
  ASSERT_EQ(all.status, 0) << all.err;
  EXPECT_EQ(all.err,
            "scenario-builder: train 100: 0 errors, 0 warnings\n"
            "scenario-builder: train 101: 0 errors, 0 warnings\n"
            "scenario-builder: train 102: 0 errors, 0 warnings\n");

  std::map<std::string, std::string> one_by_one;
  for (const std::string& train : trains_) {
    const std::string dir = root_ + "/" + train;
    fs::create_directory(dir);
    ASSERT_EQ(compile({kLine, train, "--out", dir}).status, 0);
    for (const auto& [name, bytes] : snapshot(dir)) {
      if (one_by_one.count(name) != 0) {
        EXPECT_EQ(one_by_one[name], bytes) << name;
      }
      one_by_one[name] = bytes;
    }
  }
  EXPECT_EQ(snapshot(out_), one_by_one);
  EXPECT_NE(one_by_one["Prova_100.sim"], one_by_one["Prova_102.sim"]);
}

TEST_F(ManyTrainsTest, AreOneSetAllOrNothing) {
  std::vector<std::string> args = {kLine};
  args.insert(args.end(), trains_.begin(), trains_.end());
  args.insert(args.end(), {"--out", out_});
  ASSERT_EQ(compile(args).status, 0);
  const auto written = snapshot(out_);
  // The second train now has an error: no train's files change.
  edit("Prova_101-.txt", "segnale,  2000,", "segnale,  1800,");
  const Outcome failed = compile(args);
  EXPECT_EQ(failed.status, 1);
  EXPECT_THAT(failed.err, ::testing::HasSubstr("scenario-builder: train 101: 1 error, 0 warnings; failed\n"));
  EXPECT_THAT(failed.err, ::testing::HasSubstr("no compiled file was written"));
  EXPECT_EQ(snapshot(out_), written);
  // A line file's diagnostic is said once, not once per train.
  edit(kLine, "[fine]", "[fine");
  const Outcome warned = compile({kLine, kTrain, "Prova_102-.txt", "--out", out_});
  EXPECT_EQ(warned.status, 0) << warned.err;
  const std::string line_warning = warned.err.substr(0, warned.err.find('\n') + 1);
  EXPECT_THAT(line_warning, ::testing::HasSubstr(kLine));
  EXPECT_EQ(warned.err.find(line_warning, line_warning.size()), std::string::npos) << warned.err;
}

}  // namespace
