// Error messages that say how to fix the record: they name the record and
// the value, and show control characters in the input as escapes.
#include <gtest/gtest.h>

#include <string>

#include "support/descriptions.h"

namespace sb {
namespace {

using test::kQuietLine;
using test::kQuietStretches;
using test::line_file;
using test::read_files;
using test::ReadResult;
using test::train_file;

struct MessageCase {
  const char* name;
  std::string line;
  std::string train;
  std::string expected;  // the first error, as printed
};

void PrintTo(const MessageCase& c, std::ostream* out) { *out << c.name; }

class Messages : public ::testing::TestWithParam<MessageCase> {};

TEST_P(Messages, NameTheRecordAndTheValue) {
  const MessageCase& c = GetParam();
  const ReadResult r = read_files(c.line, c.train);
  ASSERT_FALSE(r.scenario.diagnostics.empty());
  EXPECT_EQ(format_diagnostic(r.scenario.diagnostics.list()[0]), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Reader, Messages,
    ::testing::Values(
        MessageCase{"SignalApproachMarksBeforeTheLine", kQuietLine,
                    train_file(kQuietStretches + "segnale,  150,  1,  4,  1,  0,  0,  0,  0,  0,  0,  0\r\n"),
                    "Prova_1-.txt:4:1: error: reading failure: `segnale` at 150 m: its approach marks would start "
                    "before the line; the first position accepted is 325 m [E25]"},
        MessageCase{"SignalBeforeTheLine", kQuietLine,
                    train_file(kQuietStretches + "segnale,  -200,  1,  4,  1,  0,  0,  0,  0,  0,  0,  0\r\n"),
                    "Prova_1-.txt:4:1: error: reading failure: `segnale` at -200 m lies before the line's start; "
                    "the first position accepted is 325 m [E25]"},
        MessageCase{"SlowdownEndBeyondTheLastCell", kQuietLine,
                    train_file(kQuietStretches + "rallentamento,  90000,  60,  9000,  0,  0,  0\r\n"),
                    "Prova_1-.txt:4:1: error: reading failure: `rallentamento` at 90000 m with length 9000 m: "
                    "its end at 99000 m lies beyond the last track cell 1900; ends up to 94950 m are accepted "
                    "[E25]"},
        MessageCase{"MissingRouteLength", "[generale]\r\n[curve]\r\npendenza,  1000,  2\r\n[fine]\r\n",
                    train_file(kQuietStretches),
                    "Prova_linea.txt:2:1: error: reading failure: the line has no route length: put \"lunghezza "
                    "percorso, METRES\" between [generale] and the first section header [E25]"},
        MessageCase{"MontagnaPastTheLastCell", line_file("montagna,  94000,  96000,  1\r\n"),
                    train_file(kQuietStretches),
                    "Prova_linea.txt:4:1: error: reading failure: `montagna` from 94000 m to 96000 m: its cells "
                    "run past the last track cell 1900; a span may end at 95050 m at most [E25]"},
        MessageCase{"StationPastTheLastCell", kQuietLine,
                    train_file(kQuietStretches + test::station_record(94000, 12, 6000)),
                    "Prova_1-.txt:4:1: error: reading failure: `stazione` at 94000 m (kind 12) ends at 97000 "
                    "m: its stop cell and approach marks would lie past the last track cell 1900; move it back "
                    "or shorten it [E25]"},
        MessageCase{"BoardBeforeTheLine", line_file("cartello_indicatore,  -100,  (A)\r\n"),
                    train_file(kQuietStretches),
                    "Prova_linea.txt:4:1: error: reading failure: `cartello_indicatore` at -100 m lies before "
                    "the line's start [E25]"},
        MessageCase{"TabInANumberIsEscaped", kQuietLine, train_file(kQuietStretches + "sabbia,  3\t00\r\n"),
                    "Prova_1-.txt:4:10: error: reading failure: expected a whole number, found \"3\\t00\" [E25]"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace sb
