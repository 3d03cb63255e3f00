#include "reader/chainage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "reader_test_support.h"

namespace sb {
namespace {

using testing_support::read_files;

// (start, reference, direction flag) of one chainage system.
struct Triple {
  int32_t start = 0;
  int32_t end = 0;
  int32_t flag = 0;
  bool operator==(const Triple&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Triple& t) {
  return os << "(" << t.start << ", " << t.end << ", " << t.flag << ")";
}

using Slots = std::array<Triple, 3>;  // slots 81, 82, 83

std::string shown(const Slots& s) {
  std::ostringstream out;
  for (const Triple& t : s) out << t << " ";
  return out.str();
}

Slots order(const Slots& in) {
  ScenarioState state;
  for (int i = 0; i < 3; ++i) {
    TableRecord& r = state.scenario_table[static_cast<std::size_t>(kChainageSlotThree + i)];
    r.start = in[static_cast<std::size_t>(i)].start;
    r.end = in[static_cast<std::size_t>(i)].end;
    r.position = in[static_cast<std::size_t>(i)].flag;
  }
  progressive_ordina(state);
  Slots out;
  for (int i = 0; i < 3; ++i) {
    const TableRecord& r = state.scenario_table[static_cast<std::size_t>(kChainageSlotThree + i)];
    out[static_cast<std::size_t>(i)] = {r.start, r.end, r.position};
  }
  return out;
}

struct OrderCase {
  const char* name;
  Slots found;     // as the reader stored them: "tre", "due", "uno"
  Slots expected;  // after the ordering
};

const Triple kZero{};

TEST(ChainageOrdering, Examples) {
  const OrderCase cases[] = {
      {"built-in line", {{{0, 0, 0}, {31700, 44400, 1}, {0, 5200, 0}}},
       {{{31700, 44500, 1}, {0, 5200, 0}, {0, 0, 0}}}},
      {"\"uno\" alone", {{kZero, kZero, {0, 5200, 0}}}, {{{0, 5200, 0}, kZero, kZero}}},
      {"0, 10000, 20000 in uno, due, tre stay", {{{20000, 30000, 0}, {10000, 20000, 0}, {0, 5000, 0}}},
       {{{20000, 30000, 0}, {10000, 20000, 0}, {0, 5000, 0}}}},
      {"0, 10000, 20000 in tre, due, uno are swapped", {{{0, 5000, 0}, {10000, 20000, 0}, {20000, 30000, 0}}},
       {{{20000, 30000, 0}, {10000, 20000, 0}, {0, 5000, 0}}}},
      {"two equal greatest starts", {{{10000, 1000, 0}, {10000, 2000, 0}, {0, 3000, 0}}}, {{kZero, kZero, kZero}}},
      {"two equal greatest starts, the smaller first", {{{0, 3000, 0}, {10000, 1000, 1}, {10000, 2000, 0}}},
       {{kZero, kZero, kZero}}},
      {"three equal starts", {{{5000, 1000, 0}, {5000, 2000, 0}, {5000, 3000, 0}}}, {{kZero, kZero, kZero}}},
      {"no chainage record", {{kZero, kZero, kZero}}, {{kZero, kZero, kZero}}},
      // When the two smaller starts are equal, the higher-numbered slot's
      // triple goes to slot 82.
      {"81 greatest, 82 and 83 equal", {{{9000, 1, 0}, {100, 2, 0}, {100, 3, 0}}},
       {{{9000, 1, 0}, {100, 3, 0}, {100, 2, 0}}}},
      {"82 greatest, 81 and 83 equal", {{{100, 1, 0}, {9000, 2, 0}, {100, 3, 0}}},
       {{{9000, 2, 0}, {100, 3, 0}, {100, 1, 0}}}},
      {"83 greatest, 81 and 82 equal", {{{100, 1, 0}, {100, 2, 0}, {9000, 3, 0}}},
       {{{9000, 3, 0}, {100, 2, 0}, {100, 1, 0}}}},
      // Starts adding up to 0: chosen by reference value, looked for in
      // slot 83, then 82, then 81.
      {"sum 0, reference in 83: 81 and 83 swap", {{{0, 7, 0}, {0, 8, 0}, {0, 9, 0}}},
       {{{0, 9, 0}, {0, 8, 0}, {0, 7, 0}}}},
      {"sum 0, reference in 82: 81 and 82 swap", {{{0, 7, 0}, {0, 8, 0}, {0, -9, 0}}},
       {{{0, 8, 0}, {0, 7, 0}, {0, -9, 0}}}},
      {"sum 0, reference in 81 only: stay", {{{0, 7, 0}, {0, 0, 0}, {0, -9, 0}}},
       {{{0, 7, 0}, {0, 0, 0}, {0, -9, 0}}}},
      {"sum 0, no reference above 0", {{{0, -7, 1}, {0, 0, 1}, {0, -9, 0}}}, {{kZero, kZero, kZero}}},
      {"nonzero starts adding up to 0", {{{-500, 7, 0}, {500, 8, 0}, {0, 0, 0}}},
       {{{500, 8, 0}, {-500, 7, 0}, {0, 0, 0}}}},
      // Only a flag of exactly 1 raises the reference by 100.
      {"flags 1, 2 and 0", {{{30000, 40000, 1}, {20000, 1000, 2}, {0, 5000, 0}}},
       {{{30000, 40100, 1}, {20000, 1000, 2}, {0, 5000, 0}}}},
      {"flag 1 follows its triple", {{{0, 1000, 0}, {0, 0, 0}, {0, 5200, 1}}},
       {{{0, 5300, 1}, {0, 0, 0}, {0, 1000, 0}}}},
      {"flag 1 in every slot", {{{300, 0, 1}, {200, 50, 1}, {100, -100, 1}}},
       {{{300, 100, 1}, {200, 150, 1}, {100, 0, 1}}}},
  };
  for (const OrderCase& c : cases) {
    EXPECT_EQ(order(c.found), c.expected) << c.name << ": got " << shown(order(c.found));
  }
}

// Every arrangement of three distinct starts ends in the same order.
TEST(ChainageOrdering, EveryArrangementOfDistinctStartsEndsGreatestFirst) {
  const Slots sorted{{{20000, 30000, 0}, {10000, 20000, 1}, {0, 5000, 2}}};
  Slots expected = sorted;
  expected[1].end += 100;
  std::vector<int> perm{0, 1, 2};
  int arrangements = 0;
  do {
    Slots found;
    for (int i = 0; i < 3; ++i) found[static_cast<std::size_t>(i)] = sorted[static_cast<std::size_t>(perm[i])];
    EXPECT_EQ(order(found), expected) << "from " << shown(found);
    ++arrangements;
  } while (std::next_permutation(perm.begin(), perm.end()));
  EXPECT_EQ(arrangements, 6);
}

TEST(ChainageOrdering, TouchesOnlyTheThreeTriples) {
  ScenarioState state;
  for (int slot = 80; slot <= 84; ++slot) {
    TableRecord& r = state.scenario_table[static_cast<std::size_t>(slot)];
    r.kind = static_cast<uint8_t>(slot);
    r.text = "slot " + std::to_string(slot);
    r.time = slot * 10;
    r.attribute_7 = static_cast<int16_t>(slot);
  }
  state.scenario_table[80].start = 11;
  state.scenario_table[84].end = 88000;
  state.scenario_table[82].start = 31700;
  state.scenario_table[82].end = 44400;
  state.scenario_table[82].position = 1;
  state.scenario_table[83].end = 5200;
  progressive_ordina(state);
  for (int slot = 80; slot <= 84; ++slot) {
    const TableRecord& r = state.scenario_table[static_cast<std::size_t>(slot)];
    EXPECT_EQ(r.kind, slot);
    EXPECT_EQ(r.text, "slot " + std::to_string(slot));
    EXPECT_EQ(r.time, slot * 10);
    EXPECT_EQ(r.attribute_7, slot);
  }
  EXPECT_EQ(state.scenario_table[80].start, 11);
  EXPECT_EQ(state.scenario_table[84].end, 88000);
  EXPECT_EQ(state.scenario_table[81].end, 44500);
  EXPECT_EQ(state.error_code, 0);
}

TEST(ChainageOrdering, ResultsThatDoNotFit32BitsAreRunTimeFailures) {
  // The 32-bit sum of the three starts.
  EXPECT_THROW(order({{{INT32_MAX, 0, 0}, {1, 0, 0}, {0, 0, 0}}}), RunTimeFailure);
  // The reference of a falling system + 100.
  EXPECT_THROW(order({{{100, INT32_MAX - 99, 1}, kZero, kZero}}), RunTimeFailure);
  EXPECT_EQ(order({{{100, INT32_MAX - 100, 1}, kZero, kZero}})[0].end, INT32_MAX);
}

// Read from a line file: the records land in slots 81 (tre), 82 (due) and
// 83 (uno) and are ordered before the main part; an overflow is code 25.
TEST(ChainageOrdering, ReadFromTheLineFile) {
  struct Case {
    const char* general;
    Slots expected;
    int32_t code;
  };
  const Case cases[] = {
      {"progressiva chilometrica uno,  0,  5200,  0\r\n", {{{0, 5200, 0}, kZero, kZero}}, 0},
      {"progressiva chilometrica uno,  20000,  1000,  0\r\n"
       "progressiva chilometrica due,  10000,  2000,  1\r\n"
       "progressiva chilometrica tre,  0,  3000,  0\r\n",
       {{{20000, 1000, 0}, {10000, 2100, 1}, {0, 3000, 0}}}, 0},
      {"progressiva chilometrica uno,  2000000000,  0,  0\r\n"
       "progressiva chilometrica due,  2000000000,  0,  0\r\n",
       {{kZero, {2000000000, 0, 0}, {2000000000, 0, 0}}}, 25},
  };
  for (const Case& c : cases) {
    auto r = read_files(testing_support::line_file("", c.general), testing_support::train_file(""));
    Slots got;
    for (int i = 0; i < 3; ++i) {
      const TableRecord& t = r.state.scenario_table[static_cast<std::size_t>(kChainageSlotThree + i)];
      got[static_cast<std::size_t>(i)] = {t.start, t.end, t.position};
    }
    EXPECT_EQ(got, c.expected) << c.general << " got " << shown(got);
    EXPECT_EQ(r.state.error_code, c.code) << c.general;
  }
}

}  // namespace
}  // namespace sb
