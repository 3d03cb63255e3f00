#include "reader/chainage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "support/descriptions.h"

namespace sb {
namespace {

using test::read_files;

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

Slots found_in(const std::array<ChainageSystem, 3>& systems) {
  Slots out;
  for (std::size_t i = 0; i < 3; ++i) out[i] = {systems[i].start, systems[i].reference, systems[i].direction};
  return out;
}

Slots order(const Slots& in) {
  std::array<ChainageSystem, 3> systems;
  for (std::size_t i = 0; i < 3; ++i) systems[i] = {in[i].start, in[i].end, in[i].flag};
  order_chainage_systems(systems);
  return found_in(systems);
}

struct OrderCase {
  const char* name;
  Slots found;     // as the reader stored them: "tre", "due", "uno"
  Slots expected;  // after the ordering
};

const Triple kZero{};

TEST(ChainageOrdering, Examples) {
  const OrderCase cases[] = {
      {"built-in line", {{{0, 0, 0}, {31700, 44400, 1}, {0, 5200, 0}}}, {{{31700, 44500, 1}, {0, 5200, 0}, {0, 0, 0}}}},
      {"\"uno\" alone", {{kZero, kZero, {0, 5200, 0}}}, {{{0, 5200, 0}, kZero, kZero}}},
      {"0, 10000, 20000 in uno, due, tre stay",
       {{{20000, 30000, 0}, {10000, 20000, 0}, {0, 5000, 0}}},
       {{{20000, 30000, 0}, {10000, 20000, 0}, {0, 5000, 0}}}},
      {"0, 10000, 20000 in tre, due, uno are swapped",
       {{{0, 5000, 0}, {10000, 20000, 0}, {20000, 30000, 0}}},
       {{{20000, 30000, 0}, {10000, 20000, 0}, {0, 5000, 0}}}},
      {"two equal greatest starts", {{{10000, 1000, 0}, {10000, 2000, 0}, {0, 3000, 0}}}, {{kZero, kZero, kZero}}},
      {"two equal greatest starts, the smaller first",
       {{{0, 3000, 0}, {10000, 1000, 1}, {10000, 2000, 0}}},
       {{kZero, kZero, kZero}}},
      {"three equal starts", {{{5000, 1000, 0}, {5000, 2000, 0}, {5000, 3000, 0}}}, {{kZero, kZero, kZero}}},
      {"no chainage record", {{kZero, kZero, kZero}}, {{kZero, kZero, kZero}}},
      // When the two smaller starts are equal, the higher-numbered slot's
      // triple goes to slot 82.
      {"81 greatest, 82 and 83 equal",
       {{{9000, 1, 0}, {100, 2, 0}, {100, 3, 0}}},
       {{{9000, 1, 0}, {100, 3, 0}, {100, 2, 0}}}},
      {"82 greatest, 81 and 83 equal",
       {{{100, 1, 0}, {9000, 2, 0}, {100, 3, 0}}},
       {{{9000, 2, 0}, {100, 3, 0}, {100, 1, 0}}}},
      {"83 greatest, 81 and 82 equal",
       {{{100, 1, 0}, {100, 2, 0}, {9000, 3, 0}}},
       {{{9000, 3, 0}, {100, 2, 0}, {100, 1, 0}}}},
      // Starts adding up to 0: chosen by reference value, looked for in
      // slot 83, then 82, then 81.
      {"sum 0, reference in 83: 81 and 83 swap",
       {{{0, 7, 0}, {0, 8, 0}, {0, 9, 0}}},
       {{{0, 9, 0}, {0, 8, 0}, {0, 7, 0}}}},
      {"sum 0, reference in 82: 81 and 82 swap",
       {{{0, 7, 0}, {0, 8, 0}, {0, -9, 0}}},
       {{{0, 8, 0}, {0, 7, 0}, {0, -9, 0}}}},
      {"sum 0, reference in 81 only: stay", {{{0, 7, 0}, {0, 0, 0}, {0, -9, 0}}}, {{{0, 7, 0}, {0, 0, 0}, {0, -9, 0}}}},
      {"sum 0, no reference above 0", {{{0, -7, 1}, {0, 0, 1}, {0, -9, 0}}}, {{kZero, kZero, kZero}}},
      {"nonzero starts adding up to 0",
       {{{-500, 7, 0}, {500, 8, 0}, {0, 0, 0}}},
       {{{500, 8, 0}, {-500, 7, 0}, {0, 0, 0}}}},
      // Only a flag of exactly 1 raises the reference by 100.
      {"flags 1, 2 and 0",
       {{{30000, 40000, 1}, {20000, 1000, 2}, {0, 5000, 0}}},
       {{{30000, 40100, 1}, {20000, 1000, 2}, {0, 5000, 0}}}},
      {"flag 1 follows its triple",
       {{{0, 1000, 0}, {0, 0, 0}, {0, 5200, 1}}},
       {{{0, 5300, 1}, {0, 0, 0}, {0, 1000, 0}}}},
      {"flag 1 in every slot",
       {{{300, 0, 1}, {200, 50, 1}, {100, -100, 1}}},
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
       {{{20000, 1000, 0}, {10000, 2100, 1}, {0, 3000, 0}}},
       0},
      {"progressiva chilometrica uno,  2000000000,  0,  0\r\n"
       "progressiva chilometrica due,  2000000000,  0,  0\r\n",
       {{kZero, {2000000000, 0, 0}, {2000000000, 0, 0}}},
       25},
      // The first falling system's end overflows: every slot already holds
      // its ordered system (greatest start first), none moved on by 100.
      {"progressiva chilometrica uno,  100,  2147483600,  1\r\n"
       "progressiva chilometrica due,  300,  1000,  1\r\n"
       "progressiva chilometrica tre,  200,  2000,  0\r\n",
       {{{300, 1100, 1}, {200, 2000, 0}, {100, 2147483600, 1}}},
       25},
  };
  for (const Case& c : cases) {
    auto r = read_files(test::line_file("", c.general), test::train_file(""));
    const Slots got = found_in(r.scenario.table.chainage);
    EXPECT_EQ(got, c.expected) << c.general << " got " << shown(got);
    EXPECT_EQ(r.scenario.error_code(), c.code) << c.general;
  }
}

// The overflow is blamed on the record of the system that overflowed.
TEST(ChainageOrdering, AnOverflowIsReportedAtItsOwnRecord) {
  auto r = read_files(test::line_file("", "progressiva chilometrica uno,  100,  2147483600,  1\r\nsfondo uno,  1\r\n"),
                      test::train_file(""));
  ASSERT_EQ(r.scenario.error_code(), 25);
  EXPECT_EQ(r.scenario.diagnostics.list().back().line, 3);
  EXPECT_EQ(r.scenario.diagnostics.list().back().record_line, 3);
}

}  // namespace
}  // namespace sb
