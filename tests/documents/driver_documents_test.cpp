// The driver documents of an author's scenario: the example's and a
// generated 1000 km route's card and order against golden files, the
// chainage the forms print, the grids and tables past their printed rows,
// the place of a slowdown, names outside ASCII, the notes' conversion, and
// the commands that write them.
#include "documents/driver_documents.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "builtin/builtin_content.h"
#include "builtin/documents.h"
#include "line_generator.h"
#include "reader/description_source.h"
#include "reader/read_descriptions.h"
#include "support/test_files.h"
#include "text/text_writer.h"
#include "view/page.h"
#include "commands/view_command.h"
#include "view/page_model_builder.h"

namespace sb {
namespace {

namespace fs = std::filesystem;
using ::testing::AllOf;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

// The scenario two description texts read into, as the documents see it;
// a read that records an error fails the test.
Scenario read_scenario(const std::string& line, const std::string& train, const std::string& route = "Prova",
                       const std::string& number = "1") {
  Scenario s;
  s.route_name = route;
  s.train_number = number;
  s.build_plan = false;
  MemorySource line_source(route + "_linea.txt", line);
  MemorySource train_source(route + "_" + number + "-.txt", train);
  read_descriptions(s, {line_source, train_source});
  for (const Diagnostic& d : s.diagnostics.list()) {
    EXPECT_NE(d.severity, Severity::kError) << format_diagnostic(d);
  }
  return s;
}

std::string line_text(const std::string& general, const std::string& main = "") {
  return "[generale]\r\nlunghezza percorso,  88000\r\n" + general + "[curve]\r\npendenza,  0,  0\r\n" + main +
         "[fine]\r\n";
}

std::string station(int32_t position, const std::string& name, int hours = 8, int minutes = 0) {
  const auto v = [](long long n) { return ",  " + std::to_string(n); };
  return "stazione" + v(position) + v(12) + v(600) + v(0) + v(0) + v(0) + v(1) + v(1) + v(0) + v(4) + v(1) + v(1) +
         v(1) + v(hours) + v(minutes) + v(0) + ",   " + name + "\r\n";
}

std::string slowdown(int32_t start, int speed, int32_t length) {
  return "rallentamento,  " + std::to_string(start) + ",  " + std::to_string(speed) + ",  " + std::to_string(length) +
         ",  0,  0,  0\r\n";
}

std::string train_text(const std::string& records) {
  return "[generale]\r\nvelocita,  0,  90\r\naderenza,  0,  100\r\n" + records + "[fine]\r\n";
}

// The lines of a document; each must end with CR LF.
std::vector<std::string> lines_of_document(const std::string& bytes) {
  std::vector<std::string> lines;
  std::size_t at = 0;
  while (at < bytes.size()) {
    const std::size_t end = bytes.find("\r\n", at);
    if (end == std::string::npos) {
      ADD_FAILURE() << "bytes after the last CR LF: " << bytes.substr(at);
      break;
    }
    lines.push_back(bytes.substr(at, end - at));
    at = end + 2;
  }
  return lines;
}

// The card's grid row of the place `name`.
std::string card_row_of(const std::string& card, const std::string& name) {
  for (const std::string& l : lines_of_document(card)) {
    if (l.size() == 83 && l.find("| " + name) != std::string::npos) return l;
  }
  return "no row names " + name;
}

// The whole bytes against the golden file (SB_BLESS=1 records them).
void expect_golden(const std::string& bytes, const std::string& name) {
  const fs::path path = test::golden_path("documents/" + name);
  if (test::bless_requested()) test::write_bytes(path, bytes);
  EXPECT_EQ(bytes, test::golden("documents/" + name)) << "differs from " << path;
}

std::string example(const char* name) { return test::read_existing(fs::path(SB_EXAMPLE_DIR) / name); }

// What the README's commands give the example and the generated route.
TEST(DriverDocuments, ExampleAndGeneratedRouteMatchTheirGoldenFiles) {
  const Scenario ex = read_scenario(example("Esempio_linea.txt"), example("Esempio_7-.txt"), "Esempio", "7");
  const DocumentOptions boxes{"REG", "200T", ""};
  expect_golden(timetable_card(ex, boxes), "Esempio_7_scheda_treno.txt");
  expect_golden(slowdown_order(ex, boxes), "Esempio_7_rallentamenti.txt");

  const bench::GeneratedScenario g = bench::generate_scenario(1000, 1);
  const Scenario route = read_scenario(g.line, g.train_description, g.route, g.train);
  const std::string prefix = g.route + "_" + g.train + "_";
  expect_golden(timetable_card(route, {}), prefix + "scheda_treno.txt");
  expect_golden(slowdown_order(route, {}), prefix + "rallentamenti.txt");
}

// The built-in descriptions give the card docs/driver-documents.md shows
// beside the literal one, and, with the form's line name, the literal
// order byte for byte: it has no slowdown either.
TEST(DriverDocuments, BuiltinDescriptionsGiveTheDocumentedCardAndTheLiteralOrder) {
  const Scenario builtin = read_scenario(text_file_bytes(builtin_line_lines()), text_file_bytes(builtin_train_lines()),
                                         kBuiltinRoute, kBuiltinTrain);
  expect_golden(timetable_card(builtin, {"REG", "530T", ""}), "ValdraPCal-Dorvesa_24317_scheda_treno.txt");
  EXPECT_EQ(slowdown_order(builtin, {"", "", "Valdra P.ta Calvea-Dorvesa"}), text_file_bytes(slowdown_order_lines()));
}

struct ChainageCase {
  const char* name;
  std::string systems;  // the chainage records of the general part
  int32_t position;     // of the station ZETA
  std::string km;       // the card's "Progr Km" cell
};
void PrintTo(const ChainageCase& c, std::ostream* out) { *out << c.name; }

class CardChainage : public ::testing::TestWithParam<ChainageCase> {};

TEST_P(CardChainage, StationRowShowsTheChainageOfItsSystem) {
  const ChainageCase& c = GetParam();
  const Scenario s = read_scenario(line_text(c.systems), train_text(station(0, "ALFA") + station(c.position, "ZETA")));
  EXPECT_EQ(card_row_of(timetable_card(s, {}), "ZETA"),
            " |     |     |" + std::string(10 - c.km.size(), ' ') + c.km +
                "|     | ZETA                       |       8.00     |     |");
}

const std::string kTwoSystems =
    "progressiva chilometrica uno,  0,  5200,  0\r\nprogressiva chilometrica due,  31700,  44400,  1\r\n";

INSTANTIATE_TEST_SUITE_P(
    Rule, CardChainage,
    ::testing::Values(ChainageCase{"Rising", "progressiva chilometrica uno,  0,  5200,  0\r\n", 3400, "8.600"},
                      ChainageCase{"FallingInTheSecondSystem", kTwoSystems, 39100, "5.300"},
                      ChainageCase{"OnTheBoundaryTheNewSystemCounts", kTwoSystems, 31700, "12.700"},
                      ChainageCase{"JustBeforeTheBoundaryTheOldOne", kTwoSystems, 31650, "36.850"},
                      ChainageCase{"RisingSystemStartingAwayFromZero",
                                   "progressiva chilometrica uno,  20000,  50000,  0\r\n", 25000, "75.000"},
                      ChainageCase{"FallingSystemStartingAwayFromZero",
                                   "progressiva chilometrica uno,  10000,  60000,  1\r\n", 15000, "45.000"},
                      ChainageCase{"BeforeTheOnlySystemStartsBlank",
                                   "progressiva chilometrica uno,  20000,  50000,  0\r\n", 10000, ""},
                      ChainageCase{"NoSystemKilometresFromTheStart", "", 11000, "11.000"}),
    [](const ::testing::TestParamInfo<ChainageCase>& info) { return std::string(info.param.name); });

// The first row carries the limit at the first station; a speed board that
// gives less than the train's own limit lowers it from the board on.
TEST(DriverDocuments, CardRowsFollowTheTrainsLimitLoweredByTheBoards) {
  const Scenario s = read_scenario(
      line_text("progressiva chilometrica uno,  0,  1000,  0\r\n",
                "indicatori_vmax,  6000,  80,  90,  90,  0,  ,  ,  ,  0\r\n"),
      "[generale]\r\npercentuale massa frenata,  125\r\nvelocita,  0,  30\r\nvelocita,  1250,  120\r\naderenza,  0,  "
      "100\r\n" +
          station(0, "ALFA", 7, 5) + station(11000, "BETA", 7, 31) + "[fine]\r\n");
  const std::vector<std::string> lines = lines_of_document(timetable_card(s, {}));
  ASSERT_GT(lines.size(), 20u);
  EXPECT_EQ(lines[4], " |     TRENO n.1     |                da: ALFA                     |    V120 A    |");
  EXPECT_EQ(lines[5], " |___________________|                 a: BETA                     |    125 %     |");
  EXPECT_THAT(std::vector<std::string>(lines.begin() + 16, lines.begin() + 21),
              ElementsAre(" |  30 |     |     1.000|     | ALFA                       |       7.05     |     |",
                          " | 120 |     |     2.250|     |                            |                |     |",
                          " |  80 |     |     7.000|     |                            |                |     |",
                          " |     |     |    12.000|     | BETA                       |       7.31     |     |",
                          " |     |     |          |     |                            |                |     |"));
}

// A right-hand speed of 100 km/h or more spills into the left one in the
// packed cell (135|150 packs as 136|50): the card shows the board as
// written.
TEST(DriverDocuments, CardShowsTheBoardSpeedAsWritten) {
  const Scenario s = read_scenario(line_text("progressiva chilometrica uno,  0,  1000,  0\r\n",
                                             "indicatori_vmax,  6000,  135,  140,  140,  0,  150,  150,  150,  0\r\n"),
                                   "[generale]\r\nvelocita,  0,  160\r\naderenza,  0,  100\r\n" +
                                       station(0, "ALFA", 7, 5) + station(11000, "BETA", 7, 31) + "[fine]\r\n");
  const std::vector<std::string> lines = lines_of_document(timetable_card(s, {}));
  ASSERT_GT(lines.size(), 20u);
  EXPECT_EQ(lines[17], " | 135 |     |     7.000|     |                            |                |     |");
}

TEST(DriverDocuments, MoreThanSixteenRowsContinueOnAGridWithTheSameHead) {
  std::string stations;
  for (int i = 0; i < 20; ++i) stations += station(1000 * i, std::string("S").append(std::to_string(10 + i)), 8, i);
  const Scenario s = read_scenario(line_text("progressiva chilometrica uno,  0,  1000,  0\r\n"), train_text(stations));
  const std::vector<std::string> lines = lines_of_document(timetable_card(s, {}));
  ASSERT_EQ(lines.size(), 12u + 21u + 1u + 21u + 4u);
  for (std::size_t head : {12u, 34u}) {
    EXPECT_EQ(lines[head + 1],
              " | Vel.| Vel.| Progr Km |  No |   Localit\xE0  di  Servizio   |     Orario     | Rec |");
    EXPECT_EQ(lines[head + 3], lines[12 + 3]);
  }
  EXPECT_THAT(lines[16 + 15], HasSubstr("| S25 "));  // the 16th row closes the first grid
  EXPECT_EQ(lines[33], "");
  EXPECT_THAT(lines[38], HasSubstr("| S26 "));
  EXPECT_THAT(lines[41], HasSubstr("| S29 "));
  EXPECT_EQ(lines[42], " |     |     |          |     |                            |                |     |");
  for (std::size_t i = 13; i < 55; ++i) {
    if (lines[i].rfind(" |", 0) == 0) {
      EXPECT_EQ(lines[i].size(), 83u) << "line " << i + 1 << ": " << lines[i];
    }
  }
}

TEST(DriverDocuments, SlowdownRowsSayWhereTheyStart) {
  const Scenario s =
      read_scenario(line_text("progressiva chilometrica uno,  0,  1000,  0\r\n"),
                    train_text(station(3000, "PRIMA") + station(11000, "SECONDA") + slowdown(2000, 30, 200) +
                               slowdown(7000, 60, 520) + slowdown(10800, 40, 300) + slowdown(20000, 80, 1000)));
  const std::vector<std::string> lines = lines_of_document(slowdown_order(s, {}));
  ASSERT_GT(lines.size(), 16u);
  EXPECT_EQ(lines[4], "  Linea  PRIMA-SECONDA");
  EXPECT_THAT(std::vector<std::string>(lines.begin() + 12, lines.begin() + 17),
              ElementsAre(" | 1 | prima di PRIMA             |      3.000 |       30 |     200 |            |",
                          " | 2 | PRIMA-SECONDA              |      8.000 |       60 |     520 |            |",
                          " | 3 | SECONDA                    |     11.800 |       40 |     300 |            |",
                          " | 4 | dopo SECONDA               |     21.000 |       80 |    1000 |            |",
                          " |   |                            |            |          |         |            |"));
}

TEST(DriverDocuments, MoreThanTwentySixSlowdownsTakeARowEachAndNoEmptyRow) {
  std::string slowdowns;
  for (int i = 0; i < 30; ++i) slowdowns += slowdown(2000 + 450 * i, 60, 100);
  const Scenario s = read_scenario(line_text("progressiva chilometrica uno,  0,  1000,  0\r\n"),
                                   train_text(station(0, "PRIMA") + station(30000, "SECONDA") + slowdowns));
  const std::vector<std::string> lines = lines_of_document(slowdown_order(s, {"", "", "Linea di prova"}));
  ASSERT_EQ(lines.size(), 46u + 4u);
  EXPECT_EQ(lines[4], "  Linea  Linea di prova");
  EXPECT_EQ(lines[12 + 29], " |30 | PRIMA-SECONDA              |     16.050 |       60 |     100 |            |");
  EXPECT_EQ(lines[12 + 30], lines[11]);  // the closing rule, straight after the last slowdown
  EXPECT_THAT(lines,
              Not(Contains(" |   |                            |            |          |         |            |")));
}

// Windows-1252 names keep their one byte a character, so the cells keep
// their widths; two long names share the place cell.
TEST(DriverDocuments, NamesOutsideAsciiAndLongNamesKeepTheCells) {
  const Scenario s =
      read_scenario(line_text("progressiva chilometrica uno,  0,  1000,  0\r\n"),
                    train_text(station(0, "CITT\xC0 ALTA") + station(11000, "SAN GIORGIO DI VALLE SUPERIORE") +
                               slowdown(5000, 50, 400)));
  const std::string card = timetable_card(s, {"R\xC9G", "", ""});
  EXPECT_EQ(card_row_of(card, "CITT\xC0 ALTA"),
            " |  90 |     |     1.000|     | CITT\xC0 ALTA                 |       8.00     |     |");
  EXPECT_EQ(card_row_of(card, "SAN GIORGIO DI VALLE SUPERI"),
            " |     |     |    12.000|     | SAN GIORGIO DI VALLE SUPERI|       8.00     |     |");
  EXPECT_THAT(lines_of_document(card), Contains(" |       R\xC9G         |              |                   |"));
  EXPECT_THAT(lines_of_document(slowdown_order(s, {})),
              Contains(" | 1 | CITT\xC0 ALTA-SAN GIORGIO DI V|      6.000 |       50 |     400 |            |"));
}

struct NotesCase {
  const char* name;
  std::string text;
  std::string bytes;
  std::vector<std::string> warnings;  // as printed
};
void PrintTo(const NotesCase& c, std::ostream* out) { *out << c.name; }

class Notes : public ::testing::TestWithParam<NotesCase> {};

TEST_P(Notes, AreWindows1252WithCrLf) {
  const NotesDocument notes = notes_document(GetParam().text, "note.txt");
  EXPECT_EQ(notes.bytes, GetParam().bytes);
  std::vector<std::string> printed;
  for (const Diagnostic& d : notes.warnings.list()) printed.push_back(format_diagnostic(d));
  EXPECT_EQ(printed, GetParam().warnings);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, Notes,
    ::testing::Values(
        NotesCase{"Utf8", "Linea per Citt\xC3\xA0\nfino a Dorvesa\n", "Linea per Citt\xE0\r\nfino a Dorvesa\r\n", {}},
        NotesCase{
            "Utf8WithoutAWindows1252Byte",
            "\xEF\xBB\xBFuno\r\nPrima \xE2\x86\x92 Seconda \xE2\x86\x92 \xF0\x9F\x9A\x82",
            "uno\r\nPrima ? Seconda ? ?\r\n",
            {"note.txt:2:1: warning: the notes are written in Windows-1252, which has no byte for \"\xE2\x86\x92\" "
             "(U+2192), \"\xF0\x9F\x9A\x82\" (U+1F682): written as \"?\" [-Wnotes-character]"}},
        NotesCase{"Windows1252AsItIs", "Citt\xE0\r\r\n\runo", "Citt\xE0\r\n\r\n\r\nuno\r\n", {}},
        NotesCase{"Empty", "", "", {}}),
    [](const ::testing::TestParamInfo<NotesCase>& info) { return std::string(info.param.name); });

class DocumentCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(tmp_.created());
    for (const char* name : {"Esempio_linea.txt", "Esempio_7-.txt"})
      fs::copy_file(fs::path(SB_EXAMPLE_DIR) / name, dir() / name);
    test::write_bytes(dir() / "note.txt", "Linea \xE2\x86\x92 prova\n");
    fs::create_directory(dir() / "out");
  }
  fs::path dir() const { return tmp_.path(); }
  test::Outcome run(std::vector<std::string> args) {
    args.insert(args.end(), {"Esempio_linea.txt", "Esempio_7-.txt", "--out", "out"});
    return test::run_program(args, dir());
  }

