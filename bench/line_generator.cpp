#include "line_generator.h"

#include <algorithm>
#include <random>
#include <set>
#include <stdexcept>
#include <vector>

#include "model/track_cells.h"

namespace sb::bench {
namespace {

constexpr int kLineBoards = 12;  // with the 60 stations, well under the 78 slots
constexpr int64_t kStationLength = 600;

class Generator {
 public:
  Generator(const GeneratorShape& shape, uint32_t seed)
      : length_(int64_t{shape.km} * 1000),
        stations_count_(shape.stations),
        varied_(shape.varied),
        rng_(seed),
        vary_(seed ^ 0x9E3779B9u) {}

  GeneratedScenario run() {
    // Elements that take a cell are laid out first, the ones that can move
    // last: stop cells, line boards, speed boards, slowdowns, signals.
    stations();
    line_boards();
    speed_boards();
    slowdowns();
    signals();
    if (varied_) {
      montagna_spans();
      abbattimento_marks();
    }

    GeneratedScenario out;
    out.route = std::string("Banco").append(num(length_ / 1000));
    out.train = std::string("7").append(num(length_ / 1000));
    out.line = line_file();
    out.train_description = train_file();
    return out;
  }

 private:
  struct Station {
    int64_t position;  // its time of day comes from station_times()
    int kind = 12;
    int end_extension = 0;
  };
  struct Board {
    int64_t position;
    int speed;
  };
  struct Slowdown {
    int64_t x, speed, length;
    int64_t f_tt = 0, f_ta = 1, d_v = 0;
  };
  struct Span {
    int64_t start, end, type;
  };

