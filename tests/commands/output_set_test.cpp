// A run replaces its outputs as one set: whatever stops it, the directory
// keeps the previous set byte for byte and holds no temporary file. Each
// kind of run meets each obstacle in place of each of its targets in turn.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "support/test_files.h"

namespace {

namespace fs = std::filesystem;

using sb::test::names_in;
using sb::test::Outcome;
using sb::test::read_bytes;
using sb::test::snapshot;
using sb::test::write_bytes;

const std::string kRoute = "ValdraPCal-Dorvesa";

struct Target {
  std::string name;
  const char* verb;  // how the message names the failed step: "replace" or "delete"
};

// One kind of run, with every file it replaces (or deletes) in OUT.
struct RunKind {
  const char* name;
  std::vector<std::string> args;  // run in the temporary directory; "OUT" stands for the output directory
  std::vector<Target> targets;    // in the order the run replaces them
  std::set<std::string> written;  // what a successful run leaves in OUT
  rlim_t file_size_limit;         // a limit the run meets while writing...
  std::string limited;            // ...this output
  std::string diagnostics = "";   // what the run records before it writes
};

std::vector<Target> replaced(const std::vector<std::string>& names) {
  std::vector<Target> targets;
  for (const std::string& n : names) targets.push_back({n, "replace"});
  return targets;
}

const std::vector<std::string> kBuiltinSix = {kRoute + "_24317_note.txt",
                                              kRoute + "_24317_rallentamenti.txt",
                                              kRoute + "_24317_scheda_treno.txt",
                                              kRoute + "_linea.dat",
                                              kRoute + "_24317.sim",
                                              kRoute + "_24317.dat"};
const std::vector<std::string> kDescriptions = {kRoute + "_linea.txt", kRoute + "_24317-.txt"};

std::vector<Target> builtin_targets(bool keep_sources) {
  std::vector<Target> targets;
  for (const std::string& n : kDescriptions) targets.push_back({n, keep_sources ? "replace" : "delete"});
  for (const Target& t : replaced(kBuiltinSix)) targets.push_back(t);
  return targets;
}

std::set<std::string> set_of(const std::vector<std::string>& a, const std::vector<std::string>& b = {}) {
  std::set<std::string> names(a.begin(), a.end());
  names.insert(b.begin(), b.end());
  return names;
}

const std::vector<std::string> kProvaThree = {"Prova_linea.dat", "Prova_100.sim", "Prova_100.dat"};
const std::vector<std::string> kProvaTwo = {"Prova_100.sim", "Prova_100.dat"};

const RunKind kRuns[] = {
    // Without --keep-sources, description files of an earlier run are
    // deleted with the set, and put back with it.
    // The old description files differ from the built-in text: --force.
    {"Builtin",
     {"--dir", "OUT", "--force"},
     builtin_targets(false),
     set_of(kBuiltinSix),
     100000,
     kRoute + "_linea.dat"},
    {"BuiltinKeepSources",
     {"--dir", "OUT", "--keep-sources", "--force"},
     builtin_targets(true),
     set_of(kBuiltinSix, kDescriptions),
     100000,
     kRoute + "_linea.dat"},
    {"Compile",
     {"compile", "src/Prova_linea.txt", "src/Prova_100-.txt", "--out", "OUT"},
     replaced(kProvaThree),
     set_of(kProvaThree),
     100000,
     "Prova_linea.dat"},
    {"CompileNoPlan",
     {"compile", "src/Prova_linea.txt", "src/Prova_100-.txt", "--out", "OUT", "--no-plan"},
     replaced(kProvaTwo),
     set_of(kProvaTwo),
     3000,
     "Prova_100.dat"},
    // The train copy in src/faulty/ records a condition: --force writes anyway.
    {"CompileForce",
     {"compile", "src/Prova_linea.txt", "src/faulty/Prova_100-.txt", "--out", "OUT", "--force"},
     replaced(kProvaThree),
     set_of(kProvaThree),
     100000,
     "Prova_linea.dat",
     "src/faulty/Prova_100-.txt:4:10: error: reading failure: value 40000 does not fit a 16-bit field [E25]\n"},
};

void PrintTo(const RunKind& run, std::ostream* os) { *os << run.name; }

class OutputSetFaults : public ::testing::TestWithParam<RunKind> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(tmp_.created());
    src_ = tmp_.path() / "src";
    out_ = tmp_.path() / "out";
    fs::create_directories(src_ / "faulty");
    for (const char* name : {"Prova_linea.txt", "Prova_100-.txt"}) {
      fs::copy_file(std::string(SB_FIXTURE_DIR) + "/" + name, src_ / name);
    }
    std::string train = read_bytes(src_ / "Prova_100-.txt");
    const auto at = train.find("sabbia,  300");
    ASSERT_NE(at, std::string::npos);
    write_bytes(src_ / "faulty" / "Prova_100-.txt", train.replace(at, 12, "sabbia,  40000"));
  }

  // A fresh OUT holding an old set: every target, with bytes no run writes.
  std::map<std::string, std::string> old_set() {
    fs::remove_all(out_);
    fs::create_directory(out_);
    for (const Target& t : GetParam().targets) {
      write_bytes(out_ / t.name, "old " + t.name + std::string("\0\r\n\xFF", 4));
    }
    return snapshot(out_);
  }

  Outcome run(rlim_t file_size_limit = 0) {
    std::vector<std::string> args = GetParam().args;
    for (std::string& a : args) {
      if (a == "OUT") a = out_.string();
    }
    return sb::test::run_program(args, tmp_.path(), file_size_limit);
  }

  // The run failed with `err` and OUT holds the old set exactly: the same
  // names (nothing temporary beside them) and the same bytes.
  void expect_old_set_kept(const Outcome& o, const std::string& err, const std::map<std::string, std::string>& old) {
    EXPECT_EQ(o.status, 4);
    EXPECT_EQ(o.err, err);
    EXPECT_EQ(o.out, "");
    std::set<std::string> old_names;
    for (const auto& [name, bytes] : old) old_names.insert(name);
    std::set<std::string> now = names_in(out_);
    EXPECT_EQ(now, old_names);
    EXPECT_TRUE(snapshot(out_) == old) << "the old set changed";
  }

  // What the run prints when it meets `problem` after reading: what it
  // recorded, then the one line.
  std::string failure(const std::string& problem) const {
    return GetParam().diagnostics + "scenario-builder: error: " + problem + "\n";
  }

  std::string target_path(const std::string& name) const { return (out_ / name).string(); }

  sb::test::TempDir tmp_{"sb_output_set_"};
  fs::path src_, out_;
};

