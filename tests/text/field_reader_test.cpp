#include "text/field_reader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/failures.h"

namespace sb {
namespace {

// One step of a reading script: what to read and what must come out.
// t: text field, i: 32-bit number, h: 16-bit number, b: 8-bit number,
// E: the file has ended here.
struct Step {
  char op;
  std::string text;  // t: expected text
  int64_t number;    // i, h, b: expected value
  int line;          // t: line the field starts on; 0 = not checked
};

Step text(std::string t, int line = 0) { return {'t', std::move(t), 0, line}; }
Step i32(int64_t v) { return {'i', "", v, 0}; }
Step i16(int64_t v) { return {'h', "", v, 0}; }
Step u8(int64_t v) { return {'b', "", v, 0}; }
Step end() { return {'E', "", 0, 0}; }

struct ReadCase {
  const char* name;
  std::string input;
  std::vector<Step> steps;
  int final_line = 0;  // line() after the script; 0 = not checked
};

void PrintTo(const ReadCase& c, std::ostream* os) { *os << c.name; }

class FieldReaderReads : public ::testing::TestWithParam<ReadCase> {};

TEST_P(FieldReaderReads, Script) {
  const ReadCase& c = GetParam();
  FieldReader in(c.input);
  for (std::size_t k = 0; k < c.steps.size(); ++k) {
    const Step& s = c.steps[k];
    SCOPED_TRACE("step " + std::to_string(k));
    switch (s.op) {
      case 't': {
        ASSERT_FALSE(in.at_end());
        Field f = in.read_text();
        EXPECT_EQ(std::string(f.text), s.text);
        if (s.line != 0) {
          EXPECT_EQ(f.line, s.line);
        }
        break;
      }
      case 'i': EXPECT_EQ(in.read_int32(), s.number); break;
      case 'h': EXPECT_EQ(in.read_int16(), s.number); break;
      case 'b': EXPECT_EQ(in.read_byte(), s.number); break;
      case 'E': EXPECT_TRUE(in.at_end()); break;
    }
  }
  if (c.final_line != 0) {
    EXPECT_EQ(in.line(), c.final_line);
  }
}

const ReadCase kReadCases[] = {
    {"RecordAtEndWithoutFineMarker",
     "[generale]\r\npendenza,  19300,  -4",
     {text("[generale]", 1), text("pendenza", 2), i32(19300), i32(-4), end()},
     2},
    {"RecordEndingInLineEndAtEnd", "pendenza,  19300,  -4\r\n", {text("pendenza"), i32(19300), i32(-4), end()}, 2},
    {"CrLfLines", "a\r\nb\r\nc", {text("a", 1), text("b", 2), text("c", 3), end()}, 3},
    {"LoneCrLines", "a\rb\rc", {text("a", 1), text("b", 2), text("c", 3), end()}, 3},
    {"LoneLfLines", "a\nb\nc", {text("a", 1), text("b", 2), text("c", 3), end()}, 3},
    {"MixedLineEnds",
     "a\n\rb\r\nc\rd",
     {text("a", 1), text("", 2), text("b", 3), text("c", 4), text("d", 5), end()},
     5},
    {"NumberEndsLine", "1\r2\n3\r\n4", {i32(1), i32(2), i32(3), i32(4), end()}, 4},
    {"EmptyLineIsEmptyField", "a\r\n\r\nb\r\n", {text("a", 1), text("", 2), text("b", 3), end()}, 4},
    {"BlankLineIsEmptyField", "a\r\n   \r\nb", {text("a", 1), text("", 2), text("b", 3)}},
    {"EmptyNumberFieldsReadZero",
     "indicatori_vmax,  1250,  90,  90,  90,  0,  ,  ,  ,  0\r\nx",
     {text("indicatori_vmax"), i32(1250), i32(90), i32(90), i32(90), i32(0), i32(0), i32(0), i32(0), i32(0),
      text("x", 2)}},
    {"EmptyNumberBeforeLineEnd", "5,\r\n7", {i32(5), i32(0), i32(7), end()}},
    {"EmptyNumberOfEveryWidth", ",,,x", {i16(0), u8(0), i32(0), text("x")}},
    {"QuotedTextDropsRestOfField", "\"  ab, c \"xyz,next\r\n", {text("  ab, c "), text("next"), end()}},
    {"QuotedTextAfterBlanks", "   \"q\"\r\nnext", {text("q", 1), text("next", 2)}},
    {"QuotedTextSpansLines", "\"a\r\nb\"tail\r\nc", {text("a\r\nb", 1), text("c", 3)}, 3},
    {"UnclosedQuoteRunsToEnd", "k,\"abc\r\ndef,ghi\r\n", {text("k"), text("abc\r\ndef,ghi\r\n", 1), end()}, 3},
    {"QuoteInsideUnquotedTextIsKept", "ab\"c,d\"", {text("ab\"c"), text("d\"")}},
    {"CommaCutsBoardText",
     "cartello_indicatore,  1300,     (Confluenza, da)(  CINTURA)\r\n[fine]",
     {text("cartello_indicatore"), i32(1300), text("(Confluenza"), text("da)(  CINTURA)", 1), text("[fine]", 2)}},
    {"BoardTextKeepsInnerBlanks", "1300,     (   P.L.  )(km 6+532)\r\n", {i32(1300), text("(   P.L.  )(km 6+532)")}},
    {"TrailingBlanksRemoved", "abc   ,  VALDRA P.CALVEA   \r\nx", {text("abc"), text("VALDRA P.CALVEA"), text("x")}},
    {"TabIsOrdinaryCharacter", "\tab\t ,x\t", {text("\tab\t"), text("x\t"), end()}},
    {"BytesPassUnchanged", "\xC0\xE9\x80\xFF,x", {text("\xC0\xE9\x80\xFF"), text("x")}},
    {"ClockWithBlanks",
     "orologio,     5               56            50\r\n[fine]",
     {text("orologio"), i16(5), i16(56), i16(50), text("[fine]", 2)}},
    {"ClockWithCommas",
     "orologio,  5,  56,  50\r\n[fine]",
     {text("orologio"), i16(5), i16(56), i16(50), text("[fine]", 2)}},
    {"NumberBlanksThenComma", "5   ,   6  ,7", {i32(5), i32(6), i32(7), end()}},
    {"SignedNumbers", "+7,-7,-0,+0", {i32(7), i32(-7), i32(0), i32(0), end()}},
    {"WidthLimitsFit",
     "32767,-32768,255,0,2147483647,-2147483648",
     {i16(32767), i16(-32768), u8(255), u8(0), i32(2147483647), i32(-2147483648LL), end()}},
    {"StationRecord",
     "stazione,  0,  12,  800,  0,  0,  0,  1,  1,  0,  4,  1,  1,  1,  5,  57,  0,   VALDRA P.CALVEA\r\n",
     {text("stazione"), i32(0), u8(12), i32(800), u8(0), u8(0), u8(0), i16(1), i16(1), u8(0), i16(4), i16(1), i16(1),
      u8(1), i32(5), i32(57), i32(0), text("VALDRA P.CALVEA", 1), end()}},
};

INSTANTIATE_TEST_SUITE_P(Cases, FieldReaderReads, ::testing::ValuesIn(kReadCases),
                         [](const ::testing::TestParamInfo<ReadCase>& i) { return std::string(i.param.name); });

// A number field that cannot be read as its variable's type.
struct FailCase {
  const char* name;
  std::string input;
  char op;       // i, h, b as above; t reads a text field
  int skip = 0;  // text fields read successfully first
};

void PrintTo(const FailCase& c, std::ostream* os) { *os << c.name; }

class FieldReaderFails : public ::testing::TestWithParam<FailCase> {};

TEST_P(FieldReaderFails, ThrowsRunTimeFailure) {
  const FailCase& c = GetParam();
  FieldReader in(c.input);
  for (int k = 0; k < c.skip; ++k) in.read_text();
  switch (c.op) {
    case 'i': EXPECT_THROW(in.read_int32(), RunTimeFailure); break;
    case 'h': EXPECT_THROW(in.read_int16(), RunTimeFailure); break;
    case 'b': EXPECT_THROW(in.read_byte(), RunTimeFailure); break;
    case 't': EXPECT_THROW(in.read_text(), RunTimeFailure); break;
  }
}

const FailCase kFailCases[] = {
    {"Int16TooLarge", "32768\r\n", 'h'},
    {"Int16TooSmall", "-32769", 'h'},
    {"ByteTooLarge", "256,", 'b'},
    {"ByteNegative", "-1,", 'b'},
    {"Int32TooLarge", "2147483648", 'i'},
    {"Int32TooSmall", "-2147483649", 'i'},
    {"ManyDigits", "123456789012345678901234567890", 'i'},
    {"LettersAfterDigits", "12abc,", 'i'},
    {"Fraction", "1.5", 'i'},
    {"LonePlus", "+,", 'i'},
    {"LoneMinus", "- ,", 'h'},
    {"DoubleSign", "+-5", 'i'},
    {"Letters", "abc", 'i'},
    {"TabBeforeDigits", "\t5", 'i'},
    {"TextPastEnd", "", 't'},
    {"TextPastEndAfterLastField", "a,b\r\n", 't', 2},
    {"NumberPastEnd", "a", 'i', 1},
    {"NumberPastEndAfterComma", "a,", 'i', 1},
};

INSTANTIATE_TEST_SUITE_P(Cases, FieldReaderFails, ::testing::ValuesIn(kFailCases),
                         [](const ::testing::TestParamInfo<FailCase>& i) { return std::string(i.param.name); });

TEST(FieldReaderKeywords, ExactAndAnyCase) {
  struct {
    const char* field;
    const char* keyword;
    bool exact;
    bool any_case;
  } const cases[] = {
      {"progressiva chilometrica tre", "tre", true, true},
      {"progressiva chilometrica TRE", "tre", false, true},
      {"PENDENZA", "pendenza", false, true},
      {"curvaS4", "s", false, true},
      {"  [Generale]  ", "[generale]", false, true},
      {"cartello_indicatore", "indicat", true, true},
      {"indicatori_vmax", "indicatori_v", true, true},
      {"[indicazioni]", "indicatori_v", false, false},
      {"pendenz", "pendenza", false, false},
      {"", "pendenza", false, false},
      {"abc", "", true, true},
      {"\xC0", "\xE0", false, false},  // only A to Z fold
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.field) + " / " + c.keyword);
    EXPECT_EQ(contains(c.field, c.keyword), c.exact);
    EXPECT_EQ(contains_any_case(c.field, c.keyword), c.any_case);
  }
}