  // std::mt19937 is the same on every platform; the library distributions
  // are not, so ranges are drawn by hand.
  int64_t pick(int64_t low, int64_t high) {
    return low + static_cast<int64_t>(rng_() % static_cast<uint32_t>(high - low + 1));
  }
  // The choices of the varied shape come from a stream of their own, so
  // that the benchmark's scenarios stay as they are.
  int64_t vary(int64_t low, int64_t high) {
    return low + static_cast<int64_t>(vary_() % static_cast<uint32_t>(high - low + 1));
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
    const int64_t spacing = length_ / stations_count_ / 50 * 50;
    for (int i = 0; i < stations_count_; ++i) {
      const int64_t p = i * spacing;
      Station station{p};
      if (varied_) {
        static constexpr int kKinds[] = {2, 4, 12, 12, 27, 5, 8};
        station.kind = kKinds[vary(0, 6)];
        station.end_extension = vary(0, 2) == 0 ? 1 : 0;
      }
      stations_.push_back(station);
      // An ordinary station ends half its length after its position (kinds 5
      // and 6 150 m after it, 7 and 8 a whole length); its stop cell is the
      // cell before the one its end falls into.
      int64_t end = p + kStationLength / 2 + 50 * station.end_extension;
      if (station.kind == 5 || station.kind == 6) end = p + 150;
      if (station.kind == 7 || station.kind == 8) end = p + kStationLength;
      const int64_t end_cell = end / 50;
      if (station.kind < 25) take(end_cell - 1);
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
    const int64_t first = varied_ ? 3000 : 25000;
    const int64_t step = varied_ ? 20000 : 50000;
    for (int64_t base = first; base <= length_ - 5000; base += step) {
      const int64_t speed = pick(0, 3) == 0 ? 120 : pick(3, 8) * 10;
      const int64_t length = pick(3, 15) * 100;
      Slowdown made{0, speed, length};
      if (varied_) made = {0, speed, length, vary(0, 3), vary(0, 1), vary(0, 2)};
      for (int64_t x = base;; x += 50) {
        const int64_t warning = element_cell(x - 1200);
        std::vector<int64_t> cells{element_cell(x), element_cell(x + length)};
        for (int64_t c = warning - 4; c <= warning; ++c) cells.push_back(c);
        bool free = true;
        for (int64_t c : cells) free = free && !taken(c);
        if (!free) continue;
        for (int64_t c : cells) take(c);
        made.x = x;
        slowdowns_.push_back(made);
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
             marks_station(element_cell(p)) || in_platform(p)) {
        p += 50;
      }
      take(element_cell(p));
      signals_.push_back(p);
    }
  }

  // A few montagna spans far apart, some with marks (type above 10).
  void montagna_spans() {
    int64_t from = 0;
    for (int n = vary(1, 4); n > 0; --n) {
      const int64_t start = from + vary(4, 40) * 50;
      const int64_t end = start + vary(10, 60) * 50;
      if (end + 1000 > length_) break;
      spans_.push_back({start, end, vary(1, 5) + (vary(0, 1) == 0 ? 10 : 0)});
      from = end;
    }
  }

  // Author's abbattimento marks on cells well away from every element, so
  // that the completion still finds its own cells.
  void abbattimento_marks() {
    auto near_slowdown = [&](int64_t c) {
      for (const Slowdown& r : slowdowns_) {
        if (c >= element_cell(r.x) - 50 && c <= element_cell(r.x + r.length) + 30) return true;
      }
      return false;
    };
    for (int n = vary(0, 4); n > 0; --n) {
      const int64_t c = vary(20, length_ / 50 - 20);
      bool clear = !near_slowdown(c);
      for (int64_t d = -3; d <= 3 && clear; ++d) clear = !taken(c + d);
      if (!clear) continue;
      take(c);
      abbattimenti_.push_back({c * 50 + vary(-20, 20), vary(0, 1) == 0 ? 0 : vary(50, 250)});
    }
  }

  // Whether position p lies inside a station's platform, where no author
  // puts a signal.
  bool in_platform(int64_t p) const {
    for (const Station& s : stations_) {
      int64_t start = s.position - kStationLength / 2;
      int64_t end = s.position + kStationLength / 2 + 50 * s.end_extension;
      if (s.kind == 5 || s.kind == 6) start = s.position - kStationLength, end = s.position + 150;
      if (s.kind == 7 || s.kind == 8) start = s.position - kStationLength, end = s.position + kStationLength;
      if (s.kind < 25 && p > start && p < end) return true;
    }
    return false;
  }

  // The train's limit at p: 30 km/h up to the first speed-limit board, then
  // the board's speed.
  int64_t limit_at(int64_t p) const {
    int64_t limit = 30;
    for (const Board& b : speed_boards_) {
      if (b.position <= p) limit = b.speed;
    }
    return limit;
  }

  // The times of day of the stations: a timetable the train's limits can
  // keep (every stretch run at its limit, a little spare), and a minute's
  // stop at each.
  std::vector<int64_t> station_times() const {
    std::vector<int64_t> times;
    int64_t clock = 6 * 3600;
    for (std::size_t i = 0; i < stations_.size(); ++i) {
      if (i > 0) {
        double least = 0;
        for (int64_t x = stations_[i - 1].position; x < stations_[i].position; x += 50) {
          least += 50 * 3.6 / static_cast<double>(limit_at(x));
        }
        clock += std::max<int64_t>((stations_[i].position - stations_[i - 1].position) / 30,
                                   static_cast<int64_t>(least) + 30) +
                 60;
      }
      times.push_back(clock);
    }
    return times;
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
    if (varied_) {
      add(f,
          "progressiva chilometrica due,  " + num(length_ / 2 / 50 * 50) + ",  " + num(vary(100, 900) * 50) + ",  1");
    } else {
      add(f, "progressiva chilometrica due,  0,  0,  0");
    }
    add(f, "progressiva chilometrica tre,  0,  0,  0");
    if (varied_) {
      add(f, "sfondo uno,  " + num(vary(0, 3)));
      add(f, "sfondo due,  " + num(vary(0, 3)));
      add(f, "sfondo tre,  " + num(vary(0, 3)));
      const bool nine = vary(0, 1) == 0;
      add(f, std::string("ripetizione segnali ") + (nine ? "9" : "4") + " codici,  " + num(vary(0, 20) * 50) + ",  " +
                 num(vary(0, 1) * vary(21, 80) * 50));
    } else {
      add(f, "sfondo uno,  1");
      add(f, "sfondo due,  0");
      add(f, "sfondo tre,  0");
      add(f, "ripetizione segnali 4 codici,  0,  0");
    }
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
    for (const Span& m : spans_) add(f, "montagna,  " + num(m.start) + ",  " + num(m.end) + ",  " + num(m.type));
    add(f, "[cartelli]");
    for (const Board& b : speed_boards_) {
      std::string right = ",  0,  ,  ,  ,  0";
      if (varied_ && vary(0, 1) == 0) {
        right = ",  " + num(vary(0, 3)) + ",  " + num(vary(0, 19) * 5) + ",  " + num(vary(0, 19) * 5) + ",  " +
                num(vary(0, 19) * 5) + ",  " + num(vary(0, 3));
      }
      add(f, "indicatori_vmax,  " + num(b.position) + ",  " + num(b.speed) + ",  " + num(b.speed + 10) + ",  " +
                 num(b.speed + 10) + right);
    }
    add(f, "[indicazioni]");
    for (int64_t p : line_boards_) {
      const int64_t chainage = 1000 + p;
      std::string metres = num(chainage % 1000);
      metres.insert(0, 3 - metres.size(), '0');
      std::string text = "(   P.L.  )(km " + num(chainage / 1000) + "+" + metres + ")";
      if (varied_ && vary(0, 3) == 0) text = "\"  (Bivio, " + metres + ")\"";
      add(f, "cartello_indicatore,  " + num(p) + ",     " + text);
    }
    add(f, "[fine]");
    return f;
  }

  std::string train_file() {
    std::string f;
    add(f, "[generale]");
    if (varied_) {
      add(f, "numero vetture,  " + num(vary(1, 14)));
      add(f, "percentuale massa frenata,  " + num(vary(50, 160)));
      add(f, "sabbia,  " + num(vary(0, 500)));
      add(f, "orologio,  " + num(vary(0, 23)) + ",  " + num(vary(0, 59)) + ",  " + num(vary(0, 59)));
    } else {
      add(f, "numero vetture,  6");
      add(f, "percentuale massa frenata,  130");
      add(f, "sabbia,  300");
      add(f, "orologio,     5               56            50");
    }
    add(f, "[aderenze]");
    add(f, "aderenza,  0,  100");
    for (int64_t p = 30000; p < length_; p += 100000) add(f, "aderenza,  " + num(p) + ",  " + num(pick(70, 100)));
    add(f, "[vel_limite]");
    add(f, "velocita,  0,  30");
    for (const Board& b : speed_boards_) {
      // A limit that is no multiple of 5 is stored rounded (with a warning).
      const int64_t off = varied_ && vary(0, 4) == 0 ? 2 : 0;
      add(f, "velocita,  " + num(b.position) + ",  " + num(b.speed + off));
    }
    add(f, "[stazioni]");
    const std::vector<int64_t> times = station_times();
    for (std::size_t i = 0; i < stations_.size(); ++i) {
      const Station& s = stations_[i];
      const int64_t seconds = times[i];
      std::string name = num(static_cast<int64_t>(i + 1));
      name.insert(0, 2 - name.size(), '0');
      add(f, "stazione,  " + num(s.position) + ",  " + num(s.kind) + ",  " + num(kStationLength) + ",  0,  1,  " +
                 num(s.end_extension) + ",  1,  1,  0,  4,  1,  1,  " + (i == 0 ? "1" : "60") + ",  " +
                 num(seconds / 3600) + ",  " + num(seconds / 60 % 60) + ",  " + num(seconds % 60) + ",   STAZIONE " +
                 name);
    }
    add(f, "[rallentamenti]");
    for (const Slowdown& r : slowdowns_) {
      add(f, "rallentamento,  " + num(r.x) + ",  " + num(r.speed) + ",  " + num(r.length) + ",  " + num(r.f_tt) +
                 ",  " + num(r.f_ta) + ",  " + num(r.d_v));
    }
    add(f, "[segnali]");
    for (int64_t p : signals_) {
      std::string values = "1,  " + num(pick(3, 5)) + ",  1,  0,  0,  0,  0,  0,  0,  0";
      if (varied_) {
        values = num(vary(0, 2)) + ",  " + num(vary(0, 6)) + ",  " + num(vary(0, 6)) + ",  " + num(vary(0, 3)) + ",  " +
                 num(vary(0, 2)) + ",  " + num(vary(0, 2)) + ",  " + num(vary(0, 5)) + ",  " + num(vary(0, 5)) + ",  " +
                 num(vary(0, 5)) + ",  " + num(vary(0, 2) * vary(0, 150));
      }
      add(f, "segnale,  " + num(p) + ",  " + values);
    }
    add(f, "[codici]");
    for (const auto& [p, value] : abbattimenti_) add(f, "abbattimento,  " + num(p) + ",  " + num(value));
    add(f, "[fine]");
    return f;
  }

  const int64_t length_;
  const int stations_count_;
  const bool varied_;
  std::mt19937 rng_;
  std::mt19937 vary_;
  std::vector<Span> spans_;
  std::vector<std::pair<int64_t, int64_t>> abbattimenti_;  // position, value
  std::set<int64_t> cells_;
  std::vector<Station> stations_;
  std::vector<int64_t> line_boards_;
  std::vector<Board> speed_boards_;
  std::vector<Slowdown> slowdowns_;
  std::vector<int64_t> signals_;
  std::set<int64_t> marked_;  // cells holding a station's approach mark
};

// The edge cases: the route is cut into 3 km segments, each given one of
// them, far enough apart that the completion's marks find their cells.
class EdgeGenerator {
 public:
  explicit EdgeGenerator(uint32_t seed) : rng_(seed) {}

