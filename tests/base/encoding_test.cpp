// Windows-1252 <-> UTF-8 for names and texts.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>

#include "base/encoding.h"

namespace sb {
namespace {

TEST(Encoding, EveryDefinedByteRoundTrips) {
  for (int b = 1; b < 256; ++b) {
    if (b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D) continue;
    const std::string byte(1, static_cast<char>(b));
    EXPECT_EQ(utf8_to_1252(cp1252_to_utf8(byte)), byte) << b;
  }
  EXPECT_EQ(cp1252_to_utf8("\x80\xE0"), "\xE2\x82\xAC\xC3\xA0");  // euro sign, a grave
  EXPECT_EQ(cp1252_to_utf8("\x81"), "\xEF\xBF\xBD");
}

TEST(Encoding, RefusesWhatHasNoByteOrIsNoUtf8) {
  const struct {
    const char* name;
    std::string text;
    std::string problem;
  } cases[] = {
      {"no Windows-1252 byte", "a\xE2\x82\xB9", "the character \"\xE2\x82\xB9\" (U+20B9) has no Windows-1252 byte"},
      {"undefined high control", "\xC2\x81", "the character \"\xC2\x81\" (U+0081) has no Windows-1252 byte"},
      {"overlong", "\xC0\x80", "invalid UTF-8 byte 0xC0 at byte 1"},
      {"surrogate", "ab\xED\xA0\x80", "invalid UTF-8 byte 0xED at byte 3"},
      {"cut short", "\xE0\xA0", "invalid UTF-8 byte 0xE0 at byte 1"},
      {"stray continuation", "\x80", "invalid UTF-8 byte 0x80 at byte 1"},
      {"past U+10FFFF", "\xF4\x90\x80\x80", "invalid UTF-8 byte 0xF4 at byte 1"},
  };
  for (const auto& c : cases) {
    std::string problem;
    EXPECT_FALSE(utf8_to_1252(c.text, &problem)) << c.name;
    EXPECT_EQ(problem, c.problem) << c.name;
  }
}

}  // namespace
}  // namespace sb

namespace sb {
namespace {

// UTF-16 is told by its byte order mark, or without one by a first line
// of little-endian characters; UTF-8 (with its mark) and Windows-1252 are
// never taken for it.
TEST(Encoding, Utf16IsToldFromOtherText) {
  using namespace std::string_literals;
  const std::pair<std::string, std::string_view> cases[] = {
      {"\xFF\xFE[\0g\0"s, "UTF-16LE"},
      {"\xFE\xFF\0[\0g"s, "UTF-16BE"},
      {"\xFF\xFE"s, "UTF-16LE"},
      {"[\0g\0e\0n\0]\0\r\0\n\0\x20\x20"s, "UTF-16LE"},  // the second line need not be Latin-1
      {"\xE8\0\r\0\n\0"s, "UTF-16LE"},
      {"[\0g\0"s, "UTF-16LE"},
      {"\xEF\xBB\xBF[generale]\r\n"s, ""},
      {"[generale]\r\n"s, ""},
      {"\xFF\xFF[\0"s, ""},
      {"[\0"s, ""},          // one character is no proof
      {"\n\0x\0"s, ""},      // nor is a first line of one
      {"[\0g\0e\x20"s, ""},  // a character beyond Latin-1: not certain
      {"\0[\0g"s, ""},
      {""s, ""},
  };
  for (const auto& [bytes, form] : cases) EXPECT_EQ(utf16_form(bytes), form) << testing::PrintToString(bytes);
}

TEST(Utf8, ValidityAndDisplay) {
  struct Case {
    std::string bytes;
    bool valid;
  };
  for (const Case& c : {Case{"", true}, Case{"abc", true}, Case{"Citt\xC3\xA0", true}, Case{"\xE2\x82\xAC", true},
                        Case{"\xF0\x9F\x9A\x82", true}, Case{"Citt\xE0", false}, Case{"\xC3", false},
                        Case{"\xC0\x80", false}, Case{"\xED\xA0\x80", false}, Case{"\xF4\x90\x80\x80", false}}) {
    EXPECT_EQ(is_valid_utf8(c.bytes), c.valid) << testing::PrintToString(c.bytes);
  }
  EXPECT_EQ(display_utf8("Citt\xC3\xA0"), "Citt\xC3\xA0");
  EXPECT_EQ(display_utf8("Citt\xE0"), "Citt\xC3\xA0");
}

}  // namespace
}  // namespace sb
