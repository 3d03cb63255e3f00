// Runs that are interrupted, killed or raced: the directory always ends
// with one whole set, the old one or the new one, and no temporary file.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/background_program.h"
#include "support/test_files.h"

namespace {

namespace fs = std::filesystem;
using sb::test::Outcome;
using sb::test::snapshot;
using ::testing::HasSubstr;

const std::string kExample = SB_EXAMPLE_DIR;

// Sets the test hook for the runs started while it lives.
class RaiseAt {
 public:
  explicit RaiseAt(const std::string& request) { ::setenv("SB_TEST_RAISE", request.c_str(), 1); }
  ~RaiseAt() { ::unsetenv("SB_TEST_RAISE"); }
};

// Two versions of one scenario (route Esempio, train 7) whose three
// compiled files all differ: the example, and the example 1 km longer.
class TwoVersions : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(tmp_.created());
    fs::create_directories(dir("a"));
    fs::create_directories(dir("b"));
    fs::create_directories(dir("out"));
    fs::copy_file(kExample + "/Esempio_linea.txt", dir("a") / "Esempio_linea.txt");
    fs::copy_file(kExample + "/Esempio_7-.txt", dir("a") / "Esempio_7-.txt");
    std::string line = sb::test::read_bytes(kExample + "/Esempio_linea.txt");
    const std::string length = "lunghezza percorso,  12000";
    line.replace(line.find(length), length.size(), "lunghezza percorso,  13000");
    sb::test::write_bytes(dir("b") / "Esempio_linea.txt", line);
    fs::copy_file(kExample + "/Esempio_7-.txt", dir("b") / "Esempio_7-.txt");
    for (const char* v : {"a", "b"}) {
      fs::create_directories(dir(std::string("set_") + v));
      ASSERT_EQ(compile(v, std::string("set_") + v).status, 0);
      sets_[v] = snapshot(dir(std::string("set_") + v));
    }
    ASSERT_NE(sets_["a"], sets_["b"]);
  }

  fs::path dir(const std::string& name) const { return tmp_.path() / name; }

  Outcome compile(const std::string& version, const std::string& out = "out",
                  const std::vector<std::string>& extra = {}) const {
    std::vector<std::string> args = {"compile", version + "/Esempio_linea.txt", version + "/Esempio_7-.txt", "--out",
                                     out};
    args.insert(args.end(), extra.begin(), extra.end());
    return sb::test::run_program(args, tmp_.path());
  }

  // "a", "b", or a description of what else the output directory holds.
  std::string out_state() const {
    const auto now = snapshot(dir("out"));
    for (const auto& [name, set] : sets_) {
      if (now == set) return name;
    }
    std::string names;
    for (const auto& [name, bytes] : now) names += name + " ";
    return "a mixed or unfinished set: " + names;
  }

  sb::test::TempDir tmp_{"sb_interrupts_"};
  std::map<std::string, std::map<std::string, std::string>> sets_;
};

struct InterruptCase {
  const char* name;
  const char* request;  // SB_TEST_RAISE
  int status;
  const char* message;
  const char* left;  // the set the directory holds afterwards
};

void PrintTo(const InterruptCase& c, std::ostream* out) { *out << c.name; }

class Interrupts : public TwoVersions, public ::testing::WithParamInterface<InterruptCase> {};

TEST_P(Interrupts, LeaveOneWholeSetAndNoTemporaryFile) {
  const InterruptCase& c = GetParam();
  ASSERT_EQ(compile("a").status, 0);
  Outcome o;
  {
    const RaiseAt raise(c.request);
    o = compile("b");
  }
  EXPECT_EQ(o.status, c.status);
  EXPECT_THAT(o.err, HasSubstr(c.message));
  EXPECT_EQ(out_state(), c.left);
}