  GeneratedScenario run() {
    const int64_t segments = pick(4, 12);
    length_ = segments * 3000 + 1000;
    int stations = 0;
    for (int64_t k = 0; k < segments; ++k) {
      const int64_t at = k * 3000;
      switch (pick(0, 3)) {
        case 0: signal_cluster(at); break;
        case 1: slowdown(at); break;
        case 2:
          if (stations < 10) {
            station_and_signal(at, stations++);
            break;
          }
          [[fallthrough]];
        default: signal_cluster(at); break;
      }
    }
    montagna_spans();
    GeneratedScenario out;
    out.route = "Bordo";
    out.train = "1";
    out.line = line_file();
    out.train_description = train_file();
    return out;
  }

 private:
  int64_t pick(int64_t low, int64_t high) {
    return low + static_cast<int64_t>(rng_() % static_cast<uint32_t>(high - low + 1));
  }
  static std::string num(int64_t v) { return std::to_string(v); }
  static void add(std::string& out, const std::string& line) {
    out += line;
    out += "\r\n";
  }

  // A signal's record, its sides drawn from small and wrapping values.
  std::string signal(int64_t p) {
    static constexpr int64_t kLeft[] = {0, 1, 2, 2, 1, 43, 50, 85, 127, 128, 129, 200, -1, -43};
    const int64_t left = kLeft[pick(0, 13)];
    const int64_t right = pick(0, 3) == 0 ? pick(-5, 300) : pick(0, 2);
    return "segnale,  " + num(p) + ",  " + num(left) + ",  " + num(pick(0, 6)) + ",  " + num(pick(0, 6)) + ",  " +
           num(pick(0, 3)) + ",  " + num(pick(0, 3) == 0 ? pick(-50, 5000) : pick(0, 2)) + ",  " + num(right) + ",  " +
           num(pick(0, 5)) + ",  " + num(pick(0, 5)) + ",  " + num(pick(0, 5)) + ",  " + num(pick(0, 2) * pick(0, 300));
  }