  test::TempDir tmp_{"sb_documents_commands_"};
};

TEST_F(DocumentCommands, CompileWritesThemWithTheCompiledFilesAndDocumentsAlone) {
  test::Outcome o = run({"compile", "--documents", "--notes", "note.txt", "--classification", "REG"});
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_THAT(o.err, HasSubstr("note.txt:1:1: warning: the notes are written in Windows-1252"));
  EXPECT_EQ(test::names_in(dir() / "out"),
            (std::set<std::string>{"Esempio_linea.dat", "Esempio_7.sim", "Esempio_7.dat", "Esempio_7_scheda_treno.txt",
                                   "Esempio_7_rallentamenti.txt", "Esempio_7_note.txt"}));
  EXPECT_EQ(test::read_existing(dir() / "out/Esempio_7_note.txt"), "Linea ? prova\r\n");

  fs::remove_all(dir() / "out");
  fs::create_directory(dir() / "out");
  o = run({"documents", "--classification", "REG", "--blocked-mass", "200T"});
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(test::names_in(dir() / "out"),
            (std::set<std::string>{"Esempio_7_scheda_treno.txt", "Esempio_7_rallentamenti.txt"}));
  EXPECT_EQ(test::read_existing(dir() / "out/Esempio_7_scheda_treno.txt"),
            test::golden("documents/Esempio_7_scheda_treno.txt"));
}