INSTANTIATE_TEST_SUITE_P(Moments, Interrupts,
                         ::testing::Values(InterruptCase{"IntRightAfterATemporaryFileIsMade", "INT@created:1", 130,
                                                         "interrupted (SIGINT): temporary files removed", "a"},
                                           InterruptCase{"TermRightAfterTheThirdIsMade", "TERM@created:3", 143,
                                                         "terminated (SIGTERM): temporary files removed", "a"},
                                           InterruptCase{"IntWhileThePlanIsWritten", "INT@output:1", 130,
                                                         "interrupted (SIGINT): temporary files removed", "a"},
                                           InterruptCase{"TermWhileTheTableIsWritten", "TERM@output:2", 143,
                                                         "terminated (SIGTERM): temporary files removed", "a"},
                                           InterruptCase{"IntWithEveryOutputWritten", "INT@output:3", 130,
                                                         "interrupted (SIGINT)", "a"},
                                           InterruptCase{"IntBetweenRenamesWaitsForTheSet", "INT@rename:2", 130,
                                                         "the replacement under way was finished first", "b"},
                                           InterruptCase{"TermBeforeTheLastRename", "TERM@rename:3", 143,
                                                         "the replacement under way was finished first", "b"}),
                         [](const auto& info) { return std::string(info.param.name); });

// SIGKILL between renames leaves a journal: reading commands refuse the
// set, and the next run (or recover) puts the new set in place.
class Killed : public TwoVersions, public ::testing::WithParamInterface<int> {};

TEST_P(Killed, BetweenRenamesIsFinishedByTheNextRun) {
  ASSERT_EQ(compile("a").status, 0);
  {
    const RaiseAt raise("KILL@rename:" + std::to_string(GetParam()));
    EXPECT_EQ(compile("b").status, 128 + SIGKILL);
  }
  ASSERT_TRUE(fs::exists(dir("out") / ".scenario-builder-commit"));
  const Outcome listed = sb::test::run_program({"inspect", "out/Esempio_7.sim"}, tmp_.path());
  EXPECT_EQ(listed.status, 1);
  EXPECT_EQ(listed.err,
            "scenario-builder: error: out holds files that a killed run was replacing: they may be part old, part "
            "new; run 'scenario-builder recover out' to finish the replacement first\n");
  EXPECT_EQ(
      sb::test::run_program({"view", "--compiled", "out", "--route", "Esempio", "--train", "7"}, tmp_.path()).status,
      1);

  const Outcome recovered = sb::test::run_program({"recover", "out"}, tmp_.path());
  EXPECT_EQ(recovered.status, 0) << recovered.err;
  EXPECT_THAT(recovered.out, HasSubstr("finished the replacement a killed run had begun in out"));
  EXPECT_EQ(out_state(), "b");
}

TEST_P(Killed, TheNextCompileFinishesItFirstAndSaysSo) {
  ASSERT_EQ(compile("b").status, 0);
  {
    const RaiseAt raise("KILL@rename:" + std::to_string(GetParam()));
    EXPECT_EQ(compile("a").status, 128 + SIGKILL);
  }
  const Outcome next = compile("b");
  EXPECT_EQ(next.status, 0);
  EXPECT_THAT(next.err, HasSubstr("that an interrupted run had begun"));
  EXPECT_EQ(out_state(), "b");
}

INSTANTIATE_TEST_SUITE_P(Renames, Killed, ::testing::Values(1, 2, 3),
                         [](const auto& info) { return "AtRename" + std::to_string(info.param); });

// Two compiles of the same train into one directory at the same moment,
// many rounds: each ends with one whole set.
TEST_F(TwoVersions, RacingRunsNeverMixTheirSets) {
  constexpr int kRounds = 40;
  int mixed = 0;
  for (int round = 0; round < kRounds; ++round) {
    Outcome first, second;
    std::thread a([&] { first = compile("a"); });
    std::thread b([&] { second = compile("b"); });
    a.join();
    b.join();
    EXPECT_EQ(first.status, 0) << first.err;
    EXPECT_EQ(second.status, 0) << second.err;
    const std::string state = out_state();
    if (state != "a" && state != "b") {
      ++mixed;
      ADD_FAILURE() << "round " << round << ": " << state;
    }
  }
  EXPECT_EQ(mixed, 0);
}