  // Two to four signals 100 to 400 m apart, in rising order or not.
  void signal_cluster(int64_t at) {
    int64_t p = at + 700 + pick(0, 9) * 10;
    std::vector<std::string> cluster;
    for (int64_t n = pick(2, 4); n > 0; --n) {
      cluster.push_back(signal(p));
      p += pick(2, 8) * 50 + pick(-2, 2) * 10;
    }
    if (pick(0, 3) == 0) std::swap(cluster.front(), cluster.back());
    for (std::string& line : cluster) signals_.push_back(std::move(line));
  }

  // A slowdown well past 1500 m at a position that ends in 25 or 75 m,
  // or a round one.
  void slowdown(int64_t at) {
    // x / 50 ending in a half: the halves that round down (x = 100 k + 25)
    // put the approach cells two cells before the warning; the others put
    // them on the warning cell (an error).
    static constexpr int64_t kEnds[] = {0, 25, 125, 20, 30, 80};
    const int64_t x = at + 2400 + pick(0, 1) * 100 + kEnds[pick(0, 5)];
    const int64_t speed = pick(0, 2) == 0 ? 120 : pick(3, 10) * 10;
    slowdowns_.push_back("rallentamento,  " + num(x) + ",  " + num(speed) + ",  " + num(pick(3, 8) * 50) + ",  " +
                         num(pick(0, 2)) + ",  " + num(pick(0, 3) == 0 ? 0 : 1) + ",  " + num(pick(0, 2)));
  }

  // A station and a signal whose approach marks share cells; the signal
  // read before the station (in the station section) or after it.
  void station_and_signal(int64_t at, int index) {
    const int64_t p = at + 1000 + pick(0, 10) * 50;
    const int kind = pick(0, 1) == 0 ? 12 : 2;
    const std::string name = "STAZIONE " + num(index + 1);
    std::string station = "stazione,  " + num(p) + ",  " + num(kind) + ",  600,  0,  1,  " + num(pick(0, 1)) +
                          ",  1,  1,  0,  4,  1,  1,  60,  " + num(7 + index) + ",  0,  0,   " + name;
    const int64_t stop_cell = (p + 300) / 50 - 1;  // without the end extension
    const int64_t g = stop_cell + (pick(0, 1) == 0 ? 3 : 5);
    const std::string mark_setter = signal(50 * (g - 1));
    if (pick(0, 1) == 0) {
      stations_.push_back(mark_setter);  // read before the station
      stations_.push_back(std::move(station));
    } else {
      stations_.push_back(std::move(station));
      signals_.push_back(mark_setter);
    }
  }

