// The compile command, driven through the real executable on small
// description files.
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
const std::string kNotWritten = "scenario-builder: 1 error; no compiled file was written (--force writes them anyway)\n";

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

// One fault per family: the exact diagnostic, no compiled file without
// --force, all three with it.
struct Fault {
  const char* name;
  std::string file;  // which source copy to edit
  std::string old, replacement;
  std::string diagnostic;
};

class CompileFaults : public CompileTest, public ::testing::WithParamInterface<Fault> {};

TEST_P(CompileFaults, PrintsDiagnosticAndWritesOnlyWithForce) {
  const Fault& f = GetParam();
  edit(f.file, f.old, f.replacement);

  Outcome o = compile_prova();
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.err, f.diagnostic + "\n" + kNotWritten);
  EXPECT_TRUE(listing(out_).empty());

  o = compile_prova({"--force"});
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.err, f.diagnostic + "\n");
  EXPECT_EQ(listing(out_), kCompiled);
}

INSTANTIATE_TEST_SUITE_P(
    Compile, CompileFaults,
    ::testing::Values(
        Fault{"BoardOnTakenCell", kLine, "[fine]", "cartello_indicatore,  1310,     (X)\r\n[fine]",
              "Prova_linea.txt:22: error 6: line board at 1310 m falls into cell 27, already taken by the board "
              "at 1300 m"},
        Fault{"PositionBeyondLastCell", kLine, "pendenza,  2200", "pendenza,  9950",
              "Prova_linea.txt:15: error 15: gradient at 9950 m lies beyond the last track cell 200 (positions up "
              "to 9900 m are accepted)"},
        Fault{"CurveWithoutClass", kLine, "curvas4", "curvas7",
              "Prova_linea.txt:12: error 103: curve keyword has no curvature class digit 1 to 6"},
        Fault{"StationNotOnMultipleOf50", kTrain, "stazione,  2500", "stazione,  2510",
              "Prova_100-.txt:13: error 8: station position 2510 m is not a multiple of 50"},
        Fault{"StationsTooClose", kTrain, "stazione,  2500", "stazione,  600",
              "Prova_100-.txt:13: error 22: station at 600 m starts at 300 m, less than 350 m after the previous "
              "station ends at 300 m"},
        Fault{"SignalOnTakenCell", kTrain, "segnale,  2000", "segnale,  1300",
              "Prova_100-.txt:17: error 16: signal at 1300 m falls into cell 27, already taken by the board at "
              "1300 m"},
        Fault{"ReadingFailure", kTrain, "sabbia,  300", "sabbia,  40000",
              "Prova_100-.txt:4: error 25: reading failure: value 40000 does not fit a 16-bit field"},
        // The slowdown at 1800 m starts in cell 37; cells 30 to 32 hold
        // abbattimento marks without a value, which the completion cannot use.
        Fault{"CompletionWindowFull", kTrain, "[segnali]",
              "abbattimento,  1500,  0\r\nabbattimento,  1550,  0\r\nabbattimento,  1600,  0\r\n[segnali]",
              "Prova_100-.txt:15: error 12: no free cell for the automatic abbattimento 250 to 350 m before the "
              "slowdown at 1800 m (cell 37): cells 32 (the abbattimento at 1600 m, Prova_100-.txt:18), 31 (the "
              "abbattimento at 1550 m, Prova_100-.txt:17) and 30 (the abbattimento at 1500 m, Prova_100-.txt:16) "
              "are taken"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CompileTest, FatalCheckWritesNothingEvenWithForce) {
  // A line board at 0 m falls into cell 1, the place of a format marker.
  edit(kLine, "[fine]", "cartello_indicatore,  0,     (X)\r\n[fine]");
  for (const auto& extra : {std::vector<std::string>{}, std::vector<std::string>{"--force"}}) {
    Outcome o = compile_prova(extra);
    EXPECT_EQ(o.status, 3);
    EXPECT_EQ(o.err,
              "Prova_linea.txt:22: warning: `cartello_indicatore` at 0 m comes after one at 1300 m (line 21): "
              "records of one kind are read in rising position order [-Wposition-order]\n"
              " Errore n. 1250\n"
              "scenario-builder: error 1250 means: an element near the start of the line fell into track cell 1, "
              "where the format marker goes; place the first elements at 100 m or more; no compiled file was "
              "written\n");
    EXPECT_TRUE(listing(out_).empty());
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

// Route and train from the names or the options, and the usage error.
struct Naming {
  const char* name;
  std::string line_name, train_name;
  std::vector<std::string> options;
  int status;
  std::string err;
  std::vector<std::string> written;
};

class CompileNaming : public CompileTest, public ::testing::WithParamInterface<Naming> {};

TEST_P(CompileNaming, DerivesOrTakesTheNames) {
  const Naming& n = GetParam();
  if (n.line_name != kLine) fs::rename(src_ + "/" + kLine, src_ + "/" + n.line_name);
  if (n.train_name != kTrain) fs::rename(src_ + "/" + kTrain, src_ + "/" + n.train_name);
  std::vector<std::string> args = {n.line_name, n.train_name, "--out", out_};
  args.insert(args.end(), n.options.begin(), n.options.end());
  Outcome o = compile(args);
  EXPECT_EQ(o.status, n.status);
  EXPECT_EQ(o.err, n.err);
  EXPECT_EQ(listing(out_), n.written);
}

const std::string kUsageRoute = "scenario-builder: cannot derive the route name from ";
const std::string kUsageTrain = "scenario-builder: cannot derive the train number from ";

INSTANTIATE_TEST_SUITE_P(
    Compile, CompileNaming,
    ::testing::Values(
        Naming{"FromFileNames", kLine, kTrain, {}, 0, "", {"Prova_100.dat", "Prova_100.sim", "Prova_linea.dat"}},
        Naming{"OptionsOverrideNames", kLine, kTrain, {"--route", "Altra", "--train", "7"}, 0, "",
               {"Altra_7.dat", "Altra_7.sim", "Altra_linea.dat"}},
        Naming{"RouteOptionLetsTrainBeDerived", "linea.txt", "Altra_7-.txt", {"--route", "Altra"}, 0, "",
               {"Altra_7.dat", "Altra_7.sim", "Altra_linea.dat"}},
        Naming{"OptionsForAnyFileNames", "a.txt", "b.txt", {"--route", "Altra", "--train", "7"}, 0, "",
               {"Altra_7.dat", "Altra_7.sim", "Altra_linea.dat"}},
        Naming{"RouteNotDerivable", "linea.txt", kTrain, {}, 2,
               kUsageRoute + "linea.txt (expected ROUTE_linea.txt); give it with --route\n", {}},
        Naming{"EmptyRoute", "_linea.txt", kTrain, {}, 2,
               kUsageRoute + "_linea.txt (expected ROUTE_linea.txt); give it with --route\n", {}},
        Naming{"TrainNotDerivable", kLine, "treno.txt", {}, 2,
               kUsageTrain + "treno.txt (expected Prova_TRAIN-.txt); give it with --train\n", {}},
        Naming{"TrainOfAnotherRoute", kLine, "Altra_100-.txt", {}, 2,
               kUsageTrain + "Altra_100-.txt (expected Prova_TRAIN-.txt); give it with --train\n", {}},
        Naming{"EmptyTrain", kLine, "Prova_-.txt", {}, 2,
               kUsageTrain + "Prova_-.txt (expected Prova_TRAIN-.txt); give it with --train\n", {}},
        Naming{"RouteWithoutWindows1252Byte", kLine, kTrain, {"--route", "Linea\xE4\xB8\xAD", "--train", "7"}, 2,
               "scenario-builder: route name \"Linea\xE4\xB8\xAD\" cannot be stored in the compiled files: the "
               "character \"\xE4\xB8\xAD\" (U+4E2D) has no Windows-1252 byte\n",
               {}},
        Naming{"TrainThatIsNoUtf8", kLine, kTrain, {"--train", "7\xE0"}, 2,
               "scenario-builder: train number \"7\xE0\" cannot be stored in the compiled files: invalid UTF-8 "
               "byte 0xE0 at byte 2\n",
               {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CompileTest, NamesFromOptionsEnterTheScenarioTable) {
  ASSERT_EQ(compile_prova({"--route", "Altra", "--train", "7"}).status, 0);
  const std::string table = read_bytes(out_ + "/Altra_7.sim");
  EXPECT_NE(table.find(std::string("\x05\x00" "Altra", 7)), std::string::npos);
  EXPECT_NE(table.find(std::string("\x01\x00" "7", 3)), std::string::npos);
  EXPECT_EQ(table.find("Prova"), std::string::npos);
}

// Names arrive as UTF-8 and are stored as Windows-1252, one byte each; the
// check codes are summed over those bytes. File names keep the UTF-8 form.
TEST_F(CompileTest, AccentedRouteIsStoredInWindows1252) {
  ASSERT_EQ(compile_prova({"--route", "Citt\xC3\xA0", "--train", "100"}).status, 0);
  EXPECT_EQ(listing(out_), (std::vector<std::string>{"Citt\xC3\xA0_100.dat", "Citt\xC3\xA0_100.sim",
                                                     "Citt\xC3\xA0_linea.dat"}));
  const std::string table = read_bytes(out_ + "/Citt\xC3\xA0_100.sim");
  // Walk to slot 85: each slot is 34 bytes plus its text.
  std::size_t at = 0;
  for (int slot = 0; slot < 85; ++slot) {
    ASSERT_LT(at + 16, table.size());
    at += 34 + (static_cast<unsigned char>(table[at + 14]) | static_cast<unsigned char>(table[at + 15]) << 8);
  }
  EXPECT_EQ(table.substr(at + 14, 2 + 5), std::string("\x05\x00" "Citt\xE0", 7));
  // Route check code over "100citt\xE0" + filler: 33835 = 0x842B.
  EXPECT_EQ(table.substr(at + 16 + 5 + 14, 4), std::string("\x2B\x84\x00\x00", 4));
  const std::string cells = read_bytes(out_ + "/Citt\xC3\xA0_100.dat");
  // Cell 1: marker 5121, then the cell check code 2518 = 0x09D6.
  EXPECT_EQ(cells.substr(15 + 1, 4), std::string("\x01\x14\xD6\x09", 4));
}

// Unreadable inputs and unusable outputs: one line, status 4, nothing written.
struct FileFailure {
  const char* name;
  std::vector<std::string> args;
  std::string err;
};

class CompileFileFailures : public CompileTest, public ::testing::WithParamInterface<FileFailure> {};

TEST_P(CompileFileFailures, ExitsWithOneLine) {
  const FileFailure& f = GetParam();
  std::vector<std::string> args = f.args;
  for (std::string& a : args) {
    if (a == "OUT") a = out_;
  }
  Outcome o = compile(args);
  EXPECT_EQ(o.status, 4);
  EXPECT_EQ(o.err, f.err);
  EXPECT_TRUE(listing(out_).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Compile, CompileFileFailures,
    ::testing::Values(
        FileFailure{"MissingLineFile",
                    {"Manca_linea.txt", "Manca_1-.txt", "--out", "OUT"},
                    "scenario-builder: cannot read Manca_linea.txt: No such file or directory\n"},
        FileFailure{"MissingTrainFile",
                    {kLine, "Prova_1-.txt", "--out", "OUT"},
                    "scenario-builder: cannot read Prova_1-.txt: No such file or directory\n"},
        FileFailure{"MissingOutputDirectory",
                    {kLine, kTrain, "--out", "nowhere"},
                    "scenario-builder: cannot use directory nowhere: No such file or directory\n"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