// A run that finds the directory taken waits for it, or with --no-wait
// refuses (status 4).
TEST_F(TwoVersions, ASecondRunWaitsOrRefusesWithNoWait) {
  const int held = ::open(dir("out").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(held, 0);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);

  const Outcome refused = compile("a", "out", {"--no-wait"});
  EXPECT_EQ(refused.status, 4);
  EXPECT_EQ(refused.err, "scenario-builder: error: another run is writing into out; not waiting for it (--no-wait)\n");
  EXPECT_TRUE(snapshot(dir("out")).empty());

  Outcome waited;
  std::thread run([&] { waited = compile("a"); });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_TRUE(snapshot(dir("out")).empty()) << "the run did not wait";
  ::close(held);
  run.join();
  EXPECT_EQ(waited.status, 0);
  EXPECT_EQ(waited.err, "scenario-builder: waiting for another run that writes into out\n");
  EXPECT_EQ(out_state(), "a");
}

// Temporary files of the run's own targets that a killed run left go;
// other files that look alike (a user's own backup among them) stay.
TEST_F(TwoVersions, StaleTemporaryFilesOfTheTargetsAreRemoved) {
  for (const char* name : {"Esempio_7.sim.sbtmp-AbC123", "Esempio_linea.dat.sbtmp-zzzzzz", "notes.txt.sbtmp-AbC123",
                           "Esempio_7.sim.sbtmp-toolong1", "Esempio_7.dat.tmp-backup", "Esempio_7.sim.tmp-AbC123"}) {
    sb::test::write_bytes(dir("out") / name, "left over");
  }
  const Outcome o = compile("a");
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.err, "scenario-builder: removed 2 temporary files that an interrupted run had left\n");
  EXPECT_EQ(
      sb::test::names_in(dir("out")),
      (std::set<std::string>{"Esempio_7.dat", "Esempio_7.sim", "Esempio_linea.dat", "notes.txt.sbtmp-AbC123",
                             "Esempio_7.sim.sbtmp-toolong1", "Esempio_7.dat.tmp-backup", "Esempio_7.sim.tmp-AbC123"}));
}

}  // namespace

