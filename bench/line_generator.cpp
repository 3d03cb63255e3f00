#include "line_generator.h"

#include <random>
#include <set>
#include <stdexcept>
#include <vector>

#include "model/track_cells.h"

namespace sb::bench {
namespace {

constexpr int kStations = 60;
constexpr int kLineBoards = 12;  // with the 60 stations, well under the 78 slots
constexpr int64_t kStationLength = 600;

class Generator {
 public:
  Generator(int km, uint32_t seed) : length_(int64_t{km} * 1000), rng_(seed) {}

  GeneratedScenario run() {
    // Elements that take a cell are laid out first, the ones that can move
    // last: stop cells, line boards, speed boards, slowdowns, signals.
    stations();
    line_boards();
    speed_boards();
    slowdowns();
    signals();

    GeneratedScenario out;
    out.route = std::string("Banco").append(num(length_ / 1000));
    out.train = std::string("7").append(num(length_ / 1000));
    out.line = line_file();
    out.train_description = train_file();
    return out;
  }

 private:
  struct Station {
    int64_t position;
    int64_t seconds;  // scheduled time of day
  };
  struct Board {
    int64_t position;
    int speed;
  };
  struct Slowdown {
    int64_t x, speed, length;
  };

  // std::mt19937 is the same on every platform; the library distributions
  // are not, so ranges are drawn by hand.
  int64_t pick(int64_t low, int64_t high) {
    return low + static_cast<int64_t>(rng_() % static_cast<uint32_t>(high - low + 1));
  }

  bool taken(int64_t cell) const { return cells_.count(cell) != 0; }
  void take(int64_t cell) {
    if (!cells_.insert(cell).second) throw std::logic_error("generator placed two elements in one cell");
  }
  // The first position from `p` on, in 50 m steps, whose cell is free.
  int64_t free_from(int64_t p) const {
    while (taken(element_cell(p))) p += 50;
    return p;
  }

  void stations() {
    const int64_t spacing = length_ / kStations / 50 * 50;
    int64_t clock = 6 * 3600;
    for (int i = 0; i < kStations; ++i) {
      const int64_t p = i * spacing;
      if (i > 0) clock += spacing / 30 + 60;  // 108 km/h and a minute's stop
      stations_.push_back({p, clock});
      // A kind 12 station ends half its length after its position; its stop
      // cell is the cell before the one its end falls into.
      const int64_t end_cell = (p + kStationLength / 2) / 50;
      take(end_cell - 1);
      // Its four approach marks, in the cells before the stop cell: no
      // signal's marks may replace them.
      for (int64_t k = 2; k <= 5; ++k) marked_.insert(end_cell - k);
    }
  }

  void line_boards() {
    for (int j = 0; j < kLineBoards; ++j) {
      const int64_t p = free_from(j * (length_ / kLineBoards) + 700 + pick(0, 4) * 10);
      take(element_cell(p));
      line_boards_.push_back(p);
    }
  }

  // A speed-limit board every 10 km; the train's limit changes there.
  void speed_boards() {
    for (int64_t base = 1250; base <= length_ - 1000; base += 10000) {
      const int64_t p = free_from(base);
      take(element_cell(p));
      speed_boards_.push_back({p, static_cast<int>(pick(8, 16) * 10)});
    }
  }

  // One slowdown every 50 km, with its warning 1200 m before it and the
  // four approach cells before the warning.
  void slowdowns() {
    for (int64_t base = 25000; base <= length_ - 5000; base += 50000) {
      const int64_t speed = pick(0, 3) == 0 ? 120 : pick(3, 8) * 10;
      const int64_t length = pick(3, 15) * 100;
      for (int64_t x = base;; x += 50) {
        const int64_t warning = element_cell(x - 1200);
        std::vector<int64_t> cells{element_cell(x), element_cell(x + length)};
        for (int64_t c = warning - 4; c <= warning; ++c) cells.push_back(c);
        bool free = true;
        for (int64_t c : cells) free = free && !taken(c);
        if (!free) continue;
        for (int64_t c : cells) take(c);
        slowdowns_.push_back({x, speed, length});
        break;
      }
    }
  }

  // A signal every 1.5 km. The completion may put an abbattimento cell one
  // or two cells before a signal near a slowdown, so both are kept free.
  void signals() {
    for (int64_t base = 1200; base <= length_; base += 1500) {
      int64_t p = base + pick(0, 4) * 10;
      while (taken(element_cell(p)) || taken(element_cell(p) - 1) || taken(element_cell(p) - 2) ||
             marks_station(element_cell(p))) {
        p += 50;
      }
      take(element_cell(p));
      signals_.push_back(p);
    }
  }

  // Whether a signal in cell g would set its marks (cells g - 2, - 4, - 6,
  // - 8) over a station's.
  bool marks_station(int64_t g) const {
    for (int64_t j = 1; j <= 4; ++j) {
      if (marked_.count(g - 2 * j) != 0) return true;
    }
    return false;
  }

