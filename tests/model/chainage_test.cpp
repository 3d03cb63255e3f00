#include "model/chainage.h"

#include <gtest/gtest.h>

namespace sb {
namespace {

struct ChainageCase {
  const char* name;
  std::array<ChainageSystem, 3> systems;
  int64_t position;
  std::optional<int64_t> expected;
};

void PrintTo(const ChainageCase& c, std::ostream* out) { *out << c.name; }

std::string case_name(const testing::TestParamInfo<ChainageCase>& info) { return info.param.name; }

class ChainageAt : public testing::TestWithParam<ChainageCase> {};

TEST_P(ChainageAt, FollowsTheSystemThatCoversThePosition) {
  const ChainageCase& c = GetParam();
  EXPECT_EQ(chainage_at(c.systems, c.position), c.expected);
}

// The built-in line as the table stores it: system two (start 31 700,
// reference 44 400, falling: stored 44 500) first, then system one.
constexpr std::array<ChainageSystem, 3> kBuiltin{{{31700, 44500, 1}, {0, 5200, 0}, {0, 0, 0}}};

INSTANTIATE_TEST_SUITE_P(
    Systems, ChainageAt,
    testing::Values(ChainageCase{"RisingFromZero", kBuiltin, 1000, 6200},
                    ChainageCase{"FallingAtItsStart", kBuiltin, 31700, 12700},
                    ChainageCase{"FallingFurtherOn", kBuiltin, 44400, 0},
                    ChainageCase{"RisingJustBeforeTheFallingStart", kBuiltin, 31650, 36850},
                    ChainageCase{"RisingAwayFromZero", {{{2000, 10000, 0}, {0, 0, 0}, {0, 0, 0}}}, 2500, 12500},
                    ChainageCase{"BeforeEverySystem", {{{2000, 10000, 0}, {0, 0, 0}, {0, 0, 0}}}, 1950, std::nullopt},
                    ChainageCase{"NoSystemAtAll", {}, 0, std::nullopt}),
    case_name);

TEST(ChainageKmText, WritesThreeDecimalsAndTheSign) {
  EXPECT_EQ(chainage_km_text(12700), "12.700");
  EXPECT_EQ(chainage_km_text(5), "0.005");
  EXPECT_EQ(chainage_km_text(-300), "-0.300");
  EXPECT_EQ(chainage_km_text(0), "0.000");
}

}  // namespace
}  // namespace sb
