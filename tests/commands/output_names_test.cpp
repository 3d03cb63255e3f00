// Names that would make one output overwrite another output or an input,
// or make hidden files or names with control characters, are a usage error
// found before anything is read or written; so are names Windows cannot
// hold.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string>
#include <utility>
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

void PrintTo(const NameCase& c, std::ostream* out) { *out << c.name; }

class NameChecks : public ::testing::TestWithParam<NameCase> {};

TEST_P(NameChecks, RefuseWhatWouldCollideOrHide) {
  const NameCase& c = GetParam();
  const sb::ScenarioFiles files{"out", c.route, c.train};
  EXPECT_EQ(sb::output_name_problem(c.route, c.train, sb::compiled_outputs(files, c.plan), {}), c.problem);
}

INSTANTIATE_TEST_SUITE_P(
    Names, NameChecks,
    ::testing::Values(
        NameCase{"Accepted", "Esempio", "7", true, ""}, NameCase{"TrainMayStartWithADot", "R", ".7", true, ""},
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
        NameCase{"NewlineInRoute", "R\nX", "7", true, "the route name \"R\\x0AX\" contains the control character 0x0A"},
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

void PrintTo(const CommandCase& c, std::ostream* out) { *out << c.name; }

class RefusedNames : public ::testing::TestWithParam<CommandCase> {};

TEST_P(RefusedNames, BeforeAnythingIsRead) {
  const sb::test::TempDir tmp("sb_names_");
  ASSERT_TRUE(tmp.created());
  std::vector<std::string> args = {"compile", "Manca_linea.txt", "Manca_7-.txt", "--out", "nowhere"};
  args.insert(args.end(), GetParam().options.begin(), GetParam().options.end());
  Outcome o = sb::test::run_program(args, tmp.path());
  EXPECT_EQ(o.status, 2);
  EXPECT_EQ(o.err, "scenario-builder: error: " + GetParam().err + "\n");
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
        CommandCase{
            "TabInTrain", {"--train", "7\t8"}, "the train number \"7\\x098\" contains the control character 0x09"}),
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

void PrintTo(const SameFileCase& c, std::ostream* out) { *out << c.name; }

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
  EXPECT_EQ(o.err, "scenario-builder: error: the " + c.output + " \"" + out_arg + "/" +
                       (c.output == "track cell file" ? "X_7.dat" : "X_7.sim") +
                       "\" would overwrite the input file \"" + c.input + "\"\n");
  EXPECT_TRUE(snapshot(src) == inputs_before) << "an input changed";
  EXPECT_EQ(names_in(out), out_before);
}

INSTANTIATE_TEST_SUITE_P(
    Names, OutputIsAnInput,
    ::testing::Values(SameFileCase{"SameDirectory", [](const fs::path&, const fs::path&) { return std::string("."); },
                                   "track cell file", "X_7.dat"},
                      SameFileCase{"ThroughDotDot",
                                   [](const fs::path&, const fs::path&) { return std::string("sub/.."); },
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

// Every command that writes refuses the same names, before it reads
// anything: the example's files in the working directory, compiled into
// cv/ beforehand.
struct WriterCase {
  const char* name;
  std::vector<std::string> args;
  std::string err;  // the whole of standard error
};

void PrintTo(const WriterCase& c, std::ostream* out) { *out << c.name; }

class WritingCommands : public ::testing::TestWithParam<WriterCase> {};

TEST_P(WritingCommands, RefuseTheNameBeforeReading) {
  const WriterCase& c = GetParam();
  const sb::test::TempDir tmp("sb_writers_");
  ASSERT_TRUE(tmp.created());
  for (const char* f : {"Esempio_linea.txt", "Esempio_7-.txt"}) {
    fs::copy_file(std::string(SB_EXAMPLE_DIR) + "/" + f, tmp.path() / f);
  }
  fs::create_directory(tmp.path() / "cv");
  ASSERT_EQ(sb::test::run_program({"compile", "Esempio_linea.txt", "Esempio_7-.txt", "--out", "cv"}, tmp.path()).status,
            0);
  const auto before = snapshot(tmp.path());
  const auto compiled_before = snapshot(tmp.path() / "cv");

  const Outcome o = sb::test::run_program(c.args, tmp.path());
  EXPECT_EQ(o.status, 2) << o.err;
  EXPECT_EQ(o.err, c.err);
  EXPECT_TRUE(snapshot(tmp.path()) == before) << "a file of the working directory changed";
  EXPECT_TRUE(snapshot(tmp.path() / "cv") == compiled_before) << "a compiled file changed";
}

const std::string kLong(240, 'a');

INSTANTIATE_TEST_SUITE_P(
    Names, WritingCommands,
    ::testing::Values(
        WriterCase{"ViewPageOverTheLineFile",
                   {"view", "Esempio_linea.txt", "Esempio_7-.txt", "-o", "Esempio_linea.txt"},
                   "scenario-builder: error: the page \"Esempio_linea.txt\" would overwrite the input file "
                   "\"Esempio_linea.txt\"\n"},
        WriterCase{"CompiledViewPageOverTheTable",
                   {"view", "--compiled", "cv", "--route", "Esempio", "--train", "7", "-o", "cv/Esempio_7.sim"},
                   "scenario-builder: error: the page \"cv/Esempio_7.sim\" would overwrite the input file "
                   "\"cv/Esempio_7.sim\"\n"},
        WriterCase{"ViewRouteOutsideTheDirectory",
                   {"view", "--compiled", "cv", "--route", "../escaped", "--train", "7"},
                   "scenario-builder: error: the route name \"../escaped\" contains \"/\"\n"},
        WriterCase{"ViewHiddenRoute",
                   {"view", "Esempio_linea.txt", "Esempio_7-.txt", "--route", ".hidden", "--train", "7"},
                   "scenario-builder: error: the route name \".hidden\" starts with \".\": every file of the scenario "
                   "would be hidden\n"},
        WriterCase{"ViewNewlineInRoute",
                   {"view", "--compiled", "cv/Esempio_7.sim", "cv/Esempio_7.dat", "--route", "a\nb", "--train", "7"},
                   "scenario-builder: error: the route name \"a\\x0Ab\" contains the control character 0x0A\n"},
        WriterCase{
            "CompileTheSameFileTwice",
            {"compile", "Esempio_linea.txt", "./Esempio_linea.txt", "--train", "7"},
            "scenario-builder: error: the input files \"Esempio_linea.txt\" and \"./Esempio_linea.txt\" are the same "
            "file: give the line description and the train description\n"},
        WriterCase{"CompileNameTooLongForItsTemporaryName",
                   {"compile", "Esempio_linea.txt", "Esempio_7-.txt", "--train", "7", "--route", kLong},
                   "scenario-builder: error: the name of the line plan file \"./" + kLong +
                       "_linea.dat\" is 250 bytes long: with the temporary name's 13-byte suffix it passes the file "
                       "system's limit of 255 bytes\n"},
        WriterCase{"ViewNameTooLongForItsTemporaryName",
                   {"view", "Esempio_linea.txt", "Esempio_7-.txt", "--train", "7", "--route", kLong + "abcd"},
                   "scenario-builder: error: the name of the page \"./" + kLong +
                       "abcd_7.html\" is 251 bytes long: with the temporary name's 13-byte suffix it passes the file "
                       "system's limit of 255 bytes\n"}),
    [](const auto& info) { return std::string(info.param.name); });

// Compiled sets and pages travel to Windows, so every platform refuses
// the names Windows cannot hold, in compile, view and decompile alike and
// before anything is read: route names and train numbers with a character
// Windows forbids or a trailing dot or blank, from options or from file
// names, and outputs that are device names, given or made by the names.
TEST(WindowsNames, AreRefusedByEveryWritingCommand) {
  const sb::test::TempDir tmp("sb_writers_");
  ASSERT_TRUE(tmp.created());
  for (const char* f : {"Esempio_linea.txt", "Esempio_7-.txt"}) {
    fs::copy_file(std::string(SB_EXAMPLE_DIR) + "/" + f, tmp.path() / f);
  }
  fs::create_directory(tmp.path() / "cv");
  fs::create_directory(tmp.path() / "d");
  ASSERT_EQ(sb::test::run_program({"compile", "Esempio_linea.txt", "Esempio_7-.txt", "--out", "cv"}, tmp.path()).status,
            0);
  // The same scenario under file names that give the route "A|B".
  fs::copy_file(tmp.path() / "Esempio_linea.txt", tmp.path() / "A|B_linea.txt");
  fs::copy_file(tmp.path() / "Esempio_7-.txt", tmp.path() / "A|B_7-.txt");
  for (const char* f : {"_7.sim", "_7.dat", "_linea.dat"}) {
    fs::copy_file(tmp.path() / "cv" / (std::string("Esempio") + f), tmp.path() / "cv" / (std::string("A|B") + f));
  }
  const auto before = snapshot(tmp.path());
  const auto compiled_before = snapshot(tmp.path() / "cv");

  const auto refused = [&](const std::vector<std::string>& args, const std::string& problem) {
    SCOPED_TRACE(::testing::PrintToString(args));
    const Outcome o = sb::test::run_program(args, tmp.path());
    EXPECT_EQ(o.status, 2) << o.err;
    EXPECT_THAT(o.err, ::testing::StartsWith("scenario-builder: error: "));
    EXPECT_THAT(o.err, ::testing::HasSubstr(problem));
    EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 1) << o.err;
  };
  const auto by_every_command = [&](const std::string& route, const std::string& train, const std::string& problem) {
    refused({"compile", "Esempio_linea.txt", "Esempio_7-.txt", "--route", route, "--train", train}, problem);
    refused({"view", "Esempio_linea.txt", "Esempio_7-.txt", "--route", route, "--train", train}, problem);
    refused({"decompile", "cv/Esempio_7.sim", "cv/Esempio_7.dat", "cv/Esempio_linea.dat", "--route", route, "--train",
             train, "--out", "d"},
            problem);
  };

  for (const char c : std::string("<>:\"\\|?*")) {
    const std::string route = std::string("A") + c + "B", train = std::string("7") + c;
    const std::string forbids = std::string(" contains \"") + c + "\", which Windows does not allow in a file name\n";
    by_every_command(route, "7", "the route name \"" + route + "\"" + forbids);
    by_every_command("Esempio", train, "the train number \"" + train + "\"" + forbids);
  }
  for (const std::string end : {".", " "}) {
    const std::string drops = " ends with \"" + end + "\", which Windows drops from a file name\n";
    by_every_command("Esempio" + end, "7", "the route name \"Esempio" + end + "\"" + drops);
    by_every_command("Esempio", "7" + end, "the train number \"7" + end + "\"" + drops);
  }
  // A route name with a dot can make every output a device name.
  for (const std::string route : {"AUX.1", "con.x", "Com3.linea", "lpt9.a.b"}) {
    std::string device = route.substr(0, route.find('.'));
    for (char& c : device) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    by_every_command(route, "7", "\" is the Windows device name " + device + " (with any extension)");
  }
  const std::string from_file_names = "the route name \"A|B\" contains \"|\"";
  refused({"compile", "A|B_linea.txt", "A|B_7-.txt"}, from_file_names);
  refused({"view", "A|B_linea.txt", "A|B_7-.txt"}, from_file_names);
  refused({"decompile", "cv/A|B_7.sim", "cv/A|B_7.dat", "cv/A|B_linea.dat", "--out", "d"}, from_file_names);

  // A page the user names: each device family, with and without an
  // extension, in any case, blanks before the extension included.
  for (const auto& [page, device] : std::vector<std::pair<std::string, std::string>>{{"CON", "CON"},
                                                                                     {"con.html", "CON"},
                                                                                     {"Prn.txt", "PRN"},
                                                                                     {"aux", "AUX"},
                                                                                     {"AUX.tar.gz", "AUX"},
                                                                                     {"NUL .html", "NUL"},
                                                                                     {"out/nul.html", "NUL"},
                                                                                     {"COM1.html", "COM1"},
                                                                                     {"com9", "COM9"},
                                                                                     {"COM\u00B9.html", "COM\u00B9"},
                                                                                     {"LPT1", "LPT1"},
                                                                                     {"lpt5.HTML", "LPT5"}}) {
    refused({"view", "Esempio_linea.txt", "Esempio_7-.txt", "-o", page},
            "the name of the page \"" + page + "\" is the Windows device name " + device +
                " (with any extension): on Windows it names the device, not a file\n");
  }
  EXPECT_TRUE(snapshot(tmp.path()) == before) << "a file of the working directory changed";
  EXPECT_TRUE(snapshot(tmp.path() / "cv") == compiled_before) << "a compiled file changed";
  EXPECT_TRUE(names_in(tmp.path() / "d").empty());
}

// Only the name itself, up to its first dot, makes a device.
TEST(WindowsNames, NamesThatOnlyLookLikeDevicesAreAccepted) {
  for (const std::string page :
       {"CONSOLE.html", "COM0.html", "COM10", "LPT", "xAUX.html", "AUX_7.html", "AUX/page.html", "NUL1.html", ".con"}) {
    EXPECT_EQ(sb::outputs_problem({{"page", page}}, {}), "") << page;
  }
  const sb::ScenarioFiles files{"out", "CON", "AUX"};
  EXPECT_EQ(sb::output_name_problem(files.route, files.train, sb::compiled_outputs(files, true), {}), "");
}

// The built-in run keeps an author's edited copy of its description files
// (the README recommends them as a template) unless told otherwise.
TEST(BuiltinRun, KeepsEditedDescriptionFilesUnlessForced) {
  const sb::test::TempDir tmp("sb_writers_");
  ASSERT_TRUE(tmp.created());
  ASSERT_EQ(sb::test::run_program({"--dir", tmp.path().string(), "--keep-sources"}).status, 0);
  const fs::path line = tmp.path() / "ValdraPCal-Dorvesa_linea.txt";
  const std::string edited = sb::test::read_bytes(line) + "; my note\r\n";
  sb::test::write_bytes(line, edited);
  for (const std::vector<std::string>& options : {std::vector<std::string>{"--keep-sources"}, {}}) {
    std::vector<std::string> args = {"--dir", tmp.path().string()};
    args.insert(args.end(), options.begin(), options.end());
    const Outcome o = sb::test::run_program(args);
    EXPECT_EQ(o.status, 2);
    EXPECT_EQ(o.err, "scenario-builder: error: " + line.string() +
                         " differs from the built-in text (an edited copy?): the built-in run would replace it; "
                         "move it away, or give --force to replace it\n");
    EXPECT_EQ(sb::test::read_bytes(line), edited);
  }
  EXPECT_EQ(sb::test::run_program({"--dir", tmp.path().string(), "--keep-sources", "--force"}).status, 0);
  EXPECT_NE(sb::test::read_bytes(line), edited);
}

// "-o -" writes the page to standard output and no file.
TEST(ViewPage, DashWritesToStandardOutput) {
  const sb::test::TempDir tmp("sb_writers_");
  ASSERT_TRUE(tmp.created());
  const Outcome o = sb::test::run_program({"view", std::string(SB_EXAMPLE_DIR) + "/Esempio_linea.txt",
                                           std::string(SB_EXAMPLE_DIR) + "/Esempio_7-.txt", "-o", "-"},
                                          tmp.path());
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_THAT(o.out, ::testing::StartsWith("<!DOCTYPE html>"));
  EXPECT_TRUE(names_in(tmp.path()).empty());
}

// decompile takes the names of compiled files only where compile would
// have made them: a route or train that Windows-1252 cannot hold, or that
// is no UTF-8, is refused with compile's message before anything is
// written, whether the names come from the file names or the options.
struct StoredNameCase {
  const char* name;
  std::string route, train;
};

void PrintTo(const StoredNameCase& c, std::ostream* out) { *out << c.name; }

class DecompiledNames : public ::testing::TestWithParam<StoredNameCase> {};

TEST_P(DecompiledNames, AreRefusedAsCompileRefusesThem) {
  const StoredNameCase& c = GetParam();
  const sb::test::TempDir tmp("sb_writers_");
  ASSERT_TRUE(tmp.created());
  for (const char* f : {"Esempio_linea.txt", "Esempio_7-.txt"}) {
    fs::copy_file(std::string(SB_EXAMPLE_DIR) + "/" + f, tmp.path() / f);
  }
  fs::create_directory(tmp.path() / "cv");
  fs::create_directory(tmp.path() / "d");
  ASSERT_EQ(sb::test::run_program({"compile", "Esempio_linea.txt", "Esempio_7-.txt", "--out", "cv"}, tmp.path()).status,
            0);
  const std::string set = c.route + "_" + c.train, line = c.route + "_linea";
  fs::copy_file(tmp.path() / "cv/Esempio_7.sim", tmp.path() / "cv" / (set + ".sim"));
  fs::copy_file(tmp.path() / "cv/Esempio_7.dat", tmp.path() / "cv" / (set + ".dat"));
  fs::copy_file(tmp.path() / "cv/Esempio_linea.dat", tmp.path() / "cv" / (line + ".dat"));

  const Outcome compiled = sb::test::run_program({"compile", line + ".txt", set + "-.txt", "--out", "d"}, tmp.path());
  ASSERT_EQ(compiled.status, 2);
  ASSERT_THAT(compiled.err, ::testing::HasSubstr("cannot be stored in the compiled files"));
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"decompile", "cv/" + set + ".sim", "cv/" + set + ".dat", "cv/" + line + ".dat",
                                 "--out", "d"},
        std::vector<std::string>{"decompile", "cv", "--route", c.route, "--train", c.train, "--out", "d"}}) {
    const Outcome o = sb::test::run_program(args, tmp.path());
    EXPECT_EQ(o.status, 2) << args[1];
    EXPECT_EQ(o.err, compiled.err) << args[1];
    EXPECT_TRUE(names_in(tmp.path() / "d").empty()) << args[1];
  }
}

INSTANTIATE_TEST_SUITE_P(Names, DecompiledNames,
                         ::testing::Values(StoredNameCase{"RouteWithoutWindows1252Byte", "\xCE\xA9", "7"},
                                           StoredNameCase{"RouteNoUtf8", "Linea\xFF", "7"},
                                           StoredNameCase{"TrainNoUtf8", "Linea", "7\xE0"}),
                         [](const auto& info) { return std::string(info.param.name); });
