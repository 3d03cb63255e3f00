// A seeded generator of ordinary line and train description files for a
// long route, for the benchmark: a curve every 500 m, gradients, speed-limit
// and line boards, 60 stations, a signal every 1.5 km, a few slowdowns, speed
// limits and adhesion. Every point element falls into a cell of its own, so
// the files compile without a single recorded condition.
#pragma once

#include <cstdint>
#include <string>

namespace sb::bench {

struct GeneratedScenario {
  std::string route;              // route name: "Banco" + kilometres
  std::string train;              // train number
  std::string line;               // bytes of ROUTE_linea.txt
  std::string train_description;  // bytes of ROUTE_TRAIN-.txt
};

// A route of `km` kilometres, 60 to 1000 (below 60 km the 60 stations do not
// fit). The same seed gives the same bytes.
GeneratedScenario generate_scenario(int km, uint32_t seed);

// What a generated scenario holds beyond the benchmark's make-up.
struct GeneratorShape {
  int km = 60;        // 5 to 1000
  int stations = 60;  // at most km / 2 (and 60)
  // Montagna spans, signals of every type with times, slowdowns with every
  // value, boards with both sides, stations of several kinds, abbattimento
  // marks, a falling chainage system, quoted board texts, speed limits
  // that are no multiple of 5: still without a recorded error.
  bool varied = false;
};
GeneratedScenario generate_scenario(const GeneratorShape& shape, uint32_t seed);
// A member of the test corpus: its length (5 to 120 km), station count and
// features drawn from the seed.
GeneratedScenario generate_varied_scenario(uint32_t seed);

// A short route (12 to 36 km) of the cases where one cell does not tell
// the record: signals close enough that their approach marks replace each
// other's or a station's, read in rising order or not; signal types whose
// marks wrap (sx 43 and above, negative ones); montagna spans whose gaps lie
// about the 150 m that joins them, with ends inside their cells, touching,
// overlapping or read out of order; slowdowns whose position ends in 25 or
// 75 m. It compiles without an error; many of its sets warn.
GeneratedScenario generate_edge_scenario(uint32_t seed);

}  // namespace sb::bench