namespace {

// Inputs that are not regular files are refused at once, never read until
// memory runs out and never waited for.
struct OddInputCase {
  const char* name;
  std::vector<std::string> args;  // "IN" stands for the odd file
  int status;
};

void PrintTo(const OddInputCase& c, std::ostream* out) { *out << c.name; }

class OddInputs : public ::testing::TestWithParam<OddInputCase> {};

TEST_P(OddInputs, AreRefusedWithoutWaiting) {
  const sb::test::TempDir tmp("sb_odd_inputs_");
  ASSERT_TRUE(tmp.created());
  const fs::path fifo = tmp.path() / "X_7.sim";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  fs::create_symlink("/dev/zero", tmp.path() / "Z_linea.dat");
  fs::create_symlink("/dev/urandom", tmp.path() / "Z_linea.txt");
  for (const char* kind : {"FIFO", "device"}) {
    std::vector<std::string> args = GetParam().args;
    for (std::string& a : args) {
      if (a == "IN") a = std::string(kind) == std::string("FIFO") ? "X_7.sim" : "Z_linea.dat";
      if (a == "TEXT") a = std::string(kind) == std::string("FIFO") ? "X_7.sim" : "Z_linea.txt";
    }
    const Outcome o = sb::test::run_program(args, tmp.path());
    EXPECT_EQ(o.status, GetParam().status) << kind << ": " << o.err;
    EXPECT_THAT(o.err, HasSubstr(std::string("it is a ") + kind + ", not a regular file")) << kind;
    EXPECT_LT(o.seconds, 5.0) << kind;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Commands, OddInputs,
    ::testing::Values(OddInputCase{"Inspect", {"inspect", "IN", "--kind", "table"}, 1},
                      OddInputCase{"Diff", {"diff", "IN", "IN"}, 2},
                      OddInputCase{"ViewCompiled", {"view", "--compiled", "IN", "-o", "page.html"}, 1},
                      OddInputCase{"Compile", {"compile", "TEXT", "E_7-.txt", "--route", "E", "--train", "7"}, 4},
                      OddInputCase{"Check", {"check", "TEXT", "E_7-.txt"}, 4}),
    [](const auto& info) { return std::string(info.param.name); });

// Standard output that cannot be written is a failure with a message; a
// reader that went away ends the listing quietly.
TEST(StandardOutput, AFullDeviceIsStatusFourAndAClosedPipeIsQuiet) {
  const sb::test::TempDir tmp("sb_stdout_");
  ASSERT_TRUE(tmp.created());
  ASSERT_EQ(sb::test::run_program({"--dir", tmp.path().string()}).status, 0);
  const std::string plan = (tmp.path() / "ValdraPCal-Dorvesa_linea.dat").string();
  const std::string program = SB_EXECUTABLE;

  const int full = std::system(
      ("'" + program + "' inspect --all '" + plan + "' >/dev/full 2>'" + (tmp.path() / "err").string() + "'").c_str());
  EXPECT_EQ(WEXITSTATUS(full), 4);
  EXPECT_EQ(sb::test::read_bytes(tmp.path() / "err"),
            "scenario-builder: error: cannot write standard output: No space left on device\n");

  const std::string piped = "set -o pipefail; '" + program + "' inspect --all '" + plan + "' 2>'" +
                            (tmp.path() / "err").string() + "' | head -c 10 >/dev/null";
  const int closed = std::system(("bash -c \"" + piped + "\"").c_str());
  EXPECT_TRUE(WEXITSTATUS(closed) == 0 || WEXITSTATUS(closed) == 128 + SIGPIPE) << WEXITSTATUS(closed);
  EXPECT_EQ(sb::test::read_bytes(tmp.path() / "err"), "");
}

}  // namespace

namespace {

// Memory that runs out is a failure with a message (status 4), never an
// internal error. The address-space limit is not usable under the
// sanitizers, which reserve far more.
TEST(OutOfMemory, IsStatusFourWithAMessage) {
  if (!sb::test::kMemoryMeasured) GTEST_SKIP() << "the sanitizers' shadow memory needs more address space";
  const sb::test::TempDir tmp("sb_memory_");
  ASSERT_TRUE(tmp.created());
  const fs::path line = tmp.path() / "Big_linea.txt";
  sb::test::write_bytes(line, "");
  fs::resize_file(line, uintmax_t{600} << 20);  // sparse
  sb::test::write_bytes(tmp.path() / "Big_1-.txt", "[generale]\r\n[fine]\r\n");
  const std::string command =
      "ulimit -v 262144; exec '" + std::string(SB_EXECUTABLE) + "' check Big_linea.txt Big_1-.txt 2>err";
  const int status = std::system(("cd '" + tmp.path().string() + "' && bash -c \"" + command + "\"").c_str());
  EXPECT_EQ(WEXITSTATUS(status), 4);
  EXPECT_EQ(sb::test::read_bytes(tmp.path() / "err"),
            "scenario-builder: error: out of memory: the input is larger than this machine can hold\n");
}

}  // namespace

namespace {

// Two decompiles into one directory at once, both started while the
// directory is taken so that both find it free of descriptions: the one
// that gets the directory second finds the other's files under the lock
// and refuses (status 2), as it would have had it come later.
TEST_F(TwoVersions, RacingDecompilesReplaceNoDescription) {
  fs::create_directories(dir("d"));
  const int held = ::open(dir("d").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(held, 0);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);
  const std::vector<std::string> args = {"decompile", "set_a", "--route", "Esempio", "--train", "7", "--out", "d"};
  sb::test::Background first(args, tmp_.path()), second(args, tmp_.path());
  const std::string waiting = "waiting for another run that writes into d";
  EXPECT_NE(first.line_matching(waiting), "");
  EXPECT_NE(second.line_matching(waiting), "");
  ::close(held);
  const int statuses[] = {first.wait(), second.wait()};
  const std::string& refused = statuses[0] == 0 ? second.seen : first.seen;
  EXPECT_EQ(std::min(statuses[0], statuses[1]), 0) << first.seen << second.seen;
  EXPECT_EQ(std::max(statuses[0], statuses[1]), 2) << first.seen << second.seen;
  EXPECT_THAT(refused, HasSubstr("scenario-builder: error: d/Esempio_linea.txt is already there: decompile does not "
                                 "replace a description file unless --force\n"));
  EXPECT_EQ(sb::test::names_in(dir("d")), (std::set<std::string>{"Esempio_linea.txt", "Esempio_7-.txt"}));
}

}  // namespace
