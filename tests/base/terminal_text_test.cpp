// Standard error's escaping, written in pieces as the program writes it:
// a character split between two writes is escaped all the same, and bytes
// that only look like the start of one pass unchanged.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "base/terminal_text.h"

namespace {

struct EscapeCase {
  const char* name;
  std::vector<std::string> pieces;  // written one after the other
  std::string shown;
};

void PrintTo(const EscapeCase& c, std::ostream* out) { *out << c.name; }

class TerminalEscapes : public ::testing::TestWithParam<EscapeCase> {};

TEST_P(TerminalEscapes, AreWrittenWhateverThePieces) {
  std::ostringstream out;
  {
    const sb::TerminalSafeOutput safe(out);
    for (const std::string& piece : GetParam().pieces) out << piece;
  }
  EXPECT_EQ(out.str(), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Text, TerminalEscapes,
    ::testing::Values(EscapeCase{"PlainTextAndLineEnds", {"a\tb\n", "è → €\n"}, "a\tb\nè → €\n"},
                      EscapeCase{"C0AndDelete", {"\x1b[2J\r\x7f"}, "\\x1b[2J\\x0d\\x7f"},
                      EscapeCase{"C1Controls", {"\xc2\x80\xc2\x9b\xc2\x9f\xc2\xa0"}, "\\u{80}\\u{9b}\\u{9f}\xc2\xa0"},
                      EscapeCase{"BidiOverridesAndIsolates",
                                 {"\xe2\x80\xaa\xe2\x80\xae\xe2\x81\xa6\xe2\x81\xa9\xe2\x80\xa9\xe2\x81\xaa"},
                                 "\\u{202a}\\u{202e}\\u{2066}\\u{2069}\xe2\x80\xa9\xe2\x81\xaa"},
                      EscapeCase{
                          "SplitBetweenWrites", {"a\xc2", "\x9b", "b\xe2", "\x80", "\xae"}, "a\\u{9b}b\\u{202e}"},
                      EscapeCase{"LoneWindows1252Bytes",
                                 {"\x9b\x80", "\xc2", "A\xe2\x80", "B"},
                                 "\x9b\x80\xc2"
                                 "A\xe2\x80"
                                 "B"},
                      EscapeCase{"StartOfASequenceAtTheEnd", {"x\xe2\x80"}, "x\xe2\x80"}),
    [](const auto& info) { return std::string(info.param.name); });

// JSON keeps the characters as escapes of its own: a reader gets the
// file's text back.
TEST(JsonForTerminal, EscapesTheCharactersAsJson) {
  EXPECT_EQ(sb::json_for_terminal("{\"f\": \"a\xc2\x9b\xe2\x80\xae\x7f\xc3\xa8\"}"),
            "{\"f\": \"a\\u009b\\u202e\\u007f\xc3\xa8\"}");
}

}  // namespace
