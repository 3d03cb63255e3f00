// Bounded cost: any input finishes in time and memory proportional to the
// route length and the file size. The worst inputs found for each part of
// the compile run at full scale (a 1000000 m route, files of megabytes)
// under a time bound.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "support/descriptions.h"
#include "support/test_files.h"
#include "track/completion.h"

namespace sb::fuzzing {
namespace {

constexpr double kSlack = test::kSlowBuildSlack;

double seconds(const std::function<void()>& work) {
  auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

const std::string kCrLf = "\r\n";

// A line file of a 1000000 m route (or `length`) with `main` as its main part.
std::string line_file(const std::string& main, int64_t length = 1000000) { return test::line_file(main, "", length); }

const std::string kTrain = "[generale]\r\nvelocita,  0,  30\r\naderenza,  0,  100\r\n[fine]\r\n";

std::string input(const std::string& line, const std::string& train = kTrain, char mode = '1') {
  return line + std::string(kSeparator) + mode + train;
}

// Slowdowns of length 0 on every cell that a warning 1200 m before it
// leaves free: none has an end cell of its own (its start overwrites it),
// so every completion walk runs on to the last cell unless it jumps.
std::string zero_length_slowdowns(int64_t route, int speed) {
  std::string train = "[generale]\r\n";
  const int64_t cells = (route + 7000) / 50;
  for (int64_t c = 24; c < cells - 4; ++c) {
    if ((c / 24) % 2 == 0) continue;  // starts in odd blocks of 24 cells, warnings in even ones
    train += "rallentamento,  " + std::to_string(50 * (c - 1)) + ",  " + std::to_string(speed) + ",  0,  0,  0,  0\r\n";
  }
  return input(line_file("", route), train, '0');
}

struct Worst {
  const char* name;
  std::function<std::string()> make;
};

TEST(BoundedCost, WorstInputsFinishInTime) {
  const std::vector<Worst> cases = {
      {"1000000 m route with a curve of huge length", [] { return input(line_file("curvad6,  0,  2147483647\r\n")); }},
      {"1000000 m route, plan and three files", [] { return input(line_file("curvad6,  100,  999000\r\n")); }},
      {"100000 route length records",
       [] {
         return input("[generale]\r\n" + test::repeated("lunghezza percorso,  1000000\r\n", 100000) + "[curve]\r\n");
       }},
      {"100000 gradient records at one position",
       [] { return input(line_file(test::repeated("pendenza,  500000,  3\r\n", 100000))); }},
      {"80 montagna spans over the whole route",
       [] { return input(line_file(test::repeated("montagna,  0,  1006900,  12\r\n", 80))); }},
      {"100000 speed records at the last position",
       [] { return input(line_file(""), "[generale]\r\n" + test::repeated("velocita,  1006900,  100\r\n", 100000)); }},
      {"8 MB line", [] { return input(line_file(std::string(8 << 20, 'p') + kCrLf)); }},
      {"8 MB number", [] { return input(line_file("pendenza,  " + std::string(8 << 20, '9') + kCrLf)); }},
      {"8 MB unclosed quote",
       [] { return input(line_file("cartello_indicatore,  100,  \"" + std::string(8 << 20, 'a'))); }},
      {"1000000 dash fields", [] { return input(line_file(test::repeated("-,", 1000000))); }},
      {"10000 fast slowdowns without end cells", [] { return zero_length_slowdowns(1000000, 120); }},
      {"10000 slow slowdowns without end cells", [] { return zero_length_slowdowns(1000000, 60); }},
  };
  for (const Worst& w : cases) {
    SCOPED_TRACE(w.name);
    const std::string bytes = w.make();
    double took = seconds([&] { EXPECT_NO_THROW(test::compile_packed(bytes)); });
    EXPECT_LT(took, 2.0 * kSlack) << w.name << " took " << took << " s";
  }
}

// The completion walks from each slowdown start to its end cell. A start
// whose end cell is gone (a slowdown of length 0 or below) has none to
// meet: 2500 of them on the longest route must not each walk on to the
// last cell (2500 x 10000 steps), only to where the walk can still place
// something.
TEST(BoundedCost, SlowdownWalksWithoutEndCellsStayLinear) {
  for (int16_t speed : {int16_t{120}, int16_t{60}}) {
    SCOPED_TRACE(speed);
    double best = 1e9;
    for (int run = 0; run < 3; ++run) {
      Scenario state = test::scenario_with_cells(20140);
      for (int64_t c = 24; c <= state.cell_count - 2; c += 8) {
        state.cells.at(c).kind = cell_kind::kSlowdownStart;
        state.cells.at(c).slowdown_speed() = speed;
      }
      best = std::min(best, seconds([&] { complete_track_cells(state); }));
    }
    EXPECT_LT(best, 0.02 * kSlack) << "the completion took " << best << " s";
  }
}

}  // namespace
}  // namespace sb::fuzzing
