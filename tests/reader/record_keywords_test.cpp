// The record keywords: how a keyword field is matched to its records, what
// the warnings make of a field that matches none.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "reader/record_keywords.h"
#include "support/descriptions.h"

namespace sb {
namespace {

using test::kQuietLine;
using test::kQuietStretches;
using test::kQuietTrain;
using test::line_file;
using test::read_files;
using test::ReadResult;
using test::train_file;

const std::string kW = "Prova_linea.txt:";
const std::string kT = "Prova_1-.txt:";

struct MatchingCase {
  const char* name;
  std::optional<std::string> line;   // or kQuietLine
  std::optional<std::string> train;  // or kQuietTrain
  std::function<void(const Scenario&)> expect;
  std::vector<std::string> warnings;
  int error_code = 0;
};

void PrintTo(const MatchingCase& c, std::ostream* out) { *out << c.name; }

class KeywordMatching : public ::testing::TestWithParam<MatchingCase> {};

TEST_P(KeywordMatching, ReadsTheRecordsTheFieldHolds) {
  const MatchingCase& c = GetParam();
  const ReadResult r = read_files(c.line.value_or(kQuietLine), c.train.value_or(kQuietTrain));
  EXPECT_EQ(test::warnings_of(r), c.warnings);
  EXPECT_EQ(r.scenario.error_code(), c.error_code);
  if (c.expect) c.expect(r.scenario);
}

INSTANTIATE_TEST_SUITE_P(
    Reader, KeywordMatching,
    ::testing::Values(
        MatchingCase{"EveryWordOfASystemKeywordIsARecord",
                     line_file("", "sfondo tre uno,  5,  6\r\n"),
                     std::nullopt,
                     [](const Scenario& s) {
                       EXPECT_EQ(s.table.route.scenery[0], 5);
                       EXPECT_EQ(s.table.route.scenery[1], 0);
                       EXPECT_EQ(s.table.route.scenery[2], 6);
                     },
                     {}},
        MatchingCase{"TwoKeywordsInOneFieldAreTwoRecords",
                     line_file("pendenza montagna,  1000,  2,  1000,  2000,  1\r\n"),
                     std::nullopt,
                     [](const Scenario& s) {
                       EXPECT_EQ(s.cells.at(20).gradient, 102);
                       EXPECT_EQ(s.montagna_spans.size(), 1u);
                     },
                     {}},
        MatchingCase{"AStemIsEnough",
                     line_file("Indicatori_V,  1250,  90,  90,  90,  0,  ,  ,  ,  0\r\n"),
                     train_file(kQuietStretches + "Massa Frenata,  80\r\nVETTURE,  6\r\nvelocit,  100,  90\r\n"),
                     [](const Scenario& s) {
                       EXPECT_EQ(s.cells.at(26).kind, cell_kind::kSpeedBoard);
                       EXPECT_EQ(s.table.general.braked_mass, 80);
                       EXPECT_EQ(s.table.general.coaches, 6);
                     },
                     {}},
        MatchingCase{"EveryStemIsNeeded",
                     line_file("cartello,  1300,  (X)\r\n"),
                     train_file(kQuietStretches + "frenata,  80\r\n"),
                     [](const Scenario& s) { EXPECT_EQ(s.table.general.braked_mass, 0); },
                     {kW + "4:1: warning: \"cartello\" matches no record and is ignored, with the values after "
                           "it on its line [-Wunknown-field]",
                      kT + "4:1: warning: \"frenata\" matches no record and is ignored, with the values after "
                           "it on its line [-Wunknown-field]"}},
        MatchingCase{"MisplacedByTheFirstWordOfTheKeyword",
                     line_file("numero,  6\r\npercentuale,  80\r\nvelocit,  0,  90\r\n"),
                     std::nullopt,
                     nullptr,
                     {kW + "4:1: warning: \"numero\" is read only in the train description file; here it is lost, "
                           "with the values after it on its line; move it there [-Wmisplaced-record]",
                      kW + "5:1: warning: \"percentuale\" is read only in the train description file; here it "
                           "is lost, with the values after it on its line; move it there [-Wmisplaced-record]",
                      kW + "6:1: warning: \"velocit\" matches no record and is ignored, with the values after "
                           "it on its line [-Wunknown-field]"}},
        MatchingCase{
            "DidYouMeanTakesTheFirstOfEqualDistances",
            line_file("", "progressiva chilometrica u,  0,  0,  0\r\n"),
            std::nullopt,
            nullptr,
            {kW + "3:1: warning: \"progressiva chilometrica u\" matches no record and is ignored, with "
                  "the values after it on its line; did you mean `progressiva chilometrica uno`? [-Wunknown-field]"}},
        MatchingCase{"AFieldHoldingAStemAmongValuesIsAKeywordCutShort",
                     line_file("pendenza,  1000\r\nindicatore\r\n"),
                     std::nullopt,
                     nullptr,
                     {kW + "4:1: warning: `pendenza` on line 4 has 1 of its 2 values; line 5 was read as its "
                           "2nd value, so the record there is lost; give the record all its values on its own line "
                           "[-Wrecord-cut-short]"},
                     25},
        MatchingCase{
            "MarkersAreFoundInAnyCase",
            std::nullopt,
            train_file(kQuietStretches + "sabbia\r\nPROGRESSIVA 3\r\n"),
            nullptr,
            {kT +
             "4:1: warning: `sabbia` on line 4 has 0 of its 1 values; line 5 was read as its 1st "
             "value, so the record there is lost; give the record all its values on its own line [-Wrecord-cut-short]"},
            25}),
    [](const auto& info) { return std::string(info.param.name); });

constexpr RecordPart kParts[] = {RecordPart::kLineGeneral, RecordPart::kLineMain, RecordPart::kTrain};

// The names of the records of `part` that a keyword field `field` is read as.
std::vector<std::string_view> records_of(std::string_view field, RecordPart part) {
  std::vector<std::string_view> records;
  for (const RecordKeyword& keyword : record_keywords(part)) {
    for (std::size_t word = 0; word < word_count(keyword); ++word) {
      if (matches(keyword, field, word)) records.push_back(keyword.name);
    }
  }
  return records;
}

// An author who types the keyword the warnings offer gets that record and
// no other; and when it turns up among a record's values, it is taken for a
// keyword that cut that record short.
TEST(RecordKeywords, EverySpellingIsItsOwnRecordOnly) {
  for (RecordPart part : kParts) {
    for (const RecordKeyword& keyword : record_keywords(part)) {
      for (std::string_view spelling : spellings(keyword)) {
        SCOPED_TRACE(std::string(spelling));
        EXPECT_EQ(records_of(spelling, part), std::vector<std::string_view>{keyword.name});
        EXPECT_NE(spelling.find(marker(keyword)), std::string_view::npos);
      }
    }
  }
}

// The values of the entries in the fuzz dictionary's block that follows the
// comment line starting with `heading`, up to the next blank line.
std::vector<std::string> dictionary_block(const std::string& heading) {
  std::ifstream in(SB_FUZZ_DIR "/keywords.dict");
  std::vector<std::string> values;
  std::string line;
  while (std::getline(in, line) && line.rfind(heading, 0) != 0) {
  }
  while (std::getline(in, line) && !line.empty()) {
    const std::size_t open = line.find("=\"");
    if (line[0] == '#' || open == std::string::npos) continue;
    values.push_back(line.substr(open + 2, line.size() - open - 3));
  }
  return values;
}

TEST(RecordKeywords, FuzzDictionaryHoldsEverySpellingOfTheTables) {
  std::vector<std::string> expected;
  for (RecordPart part : kParts) {
    for (const RecordKeyword& keyword : record_keywords(part)) {
      for (std::string_view spelling : spellings(keyword)) expected.emplace_back(spelling);
    }
  }
  EXPECT_EQ(dictionary_block("# Record keywords"), expected);

  const std::vector<std::string> more = dictionary_block("# More spellings that are records");
  EXPECT_FALSE(more.empty());
  for (const std::string& spelling : more) {
    bool read = false;
    for (RecordPart part : kParts) read = read || !records_of(spelling, part).empty();
    EXPECT_TRUE(read) << spelling << " is read as no record";
  }
}

}  // namespace
}  // namespace sb
