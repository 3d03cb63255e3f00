#include "track/check_codes.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace sb {
namespace {

// (cell check code, route check code) for a train number and a route name.
std::pair<int32_t, int32_t> codes(const std::string& train, const std::string& route) {
  return {cell_check_code(train, route), route_check_code(train, route)};
}

using Codes = std::pair<int32_t, int32_t>;

TEST(CheckCodes, BothTextsEmpty) {
  EXPECT_EQ(check_string("", ""), "aabbccddeeffgghhiillmmnno");
  EXPECT_EQ(codes("", ""), Codes(2583, 34355));
}

TEST(CheckCodes, BuiltinIdentifiers) {
  EXPECT_EQ(check_string("24317", "ValdraPCal-Dorvesa"), "24317valdrapcal-dorvesaaa");
  EXPECT_EQ(codes("24317", "ValdraPCal-Dorvesa"), Codes(2302, 32324));
}

TEST(CheckCodes, LetterCaseDoesNotMatter) {
  const Codes builtin(2302, 32324);
  EXPECT_EQ(codes("24317", "VALDRAPCAL-DORVESA"), builtin);
  EXPECT_EQ(codes("24317", "valdrapcal-dorvesa"), builtin);
  EXPECT_EQ(codes("24317", "vAlDrApCaL-dOrVeSa"), builtin);
}

TEST(CheckCodes, Windows1252Capitals) {
  struct {
    unsigned char capital;
    unsigned char small;
  } const folded[] = {{'A', 'a'},   {'Z', 'z'},   {0xC0, 0xE0}, {0xC9, 0xE9}, {0xD6, 0xF6}, {0xD8, 0xF8},
                      {0xDE, 0xFE}, {0x8A, 0x9A}, {0x8C, 0x9C}, {0x8E, 0x9E}, {0x9F, 0xFF}};
  for (const auto& f : folded) {
    const std::string capital(1, static_cast<char>(f.capital));
    const std::string small(1, static_cast<char>(f.small));
    SCOPED_TRACE(static_cast<int>(f.capital));
    EXPECT_EQ(lower_1252(capital), small);
    EXPECT_EQ(lower_1252(small), small);
    EXPECT_EQ(codes(capital, "x"), codes(small, "x"));
  }
  // Characters without a small form in the code page stay as they are:
  // the multiplication sign, sharp s, digits, punctuation, the other
  // upper-half bytes.
  for (unsigned c :
       {0xD7u, 0xDFu, 0xF7u, 0xFFu, 0x80u, 0x8Bu, 0x9Au, 0x40u, 0x5Bu, 0x60u, 0x7Bu, unsigned{'-'}, unsigned{'0'}}) {
    const std::string s(1, static_cast<char>(c));
    SCOPED_TRACE(c);
    EXPECT_EQ(lower_1252(s), s);
  }
  EXPECT_NE(codes("\xD7", ""), codes("\xF7", ""));
  // 0xD7 counts with its own code: 215 in place of the filler's first "a".
  EXPECT_EQ(codes("\xD7", "").first, 2583 - 'o' + 0xD7);
}

TEST(CheckCodes, OrderMatters) {
  EXPECT_NE(codes("ValdraPCal-Dorvesa", "24317"), codes("24317", "ValdraPCal-Dorvesa"));
  EXPECT_NE(codes("ab", "c"), codes("c", "ab"));
}

TEST(CheckCodes, OnlyTwentyFiveCharactersCount) {
  // 5 + 20 = 25 characters decide; whatever follows never counts.
  const std::string route20 = "ValdraPCal-Dorvesa-X";
  const Codes base = codes("24317", route20);
  EXPECT_EQ(codes("24317", route20 + "Y"), base);
  EXPECT_EQ(codes("24317", route20 + "zzzzzzzzzzzzzzzzzzzzzzzzzzzzzz"), base);
  // The 25th character itself counts, with weight 25.
  const Codes other = codes("24317", "ValdraPCal-Dorvesa-Y");
  EXPECT_EQ(other.first - base.first, 'y' - 'x');
  EXPECT_EQ(other.second - base.second, 25 * ('y' - 'x'));
  // A long train number alone fills the 25 characters.
  EXPECT_EQ(codes(std::string(25, '1'), "ValdraPCal-Dorvesa"), codes(std::string(30, '1'), ""));
}

TEST(CheckCodes, ShortIdentifiersArePaddedWithTheFiller) {
  EXPECT_EQ(check_string("1", "A"), "1aaabbccddeeffgghhiillmmn");
  EXPECT_EQ(check_string("", "24317"), "24317aabbccddeeffgghhiill");
  // The byte sum and the position-weighted sum of "1aaabbccddeeffgghhiillmmn",
  // worked out apart from the implementation.
  EXPECT_EQ(codes("1", "A"), Codes(2508, 33907));
}

TEST(CheckCodes, HighestCodes) {
  const std::string all_ff(25, '\xFF');
  EXPECT_EQ(codes(all_ff, ""), Codes(6375, 82875));
}

}  // namespace
}  // namespace sb