// Several trains on one line: each gets its documents in the one set.
TEST_F(DocumentCommands, EachTrainOfACompileGetsItsDocuments) {
  fs::copy_file(dir() / "Esempio_7-.txt", dir() / "Esempio_9-.txt");
  const test::Outcome o = test::run_program(
      {"compile", "Esempio_linea.txt", "Esempio_7-.txt", "Esempio_9-.txt", "--out", "out", "--documents"}, dir());
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(test::names_in(dir() / "out"),
            (std::set<std::string>{"Esempio_linea.dat", "Esempio_7.sim", "Esempio_7.dat", "Esempio_9.sim",
                                   "Esempio_9.dat", "Esempio_7_scheda_treno.txt", "Esempio_7_rallentamenti.txt",
                                   "Esempio_9_scheda_treno.txt", "Esempio_9_rallentamenti.txt"}));
  EXPECT_THAT(test::read_existing(dir() / "out/Esempio_9_scheda_treno.txt"), HasSubstr("TRENO n.9 "));
}

TEST_F(DocumentCommands, NothingIsWrittenWhenTheCompileFailsOrAWarningIsAnError) {
  std::string moved = example("Esempio_7-.txt");
  moved.replace(moved.find("11000"), 5, "11010");  // off the 50 m grid: error 8
  test::write_bytes(dir() / "Esempio_7-.txt", moved);
  test::Outcome o = run({"compile", "--documents"});
  EXPECT_EQ(o.status, 1) << o.err;
  o = run({"documents", "--notes", "note.txt"});
  EXPECT_EQ(o.status, 1) << o.err;
  EXPECT_THAT(o.err, HasSubstr("no document was written (--force writes them anyway)"));
  fs::copy_file(fs::path(SB_EXAMPLE_DIR) / "Esempio_7-.txt", dir() / "Esempio_7-.txt",
                fs::copy_options::overwrite_existing);
  o = run({"documents", "--notes", "note.txt", "-Werror"});
  EXPECT_EQ(o.status, 1) << o.err;
  EXPECT_TRUE(fs::is_empty(dir() / "out"));

  o = run({"compile", "--classification", "REG"});
  EXPECT_EQ(o.status, 2);
  EXPECT_THAT(o.err, HasSubstr("--classification requires --documents"));
}

// The page drawn from descriptions shows both documents as text; drawn
// from compiled files it has none to show.
TEST(DriverDocuments, ViewPageShowsThemFromDescriptions) {
  const Scenario ex = read_scenario(example("Esempio_linea.txt"), example("Esempio_7-.txt"), "Esempio", "7");
  const std::string page = view::render_page(view::page_model_from_scenario(ex, std::nullopt, printed_diagnostics()));
  EXPECT_THAT(page,
              AllOf(HasSubstr("<section id=\"documents\""), HasSubstr("Esempio_7_scheda_treno.txt"),
                    HasSubstr(" |  30 |     |     1.000|     | PRIMA                      |       8.15     |     |\n"),
                    HasSubstr(" | 1 | PRIMA-SECONDA              |      8.000 |       60 |     500 |")));
  EXPECT_THAT(view::render_page(view::page_model_from_compiled({})), Not(HasSubstr("<section id=\"documents\"")));
}

}  // namespace
}  // namespace sb