  static std::string num(int64_t v) { return std::to_string(v); }
  static void add(std::string& out, const std::string& line) {
    out += line;
    out += "\r\n";
  }

  std::string line_file() {
    std::string f;
    add(f, "[generale]");
    add(f, "lunghezza percorso,  " + num(length_));
    add(f, "progressiva chilometrica uno,  0,  1000,  0");
    add(f, "progressiva chilometrica due,  0,  0,  0");
    add(f, "progressiva chilometrica tre,  0,  0,  0");
    add(f, "sfondo uno,  1");
    add(f, "sfondo due,  0");
    add(f, "sfondo tre,  0");
    add(f, "ripetizione segnali 4 codici,  0,  0");
    add(f, "[curve]");
    // One curve in each 500 m stretch, starting 50-100 m into it and at
    // most 300 m long, so no two overlap.
    for (int64_t base = 0; base + 500 <= length_; base += 500) {
      const int64_t start = base + 50 + pick(0, 5) * 10;
      const int64_t length = pick(1, 6) * 50;
      const char side = pick(0, 1) == 0 ? 's' : 'd';
      add(f, std::string("curva") + side + num(pick(1, 6)) + ",  " + num(start) + ",  " + num(length));
    }
    add(f, "[pendenze]");
    for (int64_t p = 1000; p < length_; p += 2000) add(f, "pendenza,  " + num(p) + ",  " + num(pick(-25, 25)));
    add(f, "[montagne]");
    add(f, "[cartelli]");
    for (const Board& b : speed_boards_) {
      add(f, "indicatori_vmax,  " + num(b.position) + ",  " + num(b.speed) + ",  " + num(b.speed + 10) + ",  " +
                 num(b.speed + 10) + ",  0,  ,  ,  ,  0");
    }
    add(f, "[indicazioni]");
    for (int64_t p : line_boards_) {
      const int64_t chainage = 1000 + p;
      std::string metres = num(chainage % 1000);
      metres.insert(0, 3 - metres.size(), '0');
      add(f, "cartello_indicatore,  " + num(p) + ",     (   P.L.  )(km " + num(chainage / 1000) + "+" + metres + ")");
    }
    add(f, "[fine]");
    return f;
  }

  std::string train_file() {
    std::string f;
    add(f, "[generale]");
    add(f, "numero vetture,  6");
    add(f, "percentuale massa frenata,  130");
    add(f, "sabbia,  300");
    add(f, "orologio,     5               56            50");
    add(f, "[aderenze]");
    add(f, "aderenza,  0,  100");
    for (int64_t p = 30000; p < length_; p += 100000) add(f, "aderenza,  " + num(p) + ",  " + num(pick(70, 100)));
    add(f, "[vel_limite]");
    add(f, "velocita,  0,  30");
    for (const Board& b : speed_boards_) add(f, "velocita,  " + num(b.position) + ",  " + num(b.speed));
    add(f, "[stazioni]");
    for (std::size_t i = 0; i < stations_.size(); ++i) {
      const Station& s = stations_[i];
      std::string name = num(static_cast<int64_t>(i + 1));
      name.insert(0, 2 - name.size(), '0');
      add(f, "stazione,  " + num(s.position) + ",  12,  " + num(kStationLength) +
                 ",  0,  1,  0,  1,  1,  0,  4,  1,  1,  " + (i == 0 ? "1" : "60") + ",  " + num(s.seconds / 3600) +
                 ",  " + num(s.seconds / 60 % 60) + ",  " + num(s.seconds % 60) + ",   STAZIONE " + name);
    }
    add(f, "[rallentamenti]");
    for (const Slowdown& r : slowdowns_) {
      add(f, "rallentamento,  " + num(r.x) + ",  " + num(r.speed) + ",  " + num(r.length) + ",  0,  1,  0");
    }
    add(f, "[segnali]");
    for (int64_t p : signals_) {
      add(f, "segnale,  " + num(p) + ",  1,  " + num(pick(3, 5)) + ",  1,  0,  0,  0,  0,  0,  0,  0");
    }
    add(f, "[codici]");
    add(f, "[fine]");
    return f;
  }

  const int64_t length_;
  std::mt19937 rng_;
  std::set<int64_t> cells_;
  std::vector<Station> stations_;
  std::vector<int64_t> line_boards_;
  std::vector<Board> speed_boards_;
  std::vector<Slowdown> slowdowns_;
  std::vector<int64_t> signals_;
  std::set<int64_t> marked_;  // cells holding a station's approach mark
};

}  // namespace

GeneratedScenario generate_scenario(int km, uint32_t seed) {
  if (km < 60 || km > 1000) throw std::invalid_argument("route length must be 60 to 1000 km");
  return Generator(km, seed).run();
}

}  // namespace sb::bench
