// Drives the real executable: files left behind, exit statuses, messages.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "support/test_files.h"

namespace {

namespace fs = std::filesystem;

using sb::test::golden_path;
using sb::test::lines_of;
using sb::test::names_in;
using sb::test::Outcome;
using sb::test::read_bytes;
using sb::test::snapshot;
using sb::test::write_bytes;

const std::string kRoute = "ValdraPCal-Dorvesa";
const std::string kLineDescription = kRoute + "_linea.txt";
const std::string kTrainDescription = kRoute + "_24317-.txt";
const std::string kNotes = kRoute + "_24317_note.txt";
const std::string kSlowdowns = kRoute + "_24317_rallentamenti.txt";
const std::string kCard = kRoute + "_24317_scheda_treno.txt";
const std::string kLinePlan = kRoute + "_linea.dat";
const std::string kTable = kRoute + "_24317.sim";
const std::string kCells = kRoute + "_24317.dat";
const std::set<std::string> kSixFiles = {kNotes, kSlowdowns, kCard, kLinePlan, kTable, kCells};

class RunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(tmp_.created());
    root_ = tmp_.path();
    dir_ = root_ / "out";
    fs::create_directory(dir_);
  }

  // Runs the program with `args`; `file_size_limit` > 0 lowers
  // RLIMIT_FSIZE in the child.
  Outcome run(const std::vector<std::string>& args, rlim_t file_size_limit = 0) {
    return sb::test::run_program(args, {}, file_size_limit);
  }

  Outcome run_builtin() { return run({"--dir", dir_.string()}); }

  // A good run whose files the later checks compare against.
  std::map<std::string, std::string> good_run() {
    Outcome o = run_builtin();
    EXPECT_EQ(o.status, 0) << o.err;
    auto files = snapshot(dir_);
    EXPECT_EQ(files.size(), 6u);
    return files;
  }

  void expect_no_temporary_file(const fs::path& dir) {
    for (const std::string& name : names_in(dir))
      EXPECT_THAT(name, ::testing::Not(::testing::HasSubstr(".tmp-"))) << name;
  }

  sb::test::TempDir tmp_{"sb_run_"};
  fs::path root_;
  fs::path dir_;
};

TEST_F(RunTest, BuiltinRunLeavesThreeDocumentsAndThreeCompiledFiles) {
  Outcome o = run_builtin();
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.err, "");
  EXPECT_EQ(o.out, "");
  EXPECT_EQ(names_in(dir_), kSixFiles);
  EXPECT_EQ(fs::file_size(dir_ / kCells), 28515u);
  EXPECT_EQ(fs::file_size(dir_ / kLinePlan), 1899964u);

  // The line plan's two halves start with the whole-number start metres.
  const std::string plan = read_bytes(dir_ / kLinePlan);
  const std::size_t half = 10 * 95000 - 18;
  EXPECT_EQ(plan.substr(0, 10), std::string("\x02\0\0\0\x02\0\0\0\x05\0", 10));
  EXPECT_EQ(plan.substr(half, 8), std::string("\x02\0\0\0\x02\0\x01\0", 8));

  // Cell 1 carries the format marker 5121 and the cell check code 2302.
  const std::string cells = read_bytes(dir_ / kCells);
  EXPECT_EQ(cells.substr(16, 4), std::string("\x01\x14\xFE\x08", 4));

  // Walking the table file's 87 records reaches its end; slot 85 holds
  // scenery 1, 0, 0, the route name, 610 and the route check code 32324.
  const std::string table = read_bytes(dir_ / kTable);
  std::size_t at = 0;
  std::string slot85;
  for (int slot = 0; slot < 87; ++slot) {
    ASSERT_LE(at + 34, table.size());
    const std::size_t length = static_cast<unsigned char>(table[at + 14]) |
                               static_cast<std::size_t>(static_cast<unsigned char>(table[at + 15])) << 8;
    if (slot == 85) slot85 = table.substr(at, 34 + length);
    at += 34 + length;
  }
  EXPECT_EQ(at, table.size());
  EXPECT_EQ(slot85, std::string("\0\x01\0\0\0\0\0\0\0\0\0\0\0\0\x12\0", 16) + kRoute +
                        std::string("\x62\x02\0\0\0\0\0\0\0\0\0\0\0\0\x44\x7E\0\0", 18));
}

TEST_F(RunTest, KeepSourcesLeavesTheDescriptionFiles) {
  Outcome o = run({"--dir", dir_.string(), "--keep-sources"});
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.err, "");
  std::set<std::string> expected = kSixFiles;
  expected.insert({kLineDescription, kTrainDescription});
  EXPECT_EQ(names_in(dir_), expected);
  EXPECT_EQ(fs::file_size(dir_ / kLineDescription), 3504u);
  EXPECT_EQ(fs::file_size(dir_ / kTrainDescription), 1962u);
  EXPECT_EQ(read_bytes(dir_ / kLineDescription), read_bytes(golden_path("line_description.txt")));
  EXPECT_EQ(read_bytes(dir_ / kTrainDescription), read_bytes(golden_path("train_description.txt")));
}

