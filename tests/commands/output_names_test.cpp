// Names that would make one output overwrite another output or an input,
// or make hidden files or names with control characters, are a usage error
// found before anything is read or written.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "commands/output_names.h"
#include "support/test_files.h"

namespace {

namespace fs = std::filesystem;

using sb::test::names_in;
using sb::test::Outcome;
using sb::test::snapshot;

// The checks on the names alone.
struct NameCase {
  const char* name;
  std::string route, train;
  bool plan;
  std::string problem;  // "" when the names are accepted
};

class NameChecks : public ::testing::TestWithParam<NameCase> {};

TEST_P(NameChecks, RefuseWhatWouldCollideOrHide) {
  const NameCase& c = GetParam();
  const sb::ScenarioFiles files{"out", c.route, c.train};
  EXPECT_EQ(sb::output_name_problem(c.route, c.train, sb::compiled_outputs(files, c.plan), {}), c.problem);
}

INSTANTIATE_TEST_SUITE_P(
    Names, NameChecks,
    ::testing::Values(
        NameCase{"Accepted", "Esempio", "7", true, ""},
        NameCase{"TrainMayStartWithADot", "R", ".7", true, ""},
        NameCase{"LineaTrainWithoutPlanCollidesWithNothing", "R", "linea", false, ""},
        NameCase{"TrainLineaMakesTrackCellsTheLinePlan", "R", "linea", true,
                 "the line plan file and the track cell file would both be \"out/R_linea.dat\" (route name "
                 "\"R\", train number \"linea\")"},
        NameCase{"EmptyRoute", "", "7", true, "the route name is empty"},
        NameCase{"EmptyTrain", "R", "", true, "the train number is empty"},
        NameCase{"HiddenRoute", ".R", "7", true,
                 "the route name \".R\" starts with \".\": every file of the scenario would be hidden"},
        NameCase{"DotRoute", ".", "7", true,
                 "the route name \".\" starts with \".\": every file of the scenario would be hidden"},
        NameCase{"NewlineInRoute", "R\nX", "7", true,
                 "the route name \"R\\x0AX\" contains the control character 0x0A"},
        NameCase{"EscapeInTrain", "R", "\x1B[2J", true,
                 "the train number \"\\x1B[2J\" contains the control character 0x1B"},
        NameCase{"DeleteInTrain", "R", "7\x7F", true,
                 "the train number \"7\\x7F\" contains the control character 0x7F"},
        NameCase{"SlashInTrain", "R", "a/b", true, "the train number \"a/b\" contains \"/\""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(NameChecks, BuiltinNamesAreAccepted) {
  const sb::ScenarioFiles files{"out", "ValdraPCal-Dorvesa", "24317"};
  EXPECT_EQ(sb::output_name_problem(files.route, files.train, sb::builtin_outputs(files), {}), "");
  EXPECT_EQ(sb::builtin_outputs(files).size(), 8u);
}

// Through the program: the refusal comes before any read, so inputs that
// do not exist and a missing output directory change nothing about it.
struct CommandCase {
  const char* name;
  std::vector<std::string> options;
  std::string err;
};

class RefusedNames : public ::testing::TestWithParam<CommandCase> {};

TEST_P(RefusedNames, BeforeAnythingIsRead) {
  const sb::test::TempDir tmp("sb_names_");
  ASSERT_TRUE(tmp.created());
  std::vector<std::string> args = {"compile", "Manca_linea.txt", "Manca_7-.txt", "--out", "nowhere"};
  args.insert(args.end(), GetParam().options.begin(), GetParam().options.end());
  Outcome o = sb::test::run_program(args, tmp.path());
  EXPECT_EQ(o.status, 2);
  EXPECT_EQ(o.err, "scenario-builder: " + GetParam().err + "\n");
  EXPECT_EQ(o.out, "");
  EXPECT_TRUE(names_in(tmp.path()).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Names, RefusedNames,
    ::testing::Values(
        CommandCase{"TrainLinea",
                    {"--train", "linea"},
                    "the line plan file and the track cell file would both be \"nowhere/Manca_linea.dat\" (route "
                    "name \"Manca\", train number \"linea\")"},
        CommandCase{"HiddenRoute",
                    {"--route", ".Manca", "--train", "7"},
                    "the route name \".Manca\" starts with \".\": every file of the scenario would be hidden"},
        CommandCase{"TabInTrain", {"--train", "7\t8"}, "the train number \"7\\x098\" contains the control character 0x09"}),
    [](const auto& info) { return std::string(info.param.name); });

// An output that is one of the inputs, by whatever path: the inputs stay
// as they were and nothing is written.
struct SameFileCase {
  const char* name;
  // Prepares SRC (inputs Prova_linea.txt and X_7.dat, a train file) and
  // OUT, and returns the --out argument.
  std::string (*prepare)(const fs::path& src, const fs::path& out);
  std::string output;  // the output named in the message, under the --out argument
  std::string input;   // the input it would overwrite
};

class OutputIsAnInput : public ::testing::TestWithParam<SameFileCase> {};

TEST_P(OutputIsAnInput, IsRefused) {
  const SameFileCase& c = GetParam();
  const sb::test::TempDir tmp("sb_names_");
  ASSERT_TRUE(tmp.created());
  const fs::path src = tmp.path() / "src", out = tmp.path() / "out";
  fs::create_directories(src / "sub");
  fs::create_directories(out);
  fs::copy_file(std::string(SB_FIXTURE_DIR) + "/Prova_linea.txt", src / "Prova_linea.txt");
  fs::copy_file(std::string(SB_FIXTURE_DIR) + "/Prova_100-.txt", src / "X_7.dat");
  const std::string out_arg = c.prepare(src, out);
  const auto inputs_before = snapshot(src);
  const auto out_before = names_in(out);

  Outcome o = sb::test::run_program(
      {"compile", "Prova_linea.txt", "X_7.dat", "--route", "X", "--train", "7", "--out", out_arg}, src);
  EXPECT_EQ(o.status, 2);
  EXPECT_EQ(o.err, "scenario-builder: the " + c.output + " \"" + out_arg + "/" +
                       (c.output == "track cell file" ? "X_7.dat" : "X_7.sim") +
                       "\" would overwrite the input file \"" + c.input + "\"\n");
  EXPECT_TRUE(snapshot(src) == inputs_before) << "an input changed";
  EXPECT_EQ(names_in(out), out_before);
}

INSTANTIATE_TEST_SUITE_P(
    Names, OutputIsAnInput,
    ::testing::Values(
        SameFileCase{"SameDirectory", [](const fs::path&, const fs::path&) { return std::string("."); },
                     "track cell file", "X_7.dat"},
        SameFileCase{"ThroughDotDot", [](const fs::path&, const fs::path&) { return std::string("sub/.."); },
                     "track cell file", "X_7.dat"},
        SameFileCase{"ThroughSymlink",
                     [](const fs::path& src, const fs::path& out) {
                       fs::create_symlink(src / "X_7.dat", out / "X_7.dat");
                       return out.string();
                     },
                     "track cell file", "X_7.dat"},
        SameFileCase{"HardLinkToTheLineFile",
                     [](const fs::path& src, const fs::path& out) {
                       fs::create_hard_link(src / "Prova_linea.txt", out / "X_7.sim");
                       return out.string();
                     },
                     "scenario table file", "Prova_linea.txt"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
