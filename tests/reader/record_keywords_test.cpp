// The record keywords: how a keyword field is matched to its records, what
// the warnings make of a field that matches none.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "support/descriptions.h"

namespace sb {
namespace {

using test::line_file;
using test::read_files;
using test::ReadResult;
using test::train_file;

const std::string kStretches = "velocita,  0,  90\r\naderenza,  0,  100\r\n";
const std::string kLine = line_file("pendenza,  0,  0\r\n");
const std::string kTrain = train_file(kStretches);
const std::string kW = "Prova_linea.txt:";
const std::string kT = "Prova_1-.txt:";

struct MatchingCase {
  const char* name;
  std::optional<std::string> line;   // or kLine
  std::optional<std::string> train;  // or kTrain
  std::function<void(const Scenario&)> expect;
  std::vector<std::string> warnings;
  int error_code = 0;
};

void PrintTo(const MatchingCase& c, std::ostream* out) { *out << c.name; }

class KeywordMatching : public ::testing::TestWithParam<MatchingCase> {};

TEST_P(KeywordMatching, ReadsTheRecordsTheFieldHolds) {
  const MatchingCase& c = GetParam();
  const ReadResult r = read_files(c.line.value_or(kLine), c.train.value_or(kTrain));
  std::vector<std::string> warnings;
  for (const Diagnostic& d : r.warnings) warnings.push_back(format_diagnostic(d));
  EXPECT_EQ(warnings, c.warnings);
  EXPECT_EQ(r.scenario.error_code(), c.error_code);
  if (c.expect) c.expect(r.scenario);
}

INSTANTIATE_TEST_SUITE_P(
    Reader, KeywordMatching,
    ::testing::Values(
        MatchingCase{"EveryWordOfASystemKeywordIsARecord", line_file("", "sfondo tre uno,  5,  6\r\n"), std::nullopt,
                     [](const Scenario& s) {
                       EXPECT_EQ(s.table.route.scenery[0], 5);
                       EXPECT_EQ(s.table.route.scenery[1], 0);
                       EXPECT_EQ(s.table.route.scenery[2], 6);
                     },
                     {}},
        MatchingCase{"TwoKeywordsInOneFieldAreTwoRecords",
                     line_file("pendenza montagna,  1000,  2,  1000,  2000,  1\r\n"), std::nullopt,
                     [](const Scenario& s) {
                       EXPECT_EQ(s.cells.at(20).gradient, 102);
                       EXPECT_EQ(s.montagna_spans.size(), 1u);
                     },
                     {}},
        MatchingCase{"AStemIsEnough", line_file("Indicatori_V,  1250,  90,  90,  90,  0,  ,  ,  ,  0\r\n"),
                     train_file(kStretches + "Massa Frenata,  80\r\nVETTURE,  6\r\nvelocit,  100,  90\r\n"),
                     [](const Scenario& s) {
                       EXPECT_EQ(s.cells.at(26).kind, cell_kind::kSpeedBoard);
                       EXPECT_EQ(s.table.general.braked_mass, 80);
                       EXPECT_EQ(s.table.general.coaches, 6);
                     },
                     {}},
        MatchingCase{"EveryStemIsNeeded", line_file("cartello,  1300,  (X)\r\n"),
                     train_file(kStretches + "frenata,  80\r\n"),
                     [](const Scenario& s) { EXPECT_EQ(s.table.general.braked_mass, 0); },
                     {kW + "4: warning: \"cartello\" matches no record and is ignored, with the values after it on "
                           "its line [-Wunknown-field]",
                      kT + "4: warning: \"frenata\" matches no record and is ignored, with the values after it on "
                           "its line [-Wunknown-field]"}},
        MatchingCase{"MisplacedByTheFirstWordOfTheKeyword",
                     line_file("numero,  6\r\npercentuale,  80\r\nvelocit,  0,  90\r\n"), std::nullopt, nullptr,
                     {kW + "4: warning: \"numero\" is read only in the train description file; here it is ignored, "
                           "with the values after it on its line [-Wmisplaced-record]",
                      kW + "5: warning: \"percentuale\" is read only in the train description file; here it is "
                           "ignored, with the values after it on its line [-Wmisplaced-record]",
                      kW + "6: warning: \"velocit\" matches no record and is ignored, with the values after it on "
                           "its line [-Wunknown-field]"}},
        MatchingCase{"DidYouMeanTakesTheFirstOfEqualDistances",
                     line_file("", "progressiva chilometrica u,  0,  0,  0\r\n"), std::nullopt, nullptr,
                     {kW + "3: warning: \"progressiva chilometrica u\" matches no record and is ignored, with the "
                           "values after it on its line; did you mean `progressiva chilometrica uno`? "
                           "[-Wunknown-field]"}},
        MatchingCase{"AFieldHoldingAStemAmongValuesIsAKeywordCutShort", line_file("pendenza,  1000\r\nindicatore\r\n"),
                     std::nullopt, nullptr,
                     {kW + "4: warning: `pendenza` on line 4 has 1 of its 2 values; line 5 was read as its 2nd "
                           "value [-Wrecord-cut-short]"},
                     25},
        MatchingCase{"MarkersAreFoundInAnyCase", std::nullopt,
                     train_file(kStretches + "sabbia\r\nPROGRESSIVA 3\r\n"), nullptr,
                     {kT + "4: warning: `sabbia` on line 4 has 0 of its 1 values; line 5 was read as its 1st value "
                           "[-Wrecord-cut-short]"},
                     25}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace sb