// A run replaces every file it writes, whatever was there: the one test of
// rewriting, through the program, for all six outputs.
TEST_F(RunTest, SecondRunLeavesIdenticalBytes) {
  const auto first = good_run();
  // Leftovers of another kind in the same names are replaced, not appended to.
  write_bytes(dir_ / kTable, std::string(100000, 'x'));
  write_bytes(dir_ / kNotes, "old");
  Outcome o = run_builtin();
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.err, "");
  EXPECT_TRUE(snapshot(dir_) == first);
}

TEST_F(RunTest, HelpAndVersionPrintOnStandardOutput) {
  for (const char* option : {"--help", "-h", "--version"}) {
    SCOPED_TRACE(option);
    Outcome o = run({option});
    EXPECT_EQ(o.status, 0);
    EXPECT_NE(o.out, "");
    EXPECT_EQ(o.err, "");
  }
  EXPECT_THAT(run({"--help"}).out, ::testing::HasSubstr("Exit status"));
  EXPECT_THAT(run({"--version"}).out, ::testing::HasSubstr("scenario-builder"));
  EXPECT_TRUE(names_in(dir_).empty());
}

// A directory stands where the scenario table file goes: the run stops
// there and every other file keeps the previous run's bytes.
TEST_F(RunTest, DirectoryInPlaceOfTargetFile) {
  auto first = good_run();
  fs::remove(dir_ / kTable);
  fs::create_directory(dir_ / kTable);
  first.erase(kTable);

  Outcome o = run_builtin();
  EXPECT_EQ(o.status, 4);
  EXPECT_EQ(o.err, "scenario-builder: error: cannot replace " + (dir_ / kTable).string() + ": Is a directory\n");
  expect_no_temporary_file(dir_);
  EXPECT_TRUE(fs::is_directory(dir_ / kTable));
  EXPECT_TRUE(fs::is_empty(dir_ / kTable));
  EXPECT_TRUE(snapshot(dir_) == first);
}

// A full disk, simulated by a file-size limit that the 1.9 MB line plan
// file passes: nothing half-written, every earlier file intact.
TEST_F(RunTest, FileSizeLimitStopsTheRunCleanly) {
  const auto first = good_run();
  Outcome o = run({"--dir", dir_.string()}, 100000);
  EXPECT_EQ(o.status, 4);
  EXPECT_EQ(o.err, "scenario-builder: error: cannot write " + (dir_ / kLinePlan).string() + ": File too large\n");
  expect_no_temporary_file(dir_);
  EXPECT_TRUE(snapshot(dir_) == first);

  // The same in an empty directory: the documents staged before the line
  // plan file are not written either; the failed run leaves nothing.
  fs::path fresh = root_ / "fresh";
  fs::create_directory(fresh);
  o = run({"--dir", fresh.string()}, 100000);
  EXPECT_EQ(o.status, 4);
  EXPECT_TRUE(names_in(fresh).empty());
}

// The fatal check: a line board in cell 1 takes the place of the format
// marker. The message is the last line, exit status 3, and the compiled
// files of an earlier good compile stay as they were.
TEST_F(RunTest, FatalCheckLeavesEarlierCompiledFilesUntouched) {
  const fs::path good = root_ / "good", bad = root_ / "bad";
  fs::create_directories(good);
  fs::create_directories(bad);
  const std::string line_head = "[generale]\r\nlunghezza percorso,  1000\r\n[pendenze]\r\npendenza,  0,  0\r\n";
  const std::string train = "[generale]\r\nvelocita,  0,  90\r\naderenza,  0,  100\r\n[fine]\r\n";
  write_bytes(good / "R_linea.txt", line_head + "[fine]\r\n");
  write_bytes(good / "R_7-.txt", train);
  write_bytes(bad / "R_linea.txt", line_head + "[cartelli]\r\ncartello_indicatore,  0,  (X)\r\n[fine]\r\n");
  write_bytes(bad / "R_7-.txt", train);

  Outcome o = run({"compile", (good / "R_linea.txt").string(), (good / "R_7-.txt").string(), "--out", dir_.string()});
  ASSERT_EQ(o.status, 0) << o.err;
  const auto before = snapshot(dir_);
  ASSERT_EQ(names_in(dir_), (std::set<std::string>{"R_linea.dat", "R_7.sim", "R_7.dat"}));
  const auto stamp = fs::last_write_time(dir_ / "R_7.sim");

  o = run({"compile", (bad / "R_linea.txt").string(), (bad / "R_7-.txt").string(), "--out", dir_.string()});
  EXPECT_EQ(o.status, 3);
  const auto lines = lines_of(o.err);
  ASSERT_FALSE(lines.empty());
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[lines.size() - 2], " Errore n. 1250");
  EXPECT_EQ(
      lines.back().rfind("scenario-builder: error: an element near the start of the line fell into track cell 1", 0),
      0u)
      << lines.back();
  EXPECT_EQ(o.err.back(), '\n');
  EXPECT_TRUE(snapshot(dir_) == before);
  EXPECT_EQ(fs::last_write_time(dir_ / "R_7.sim"), stamp);
  expect_no_temporary_file(dir_);
  // The author's files are read, never deleted.
  EXPECT_TRUE(fs::exists(bad / "R_linea.txt"));
  EXPECT_TRUE(fs::exists(bad / "R_7-.txt"));
}

}  // namespace