// Where each field starts, in characters of the file: one byte each (a
// Windows-1252 letter, a tab), counted from 1 after every kind of line end;
// a quoted text starts at its quote. A failing number names its own place.
TEST(FieldReaderPlaces, ColumnsCountBytesFromEachLineStart) {
  FieldReader in("segnale,  1300,\xE0x, 7\r\n  \"A,\nB\",\t9\rpendenza, 12\nz, abc\n");
  EXPECT_EQ(in.read_text().place().column, 1);
  const Field keyword = in.read_text();  // "1300"
  EXPECT_EQ(keyword.column, 11);
  in.start_record();
  const Field accented = in.read_text();
  EXPECT_EQ(accented.column, 16);
  in.read_int32();
  EXPECT_EQ((std::pair{in.record_field(2).line, in.record_field(2).column}), (std::pair{1, 20}));
  const Field quoted = in.read_text();
  EXPECT_EQ((std::pair{quoted.line, quoted.column}), (std::pair{2, 3}));
  const Field tabbed = in.read_text();  // "\t9": the tab is the field's first character
  EXPECT_EQ((std::pair{tabbed.line, tabbed.column}), (std::pair{3, 4}));
  const Field after_cr = in.read_text();
  EXPECT_EQ((std::pair{after_cr.line, after_cr.column}), (std::pair{4, 1}));
  EXPECT_EQ(in.read_int32(), 12);
  EXPECT_EQ(in.read_text().column, 1);
  EXPECT_EQ(in.record_field(0).column, 11) << "field 0 stays the record's keyword";
  EXPECT_EQ(in.record_field(99).line, 5) << "past the fields read: the last one";
  try {
    in.read_int32();
    FAIL() << "abc read as a number";
  } catch (const RunTimeFailure& failure) {
    EXPECT_EQ((std::pair{failure.line(), failure.column()}), (std::pair{5, 4}));
  }
}

}  // namespace
}  // namespace sb
