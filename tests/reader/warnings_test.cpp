// Warnings: each shows the input that gives it and the line it points at.
// Warnings never change what is read, which the compiled-bytes comparison
// of the whole suite checks; here the reader's result with and without the
// mistake is compared only where a warning names what was dropped.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "builtin/builtin_content.h"
#include "support/descriptions.h"
#include "text/text_writer.h"

namespace sb {
namespace {

using test::kQuietLine;
using test::kQuietStretches;
using test::kQuietTrain;
using test::line_file;
using test::read_files;
using test::ReadResult;
using test::station_record;
using test::train_file;
using test::warnings_of;

struct WarningCase {
  const char* name;
  std::optional<std::string> line;   // the line file, or kQuietLine
  std::optional<std::string> train;  // the train file, or kQuietTrain
  std::vector<std::string> expected;
};

void PrintTo(const WarningCase& c, std::ostream* out) { *out << c.name; }

class Warnings : public ::testing::TestWithParam<WarningCase> {};

TEST_P(Warnings, ShowTheirInputAndLine) {
  const WarningCase& c = GetParam();
  const ReadResult r = read_files(c.line.value_or(kQuietLine), c.train.value_or(kQuietTrain));
  EXPECT_EQ(warnings_of(r), c.expected);
}

const std::string kW = "Prova_linea.txt:";
const std::string kT = "Prova_1-.txt:";

INSTANTIATE_TEST_SUITE_P(
    Reader, Warnings,
    ::testing::Values(
        WarningCase{"TypoInLineKeyword",
                    line_file("pendnza,  3000,  5\r\n"),
                    std::nullopt,
                    {kW + "4:1: warning: \"pendnza\" matches no record and is ignored, with the values after "
                          "it on its line; did you mean `pendenza`? [-Wunknown-field]"}},
        WarningCase{"TyposInTrainKeywords",
                    std::nullopt,
                    train_file(kQuietStretches +
                               "sabia,  300\r\nrallentamenti,  7000,  60,  500,  0,  1,  0\r\n"
                               "segnal,  1200,  1,  4,  1,  0,  0,  0,  0,  0,  0,  0\r\n" +
                               std::string("stazone,  9000,  12,  600,  0,  0,  0,  1,  1,  0,  4,  1,  1,  1,  8,  "
                                           "15,  0,   A\r\n")),
                    {kT + "4:1: warning: \"sabia\" matches no record and is ignored, with the values after it "
                          "on its line; did you mean `sabbia`? [-Wunknown-field]",
                     kT + "5:1: warning: \"rallentamenti\" matches no record and is ignored, with the values "
                          "after it on its line; did you mean `rallentamento`? [-Wunknown-field]",
                     kT + "6:1: warning: \"segnal\" matches no record and is ignored, with the values after it "
                          "on its line; did you mean `segnale`? [-Wunknown-field]",
                     kT + "7:1: warning: \"stazone\" matches no record and is ignored, with the values after "
                          "it on its line; did you mean `stazione`? [-Wunknown-field]"}},
        WarningCase{"ExactCaseKeyword",
                    line_file("", "progressiva chilometrica Tre,  0,  0,  0\r\n"),
                    std::nullopt,
                    {kW + "3:1: warning: \"progressiva chilometrica Tre\" matches no record and is ignored, with "
                          "the values after it on its line; did you mean `progressiva chilometrica tre`? (this "
                          "keyword must be written in lower case) [-Wunknown-field]"}},
        WarningCase{"FarFromAnyKeyword",
                    std::nullopt,
                    train_file(kQuietStretches + "commento\r\n"),
                    {kT + "4:1: warning: \"commento\" matches no record and is ignored, with the values after "
                          "it on its line [-Wunknown-field]"}},
        WarningCase{"RouteLengthAfterTheGeneralPart",
                    line_file("lunghezza percorso,  5000\r\n"),
                    std::nullopt,
                    {kW + "4:1: warning: \"lunghezza percorso\" is read only in the general part, between `[generale]` "
                          "and the next section header; here it is lost, with the values after it on its line; move it "
                          "there [-Wmisplaced-record]"}},
        WarningCase{"TrainRecordInTheLineFile",
                    line_file("velocita,  0,  90\r\n"),
                    std::nullopt,
                    {kW + "4:1: warning: \"velocita\" is read only in the train description file; here it is "
                          "lost, with the values after it on its line; move it there [-Wmisplaced-record]"}},
        WarningCase{"ExtraValues",
                    std::nullopt,
                    train_file(kQuietStretches + "sabbia,  300,  5\r\n"),
                    {kT + "4:16: warning: `sabbia` takes 1 value; \"5\" after it is read as a keyword field and "
                          "lost; remove it, or the comma that split a value in two [-Wextra-values]"}},
        WarningCase{"StationWithoutName",
                    std::nullopt,
                    train_file(kQuietStretches +
                               "stazione,  1000,  12,  600,  0,  0,  0,  1,  1,  0,  4,  1,  1,  1,  8,  15,  0\r\n"
                               "[segnali]\r\n"),
                    {kT + "4:1: warning: `stazione` on line 4 has 16 of its 17 values; line 5 was read as its "
                          "17th value, so the record there is lost; give the record all its values on its own line "
                          "[-Wrecord-cut-short]"}},
        WarningCase{"EmptyTrainFile",
                    std::nullopt,
                    std::string(),
                    {"Prova_1-.txt: warning: the train description file is empty: the train has no stations and "
                     "speed limit 0 everywhere [-Wmissing-generale]"}},
        WarningCase{"MisspeltGenerale",
                    std::nullopt,
                    "[generle]\r\n" + kQuietStretches + "[fine]\r\n",
                    {"Prova_1-.txt: warning: no `[generale]` field: nothing of the train description file is read, "
                     "so the train has no stations and speed limit 0 everywhere [-Wmissing-generale]"}},
        WarningCase{"NoStretchRecords",
                    std::nullopt,
                    train_file(""),
                    {"Prova_1-.txt: warning: no `velocita` record: the speed limit is 0 along the whole line "
                     "[-Wmissing-record]",
                     "Prova_1-.txt: warning: no `aderenza` record: the adhesion is 0 along the whole line "
                     "[-Wmissing-record]"}},
        WarningCase{"FirstStretchNotAtZero",
                    std::nullopt,
                    train_file("velocita,  1250,  90\r\naderenza,  100,  100\r\n"),
                    {kT + "2:12: warning: the first `velocita` record is at 1250 m, not 0: the cells before it "
                          "keep speed limit 0; start with `velocita, 0, VALUE` [-Wfirst-not-at-zero]",
                     kT + "3:12: warning: the first `aderenza` record is at 100 m, not 0: the cells before it "
                          "keep adhesion 0; start with `aderenza, 0, VALUE` [-Wfirst-not-at-zero]"}},
        WarningCase{"PositionsGoingBack",
                    line_file("pendenza,  3000,  5\r\npendenza,  1000,  0\r\n"),
                    std::nullopt,
                    {kW + "5:12: warning: `pendenza` at 1000 m comes after one at 3000 m (line 4): each value "
                          "is laid from where the record before it left off, so the value of line 4 holds only one "
                          "50 m cell at 3000 m and this one is laid from there on, not from 1000 m; put the records in "
                          "rising position order [-Wposition-order]\nProva_linea.txt:4:12: "
                          "note: the `pendenza` at 3000 m"}},
        WarningCase{"Utf8StationName",
                    std::nullopt,
                    train_file(kQuietStretches + station_record(1000, 12, 600, 0, "CITT\xC3\x80")),
                    {kT + "4:84: warning: station name \"CITT\xC3\x80\" is UTF-8 text; the simulator reads "
                          "Windows-1252 and will show \"CITT\xC3\x83\xE2\x82\xAC\"; save the file in Windows-1252 "
                          "[-Wutf8-text]"}},
        WarningCase{"TabAsBlank",
                    std::nullopt,
                    train_file(kQuietStretches + "\tsabbia,  300\r\n"),
                    {kT + "4:1: warning: a tab in \"\\tsabbia\": only blanks and commas separate fields, so the "
                          "tab stays part of the field; use blanks [-Wtab]"}},
        WarningCase{"NoFineAtTheEnd",
                    std::nullopt,
                    "[generale]\r\n" + kQuietStretches,
                    {kT + "3:16: warning: the file does not end with a `[fine]` line; the last field of a file "
                          "is never read as a keyword, so end every description file with `[fine]` [-Wmissing-fine]"}},
        WarningCase{"FieldsAfterFine",
                    std::nullopt,
                    train_file(kQuietStretches + "[fine]\r\nsabbia,  300\r\n"),
                    {kT + "5:1: warning: this line comes after `[fine]` on line 4, and it and every line after "
                          "it are still read; `[fine]` belongs at the very end [-Wafter-fine]\nProva_1-.txt:4:1: "
                          "note: the `[fine]` line"}},
        WarningCase{"SectionHeadersDashLinesAndBlankLinesAreQuiet",
                    line_file("[pendenze]\r\n----------\r\n\r\npendenza,  0,  0\r\n"),
                    train_file(kQuietStretches + "[segnali]\r\n--\r\n[codici]\r\n"),
                    {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Warnings, NoneForTheBuiltInScenario) {
  const ReadResult r = read_files(text_file_bytes(builtin_line_lines()), text_file_bytes(builtin_train_lines()));
  EXPECT_TRUE(r.warnings.empty()) << (r.warnings.empty() ? "" : format_diagnostic(r.warnings[0]));
}

TEST(Warnings, CurvesWithoutAPlanAreQuiet) {
  const ReadResult r = read_files(line_file("curvad6,  100,  400\r\n"), kQuietTrain, /*build_plan=*/false);
  EXPECT_TRUE(r.warnings.empty());
}

TEST(Warnings, ComeBeforeTheErrorTheyExplain) {
  // The record cut short makes the next line's keyword its fifth value,
  // which cannot be read as a number: the warning says why.
  Scenario s;
  s.route_name = "Prova";
  s.train_number = "1";
  MemorySource line("Prova_linea.txt", kQuietLine);
  MemorySource train("Prova_1-.txt",
                     train_file(kQuietStretches + "segnale,  1200,  1,  4,  1\r\nsegnale,  3000,  1,  4,  1,  0,  0,  "
                                                  "0,  0,  0,  0,  0\r\n"));
  read_descriptions(s, {line, train});
  ASSERT_EQ(s.diagnostics.size(), 2u);
  EXPECT_EQ(format_diagnostic(s.diagnostics.list()[0]),
            "Prova_1-.txt:4:1: warning: `segnale` on line 4 has 4 of its 11 values; line 5 was read as its 5th "
            "value, so the record there is lost; give the record all its values on its own line [-Wrecord-cut-short]");
  EXPECT_EQ(format_diagnostic(s.diagnostics.list()[1]),
            "Prova_1-.txt:5:1: error: reading failure: expected a whole number, found \"segnale\" [E25]");
  EXPECT_EQ(s.error_code(), 25);
}

}  // namespace
}  // namespace sb