TEST_P(OutputSetFaults, SuccessReplacesTheWholeSet) {
  const auto old = old_set();
  Outcome o = run();
  EXPECT_LE(o.status, 1) << o.err;
  EXPECT_EQ(names_in(out_), GetParam().written);
  for (const auto& [name, bytes] : snapshot(out_)) EXPECT_NE(bytes, old.at(name)) << name;
}

TEST_P(OutputSetFaults, DirectoryInPlaceOfEachTarget) {
  for (const Target& t : GetParam().targets) {
    SCOPED_TRACE(t.name);
    old_set();
    fs::remove(out_ / t.name);
    fs::create_directory(out_ / t.name);
    write_bytes(out_ / t.name / "inside", "x");
    const auto old = snapshot(out_);
    Outcome o = run();
    auto with_directory = old;
    with_directory[t.name];  // names_in lists the directory too
    std::set<std::string> expected;
    for (const auto& [name, bytes] : with_directory) expected.insert(name);
    EXPECT_EQ(o.status, 4);
    EXPECT_EQ(o.err, failure("cannot " + std::string(t.verb) + " " + target_path(t.name) + ": Is a directory"));
    EXPECT_EQ(names_in(out_), expected);
    EXPECT_TRUE(snapshot(out_) == old) << "the old set changed";
    EXPECT_EQ(read_bytes(out_ / t.name / "inside"), "x");
  }
}

TEST_P(OutputSetFaults, ImmutableFileInPlaceOfEachTarget) {
  for (const Target& t : GetParam().targets) {
    SCOPED_TRACE(t.name);
    const auto old = old_set();
    const sb::test::ImmutableFile immutable(out_ / t.name);
    if (!immutable.problem().empty()) GTEST_SKIP() << "no immutable files here: " << immutable.problem();
    expect_old_set_kept(
        run(), failure("cannot " + std::string(t.verb) + " " + target_path(t.name) + ": Operation not permitted"), old);
  }
}

TEST_P(OutputSetFaults, FileSizeLimitWhileWriting) {
  const auto old = old_set();
  expect_old_set_kept(run(GetParam().file_size_limit),
                      failure("cannot write " + target_path(GetParam().limited) + ": File too large"), old);
}

TEST_P(OutputSetFaults, ReadOnlyDirectory) {
  if (!sb::test::directory_permissions_apply(tmp_.path())) {
    GTEST_SKIP() << "directory permissions do not stop this process (root or CAP_DAC_OVERRIDE)";
  }
  const auto old = old_set();
  ::chmod(out_.c_str(), 0555);
  Outcome o = run();
  ::chmod(out_.c_str(), 0755);
  // The directory is refused before anything is read.
  expect_old_set_kept(
      o, "scenario-builder: error: cannot write into directory " + out_.string() + ": Permission denied\n", old);
}

INSTANTIATE_TEST_SUITE_P(Runs, OutputSetFaults, ::testing::ValuesIn(kRuns),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