  // Spans along the line with gaps about 150 m, ends off the 50 m grid;
  // now and then one touching, overlapping or read out of order.
  void montagna_spans() {
    static constexpr int64_t kGaps[] = {0, 40, 100, 140, 150, 155, 160, 170, 190, 200, 260, 400};
    int64_t p = pick(0, 20) * 50;
    std::vector<std::string> spans;
    while (spans.size() < 30) {
      const int64_t start = p + kGaps[pick(0, 11)] + pick(-30, 30);
      const int64_t end = start + pick(2, 30) * 50 + pick(-30, 30);
      if (start < 0 || end + 500 > length_) break;
      // Marks only on spans that nothing overwrites.
      const int64_t type = pick(1, 5) + (pick(0, 2) == 0 ? 10 : 0);
      std::string line = "montagna,  " + num(start) + ",  " + num(end) + ",  ";
      if (pick(0, 5) == 0 && !spans.empty()) {
        // Overlapping the span before, or read before it.
        const int64_t back = std::max<int64_t>(0, start - pick(1, 20) * 50);
        spans.push_back("montagna,  " + num(back) + ",  " + num(back + pick(1, 6) * 50) + ",  " + num(pick(1, 5)));
        if (pick(0, 1) == 0) std::swap(spans[spans.size() - 1], spans[spans.size() - 2]);
        p = end;
        continue;
      }
      spans.push_back(line + num(type));
      p = end;
    }
    spans_ = std::move(spans);
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
    for (int64_t base = 0; base + 1000 <= length_; base += 1000) {
      add(f, std::string("curva") + (pick(0, 1) == 0 ? "s" : "d") + num(pick(1, 6)) + ",  " +
                 num(base + 100 + pick(0, 5) * 10) + ",  " + num(pick(1, 6) * 50));
    }
    add(f, "[pendenze]");
    for (int64_t p = 2000; p < length_; p += 5000) add(f, "pendenza,  " + num(p) + ",  " + num(pick(-20, 20)));
    add(f, "[montagne]");
    for (const std::string& line : spans_) add(f, line);
    add(f, "[cartelli]");
    add(f, "[indicazioni]");
    add(f, "[fine]");
    return f;
  }

  std::string train_file() {
    std::string f;
    add(f, "[generale]");
    add(f, "numero vetture,  " + num(pick(1, 12)));
    add(f, "percentuale massa frenata,  " + num(pick(60, 150)));
    add(f, "sabbia,  300");
    add(f, "orologio,  7,  " + num(pick(0, 59)) + ",  0");
    add(f, "[aderenze]");
    add(f, "aderenza,  0,  100");
    add(f, "[vel_limite]");
    add(f, "velocita,  0,  " + num(pick(6, 30) * 5));
    add(f, "[stazioni]");
    for (const std::string& line : stations_) add(f, line);
    add(f, "[rallentamenti]");
    for (const std::string& line : slowdowns_) add(f, line);
    add(f, "[segnali]");
    for (const std::string& line : signals_) add(f, line);
    add(f, "[codici]");
    add(f, "[fine]");
    return f;
  }

  std::mt19937 rng_;
  int64_t length_ = 0;
  std::vector<std::string> stations_, slowdowns_, signals_, spans_;
};

}  // namespace

GeneratedScenario generate_edge_scenario(uint32_t seed) { return EdgeGenerator(seed).run(); }

GeneratedScenario generate_scenario(int km, uint32_t seed) {
  if (km < 60 || km > 1000) throw std::invalid_argument("route length must be 60 to 1000 km");
  return Generator({km, 60, false}, seed).run();
}

GeneratedScenario generate_scenario(const GeneratorShape& shape, uint32_t seed) {
  if (shape.km < 5 || shape.km > 1000) throw std::invalid_argument("route length must be 5 to 1000 km");
  if (shape.stations < 1 || shape.stations > 60 || shape.stations > shape.km / 2) {
    throw std::invalid_argument("1 to 60 stations, at most one every 2 km");
  }
  return Generator(shape, seed).run();
}

GeneratedScenario generate_varied_scenario(uint32_t seed) {
  std::mt19937 draw(seed);
  GeneratorShape shape;
  shape.km = 5 + static_cast<int>(draw() % 116);
  shape.stations = 1 + static_cast<int>(draw() % static_cast<uint32_t>(std::min(60, shape.km / 2)));
  shape.varied = draw() % 4 != 0;
  return generate_scenario(shape, seed);
}

}  // namespace sb::bench
